#pragma once

#include "app/Sqlite3Sql.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

class SchemaCatalogue;

// One row to insert into one table, built column by column. Writers set the same
// columns row after row, so the statement text for each set of columns is made once
// and the database reuses its prepared statement; which optional columns the table
// has is asked of the catalogue once per column.
//
// Column names are string literals (or strings that outlive the object): they are
// remembered by address.
class ColumnInsert
{
public:
    explicit ColumnInsert(const char* table);

    // Forgets what the previous database had; call after every (re)open.
    void reset(const SchemaCatalogue* catalogue);

    bool has(const char* column);

    void begin(); // starts a new row
    void set(const char* column, const QVariant& value);
    void setIfPresent(const char* column, const QVariant& value); // only when the table has the column

    Sqlite3Sql sql();

private:
    const char* m_table;
    const SchemaCatalogue* m_catalogue = nullptr;
    QHash<const char*, bool> m_present;
    QList<const char*> m_columns;
    QList<QVariant> m_values;
    QHash<QByteArray, QString> m_texts; // column addresses → statement text
};
