#include "app/PrivateWorkFolder.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSet>

#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr auto OwnerLockName = ".velliport-owner";

int openOwnerLock(const QString& folder)
{
    return ::open(QFile::encodeName(QDir(folder).filePath(QLatin1String(OwnerLockName))).constData(),
                  O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// A folder whose lock nobody holds belongs to a process that ended without removing
// it: what it decrypted or unpacked goes now. A folder without a lock is one being
// made this moment (or an older version's) and stays.
void removeAbandoned(const QString& parent)
{
    static QMutex mutex;
    static QSet<QString> swept;
    const QMutexLocker locker(&mutex);
    const QString key = QDir(parent).absolutePath();
    if (swept.contains(key))
        return;
    swept.insert(key);
    const QFileInfoList folders = QDir(key).entryInfoList({QStringLiteral("velliport-??????")},
                                                          QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& folder : folders) {
        if (folder.isSymLink() || folder.ownerId() != ::getuid())
            continue;
        const int lock = openOwnerLock(folder.absoluteFilePath());
        if (lock < 0)
            continue;
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0)
            QDir(folder.absoluteFilePath()).removeRecursively();
        ::close(lock);
    }
}

QString templateIn(const QString& parentFolder)
{
    const QString parent = parentFolder.isEmpty() ? QDir::tempPath() : parentFolder;
    QDir().mkpath(parent);
    return QDir(parent).filePath(QStringLiteral("velliport-XXXXXX"));
}

} // namespace

PrivateWorkFolder::PrivateWorkFolder(const QString& parentFolder) : m_dir(templateIn(parentFolder))
{
    // QTemporaryDir makes the folder with mkdtemp, which gives it mode 0700; it is set
    // again so that the promise does not rest on that detail.
    if (!m_dir.isValid() ||
        !QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw std::runtime_error(QStringLiteral("cannot create a private working folder: %1")
                                     .arg(m_dir.errorString())
                                     .toStdString());
    // Locked under another name first: a lock file visible by its own name is always held.
    const QString fresh = filePath(QLatin1String(OwnerLockName) + QStringLiteral(".new"));
    const int lock = ::open(QFile::encodeName(fresh).constData(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0 &&
        QFile::rename(fresh, filePath(QLatin1String(OwnerLockName))))
        m_ownerLock = lock;
    else if (lock >= 0)
        ::close(lock);
    removeAbandoned(QFileInfo(m_dir.path()).absolutePath());
}

PrivateWorkFolder::~PrivateWorkFolder()
{
    if (m_ownerLock >= 0)
        ::close(m_ownerLock);
}

bool PrivateWorkFolder::restrictToOwner(const QString& filePath)
{
    return QFile::setPermissions(filePath, QFile::ReadOwner | QFile::WriteOwner);
}
