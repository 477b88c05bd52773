#pragma once

#include <QtGlobal>

class Sqlite3DB;

// Viber keeps a shared location as two integers, degrees times a fixed factor, and not
// every file uses the same factor: some phones store microdegrees (31.234567 as
// 31234567), others and the desktop app ten times that. The factor of one file is read
// from its own rows, so that rows merged into it read as the app reads its own:
// - a latitude beyond ±90,000,000 or a longitude beyond ±180,000,000 exists only
//   at 10^7, so any such row makes the file's factor 10^7;
// - otherwise (rows within those bounds, or no location at all) the factor is 10^6.
// A file at 10^7 whose places all lie within 9° of the equator and 18° of Greenwich
// reads as 10^6; nothing in the integers tells the two apart there.
class CoordinateScale
{
public:
    static constexpr double Micro = 1e6;
    static constexpr double TenthMicro = 1e7;

    CoordinateScale() = default;

    // The factor of the rows with these extreme stored values (as SQLite's min() and
    // max() give them; 0 when the file holds no location).
    static CoordinateScale fromExtremes(qint64 minLatitude, qint64 maxLatitude, qint64 minLongitude,
                                        qint64 maxLongitude);
    // The factor of the rows of one table: latitudeColumn and longitudeColumn name its
    // integer columns. Throws the library's exception when the query fails.
    static CoordinateScale ofTable(Sqlite3DB& db, const char* table, const char* latitudeColumn,
                                   const char* longitudeColumn);

    double factor() const { return m_factor; }
    // Degrees of a stored value; a value that lies beyond the poles or the date line at
    // this factor is no coordinate (0, with a log line), as is 0 itself.
    double latitude(qint64 stored) const;
    double longitude(qint64 stored) const;
    // The stored value of a coordinate in degrees, rounded to the nearest unit; a value
    // beyond ±180° or not finite is no coordinate (0).
    qint64 stored(double degrees) const;

private:
    explicit CoordinateScale(double factor) : m_factor(factor) {}
    double degrees(qint64 stored, double limit, const char* what) const;

    double m_factor = Micro;
};
