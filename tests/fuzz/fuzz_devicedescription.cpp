// The device description is the phone's first word to the program, and its values end up
// in folder names and file URLs. Property: whatever the agent says, the cache folder name
// is one safe path element and storage URLs never lead out of the storage folder.
#include "android/AgentSession.h"
#include "android/AndroidDevice.h"
#include "tests/fuzz/ReplayDevice.h"

#include <QDir>

#include <cstdlib>
#include <stdexcept>

namespace {

bool isOnePathElement(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

void requireInsideStorage(const AndroidDevice& device, const QString& relativePath)
{
    const QUrl url = device.storageUrl(relativePath);
    if (url.isEmpty())
        return;
    const QString root =
        QDir::cleanPath(device.storage.isEmpty() ? QStringLiteral("/storage/emulated/0") : device.storage);
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (path != root && !path.startsWith(root == QLatin1String("/") ? root : root + u'/'))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ReplayDevice socket(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    AndroidDevice device;
    device.serial = QStringLiteral("FUZZ01");
    try {
        device.applyDescription(simpleprotocol::readDeviceDescription(socket, 0));
    } catch (const std::runtime_error&) {
        return 0;
    }
    if (!isOnePathElement(device.cacheFolderName()) || !isOnePathElement(device.uidFileName()))
        std::abort();
    requireInsideStorage(device, QStringLiteral("viber/media/a.jpg"));
    requireInsideStorage(device, QStringLiteral("../../etc/passwd"));
    requireInsideStorage(device, QStringLiteral("/etc/passwd"));
    return 0;
}
