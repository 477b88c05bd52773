#include "db/ViberDates.h"

namespace ViberDates {

QDateTime refToLocal(double seconds)
{
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds) + ReferenceUnixSeconds);
}

qint64 refToUnixMs(double seconds)
{
    return static_cast<qint64>((seconds + ReferenceUnixSeconds) * 1000.0);
}

double unixMsToRef(qint64 milliseconds)
{
    return double(milliseconds) / 1000.0 - double(ReferenceUnixSeconds);
}

double unixSecondsToRef(qint64 seconds)
{
    return double(seconds - ReferenceUnixSeconds);
}

} // namespace ViberDates
