#pragma once

#include "app/SqliteCol.h"

#include <QHash>
#include <QList>
#include <QString>

#include <span>

class Sqlite3DB;

// The tables and columns of one open database, read once so that adapters can ask
// before touching an optional table or column. Look-ups ignore letter case.
class SchemaCatalogue
{
public:
    struct Table
    {
        QString name;                       // as the database spells it
        QString sql;                        // the CREATE statement
        QHash<QString, _SqliteCol> columns; // keyed by lower-case name
    };

    void readCatalogue(Sqlite3DB& db);
    void clear() { m_tables.clear(); }

    bool hasTable(const QString& name) const;
    bool hasColumn(const QString& table, const QString& column) const;
    // Those of the columns the table has, comma-separated for a select list: a reader
    // names what it uses, and a generation without some of them still loads.
    QString presentColumns(const QString& table, std::span<const char* const> columns) const;
    _SqliteCol column(const QString& table, const QString& column) const;
    const Table* table(const QString& name) const; // null when unknown
    QList<Table> tables() const { return m_tables.values(); }

private:
    QHash<QString, Table> m_tables; // keyed by lower-case name
};
