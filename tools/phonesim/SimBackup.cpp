#include "tools/phonesim/SimBackup.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// Decompressed archives larger than this are refused rather than held in memory.
constexpr qint64 MaxTarSize = 512LL * 1024 * 1024;

// Backup domains and the folders of the app's data directory they stand for.
const std::vector<std::pair<QString, QString>>& domains()
{
    static const std::vector<std::pair<QString, QString>> table = {
        {QStringLiteral("db"), QStringLiteral("databases")},
        {QStringLiteral("sp"), QStringLiteral("shared_prefs")},
        {QStringLiteral("f"), QStringLiteral("files")},
    };
    return table;
}

struct ArchiveDeleter
{
    void operator()(archive* a) const { archive_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

la_ssize_t appendToBuffer(archive*, void* client, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(client)->append(static_cast<const char*>(buffer), qsizetype(length));
    return la_ssize_t(length);
}

void addEntry(archive* writer, const QString& name, const QByteArray& data, qint64 mtime)
{
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                        archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.toUtf8().constData());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0600);
    archive_entry_set_size(entry.get(), data.size());
    archive_entry_set_mtime(entry.get(), time_t(mtime), 0);
    if (archive_write_header(writer, entry.get()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(writer));
    if (!data.isEmpty() && archive_write_data(writer, data.constData(), size_t(data.size())) < 0)
        throw std::runtime_error(archive_error_string(writer));
}

QByteArray deflate(const QByteArray& plain)
{
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(plain.constData()), uLong(plain.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compression failed");
    out.truncate(qsizetype(size));
    return out;
}

QByteArray inflate(const QByteArray& compressed)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw std::runtime_error("zlib init failed");
    QByteArray out;
    char buffer[65536];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        rc = ::inflate(&stream, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            inflateEnd(&stream);
            throw std::runtime_error("archive data is damaged");
        }
        out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        if (out.size() > MaxTarSize) {
            inflateEnd(&stream);
            throw std::runtime_error("archive too large");
        }
        if (rc == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            inflateEnd(&stream);
            throw std::runtime_error("archive data is truncated");
        }
    }
    inflateEnd(&stream);
    return out;
}

QString manifestText(const QString& package)
{
    return QStringLiteral("1\n%1\n1500\n30\ncom.android.vending\n0\n").arg(package);
}

} // namespace

namespace SimBackup {

QByteArray makeArchive(const SimDevice& device, const QString& package, bool encrypted)
{
    QByteArray tar;
    ArchivePtr writer(archive_write_new());
    archive_write_set_format_ustar(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    if (archive_write_open(writer.get(), &tar, nullptr, appendToBuffer, nullptr) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(writer.get()));

    const QString appDir = device.fileFor(QStringLiteral("/data/data/") + package);
    const bool included = device.sdkLevel() < 31 && device.packages().contains(package) &&
                          !appDir.isEmpty() && QFileInfo(appDir).isDir();
    if (included) {
        const QString prefix = QStringLiteral("apps/%1/").arg(package);
        addEntry(writer.get(), prefix + QStringLiteral("_manifest"), manifestText(package).toUtf8(),
                 QDateTime::currentSecsSinceEpoch());
        for (const auto& [domain, folder] : domains()) {
            const QString root = appDir + u'/' + folder;
            QStringList files;
            QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                files.append(it.next());
            files.sort();
            for (const QString& path : files) {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                addEntry(writer.get(), prefix + domain + u'/' + QDir(root).relativeFilePath(path),
                         file.readAll(), QFileInfo(path).lastModified().toSecsSinceEpoch());
            }
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(writer.get()));

    if (encrypted) {
        QByteArray body(qMax<qsizetype>(64, tar.size() / 2), Qt::Uninitialized);
        for (char& c : body)
            c = char(QRandomGenerator::global()->bounded(256));
        return QByteArrayLiteral("ANDROID BACKUP\n5\n1\nAES-256\n") + QByteArray(64, 'A') + '\n' +
               QByteArray(64, 'B') + "\n10000\n" + QByteArray(32, 'C') + '\n' + QByteArray(192, 'D') + '\n' +
               body;
    }
    return QByteArrayLiteral("ANDROID BACKUP\n5\n1\nnone\n") + deflate(tar);
}

int restoreArchive(SimDevice& device, const QByteArray& archiveBytes)
{
    qsizetype offset = 0;
    QList<QByteArray> header;
    while (header.size() < 4) {
        const qsizetype end = archiveBytes.indexOf('\n', offset);
        if (end < 0 || end - offset > 200)
            throw std::runtime_error("not a backup file");
        header.append(archiveBytes.mid(offset, end - offset));
        offset = end + 1;
    }
    if (header[0] != "ANDROID BACKUP")
        throw std::runtime_error("not a backup file");
    if (header[3] != "none")
        throw std::runtime_error("encrypted backups need the password on the phone");
    const QByteArray body = archiveBytes.mid(offset);
    const QByteArray tar = header[2] == "1" ? inflate(body) : body;

    ArchivePtr reader(archive_read_new());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), tar.constData(), size_t(tar.size())) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(reader.get()));

    // The engine takes a package's data only after that package's manifest, and gives
    // apps of API level 31 and above nothing at all.
    QString package;
    int written = 0;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const QString name = QString::fromUtf8(archive_entry_pathname(entry));
        const auto type = archive_entry_filetype(entry);
        if (name.contains(QLatin1String("..")) || name.contains(QLatin1String("//")) || name.startsWith(u'/'))
            continue;
        const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
        if (parts.size() < 3 || parts[0] != QLatin1String("apps"))
            continue;
        if (parts.size() == 3 && parts[2] == QLatin1String("_manifest")) {
            if (device.sdkLevel() < 31 && device.packages().contains(parts[1])) {
                package = parts[1];
                device.noteWrite(QStringLiteral("/data/data/") + package + QStringLiteral("/databases"));
                QDir(device.fileFor(QStringLiteral("/data/data/") + package + QStringLiteral("/databases")))
                    .removeRecursively();
            }
            continue;
        }
        if (package.isEmpty() || parts[1] != package || parts.size() < 4)
            continue;
        QString folder;
        for (const auto& [domain, local] : domains()) {
            if (parts[2] == domain)
                folder = local;
        }
        if (folder.isEmpty())
            continue;
        const QString target = device.fileFor(
            QStringLiteral("/data/data/%1/%2/%3").arg(package, folder, parts.mid(3).join(u'/')));
        if (target.isEmpty())
            continue;
        if (type == AE_IFDIR) {
            QDir().mkpath(target);
            continue;
        }
        if (type != AE_IFREG)
            continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly))
            continue;
        char buffer[65536];
        la_ssize_t n = 0;
        while ((n = archive_read_data(reader.get(), buffer, sizeof buffer)) > 0)
            out.write(buffer, n);
        ++written;
    }
    return written;
}

} // namespace SimBackup
