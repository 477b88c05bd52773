#include "bench/BenchBulkLoad.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <sqlite3.h>

namespace {

struct Closer
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Closer>;
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

void checkBulk(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

Connection openBulk(const QString& path, int flags)
{
    // Without SQLite's allocation count, as the program's own connections run (a no-op
    // once the library has started).
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &opened, flags, nullptr);
    Connection db(opened);
    checkBulk(rc, opened);
    return db;
}

Statement prepareBulk(sqlite3* db, const QByteArray& sql)
{
    sqlite3_stmt* stmt = nullptr;
    checkBulk(sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr), db);
    return Statement(stmt, sqlite3_finalize);
}

void execBulk(sqlite3* db, const QByteArray& sql)
{
    checkBulk(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), db);
}

QByteArray quoted(const QByteArray& name)
{
    return '"' + QByteArray(name).replace('"', "\"\"") + '"';
}

template<typename T> void appendRaw(QByteArray& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template<typename T> T takeRaw(const char*& at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

} // namespace

namespace {

// Appends the rows select gives to table, which is inserted into by the names of the
// select's columns.
void readRows(sqlite3* db, BenchBulkLoad::Table& table, const QByteArray& select)
{
    const Statement rows = prepareBulk(db, select);
    const int columns = sqlite3_column_count(rows.get());
    QByteArray names;
    QByteArray marks;
    for (int i = 0; i < columns; ++i) {
        names += (i ? "," : "") + quoted(sqlite3_column_name(rows.get(), i));
        marks += i ? ",?" : "?";
    }
    table.insertSql = "insert into " + quoted(table.name) + " (" + names + ") values (" + marks + ")";
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        ++table.rows;
        for (int i = 0; i < columns; ++i) {
            const int type = sqlite3_column_type(rows.get(), i);
            table.values.append(char(type));
            if (type == SQLITE_INTEGER) {
                appendRaw(table.values, qint64(sqlite3_column_int64(rows.get(), i)));
            } else if (type == SQLITE_FLOAT) {
                appendRaw(table.values, sqlite3_column_double(rows.get(), i));
            } else if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(rows.get(), i));
                const qint32 size = sqlite3_column_bytes(rows.get(), i);
                appendRaw(table.values, size);
                table.values.append(bytes, size);
            }
        }
    }
    checkBulk(rc, db);
}

// The schema of the file: tables first, in the order it made them; a virtual table's
// own storage tables are left to the virtual table to make.
void readSchema(sqlite3* db, BenchBulkLoad::Snapshot& snapshot, QList<QByteArray>& virtualTables)
{
    const Statement schema =
        prepareBulk(db, "select type, name, sql from sqlite_master where sql is not null and name not like "
                        "'sqlite\\_%' escape '\\' order by type <> 'table', rowid");
    while (sqlite3_step(schema.get()) == SQLITE_ROW) {
        const QByteArray type = reinterpret_cast<const char*>(sqlite3_column_text(schema.get(), 0));
        const QByteArray name = reinterpret_cast<const char*>(sqlite3_column_text(schema.get(), 1));
        const QByteArray sql = reinterpret_cast<const char*>(sqlite3_column_text(schema.get(), 2));
        if (type != "table") {
            snapshot.laterSql.append(sql);
            continue;
        }
        if (std::any_of(virtualTables.begin(), virtualTables.end(),
                        [&](const QByteArray& owner) { return name.startsWith(QByteArray(owner + '_')); }))
            continue;
        snapshot.tableSql.append(sql);
        if (sql.toLower().startsWith("create virtual table"))
            virtualTables.append(name);
        else
            snapshot.tables.append({name, {}, 0, {}});
    }
}

} // namespace

BenchBulkLoad::Snapshot BenchBulkLoad::read(const QString& path, const QString& messagesPath)
{
    const Connection db = openBulk(path, SQLITE_OPEN_READONLY);
    if (!messagesPath.isEmpty())
        execBulk(db.get(),
                 "attach database '" + QFile::encodeName(messagesPath).replace('\'', "''") + "' as h");
    Snapshot snapshot;
    QList<QByteArray> virtualTables;
    readSchema(db.get(), snapshot, virtualTables);
    for (Table& table : snapshot.tables) {
        readRows(db.get(), table, "select * from " + quoted(table.name) + " order by rowid");
        snapshot.rows += table.rows;
    }
    if (messagesPath.isEmpty())
        return snapshot;
    // A text index without content holds only which documents it has: their texts come
    // from the messages they are keyed to.
    for (const QByteArray& name : std::as_const(virtualTables)) {
        Table table{name, {}, 0, {}};
        readRows(
            db.get(), table,
            "select d.key as rowid, m.ZTEXT as text from docs as d join h.ZVIBERMESSAGE as m on m.Z_PK = "
            "d.pk where d.key in (select id from " +
                quoted(name + "_docsize") + ") order by d.key");
        snapshot.rows += table.rows;
        snapshot.tables.append(table);
    }
    return snapshot;
}

qint64 BenchBulkLoad::write(const Snapshot& snapshot, const QString& path)
{
    if (QFile::exists(path))
        throw std::runtime_error("the bulk load's file exists already: " + path.toStdString());
    QElapsedTimer timer;
    timer.start();
    {
        const Connection db = openBulk(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        execBulk(db.get(), "begin");
        for (const QByteArray& sql : snapshot.tableSql)
            execBulk(db.get(), sql);
        for (const Table& table : snapshot.tables) {
            const Statement insert = prepareBulk(db.get(), table.insertSql);
            sqlite3_stmt* stmt = insert.get();
            const int columns = sqlite3_bind_parameter_count(stmt);
            const char* at = table.values.constData();
            for (qint64 row = 0; row < table.rows; ++row) {
                for (int i = 1; i <= columns; ++i) {
                    switch (*at++) {
                    case SQLITE_INTEGER:
                        sqlite3_bind_int64(stmt, i, takeRaw<qint64>(at));
                        break;
                    case SQLITE_FLOAT:
                        sqlite3_bind_double(stmt, i, takeRaw<double>(at));
                        break;
                    case SQLITE_TEXT: {
                        const auto size = takeRaw<qint32>(at);
                        sqlite3_bind_text(stmt, i, at, size, SQLITE_STATIC);
                        at += size;
                        break;
                    }
                    case SQLITE_BLOB: {
                        const auto size = takeRaw<qint32>(at);
                        sqlite3_bind_blob(stmt, i, at, size, SQLITE_STATIC);
                        at += size;
                        break;
                    }
                    default:
                        sqlite3_bind_null(stmt, i);
                        break;
                    }
                }
                checkBulk(sqlite3_step(stmt), db.get());
                sqlite3_reset(stmt);
            }
        }
        for (const QByteArray& sql : snapshot.laterSql)
            execBulk(db.get(), sql);
        execBulk(db.get(), "commit");
    }
    return timer.nsecsElapsed();
}
