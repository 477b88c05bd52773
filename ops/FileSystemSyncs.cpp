#include "ops/FileSystemSyncs.h"

#include "ops/FileWrites.h"
#include "ops/OperationError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

FileSystemSyncs::~FileSystemSyncs()
{
#ifdef Q_OS_LINUX
    for (const Held& held : m_held)
        ::close(held.descriptor);
#endif
}

void FileSystemSyncs::watch(const QString& folder)
{
#ifdef Q_OS_LINUX
    if (folder == m_lastWatched)
        return;
    m_lastWatched = folder;
    QString existing = QFileInfo(folder).absoluteFilePath();
    while (!QFileInfo(existing).isDir() && !QDir(existing).isRoot())
        existing = QFileInfo(existing).absolutePath();
    const int descriptor =
        ::open(QFile::encodeName(existing).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return; // the writes into it fail on their own
    struct stat info = {};
    const bool known = ::fstat(descriptor, &info) != 0 ||
                       std::any_of(m_held.cbegin(), m_held.cend(),
                                   [&](const Held& held) { return held.device == quint64(info.st_dev); });
    if (known) {
        ::close(descriptor);
        return;
    }
    m_held.push_back({descriptor, quint64(info.st_dev), existing});
#else
    Q_UNUSED(folder);
#endif
}

void FileSystemSyncs::syncAll() const
{
#ifdef Q_OS_LINUX
    for (const Held& held : m_held) {
        if (::syncfs(held.descriptor) != 0)
            throw OperationError(FileWrites::failureText(held.folder, FileWrites::systemErrorText(errno)));
    }
#endif
}
