#pragma once

#include <QtGlobal>

#include <sqlite3.h>

#include <atomic>

// An SQLite VFS over the default one that fails a chosen write, sync or truncate of any
// file (database, journal, WAL, temporary), the way SQLite's own I/O error tests do. While
// it lives it is the default VFS, so every connection the program opens goes through it
// without the program knowing; the destructor puts the previous default back.
class FailingVfs
{
public:
    enum Operation { Write = 1, Sync = 2, Truncate = 4 };

    FailingVfs();
    ~FailingVfs();
    FailingVfs(const FailingVfs&) = delete;
    FailingVfs& operator=(const FailingVfs&) = delete;

    // The nth call (counted from 1) of the given operations fails with its SQLITE_IOERR_*
    // code; with persistent, so does every later one, as a disk that went bad would.
    void failNth(int operations, int nth, bool persistent);
    // Writes fail with SQLITE_FULL once they would take more than this many bytes in all.
    void limitBytes(qint64 budget);
    // Back to passing everything through; the counts start again.
    void disarm();

    // Whether a failure was handed out since the last arming.
    bool fired() const { return m_fired.load(); }
    // Since the last arming: the calls of the armed operations, and the bytes written
    // under a budget.
    int calls() const { return m_calls.load(); }
    qint64 bytes() const { return m_bytes.load(); }

    // What the file methods ask: SQLITE_OK to go on, or the error to return instead.
    int beforeOperation(Operation operation, qint64 bytes);
    sqlite3_vfs* previous() const { return m_previous; }

private:
    sqlite3_vfs m_vfs{};
    sqlite3_vfs* m_previous = nullptr;
    std::atomic<int> m_operations{0};
    std::atomic<int> m_nth{0};
    std::atomic<bool> m_persistent{false};
    std::atomic<qint64> m_budget{-1};
    std::atomic<int> m_calls{0};
    std::atomic<qint64> m_bytes{0};
    std::atomic<bool> m_fired{false};
};
