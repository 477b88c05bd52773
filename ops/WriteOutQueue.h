#pragma once

#include <QFileDevice>
#include <QString>

#include <deque>
#include <future>

// The files of an export whose data the kernel is writing out. Each finished file is
// started on its way to the disk at once; once a few more have followed it, its data is
// waited for (a disk that failed to take it says so then) and its pages are dropped
// from the cache. An export writes hundreds of megabytes it does not read again: kept,
// they would crowd out of the cache what the user works with, and the kernel would take
// fresh memory for every page of them, which on a virtual machine that hands free memory
// back to its host cost as much as building the pages. Every few dozen megabytes the
// disk is also asked, on a thread of its own, to make what it has taken durable, so that
// the sync at the end of the export waits for the last stretch only. Only Linux has the
// calls to start and wait for a file's writing; elsewhere the queue does nothing and
// the sync at the end writes everything.
class WriteOutQueue
{
public:
    // heldBytes: how much written data may wait for the disk before the oldest file is
    // waited for; enough that the writes go on while the disk makes earlier ones durable.
    explicit WriteOutQueue(qint64 heldBytes = 16 * 1024 * 1024) : m_heldBytes(heldBytes) {}
    ~WriteOutQueue(); // lets go of what it holds, waiting only for a running flush
    WriteOutQueue(const WriteOutQueue&) = delete;
    WriteOutQueue& operator=(const WriteOutQueue&) = delete;

    // Starts writing out file, flushed and still open; the queue keeps a descriptor of
    // its own, so the file may be closed at once. Returns the error of an older file
    // the queue waited for ("name: why"), or empty.
    QString add(const QFileDevice& file);
    // Waits for every file held and for the disk; the first error, or empty.
    QString finishAll();

private:
    struct Held
    {
        int descriptor;
        qint64 size;
        QString name;
    };

    QString releaseOldest();
    QString release(const Held& held);
    bool flushRunning() const;
    QString startFlush(const Held& held);

    qint64 m_heldBytes;
    std::deque<Held> m_files;
    qint64 m_filesBytes = 0; // of the files held
    qint64 m_writtenSinceFlush = 0;
    std::future<QString> m_flush; // the error of the last flush, or empty
};
