// "adb devices" prints what the ADB server and the phones' USB descriptors say. Property:
// every device taken has a serial and a state made only of the characters a serial may
// hold, both taken from its own trimmed line, and nothing is taken before the list header.
#include "android/AdbTool.h"

#include <cstdlib>

namespace {

bool isSerialText(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-' || c == u'_'))
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
    for (const AdbDevice& device : devices) {
        if (!isSerialText(device.serial) || !isSerialText(device.state) ||
            device.line != device.line.trimmed() || !device.line.startsWith(device.serial) ||
            !device.line.contains(device.state))
            std::abort();
    }
    return 0;
}
