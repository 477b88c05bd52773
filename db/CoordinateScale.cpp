#include "db/CoordinateScale.h"

#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Sql.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

constexpr double MaxLatitude = 90;
constexpr double MaxLongitude = 180;

// |value| without the overflow of the one negative number that has no positive twin.
quint64 magnitude(qint64 value)
{
    return value < 0 ? quint64(-(value + 1)) + 1 : quint64(value);
}

} // namespace

CoordinateScale CoordinateScale::fromExtremes(qint64 minLatitude, qint64 maxLatitude, qint64 minLongitude,
                                              qint64 maxLongitude)
{
    const quint64 latitude = std::max(magnitude(minLatitude), magnitude(maxLatitude));
    const quint64 longitude = std::max(magnitude(minLongitude), magnitude(maxLongitude));
    const bool beyondMicro =
        latitude > quint64(MaxLatitude * Micro) || longitude > quint64(MaxLongitude * Micro);
    return CoordinateScale(beyondMicro ? TenthMicro : Micro);
}

CoordinateScale CoordinateScale::ofTable(Sqlite3DB& db, const char* table, const char* latitudeColumn,
                                         const char* longitudeColumn)
{
    const QString lat = QString::fromLatin1(latitudeColumn);
    const QString lng = QString::fromLatin1(longitudeColumn);
    // min() and max() rather than max(abs()): abs() of the smallest 64-bit integer fails.
    Sqlite3Cursor c =
        db.queryThrow(Sqlite3Sql(QStringLiteral("select min(%1), max(%1), min(%2), max(%2) from %3")
                                     .arg(lat, lng, QString::fromLatin1(table))));
    if (!c.moveNext())
        return CoordinateScale();
    return fromExtremes(c.getInt64(0), c.getInt64(1), c.getInt64(2), c.getInt64(3));
}

double CoordinateScale::latitude(qint64 stored) const
{
    return degrees(stored, MaxLatitude, "latitude");
}

double CoordinateScale::longitude(qint64 stored) const
{
    return degrees(stored, MaxLongitude, "longitude");
}

double CoordinateScale::degrees(qint64 stored, double limit, const char* what) const
{
    const double value = double(stored) / m_factor;
    if (std::abs(value) > limit) {
        qWarning("stored %s %lld lies beyond %g degrees at factor %g and is read as none", what,
                 static_cast<long long>(stored), limit, m_factor);
        return 0;
    }
    return value;
}

qint64 CoordinateScale::stored(double degrees) const
{
    if (!std::isfinite(degrees) || std::abs(degrees) > MaxLongitude)
        return 0;
    // Rounded: 31.234567 × 10^7 is 312345669.99… in binary floating point.
    return std::llround(degrees * m_factor);
}
