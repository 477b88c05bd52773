// The agent's replies and block headers come from the phone. Property: any bytes end in
// a reply, a protocol exception or a refused download; nothing crashes, hangs or
// allocates what a header claims. The first byte picks the request whose replies follow.
#include "android/SimpleProtocol.h"
#include "tests/fuzz/ReplayDevice.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static QTemporaryDir folder;
    const QString local = folder.filePath(QStringLiteral("download"));
    QFile::remove(local);
    ReplayDevice socket(QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1)));
    try {
        switch (data[0] % 5) {
        case 0:
            for (;;)
                simpleprotocol::readReply(socket, 0);
        case 1:
            simpleprotocol::remoteFileInfo(socket, QStringLiteral("/sdcard/a"), 0);
            break;
        case 2:
            simpleprotocol::suCommand(socket, QStringLiteral("true"), 0);
            break;
        case 3:
            simpleprotocol::suCopy(socket, QStringLiteral("/data/a"), QStringLiteral("/sdcard/a"), 0);
            break;
        default:
            if (!simpleprotocol::downloadFile(socket, QStringLiteral("/sdcard/a"), local, true) &&
                QFileInfo::exists(local))
                std::abort(); // a refused download leaves no file
            break;
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
