#pragma once

#include "app/Sqlite3Sql.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement. Column names are resolved once per preparation, so that
// reading a row by column name costs one hash look-up.
class Sqlite3Stmt
{
public:
    Sqlite3Stmt(sqlite3* db, const QString& text);
    ~Sqlite3Stmt();
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    void bind(const Sqlite3ParamList& params);
    bool step();  // true while a row is ready; throws on errors
    void reset(); // ready to run again, bindings cleared

    int columnCount() const;
    QString columnName(int index) const;
    int columnIndex(const QString& name) const; // -1 when the statement has no such column

    bool isNull(int index) const;
    int getInt(int index) const;
    qint64 getInt64(int index) const;
    double getDouble(int index) const;
    QString getText(int index) const;
    QByteArrayView getUtf8(int index) const;
    QByteArray getBlob(int index) const;

    const QString& text() const { return m_text; }
    sqlite3_stmt* handle() const { return m_stmt; }

    bool inUse = false; // held by a live cursor (statement cache bookkeeping)

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_text;
    QHash<QString, int> m_columns;      // exact names
    QHash<QString, int> m_columnsLower; // case-insensitive fall-back, as SQLite itself matches names
};
