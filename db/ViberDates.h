#pragma once

#include <QDateTime>

// Record dates are seconds since 2001-01-01 00:00:00 UTC (the reference date).
namespace ViberDates {

inline constexpr qint64 ReferenceUnixSeconds = 978307200;

// A count read from a file (seconds, milliseconds) as a whole number, truncated
// toward zero; values that are not finite or beyond about 30,000 years of
// milliseconds give 0 instead of an undefined conversion.
qint64 wholeUnits(double value);

// Truncates toward zero: fractions of a second are dropped.
QDateTime refToLocal(double seconds);
// The same local wall-clock time as a fixed offset from UTC: formatted, it reads as
// refToLocal() does, without the zone file look-up that QDateTime makes for every
// local time (a sixth of an export's time). For showing a date; arithmetic that may
// cross a change of daylight-saving time takes refToLocal().
QDateTime refToLocalShown(double seconds);
// The day and the time of day of refToLocalShown(), worked out from one look at the zone
// without a QDateTime: an HTML export asks for both for every message.
struct LocalParts
{
    QDate day;
    QTime time;
};
LocalParts refToLocalParts(double seconds);
// The time as QTime::toString("hh:mm ap") gives it ("01:05 pm"; empty when invalid),
// without the format parser, which cost more than the rest of a bubble.
QString clockText(const QTime& time);
// The day as QDate::toString("dd MMM yyyy") gives it ("05 Mar 2024"; empty when invalid),
// without the format parser: an export writes one for every day of every chat.
QString dayText(const QDate& day);
qint64 refToUnixMs(double seconds);
double unixMsToRef(qint64 milliseconds);
double unixSecondsToRef(qint64 seconds);

} // namespace ViberDates
