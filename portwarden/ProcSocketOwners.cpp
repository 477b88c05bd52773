#include "portwarden/ProcSocketOwners.h"

#include <QByteArrayView>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

constexpr uint AdbPort = 5037;
constexpr uint ListenState = 0x0A; // TCP_LISTEN, as the st column writes it
// A desktop has a few thousand sockets at most, some 150 bytes a line each.
constexpr qint64 MaxTableBytes = 64 * 1024 * 1024;
constexpr qsizetype MaxTableLineLength = 1024;
// Only a handful of sockets can listen on one port, even with SO_REUSEPORT in play.
constexpr qsizetype MaxListeners = 1024;
// The kernel's largest pid_max, and its largest limit on a process's open files.
constexpr qsizetype MaxProcesses = 4 * 1024 * 1024;
constexpr qsizetype MaxDescriptorsPerProcess = 1024 * 1024;

struct Listener
{
    Portwarden::PortLine portLine;
    quint64 inode = 0;
};

// The kernel's tables report a size of 0, so they are read to their end, up to a cap.
std::optional<QByteArray> readTable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes;
    while (bytes.size() < MaxTableBytes) {
        const QByteArray more = file.read(qMin<qint64>(64 * 1024, MaxTableBytes - bytes.size()));
        if (more.isEmpty())
            break;
        bytes += more;
    }
    return bytes;
}

std::optional<uint> hexNumber(QByteArrayView digits, qsizetype length)
{
    if (digits.size() != length)
        return std::nullopt;
    uint value = 0;
    for (const char c : digits) {
        uint digit = 0;
        if (c >= '0' && c <= '9')
            digit = uint(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = uint(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = uint(c - 'a' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

// The kernel prints an address as 32-bit words, each in the byte order it holds them in
// memory (so the host's): 127.0.0.1 reads "0100007F" on a little-endian machine.
std::optional<QString> addressText(QByteArrayView hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return std::nullopt;
    std::array<uchar, 16> bytes{};
    const qsizetype words = hex.size() / 8;
    for (qsizetype i = 0; i < words; ++i) {
        const auto word = hexNumber(hex.sliced(i * 8, 8), 8);
        if (!word)
            return std::nullopt;
        const quint32 native = *word;
        std::memcpy(bytes.data() + i * 4, &native, 4);
    }
    if (words == 1)
        return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
    std::array<uint, 8> groups{};
    for (int i = 0; i < 8; ++i)
        groups[i] = uint(bytes[i * 2]) << 8 | bytes[i * 2 + 1];
    // The longest run of two or more zero groups is written "::".
    int runStart = -1;
    int runLength = 0;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > runLength && j - i >= 2) {
            runStart = i;
            runLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    QString text = QStringLiteral("[");
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            text += QStringLiteral("::");
            i += runLength - 1;
            continue;
        }
        if (i > 0 && i != runStart + runLength)
            text += QLatin1Char(':');
        text += QString::number(groups[i], 16);
    }
    return text + QLatin1Char(']');
}

// The listening sockets on port 5037 of one table: "sl local_address rem_address st ...
// inode", local_address being hex ADDRESS:PORT.
void addListeners(const QByteArray& table, QList<Listener>& listeners)
{
    bool header = true;
    for (const QByteArray& line : table.split('\n')) {
        if (std::exchange(header, false) || line.size() > MaxTableLineLength)
            continue;
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() < 10)
            continue;
        const QList<QByteArray> local = columns[1].split(':');
        if (local.size() != 2 || hexNumber(local[1], 4) != AdbPort || hexNumber(columns[3], 2) != ListenState)
            continue;
        const auto address = addressText(local[0]);
        bool ok = false;
        const quint64 inode = columns[9].toULongLong(&ok);
        if (!address || !ok || inode == 0)
            continue;
        if (std::any_of(listeners.cbegin(), listeners.cend(),
                        [inode](const Listener& known) { return known.inode == inode; }))
            continue;
        if (listeners.size() >= MaxListeners)
            return;
        listeners << Listener{
            {QStringLiteral("LISTEN %1:%2 socket %3").arg(*address).arg(AdbPort).arg(inode), {}}, inode};
    }
}

#ifndef Q_OS_WIN
struct FolderCloser
{
    void operator()(DIR* folder) const { closedir(folder); }
};
using Folder = std::unique_ptr<DIR, FolderCloser>;

bool isDecimal(QByteArrayView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Folder openFolder(const QString& path)
{
    return Folder(opendir(QFile::encodeName(path).constData()));
}

// The process folders of the root, in ascending order. Number 0 and numbers beyond a pid_t
// are no processes.
QList<qint64> processIds(const QString& root)
{
    QList<qint64> ids;
    const Folder folder = openFolder(root);
    if (!folder)
        return ids;
    while (const dirent* entry = readdir(folder.get())) {
        const QByteArrayView name(entry->d_name);
        if (name.size() > 10 || !isDecimal(name))
            continue;
        const qint64 id = name.toByteArray().toLongLong();
        if (id > 0 && id <= std::numeric_limits<qint32>::max())
            ids << id;
        if (ids.size() >= MaxProcesses)
            break;
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The socket inodes among a process's descriptors, read from its fd folder; nothing when the
// folder cannot be read (another user's process, or one that has ended meanwhile).
QList<quint64> socketInodes(const QString& root, qint64 processId)
{
    QList<quint64> inodes;
    const Folder folder =
        openFolder(root + QLatin1Char('/') + QString::number(processId) + QStringLiteral("/fd"));
    if (!folder)
        return inodes;
    static constexpr QByteArrayView Prefix("socket:[");
    qsizetype seen = 0;
    while (const dirent* entry = readdir(folder.get())) {
        if (++seen > MaxDescriptorsPerProcess)
            break;
        // "socket:[" and a 64-bit number fit with room to spare; a longer target is no socket.
        std::array<char, 40> target{};
        const ssize_t length = readlinkat(dirfd(folder.get()), entry->d_name, target.data(), target.size());
        if (length <= 0 || length >= ssize_t(target.size()))
            continue;
        const QByteArrayView link(target.data(), length);
        if (!link.startsWith(Prefix) || !link.endsWith(']'))
            continue;
        const QByteArrayView digits = link.sliced(Prefix.size(), link.size() - Prefix.size() - 1);
        if (!isDecimal(digits))
            continue;
        bool ok = false;
        const quint64 inode = digits.toByteArray().toULongLong(&ok);
        if (ok)
            inodes << inode;
    }
    return inodes;
}
#endif

} // namespace

ProcSocketOwners::ProcSocketOwners(QString root) : m_root(std::move(root)) {}

std::optional<QList<Portwarden::PortLine>> ProcSocketOwners::adbListeners() const
{
    const auto tcp = readTable(m_root + QStringLiteral("/net/tcp"));
    if (!tcp)
        return std::nullopt;
    QList<Listener> listeners;
    addListeners(*tcp, listeners);
    // A system without IPv6 has no tcp6 table.
    if (const auto tcp6 = readTable(m_root + QStringLiteral("/net/tcp6")))
        addListeners(*tcp6, listeners);
#ifndef Q_OS_WIN
    if (!listeners.isEmpty()) {
        QHash<quint64, qsizetype> byInode;
        for (qsizetype i = 0; i < listeners.size(); ++i)
            byInode.insert(listeners[i].inode, i);
        for (const qint64 id : processIds(m_root)) {
            for (const quint64 inode : socketInodes(m_root, id)) {
                const auto found = byInode.constFind(inode);
                if (found == byInode.cend())
                    continue;
                QList<qint64>& owners = listeners[*found].portLine.processIds;
                if (!owners.contains(id))
                    owners << id;
            }
        }
    }
#endif
    QList<Portwarden::PortLine> lines;
    for (const Listener& listener : listeners)
        lines << listener.portLine;
    return lines;
}
