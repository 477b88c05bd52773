#pragma once

#include "app/Sqlite3Row.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class Sqlite3Stmt;

// The rows of one query, read by column name. A getter for a column the query does
// not return gives the same empty value as a NULL (0, 0.0, empty text, empty blob):
// readers serve files of several app versions with one query.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor() = default;
    explicit Sqlite3Cursor(std::shared_ptr<Sqlite3Stmt> stmt);
    ~Sqlite3Cursor();
    Sqlite3Cursor(Sqlite3Cursor&& other) noexcept;
    Sqlite3Cursor& operator=(Sqlite3Cursor&& other) noexcept;
    Sqlite3Cursor(const Sqlite3Cursor&) = delete;
    Sqlite3Cursor& operator=(const Sqlite3Cursor&) = delete;

    bool moveNext(); // false after the last row; throws on SQLite errors

    int colIndex(const QString& name) const; // -1 when absent
    bool containsCol(const QString& name) const { return colIndex(name) >= 0; }
    int columnCount() const;
    QString columnName(int index) const;

    bool isNull(const QString& name) const { return isNull(colIndex(name)); }
    int getInt(const QString& name) const { return getInt(colIndex(name)); }
    qint64 getInt64(const QString& name) const { return getInt64(colIndex(name)); }
    double getDouble(const QString& name) const { return getDouble(colIndex(name)); }
    QString getText(const QString& name) const { return getText(colIndex(name)); }
    QByteArray getBlob(const QString& name) const { return getBlob(colIndex(name)); }

    // By position, for loops that resolve their columns once.
    bool isNull(int index) const;
    int getInt(int index) const;
    qint64 getInt64(int index) const;
    double getDouble(int index) const;
    QString getText(int index) const;
    // The text as SQLite holds it (UTF-8), without a copy: valid until the cursor moves.
    QByteArrayView getUtf8(int index) const;
    QByteArray getBlob(int index) const;
    QVariant getValue(int index) const; // typed as SQLite stores it

    Sqlite3Row getRow() const;

private:
    void release();

    std::shared_ptr<Sqlite3Stmt> m_stmt;
    bool m_onRow = false;
};
