#include "db/ViberDates.h"

#include <QtDebug>
#include <QtNumeric>

#include <cmath>
#include <ctime>

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

QDateTime refToLocalShown(double seconds)
{
#ifdef Q_OS_UNIX
    // localtime_r() reads the zone once per process; QDateTime calls tzset() first,
    // which looks at the zone file again each time.
    const qint64 unixSeconds = wholeUnits(seconds) + ReferenceUnixSeconds;
    const time_t t = time_t(unixSeconds);
    struct tm parts = {};
    if (localtime_r(&t, &parts))
        return QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::OffsetFromUTC, int(parts.tm_gmtoff));
#endif
    return refToLocal(seconds);
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
    qint64 reference = 0;
    if (qSubOverflow(seconds, qint64(ReferenceUnixSeconds), &reference)) {
        qWarning("a time of %lld seconds is out of range and read as no time", seconds);
        return 0;
    }
    return double(reference);
}

} // namespace ViberDates
