#include "ops/FileBatch.h"

#include "app/Sha256.h"
#include "ops/BackgroundWriter.h"
#include "ops/FileWrites.h"
#include "ops/OperationError.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#endif
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::filesystem::path batchNativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

OperationError batchFailure(const QString& target, const QString& why)
{
    return OperationError(FileWrites::failureText(target, why));
}

#ifdef Q_OS_UNIX
// Opens path and runs sync on it; 0, or the error.
int syncOpenedPath(const QString& path, int flags, int (*sync)(int))
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return errno;
    const int error = sync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}
#endif

#ifndef Q_OS_LINUX
// Every file's data on the disk, one file at a time. (Linux syncs each file system the
// batch wrote to once, so that the writes of all files wait for the disk together.)
void syncEachFile(const QList<QString>& files, const QList<QString>& targets)
{
    for (qsizetype i = 0; i < files.size(); ++i) {
#ifdef Q_OS_UNIX
        if (const int error = syncOpenedPath(files.at(i), 0, ::fsync))
            throw batchFailure(targets.at(i), FileWrites::systemErrorText(error));
#else
        QFile file(files.at(i));
        if (!file.open(QIODevice::ReadWrite) || _commit(file.handle()) != 0)
            throw batchFailure(targets.at(i), QStringLiteral("the file could not be written to the disk"));
#endif
    }
}
#endif

// The renames on the disk: a folder's entries are synced like a file's data. The files
// are in place and their data on the disk by then, so a file system that cannot sync a
// folder (some network ones answer EINVAL) does not make the export a failure.
void syncBatchFolders(const QSet<QString>& folders)
{
#ifdef Q_OS_UNIX
    for (const QString& folder : folders) {
        if (const int error = syncOpenedPath(folder, O_DIRECTORY, ::fsync))
            qWarning("the folder %s could not be synced: %s", qUtf8Printable(folder),
                     qUtf8Printable(FileWrites::systemErrorText(error)));
    }
#else
    Q_UNUSED(folders); // NTFS keeps its folder entries in its own journal
#endif
}

// Fills the file out, open for writing, with the data of source, hashing it on the way;
// a copy that fails is removed, as a missing file is better than a cut one.
bool copyInto(const QString& source, QFile& out, Sha256& hash)
{
    QFile in(source);
    bool ok = in.open(QIODevice::ReadOnly);
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(64 * 1024);
        ok = !chunk.isEmpty() && FileWrites::writeAll(out, chunk);
        hash.add(chunk);
    }
    if (ok && out.flush())
        return true;
    qWarning("the file %s could not be copied to %s", qUtf8Printable(source), qUtf8Printable(out.fileName()));
    out.remove();
    return false;
}

// Opens file under a new name of its own beside target, not built from the target's,
// which may already be as long as a name can be; the dot keeps it out of sight while it
// is written. Returns the error, naming the target, or empty; a file that could not be
// opened is left without a name, so that nothing is removed in its name.
QString openTemporary(QFile& file, const QString& target)
{
    const QDir folder = QFileInfo(target).absoluteDir();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const quint64 number = QRandomGenerator::global()->generate64();
        file.setFileName(
            folder.filePath(QStringLiteral(".velliport-%1.part").arg(number, 16, 16, QLatin1Char('0'))));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return QString();
        if (!QFileInfo::exists(file.fileName()))
            break; // not a clash of names
    }
    const QString why = file.errorString();
    file.setFileName(QString());
    return FileWrites::failureText(target, why);
}

// The calling thread gives way to the others of the process when they want the
// processor: for work that only has to be done by the end.
void giveWayToOtherThreads()
{
#ifdef Q_OS_LINUX
    ::setpriority(PRIO_PROCESS, pid_t(::gettid()), 10); // Linux gives each thread its own nice value
#endif
}

// The key of a path in the hashes the batch keeps.
QString absolutePath(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// What waits for the batch's thread: some pages' worth, small beside a data set.
constexpr qsizetype MaxWaitingBytes = 4 * 1024 * 1024;

} // namespace

FileBatch::Copy::Copy(const QString& path) : path(path), hash(std::make_unique<Sha256>()) {}

FileBatch::Copy::~Copy() = default;

FileBatch::FileBatch() : m_writer(std::make_unique<BackgroundWriter>(MaxWaitingBytes)) {}

FileBatch::~FileBatch()
{
    m_writer.reset(); // every job has run: no file is in use any more
    for (const Entry& entry : m_entries) {
        entry.file->close();
        QFile::remove(entry.file->fileName());
    }
}

QFile* FileBatch::create(const QString& target)
{
    throwIfFailed();
    m_syncs.watch(QFileInfo(target).absolutePath());
    auto file = std::make_unique<QFile>();
    QFile* const made = file.get();
    m_entries.push_back({std::move(file), std::make_unique<Sha256>(), target});
    m_writer->post([made, target] { return openTemporary(*made, target); });
    return made;
}

void FileBatch::write(QFile* file, QByteArray bytes)
{
    throwIfFailed();
    const auto entry = find(file);
    if (entry == m_entries.end())
        return;
    const qsizetype size = bytes.size();
    m_writer->post(
        [file, hash = entry->hash.get(), bytes = std::move(bytes)] {
            hash->add(bytes);
            return FileWrites::writeAll(*file, bytes) ? QString() : file->errorString();
        },
        size);
}

void FileBatch::finish(QFile* file)
{
    throwIfFailed();
    const auto entry = find(file);
    if (entry == m_entries.end())
        return;
    entry->finished = true;
    m_writer->post([this, file] {
        if (!file->flush())
            return file->errorString();
        const QString earlier = m_writeOut.add(*file);
        file->close();
        return file->error() == QFileDevice::NoError ? earlier : file->errorString();
    });
}

void FileBatch::discard(QFile* file)
{
    const auto entry = find(file);
    if (entry == m_entries.end())
        return;
    m_writer->drain();
    file->close();
    QFile::remove(file->fileName());
    m_entries.erase(entry);
}

// The file a writer is done with is nearly always the last one made: the search starts
// there, as an export of many chats would otherwise look at every file made before.
std::vector<FileBatch::Entry>::iterator FileBatch::find(const QFile* file)
{
    for (auto at = m_entries.end(); at != m_entries.begin();) {
        --at;
        if (at->file.get() == file)
            return at;
    }
    return m_entries.end();
}

void FileBatch::throwIfFailed() const
{
    if (const QString error = m_writer->firstError(); !error.isEmpty())
        throw OperationError(error);
}

bool FileBatch::copyNew(const QString& source, const QString& destination)
{
    if (!QFileInfo(source).isFile())
        return false;
    m_syncs.watch(QFileInfo(destination).absolutePath());
    QFile taken(destination);
    if (!taken.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    taken.close();
    Copy& copy = m_copies.emplace_back(destination);
    m_writer->post([this, source, &copy] {
        QFile out(copy.path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QFile::remove(copy.path);
        } else if (copyInto(source, out, *copy.hash)) {
            copy.made = true;
            return m_writeOut.add(out);
        }
        return QString();
    });
    return true;
}

void FileBatch::copyFolderNew(const QString& source, const QString& target)
{
    m_syncs.watch(target);
    // Small files: each is left to the sync at the end, which writes them together. The
    // copies give way to the pages, which the export waits for: on a disk slow to make
    // files (ext4 passes over the inodes freed in the last minutes), they took a
    // processor for a third of a second.
    auto copy = [source, target] {
        Hashes made;
        const QDir from(source);
        const QDir to(target);
        if (!from.exists() || !QDir().mkpath(target))
            return made;
        const QStringList names = from.entryList(QDir::Files);
        for (const QString& name : names) {
            QFile out(to.filePath(name));
            Sha256 hash;
            if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
                copyInto(from.filePath(name), out, hash))
                made.insert(absolutePath(out.fileName()), hash.finishHex());
        }
        return made;
    };
    try {
        m_folderCopies.push_back(std::async(std::launch::async, [copy] {
            giveWayToOtherThreads();
            return copy();
        }));
    } catch (const std::system_error&) {
        m_folderCopies.push_back(std::async(std::launch::deferred, copy)); // made at commit() instead
    }
}

void FileBatch::commit()
{
    m_writer->drain();
    throwIfFailed();
    if (const QString error = m_writeOut.finishAll(); !error.isEmpty())
        throw OperationError(error);
    QList<QString> copies;
    for (Copy& copy : m_copies) {
        if (copy.made) {
            copies.append(copy.path);
            recordHash(copy.path, *copy.hash);
        }
    }
    for (auto& folderCopy : m_folderCopies) {
        const Hashes made = folderCopy.get();
        copies += made.keys();
        m_written.insert(made);
    }
    for (const Entry& entry : m_entries) {
        if (!entry.finished)
            throw batchFailure(entry.target, QStringLiteral("not written to the end"));
    }
    if (m_entries.empty() && copies.isEmpty())
        return;
    QSet<QString> folders;
    for (const QString& copy : std::as_const(copies))
        folders.insert(QFileInfo(copy).absolutePath());
    for (const Entry& entry : m_entries)
        folders.insert(QFileInfo(entry.target).absolutePath());
    syncFiles(copies);
    m_copies.clear();
    m_folderCopies.clear();
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        std::error_code error;
        std::filesystem::rename(batchNativePath(entry->file->fileName()), batchNativePath(entry->target),
                                error);
        if (error) {
            const QString target = entry->target;
            m_entries.erase(m_entries.begin(), entry); // in place: no longer the batch's to remove
            throw batchFailure(target, QString::fromLocal8Bit(error.message()));
        }
        recordHash(entry->target, *entry->hash);
    }
    m_entries.clear();
    syncBatchFolders(folders);
}

void FileBatch::recordHash(const QString& path, Sha256& hash)
{
    if (const QString hex = hash.finishHex(); !hex.isEmpty())
        m_written.insert(absolutePath(path), hex);
}

void FileBatch::syncFiles(const QList<QString>& copies) const
{
#ifdef Q_OS_LINUX
    Q_UNUSED(copies);
    m_syncs.syncAll();
#else
    QList<QString> files;
    QList<QString> targets;
    for (const QString& copy : copies) {
        if (!QFileInfo::exists(copy))
            continue; // a copy that failed, and was left out
        files.append(copy);
        targets.append(copy);
    }
    for (const Entry& entry : m_entries) {
        files.append(entry.file->fileName());
        targets.append(entry.target);
    }
    syncEachFile(files, targets);
#endif
}
