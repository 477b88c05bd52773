#pragma once

#include <QByteArray>
#include <QHash>

// The local wall-clock minute of many instants, as "2014-05-23 13:07", for lists that
// show thousands of them: the zone's offset from UTC is asked of the C library once for
// a day of UTC (its local time takes a lock that every thread of an export wants), and
// instant by instant only on a day when the offset changes.
class LocalMinutes
{
public:
    static constexpr qsizetype Size = 16;

    // Appends the minute of date (Viber's reference seconds): digits, dashes, a space and
    // a colon. A date beyond the years 1 to 9999 comes as Qt writes it.
    void append(QByteArray& out, double date);

private:
    qint64 offsetOn(qint64 day); // seconds east of UTC through the day, or ChangesOn

    static constexpr qint64 ChangesOn = qint64(1) << 40;
    QHash<qint64, qint64> m_dayOffsets; // UTC day (from 1970-01-01) → its offset
};
