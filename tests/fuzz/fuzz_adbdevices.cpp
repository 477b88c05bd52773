// "adb devices" prints what the ADB server and the phones' USB descriptors say. Property:
// at most AdbTool::MaxDevices devices, each with a bounded serial made only of the
// characters a serial may hold that begins its own trimmed, bounded line, and a state of
// printable characters, no markup and no outer spaces, within its bound; nothing is taken
// before the list header.
#include "android/AdbTool.h"

#include <cstdlib>

namespace {

bool isSerialText(const QString& text)
{
    if (text.isEmpty() || text.size() > AdbTool::MaxSerialLength)
        return false;
    for (const QChar c : text) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-' || c == u'_' ||
              c == u'.' || c == u':' || c == u'?'))
            return false;
    }
    return true;
}

bool isStateText(const QString& text)
{
    if (text.isEmpty() || text.size() > AdbTool::MaxStateLength || text != text.trimmed())
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'<' || c == u'>')
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<AdbDevice> devices = AdbTool::parseDevices(reply);
    if (!devices.isEmpty() && !reply.contains(QLatin1String("List of devices attached"), Qt::CaseInsensitive))
        std::abort();
    if (devices.size() > AdbTool::MaxDevices)
        std::abort();
    for (const AdbDevice& device : devices) {
        if (!isSerialText(device.serial) || !isStateText(device.state) ||
            device.line != device.line.trimmed() || device.line.size() > AdbTool::MaxDeviceLineLength ||
            !device.line.startsWith(device.serial))
            std::abort();
    }
    return 0;
}
