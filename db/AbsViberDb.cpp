#include "db/AbsViberDb.h"

#include "app/SchemaCatalogue.h"

AbsViberDb::~AbsViberDb() = default;

ViberDataSetPtr AbsViberDb::load()
{
    openForLoad();
    auto dataSet = std::make_shared<ViberDataSet>();
    loadInto(*dataSet);
    return dataSet;
}

void AbsViberDb::execute(const QString& sql)
{
    open();
    executeThrow(Sqlite3Sql(sql));
}

QList<Sqlite3Row> AbsViberDb::readTable(const QString& tableName)
{
    open();
    QString quoted = tableName;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from \"%1\"").arg(quoted)));
    QList<Sqlite3Row> rows;
    while (cursor.moveNext())
        rows.append(cursor.getRow());
    return rows;
}

void AbsViberDb::openReadOnly(const QString& path, SchemaCatalogue& catalogue, int busyMs)
{
    try {
        openThrow(path, OpenReadOnly);
        if (busyMs > 0)
            setBusyTimeout(busyMs);
        applyDefensiveSettings();
        catalogue.readCatalogue(*this);
    } catch (...) {
        catalogue.clear();
        close();
        throw;
    }
}
