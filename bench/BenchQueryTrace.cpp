#include "bench/BenchQueryTrace.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>

#include <memory>
#include <stdexcept>
#include <string>

#include <sqlite3.h>

namespace {

QMutex logMutex;
QJsonArray statements;

int logStatement(unsigned type, void*, void* p, void*)
{
    if (type != SQLITE_TRACE_STMT)
        return 0;
    auto* stmt = static_cast<sqlite3_stmt*>(p);
    char* sql = sqlite3_expanded_sql(stmt);
    if (!sql)
        return 0;
    const char* file = sqlite3_db_filename(sqlite3_db_handle(stmt), "main");
    const QMutexLocker locker(&logMutex);
    statements.append(QJsonObject{{QStringLiteral("file"), QString::fromUtf8(file ? file : "")},
                                  {QStringLiteral("sql"), QString::fromUtf8(sql)}});
    sqlite3_free(sql);
    return 0;
}

int traceConnection(sqlite3* db, char**, const sqlite3_api_routines*)
{
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, logStatement, nullptr);
    return SQLITE_OK;
}

struct Closer
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

} // namespace

void BenchQueryTrace::start()
{
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(traceConnection));
}

QByteArray BenchQueryTrace::take()
{
    const QMutexLocker locker(&logMutex);
    return QJsonDocument(statements).toJson(QJsonDocument::Compact);
}

BenchQueryTrace::Replay BenchQueryTrace::replay(const QByteArray& log)
{
    const QJsonArray list = QJsonDocument::fromJson(log).array();
    QHash<QString, std::shared_ptr<sqlite3>> connections;
    std::string buffer;
    Replay result;
    qint64& sum = result.checksum;
    qint64& count = result.rows;
    result.statements = list.size();
    // Without SQLite's allocation count, as the program's own connections run.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    QElapsedTimer timer;
    timer.start();
    for (const QJsonValue& entry : list) {
        const QString file = entry[QStringLiteral("file")].toString();
        std::shared_ptr<sqlite3>& db = connections[file];
        if (!db) {
            sqlite3* opened = nullptr;
            const int rc = sqlite3_open_v2(file.toUtf8().constData(), &opened, SQLITE_OPEN_READONLY, nullptr);
            db.reset(opened, Closer());
            check(rc, opened);
        }
        const QByteArray sql = entry[QStringLiteral("sql")].toString().toUtf8();
        sqlite3_stmt* stmt = nullptr;
        check(sqlite3_prepare_v2(db.get(), sql.constData(), int(sql.size()), &stmt, nullptr), db.get());
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(stmt, sqlite3_finalize);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            ++count;
            const int columns = sqlite3_column_count(stmt);
            for (int i = 0; i < columns; ++i) {
                switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER:
                    sum += sqlite3_column_int64(stmt, i);
                    break;
                case SQLITE_FLOAT:
                    sum += qint64(sqlite3_column_double(stmt, i));
                    break;
                case SQLITE_TEXT:
                case SQLITE_BLOB: {
                    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, i));
                    buffer.assign(bytes ? bytes : "", size_t(sqlite3_column_bytes(stmt, i)));
                    sum += qint64(buffer.size());
                    break;
                }
                default:
                    break;
                }
            }
        }
        check(rc, db.get());
    }
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    return result;
}
