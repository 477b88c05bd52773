#include "ops/WriteOutQueue.h"

#include "ops/FileWrites.h"

#ifdef Q_OS_LINUX
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_LINUX
// How much written data the disk is asked to make durable at a time: a few stages of an
// export of a hundred megabytes, each a short wait on a disk of today.
constexpr qint64 FlushEvery = 32 * 1024 * 1024;

QString failureText(const QString& name, int error)
{
    return FileWrites::failureText(name, FileWrites::systemErrorText(error));
}
#endif

} // namespace

WriteOutQueue::~WriteOutQueue()
{
#ifdef Q_OS_LINUX
    for (const Held& held : m_files)
        ::close(held.descriptor);
#endif
}

QString WriteOutQueue::add(const QFileDevice& file)
{
#ifdef Q_OS_LINUX
    const int descriptor = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0)
        return QString(); // nothing held: the sync at the end writes this one
    ::sync_file_range(descriptor, 0, 0, SYNC_FILE_RANGE_WRITE);
    m_files.push_back({descriptor, file.size(), file.fileName()});
    m_filesBytes += m_files.back().size;
    QString firstError;
    while (m_filesBytes > m_heldBytes && m_files.size() > 1) {
        const QString error = releaseOldest();
        if (firstError.isEmpty())
            firstError = error;
    }
    return firstError;
#else
    Q_UNUSED(file);
    return QString();
#endif
}

QString WriteOutQueue::finishAll()
{
    QString firstError;
    const auto keep = [&firstError](const QString& error) {
        if (firstError.isEmpty())
            firstError = error;
    };
    while (!m_files.empty())
        keep(releaseOldest());
    if (m_flush.valid())
        keep(m_flush.get());
    return firstError;
}

QString WriteOutQueue::releaseOldest()
{
    const Held oldest = m_files.front();
    m_files.pop_front();
    m_filesBytes -= oldest.size;
    return release(oldest);
}

QString WriteOutQueue::release(const Held& held)
{
#ifdef Q_OS_LINUX
    // Pages still dirty are not dropped, so the data must be on the disk first.
    const int waited =
        ::sync_file_range(held.descriptor, 0, 0,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    if (waited != 0) {
        const int error = errno;
        ::close(held.descriptor);
        return failureText(held.name, error);
    }
    ::posix_fadvise(held.descriptor, 0, 0, POSIX_FADV_DONTNEED);
    m_writtenSinceFlush += held.size;
    if (m_writtenSinceFlush >= FlushEvery && !flushRunning()) {
        m_writtenSinceFlush = 0;
        return startFlush(held);
    }
    ::close(held.descriptor);
    return QString();
#else
    Q_UNUSED(held);
    return QString();
#endif
}

bool WriteOutQueue::flushRunning() const
{
    return m_flush.valid() && m_flush.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

// Syncing one file makes the disk write out its cache, and with it what every file
// handed to it so far left there. Returns the error of the flush before, now done.
QString WriteOutQueue::startFlush(const Held& held)
{
#ifdef Q_OS_LINUX
    const QString earlier = m_flush.valid() ? m_flush.get() : QString();
    try {
        m_flush = std::async(std::launch::async, [held] {
            const int error = ::fdatasync(held.descriptor) == 0 ? 0 : errno;
            ::close(held.descriptor);
            return error == 0 ? QString() : failureText(held.name, error);
        });
    } catch (const std::system_error&) {
        ::close(held.descriptor); // no thread to spare: the sync at the end writes it all
    }
    return earlier;
#else
    Q_UNUSED(held);
    return QString();
#endif
}
