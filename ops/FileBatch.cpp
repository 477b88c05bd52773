#include "ops/FileBatch.h"

#include "ops/OperationError.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#endif
#ifdef Q_OS_UNIX
#include <fcntl.h>
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
    return OperationError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target), why));
}

#ifdef Q_OS_UNIX
QString batchErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

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

// Every file's data on the disk. Linux syncs each file system holding them once, so that
// the writes of all files wait for the disk together; elsewhere each file is synced.
void syncBatchFiles(const QList<QString>& files, const QList<QString>& targets, const QSet<QString>& folders)
{
#ifdef Q_OS_LINUX
    Q_UNUSED(files);
    Q_UNUSED(targets);
    QSet<dev_t> synced;
    for (const QString& folder : folders) {
        struct stat info = {};
        if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
            throw batchFailure(folder, batchErrorText(errno));
        if (synced.contains(info.st_dev))
            continue;
        if (const int error = syncOpenedPath(folder, O_DIRECTORY, ::syncfs))
            throw batchFailure(folder, batchErrorText(error));
        synced.insert(info.st_dev);
    }
#elif defined(Q_OS_UNIX)
    Q_UNUSED(folders);
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (const int error = syncOpenedPath(files.at(i), 0, ::fsync))
            throw batchFailure(targets.at(i), batchErrorText(error));
    }
#else
    Q_UNUSED(folders);
    for (qsizetype i = 0; i < files.size(); ++i) {
        QFile file(files.at(i));
        if (!file.open(QIODevice::ReadWrite) || _commit(file.handle()) != 0)
            throw batchFailure(targets.at(i), QStringLiteral("the file could not be written to the disk"));
    }
#endif
}

// The renames on the disk: a folder's entries are synced like a file's data. The files
// are in place and their data on the disk by then, so a file system that cannot sync a
// folder (some network ones answer EINVAL) does not make the export a failure.
void syncBatchFolders(const QSet<QString>& folders)
{
#ifdef Q_OS_UNIX
    for (const QString& folder : folders) {
        if (const int error = syncOpenedPath(folder, O_DIRECTORY, ::fsync))
            qWarning("the folder %s could not be synced: %s", qUtf8Printable(folder),
                     qUtf8Printable(batchErrorText(error)));
    }
#else
    Q_UNUSED(folders); // NTFS keeps its folder entries in its own journal
#endif
}

} // namespace

FileBatch::~FileBatch()
{
    for (const Entry& entry : std::as_const(m_entries))
        QFile::remove(entry.temporary);
}

std::unique_ptr<QFile> FileBatch::create(const QString& target)
{
    // A name of its own, not built from the target's, which may already be as long as a
    // name can be; the dot keeps it out of sight while it is written.
    const QDir folder = QFileInfo(target).absoluteDir();
    auto file = std::make_unique<QFile>();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const quint64 number = QRandomGenerator::global()->generate64();
        file->setFileName(
            folder.filePath(QStringLiteral(".velliport-%1.part").arg(number, 16, 16, QLatin1Char('0'))));
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_entries.append({file->fileName(), target});
            return file;
        }
        if (!QFileInfo::exists(file->fileName()))
            break; // not a clash of names
    }
    throw batchFailure(target, file->errorString());
}

// The file a writer is done with is nearly always the last one made: the search starts
// there, as an export of many chats would otherwise compare every name made before.
void FileBatch::finished(const QString& temporary)
{
    if (const qsizetype at = find(temporary); at >= 0)
        m_entries[at].finished = true;
}

void FileBatch::forget(const QString& temporary)
{
    if (const qsizetype at = find(temporary); at >= 0)
        m_entries.removeAt(at);
}

qsizetype FileBatch::find(const QString& temporary) const
{
    for (qsizetype at = m_entries.size() - 1; at >= 0; --at) {
        if (m_entries.at(at).temporary == temporary)
            return at;
    }
    return -1;
}

bool FileBatch::copyNew(const QString& source, const QString& destination)
{
    QFile in(source);
    QFile out(destination);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    bool ok = true;
    while (ok && !in.atEnd()) {
        const QByteArray chunk = in.read(64 * 1024);
        ok = !chunk.isEmpty() && out.write(chunk) == chunk.size();
    }
    if (!ok || !out.flush()) {
        out.remove(); // a missing file is better than a cut one
        return false;
    }
    m_copies.append(destination);
    return true;
}

void FileBatch::commit()
{
    QList<QString> files = m_copies;
    QList<QString> targets = m_copies;
    QSet<QString> folders;
    for (const QString& copy : std::as_const(m_copies))
        folders.insert(QFileInfo(copy).absolutePath());
    for (const Entry& entry : std::as_const(m_entries)) {
        if (!entry.finished)
            throw batchFailure(entry.target, QStringLiteral("not written to the end"));
        files.append(entry.temporary);
        targets.append(entry.target);
        folders.insert(QFileInfo(entry.target).absolutePath());
    }
    if (files.isEmpty())
        return;
    syncBatchFiles(files, targets, folders);
    m_copies.clear();
    while (!m_entries.isEmpty()) {
        const Entry& entry = m_entries.constFirst();
        std::error_code error;
        std::filesystem::rename(batchNativePath(entry.temporary), batchNativePath(entry.target), error);
        if (error)
            throw batchFailure(entry.target, QString::fromLocal8Bit(error.message()));
        m_entries.removeFirst();
    }
    syncBatchFolders(folders);
}
