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
qint64 refToUnixMs(double seconds);
double unixMsToRef(qint64 milliseconds);
double unixSecondsToRef(qint64 seconds);

} // namespace ViberDates
