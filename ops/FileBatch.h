#pragma once

#include "ops/FileSystemSyncs.h"
#include "ops/WriteOutQueue.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <future>
#include <memory>
#include <vector>

class BackgroundWriter;
class Sha256;

// The files of one export, put in place together. Each is written to a temporary file
// beside its target; commit() makes them all durable with one sync of the disk and only
// then renames them into place, so that an export of hundreds of files waits for the
// disk once instead of once a file, and a target is never replaced by a file whose data
// a crash could still lose; the copies made through the batch are synced with them.
// What is not committed is removed when the batch goes: a cancel or a failure leaves
// every target as it was. The batch must outlive the writers of its files.
//
// Opens, writes, closes and the data of copies run on a thread of the batch's own, in
// the order they are asked, and each finished file goes through a WriteOutQueue, so
// that the sync at the end finds most of the data on the disk. A failure there is
// reported by the next write, finish or commit.
//
// Every file's bytes are hashed as they go by, so that an export's manifest need not
// read back what was just written: the pages leave the file system's cache as soon as
// they are on the disk.
class FileBatch
{
public:
    using Hashes = QHash<QString, QString>; // a file's absolute path → its SHA-256 in hex

    FileBatch();
    ~FileBatch(); // waits for the batch's thread, then removes what was not committed
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // A new temporary file for target, opened for writing on the batch's thread; throws
    // OperationError as write() does. The file is the batch's: it is written through
    // write() and ended with finish() or discard().
    QFile* create(const QString& target);
    // Appends bytes to file; throws OperationError, with the file's error text, when
    // earlier work of the batch failed.
    void write(QFile* file, QByteArray bytes);
    // The writer is done with file: it is closed, and goes in place at commit(). Throws
    // as write() does.
    void finish(QFile* file);
    // Drops file and what was written to it; its target is left as it was.
    void discard(QFile* file);
    // Copies source to destination, a name not taken yet: the name is taken at once, the
    // data follows on the batch's thread (QFile::copy syncs every copy to the disk on its
    // own); commit() syncs the copy with the batch's files. False, leaving nothing, when
    // source is no file or destination is taken; a copy that fails later is removed.
    bool copyNew(const QString& source, const QString& destination);
    // Copies every plain file of the folder source into the folder target, keeping what
    // is there already, wholly on a thread of its own beside the batch's (a folder of
    // some thousand small pictures held up the pages for a tenth of a second): for a
    // folder no other file of the batch goes to, as names are taken only as the copies
    // are made. A copy that fails is left out.
    void copyFolderNew(const QString& source, const QString& target);
    // Waits for the batch's thread, syncs every file, renames each onto its target in the
    // order they were created, and syncs their folders; throws OperationError, naming the
    // file, when any step fails or a file was never finished.
    void commit();
    // The SHA-256 of every file commit() put in place and of every copy made, by path.
    const Hashes& writtenHashes() const { return m_written; }

private:
    struct Entry
    {
        std::unique_ptr<QFile> file;
        std::unique_ptr<Sha256> hash;
        QString target;
        bool finished = false;
    };
    // A copy made on the batch's thread, which alone touches it until commit().
    struct Copy
    {
        explicit Copy(const QString& path);
        ~Copy();
        QString path;
        std::unique_ptr<Sha256> hash;
        bool made = false;
    };

    std::vector<Entry>::iterator find(const QFile* file);
    // Every file's data on the disk; copies are those made in place.
    void syncFiles(const QList<QString>& copies) const;
    void recordHash(const QString& path, Sha256& hash);
    void throwIfFailed() const;

    std::vector<Entry> m_entries;
    std::deque<Copy> m_copies;                       // synced at commit(), already in place
    std::vector<std::future<Hashes>> m_folderCopies; // what each copy of a folder made
    FileSystemSyncs m_syncs;
    WriteOutQueue m_writeOut; // the batch's thread's, and commit()'s once it has drained
    std::unique_ptr<BackgroundWriter> m_writer;
    Hashes m_written;
};
