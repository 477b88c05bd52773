#pragma once

#include <QFile>
#include <QList>
#include <QString>

#include <memory>

// The files of one export, put in place together. Each is written to a temporary file
// beside its target; commit() makes them all durable with one sync of the disk and only
// then renames them into place, so that an export of hundreds of files waits for the
// disk once instead of once a file, and a target is never replaced by a file whose data
// a crash could still lose; the copies made through the batch are synced with them.
// What is not committed is removed when the batch goes: a
// cancel or a failure leaves every target as it was. The batch must outlive the writers
// that create its files.
class FileBatch
{
public:
    FileBatch() = default;
    ~FileBatch();
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // A new temporary file for target, open for writing; throws OperationError.
    std::unique_ptr<QFile> create(const QString& target);
    // The writer has written and closed the file; it goes in place at commit().
    void finished(const QString& temporary);
    // The writer removed the file; it is no longer the batch's.
    void forget(const QString& temporary);
    // Copies source to destination, a name not taken yet, with a plain read and write
    // (QFile::copy syncs every copy to the disk on its own); commit() syncs the copy with
    // the batch's files. False, leaving nothing, when the copy fails.
    bool copyNew(const QString& source, const QString& destination);
    // Syncs every finished file, renames each onto its target in the order they were
    // created, and syncs their folders; throws OperationError, naming the file, when any
    // step fails or a file was never finished.
    void commit();

private:
    struct Entry
    {
        QString temporary;
        QString target;
        bool finished = false;
    };

    qsizetype find(const QString& temporary) const; // -1 when not the batch's

    QList<Entry> m_entries;
    QList<QString> m_copies; // synced at commit(), already in place
};
