#include "ops/LocalMinutes.h"

#include "ops/ExportMessagesJson.h"
#include "ops/MessageFilter.h"

#include <QString>

#include <ctime>

namespace {

constexpr qint64 DaySeconds = 86400;
// Beyond the years 1 to 9999, and far from any overflow.
constexpr qint64 MaxSeconds = qint64(400) * 366 * 25 * DaySeconds;

qint64 floorDiv(qint64 value, qint64 by)
{
    return value >= 0 ? value / by : -((-value + by - 1) / by);
}

#ifdef Q_OS_UNIX
qint64 offsetAt(qint64 seconds)
{
    const time_t at = time_t(seconds);
    struct tm parts = {};
    return localtime_r(&at, &parts) ? qint64(parts.tm_gmtoff) : 0;
}
#endif

// The proleptic Gregorian date of a day counted from 1970-01-01 (Howard Hinnant's
// days-to-civil).
void civilDate(qint64 day, qint64& year, int& month, int& dayOfMonth)
{
    day += 719468;
    const qint64 era = floorDiv(day, 146097);
    const qint64 ofEra = day - era * 146097;
    const qint64 yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
    const qint64 ofYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shifted = (5 * ofYear + 2) / 153; // months from March
    dayOfMonth = int(ofYear - (153 * shifted + 2) / 5 + 1);
    month = int(shifted < 10 ? shifted + 3 : shifted - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

void putDigits(char* at, qint64 value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        at[i] = char('0' + value % 10);
}

} // namespace

void LocalMinutes::append(QByteArray& out, double date)
{
    const qint64 seconds = floorDiv(MessageFilter::unixMs(date), 1000);
#ifdef Q_OS_UNIX
    if (seconds > -MaxSeconds && seconds < MaxSeconds) {
        const qint64 day = floorDiv(seconds, DaySeconds);
        qint64 offset = offsetOn(day);
        if (offset == ChangesOn)
            offset = offsetAt(seconds);
        const qint64 local = seconds + offset;
        const qint64 localDay = floorDiv(local, DaySeconds);
        const qint64 ofDay = local - localDay * DaySeconds;
        qint64 year;
        int month;
        int dayOfMonth;
        civilDate(localDay, year, month, dayOfMonth);
        if (year >= 1 && year <= 9999) {
            char text[Size] = {'0', '0', '0', '0', '-', '0', '0', '-',
                               '0', '0', ' ', '0', '0', ':', '0', '0'};
            putDigits(text, year, 4);
            putDigits(text + 5, month, 2);
            putDigits(text + 8, dayOfMonth, 2);
            putDigits(text + 11, ofDay / 3600, 2);
            putDigits(text + 14, ofDay % 3600 / 60, 2);
            out.append(text, Size);
            return;
        }
    }
#endif
    out +=
        ExportMessagesJson::isoTime(date).left(Size).replace(QLatin1Char('T'), QLatin1Char(' ')).toLatin1();
}

qint64 LocalMinutes::offsetOn(qint64 day)
{
#ifdef Q_OS_UNIX
    auto known = m_dayOffsets.constFind(day);
    if (known == m_dayOffsets.constEnd()) {
        // A zone changes its offset at most once a day: the same offset at the day's
        // first and last second holds for all of it.
        const qint64 first = offsetAt(day * DaySeconds);
        const qint64 last = offsetAt(day * DaySeconds + DaySeconds - 1);
        known = m_dayOffsets.insert(day, first == last ? first : ChangesOn);
    }
    return *known;
#else
    Q_UNUSED(day);
    return ChangesOn;
#endif
}
