// The connection listing comes from ss or netstat, whose lines hold program names any
// user chose. Property: only lines naming port 5037 are taken, and only real process
// numbers are ever ended. The first byte picks the listing style.
#include "portwarden/Portwarden.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto style =
        (data[0] & 1) ? Portwarden::ListingStyle::SocketStatistics : Portwarden::ListingStyle::Netstat;
    const QByteArray listing(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    for (const Portwarden::PortLine& line : Portwarden::findAdbPortLines(listing, style)) {
        if (!line.line.contains(QLatin1String(":5037")))
            std::abort();
        for (const qint64 pid : line.processIds) {
            if (pid <= 0)
                std::abort();
        }
    }
    return 0;
}
