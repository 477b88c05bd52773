#include "db/ViberDates.h"

#include <cmath>

namespace ViberDates {

qint64 wholeUnits(double value)
{
    constexpr double Limit = 1e15;
    if (!std::isfinite(value) || value > Limit || value < -Limit)
        return 0;
    return static_cast<qint64>(value);
}

QDateTime refToLocal(double seconds)
{
    return QDateTime::fromSecsSinceEpoch(wholeUnits(seconds) + ReferenceUnixSeconds);
}

qint64 refToUnixMs(double seconds)
{
    return wholeUnits((seconds + ReferenceUnixSeconds) * 1000.0);
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
