#include "app/SchemaCatalogue.h"

#include "app/Sqlite3DB.h"

void SchemaCatalogue::readCatalogue(Sqlite3DB& db)
{
    m_tables.clear();
    QList<Table> found;
    {
        Sqlite3Cursor cursor =
            db.queryThrow(Sqlite3Sql(QStringLiteral("select * from sqlite_master where type='table'")));
        while (cursor.moveNext())
            found.append(
                {cursor.getText(QStringLiteral("tbl_name")), cursor.getText(QStringLiteral("sql")), {}});
    }
    for (Table& table : found) {
        const QList<_SqliteCol> columns = db.tbCols(table.name);
        for (const _SqliteCol& col : columns)
            table.columns.insert(col.name.toLower(), col);
        m_tables.insert(table.name.toLower(), table);
    }
}

const SchemaCatalogue::Table* SchemaCatalogue::table(const QString& name) const
{
    const auto it = m_tables.constFind(name.toLower());
    return it == m_tables.constEnd() ? nullptr : &it.value();
}

bool SchemaCatalogue::hasTable(const QString& name) const
{
    return table(name) != nullptr;
}

bool SchemaCatalogue::hasColumn(const QString& tableName, const QString& column) const
{
    const Table* t = table(tableName);
    return t && t->columns.contains(column.toLower());
}

_SqliteCol SchemaCatalogue::column(const QString& tableName, const QString& column) const
{
    const Table* t = table(tableName);
    return t ? t->columns.value(column.toLower()) : _SqliteCol();
}

QString SchemaCatalogue::presentColumns(const QString& table, std::span<const char* const> columns) const
{
    QStringList present;
    for (const char* column : columns) {
        if (hasColumn(table, QLatin1String(column)))
            present.append(QLatin1String(column));
    }
    return present.join(QLatin1Char(','));
}
