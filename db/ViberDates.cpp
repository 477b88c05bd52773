#include "db/ViberDates.h"

#include <QtDebug>
#include <QtNumeric>

#include <cmath>
#include <ctime>
#include <iterator>
#include <optional>

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

QString clockText(const QTime& time)
{
    if (!time.isValid())
        return {};
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    const int minute = time.minute();
    const char16_t text[] = {char16_t(u'0' + hour / 10),
                             char16_t(u'0' + hour % 10),
                             u':',
                             char16_t(u'0' + minute / 10),
                             char16_t(u'0' + minute % 10),
                             u' ',
                             time.hour() < 12 ? u'a' : u'p',
                             u'm'};
    return QString(reinterpret_cast<const QChar*>(text), std::size(text));
}

QString dayText(const QDate& day)
{
    if (!day.isValid())
        return {};
    const int year = day.year();
    if (year < 1 || year > 9999) // signs and widths are the format's to write
        return day.toString(QStringLiteral("dd MMM yyyy"));
    static constexpr char16_t Months[][4] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                             u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    const char16_t* month = Months[day.month() - 1];
    const char16_t text[] = {char16_t(u'0' + day.day() / 10),
                             char16_t(u'0' + day.day() % 10),
                             u' ',
                             month[0],
                             month[1],
                             month[2],
                             u' ',
                             char16_t(u'0' + year / 1000),
                             char16_t(u'0' + year / 100 % 10),
                             char16_t(u'0' + year / 10 % 10),
                             char16_t(u'0' + year % 10)};
    return QString(reinterpret_cast<const QChar*>(text), std::size(text));
}

namespace {

// The zone's offset from UTC at a moment, in seconds, as the C library knows it, or
// nothing where it does not.
std::optional<int> shownOffset(qint64 unixSeconds)
{
#ifdef Q_OS_UNIX
    // localtime_r() reads the zone once per process; QDateTime calls tzset() first,
    // which looks at the zone file again each time.
    const time_t t = time_t(unixSeconds);
    struct tm parts = {};
    if (localtime_r(&t, &parts))
        return int(parts.tm_gmtoff);
#else
    Q_UNUSED(unixSeconds);
#endif
    return std::nullopt;
}

} // namespace

QDateTime refToLocalShown(double seconds)
{
    const qint64 unixSeconds = wholeUnits(seconds) + ReferenceUnixSeconds;
    if (const std::optional<int> offset = shownOffset(unixSeconds))
        return QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::OffsetFromUTC, *offset);
    return refToLocal(seconds);
}

LocalParts refToLocalParts(double seconds)
{
    constexpr qint64 SecondsADay = 24 * 60 * 60;
    constexpr qint64 UnixEpochJulianDay = 2440588;
    const qint64 unixSeconds = wholeUnits(seconds) + ReferenceUnixSeconds;
    const std::optional<int> offset = shownOffset(unixSeconds);
    if (!offset) {
        const QDateTime local = refToLocal(seconds);
        return {local.date(), local.time()};
    }
    const qint64 local = unixSeconds + *offset;
    const qint64 day = local / SecondsADay - (local % SecondsADay < 0 ? 1 : 0);
    const int second = int(local - day * SecondsADay);
    return {QDate::fromJulianDay(UnixEpochJulianDay + day),
            QTime(second / 3600, second / 60 % 60, second % 60)};
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
