#include "bench/BenchFileFloor.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void failCall(const char* call, const QByteArray& path)
{
    throw std::runtime_error(std::string(call) + " " + path.toStdString() + ": " + std::strerror(errno));
}

} // namespace

BenchFileFloor::Tree BenchFileFloor::read(const QString& root)
{
    Tree tree;
    const QDir base(root);
    for (QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();)
        tree.folders.append(base.relativeFilePath(it.next()));
    // Sorted, a folder comes before everything inside it.
    std::sort(tree.folders.begin(), tree.folders.end());
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        tree.files.push_back({base.relativeFilePath(path), file.readAll()});
        tree.bytes += tree.files.back().bytes.size();
    }
    return tree;
}

qint64 BenchFileFloor::write(const Tree& tree, const QString& root)
{
    const QByteArray top = QFile::encodeName(root);
    QElapsedTimer timer;
    timer.start();
    if (::mkdir(top.constData(), 0755) != 0)
        failCall("mkdir", top);
    const QDir base(root);
    for (const QString& folder : tree.folders) {
        const QByteArray path = QFile::encodeName(base.filePath(folder));
        if (::mkdir(path.constData(), 0755) != 0)
            failCall("mkdir", path);
    }
    for (const Tree::File& file : tree.files) {
        const QByteArray path = QFile::encodeName(base.filePath(file.path));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            failCall("open", path);
        for (qint64 done = 0; done < file.bytes.size();) {
            const ssize_t n = ::write(fd, file.bytes.constData() + done, size_t(file.bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::close(fd);
                failCall("write", path);
            }
            done += n;
        }
        if (::close(fd) != 0)
            failCall("close", path);
    }
    const int rootFd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        failCall("open", top);
    const int synced = ::syncfs(rootFd);
    ::close(rootFd);
    if (synced != 0)
        failCall("syncfs", top);
    return timer.nsecsElapsed();
}
