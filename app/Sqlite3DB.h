#pragma once

#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3Sql.h"
#include "app/SqliteCol.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

struct sqlite3;
class Sqlite3Stmt;

// The interface version of the SQLite access classes; the program runs only with 6.
int sqlite_qt_version();

// One open SQLite database. Statements are prepared once per text and reused while
// the connection is open, since loaders and writers run the same few statements
// hundreds of thousands of times.
class Sqlite3DB
{
public:
    // Open flags as SQLite defines them: 2 opens an existing file read-write, 6 also
    // creates a missing one.
    static constexpr int OpenReadOnly = 0x1;
    static constexpr int OpenReadWrite = 0x2;
    static constexpr int OpenCreate = 0x4;
    // Without SQLite's lock around each call: for a connection that one thread at a
    // time uses, and that is never shared while in use.
    static constexpr int OpenNoMutex = 0x8000;

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    void openThrow(const QString& path, int flags);
    bool isOpen() const { return m_db != nullptr; }
    void close();
    QString path() const { return m_path; }
    sqlite3* handle() const { return m_db; }

    Sqlite3Cursor queryThrow(const Sqlite3Sql& sql);
    void executeThrow(const Sqlite3Sql& sql);
    void executeScriptThrow(const QString& script); // several statements, no parameters
    qint64 lastInsertId() const;
    int changes() const;

    void beginTran();
    void commitTran();
    void rollbackTran();
    bool inTransaction() const;

    // Runs one statement without throwing; returns SQLite's result code and fills
    // errorText on failure.
    int exec(const QString& sql, QString& errorText);

    QList<_SqliteCol> tbCols(const QString& table);

    // Settings for files that come from elsewhere (phones, the desktop app): no
    // memory mapping, cell size checks, no trust in functions named by the schema.
    void applyDefensiveSettings();

    // How long a statement waits for another program's lock before failing.
    void setBusyTimeout(int milliseconds);

    // The page cache limit as PRAGMA cache_size gives it: pages when positive, KiB
    // when negative. Lowering it frees cached pages at once.
    qint64 cacheSize();
    void setCacheSize(qint64 size);

    // A collation that compares like the built-in NOCASE, for files that name a
    // collation only their own platform has (Android's LOCALIZED and UNICODE).
    void registerFallbackCollation(const QString& name);

private:
    std::shared_ptr<Sqlite3Stmt> statement(const QString& text);
    [[noreturn]] void throwLastError() const;
    void requireOpen() const;

    sqlite3* m_db = nullptr;
    QString m_path;
    QHash<QString, std::shared_ptr<Sqlite3Stmt>> m_cache;
    // The same statements by the address of the text they were made from, which each
    // keeps: a text handed in again (a literal, or what an insert builder keeps) is
    // found without hashing and comparing it whole. Statement texts are never made
    // with QString::fromRawData over a buffer that may change.
    QHash<const QChar*, std::shared_ptr<Sqlite3Stmt>> m_byAddress;
};
