#include "android/BackupArchive.h"

#include "android/ZlibInflater.h"
#include "app/Failure.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <vector>

namespace {

constexpr qsizetype CopyChunk = 8192;
constexpr qsizetype DeflateChunk = 256 * 1024;
constexpr qint64 MaxHeaderLine = 1024;
constexpr char ArchiveHeader[] = "ANDROID BACKUP\n1\n1\nnone\n";
constexpr int EntryMode = 0100642;

struct ReadArchiveFree
{
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteArchiveFree
{
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree
{
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using ArchiveReader = std::unique_ptr<archive, ReadArchiveFree>;
using ArchiveWriter = std::unique_ptr<archive, WriteArchiveFree>;
using ArchiveEntry = std::unique_ptr<archive_entry, EntryFree>;

QString archiveError(archive* a)
{
    const char* text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QString();
}

QString latin1UpToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

// Inflates the whole body once without keeping it: a stream that is damaged or passes the
// tar limit fails here, before a single file is written.
void checkBody(QFile& file, const QString& abPath, const QString& corruptMessage)
{
    ZlibInflater inflater(file, MaxBackupTarBytes);
    while (!inflater.next().isEmpty()) {
    }
    if (inflater.state() == ZlibInflater::State::TooLarge)
        fail(QStringLiteral("%1 is too large.").arg(abPath));
    if (inflater.state() != ZlibInflater::State::Ended || inflater.inflatedBytes() == 0)
        fail(corruptMessage);
}

la_ssize_t readInflated(archive* reader, void* clientData, const void** buffer)
{
    auto* inflater = static_cast<ZlibInflater*>(clientData);
    const QByteArrayView piece = inflater->next();
    *buffer = piece.data();
    if (piece.isEmpty() && inflater->state() != ZlibInflater::State::Ended) {
        archive_set_error(reader, EIO, "damaged zlib stream");
        return -1;
    }
    return la_ssize_t(piece.size());
}

// The entry's place below destDir, or an empty text when the entry must be skipped because
// it would land outside: absolute names, "..", or a path through an existing link.
QString confinedPath(const QString& destDir, QString name)
{
    static const QRegularExpression leadingDot(QStringLiteral("^\\./"));
    static const QRegularExpression forbidden(QStringLiteral("[\\\\:*?\"<>|\\n\\r\\t]"));
    name.remove(leadingDot);
    name.remove(forbidden);
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return {};
    QStringList parts;
    for (const QString& part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return {};
        if (part != QLatin1String("."))
            parts << part;
    }
    if (parts.isEmpty())
        return {};
    QString path = QDir::cleanPath(destDir);
    for (const QString& part : std::as_const(parts)) {
        path += QLatin1Char('/') + part;
        if (QFileInfo(path).isSymLink())
            return {};
    }
    return path;
}

void extractEntry(archive* reader, const QString& path, const QString& corruptMessage)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("create %1 error. %2").arg(path, out.errorString()));
    std::array<char, CopyChunk> buffer;
    for (;;) {
        const la_ssize_t n = archive_read_data(reader, buffer.data(), buffer.size());
        if (n == 0)
            break;
        // A damaged tar must not pass for a complete extraction with a shortened file.
        if (n < 0)
            fail(corruptMessage);
        if (out.write(buffer.data(), n) != n)
            fail(QStringLiteral("write %1 error. %2").arg(path, out.errorString()));
    }
    if (!out.flush())
        fail(QStringLiteral("write %1 error. %2").arg(path, out.errorString()));
}

// The tar is read as it inflates, so memory stays the same whatever the archive holds.
void extractTar(QFile& file, const QString& destDir, const QString& corruptMessage)
{
    ZlibInflater inflater(file, MaxBackupTarBytes);
    ArchiveReader reader(archive_read_new());
    // Backups are plain tar streams; other formats and filters would only widen what a
    // hostile phone could feed to the parser.
    archive_read_support_format_tar(reader.get());
    archive_read_support_filter_none(reader.get());
    archive_read_set_format_option(reader.get(), "tar", "hdrcharset", "UTF-8");
    if (archive_read_open(reader.get(), &inflater, nullptr, readInflated, nullptr) != ARCHIVE_OK)
        fail(corruptMessage);

    archive_entry* entry = nullptr;
    for (;;) {
        const int rc = archive_read_next_header(reader.get(), &entry);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN)
            fail(corruptMessage);
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* raw = utf8 ? utf8 : archive_entry_pathname(entry);
        if (!raw)
            continue;
        const QString path = confinedPath(destDir, QString::fromUtf8(raw));
        if (path.isEmpty())
            continue;
        const auto type = archive_entry_filetype(entry);
        const bool isLink = archive_entry_hardlink(entry) || archive_entry_symlink(entry);
        if (type == AE_IFDIR)
            QDir().mkpath(path);
        else if (type == AE_IFREG && !isLink)
            extractEntry(reader.get(), path, corruptMessage);
    }
}

QString joinArchivePath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

void writeFile(archive* writer, const QFileInfo& info, const QString& entryName)
{
    ArchiveEntry entry(archive_entry_new());
    const qint64 mtime = info.lastModified().toSecsSinceEpoch();
    archive_entry_set_pathname_utf8(entry.get(), entryName.toUtf8().constData());
    archive_entry_set_mode(entry.get(), EntryMode);
    archive_entry_set_uid(entry.get(), 0);
    archive_entry_set_gid(entry.get(), 0);
    archive_entry_set_dev(entry.get(), 0);
    archive_entry_set_ino(entry.get(), 0);
    archive_entry_set_mtime(entry.get(), time_t(mtime), 0);
    archive_entry_set_atime(entry.get(), time_t(mtime), 0);
    archive_entry_set_ctime(entry.get(), time_t(mtime), 0);
    archive_entry_set_size(entry.get(), info.size());

    const QString path = info.filePath();
    // A file the archive cannot hold (a name too long for ustar) must fail the build, not
    // vanish from the restore.
    if (archive_write_header(writer, entry.get()) != ARCHIVE_OK)
        fail(QStringLiteral("write %1 error. %2").arg(path, archiveError(writer)));

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("open %1 error. %2").arg(path, in.errorString()));
    std::array<char, CopyChunk> buffer;
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            fail(QStringLiteral("read %1 error. %2").arg(path, in.errorString()));
        if (n == 0)
            break;
        if (archive_write_data(writer, buffer.data(), size_t(n)) != n)
            fail(QStringLiteral("write %1 error. %2").arg(path, archiveError(writer)));
    }
}

// Links are not followed: the tree is our own cache folder, and a link loop would never end.
void writeTree(archive* writer, const QString& folder, const QString& archiveFolder)
{
    const QDir dir(folder);
    auto files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    // The phone's restore engine takes an app's data only after the app's manifest.
    std::stable_partition(files.begin(), files.end(), [](const QFileInfo& info) {
        return info.fileName() == QLatin1String("_manifest");
    });
    for (const QFileInfo& info : files)
        writeFile(writer, info, joinArchivePath(archiveFolder, info.fileName()).mid(1));
    const auto folders =
        dir.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : folders)
        writeTree(writer, info.filePath(), joinArchivePath(archiveFolder, info.fileName()));
}

// The tar deflated into the archive body a piece at a time: the zlib stream qCompress
// would give, without its length prefix and without the tar in memory.
void writeDeflated(const QString& tarPath, QSaveFile& out, const QString& abPath)
{
    QFile in(tarPath);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("open %1 error. %2").arg(tarPath, in.errorString()));
    if (in.size() > MaxBackupTarBytes)
        fail(QStringLiteral("%1 is too large.").arg(abPath));
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK)
        fail(QStringLiteral("compress data failed."));
    const auto end = qScopeGuard([&stream] { deflateEnd(&stream); });
    std::vector<char> input(DeflateChunk);
    std::vector<char> output(DeflateChunk);
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        const qint64 n = in.read(input.data(), qint64(input.size()));
        if (n < 0)
            fail(QStringLiteral("read %1 error. %2").arg(tarPath, in.errorString()));
        flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef*>(input.data());
        stream.avail_in = uInt(n);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(output.data());
            stream.avail_out = uInt(output.size());
            if (deflate(&stream, flush) == Z_STREAM_ERROR)
                fail(QStringLiteral("compress data failed."));
            const qint64 produced = qint64(output.size() - stream.avail_out);
            if (out.write(output.data(), produced) != produced)
                fail(QStringLiteral("write %1 error. %2").arg(abPath, out.errorString()));
        } while (stream.avail_out == 0);
    }
}

} // namespace

void extractBackupArchive(const QString& abPath, const QString& destDir, const QString& corruptMessage)
{
    QFile file(abPath);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("open %1 error. %2").arg(abPath, file.errorString()));
    QByteArray encryption;
    for (int line = 0; line < 4; ++line)
        encryption = file.readLine(MaxHeaderLine);
    static const QRegularExpression nonWord(QStringLiteral("[^\\w]"));
    if (latin1UpToNul(encryption).remove(nonWord).compare(QLatin1String("none"), Qt::CaseInsensitive) != 0)
        fail(QStringLiteral(
            "Your backup file is encrypted. Please backup again without entering a password."));

    if (file.size() - file.pos() > MaxBackupArchiveBytes)
        fail(QStringLiteral("%1 is too large.").arg(abPath));
    const qint64 body = file.pos();
    checkBody(file, abPath, corruptMessage);
    if (!file.seek(body))
        fail(QStringLiteral("open %1 error. %2").arg(abPath, file.errorString()));
    extractTar(file, destDir, corruptMessage);
}

void buildBackupArchive(const QString& sourceDir, const QString& abPath)
{
    const QFileInfo source(sourceDir);
    if (!source.isDir())
        fail(QStringLiteral("open %1 error. %2").arg(sourceDir, QStringLiteral("No such folder")));
    // The plain tar is made beside the archive and removed however the build ends, and
    // the archive appears under its name only when complete: a failed build never
    // leaves something that looks like an archive.
    const QString tarPath = abPath + QLatin1String(".tar.part");
    const auto removeTar = qScopeGuard([&tarPath] { QFile::remove(tarPath); });
    {
        ArchiveWriter writer(archive_write_new());
        archive_write_add_filter_none(writer.get());
        archive_write_set_format_ustar(writer.get());
        archive_write_set_format_option(writer.get(), "ustar", "hdrcharset", "UTF-8");
        if (archive_write_open_filename(writer.get(), QFile::encodeName(tarPath).constData()) != ARCHIVE_OK)
            fail(QStringLiteral("archive_write_open error (%1).").arg(QFileInfo(abPath).absoluteFilePath()));
        writeTree(writer.get(), source.absoluteFilePath(), QStringLiteral("/"));
        if (archive_write_close(writer.get()) != ARCHIVE_OK)
            fail(QStringLiteral("write %1 error. %2").arg(abPath, archiveError(writer.get())));
    }

    QSaveFile out(abPath);
    if (!out.open(QIODevice::WriteOnly))
        fail(QStringLiteral("compress %1 error. %2").arg(abPath, out.errorString()));
    const qint64 headerSize = qint64(sizeof(ArchiveHeader) - 1);
    if (out.write(ArchiveHeader, headerSize) != headerSize)
        fail(QStringLiteral("write %1 error. %2").arg(abPath, out.errorString()));
    writeDeflated(tarPath, out, abPath);
    if (!out.commit())
        fail(QStringLiteral("write %1 error. %2").arg(abPath, out.errorString()));
}
