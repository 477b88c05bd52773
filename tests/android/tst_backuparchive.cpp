#include "android/BackupArchive.h"
#include "tests/support/TestEnvironment.h"
#include "tools/abarchive/AbArchiveCommand.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <stdexcept>

namespace {

const QString Corrupt = QStringLiteral("caller's corrupt text");

struct TarEntry
{
    QByteArray name;
    QByteArray data;
    int type = AE_IFREG;
    QByteArray link; // symlink target, or hard link source
    bool hardLink = false;
};

struct ReadEntry
{
    QString name;
    int mode;
    qint64 mtime;
    QByteArray data;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray makeTar(const QList<TarEntry>& entries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.tar"));
    archive* writer = archive_write_new();
    archive_write_set_format_ustar(writer);
    archive_write_open_filename(writer, QFile::encodeName(path).constData());
    for (const TarEntry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.constData());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, 0644);
        if (e.hardLink)
            archive_entry_set_hardlink(entry, e.link.constData());
        else if (e.type == AE_IFLNK)
            archive_entry_set_symlink(entry, e.link.constData());
        archive_entry_set_size(entry, e.type == AE_IFREG && !e.hardLink ? e.data.size() : 0);
        archive_write_header(writer, entry);
        if (e.type == AE_IFREG && !e.hardLink)
            archive_write_data(writer, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return readAll(path);
}

QByteArray abHeader(const QByteArray& encryptionLine = "none\n")
{
    return "ANDROID BACKUP\n5\n1\n" + encryptionLine;
}

QByteArray makeAb(const QByteArray& tar, const QByteArray& encryptionLine = "none\n")
{
    return abHeader(encryptionLine) + qCompress(tar).mid(4);
}

QByteArray inflate(const QByteArray& stream)
{
    QByteArray framed(4, '\0');
    framed[3] = 1; // qUncompress grows from any first guess
    return qUncompress(framed + stream);
}

QList<ReadEntry> readTar(const QByteArray& tar)
{
    QList<ReadEntry> entries;
    archive* reader = archive_read_new();
    archive_read_support_format_tar(reader);
    archive_read_open_memory(reader, tar.constData(), size_t(tar.size()));
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        ReadEntry read{QString::fromUtf8(archive_entry_pathname(entry)),
                       int(archive_entry_mode(entry)),
                       qint64(archive_entry_mtime(entry)),
                       {}};
        char buffer[4096];
        la_ssize_t n;
        while ((n = archive_read_data(reader, buffer, sizeof buffer)) > 0)
            read.data.append(buffer, n);
        entries << read;
    }
    archive_read_free(reader);
    return entries;
}

// Every file and folder below root as "relative/path" (folders with a trailing "/"),
// and links as "path@".
QStringList tree(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = QDir(root).relativeFilePath(it.filePath());
        const QFileInfo info = it.fileInfo();
        found << relative + (info.isSymLink() ? QStringLiteral("@")
                             : info.isDir()   ? QStringLiteral("/")
                                              : QString());
    }
    found.sort();
    return found;
}

QString extractError(const QString& abPath, const QString& destDir)
{
    try {
        extractBackupArchive(abPath, destDir, Corrupt);
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

bool runTool(const QString& program, const QStringList& arguments, const QString& workDir = {})
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A zlib stream that inflates past the tar limit, made of one flushed megabyte of zeros
// repeated: a few megabytes on disk.
QByteArray zlibBomb(qint64 inflatedBytes)
{
    z_stream stream{};
    deflateInit(&stream, 9);
    QByteArray zeros(1024 * 1024, '\0');
    QByteArray out(1024 * 1024, '\0');
    const auto flushMegabyte = [&] {
        stream.next_in = reinterpret_cast<Bytef*>(zeros.data());
        stream.avail_in = uInt(zeros.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FULL_FLUSH);
        return out.left(out.size() - stream.avail_out);
    };
    QByteArray bomb = flushMegabyte(); // carries the zlib header
    const QByteArray repeated = flushMegabyte();
    deflateEnd(&stream);
    for (qint64 n = 2 * zeros.size(); n <= inflatedBytes; n += zeros.size())
        bomb += repeated;
    return bomb;
}

// One ustar header of a regular file of the given size.
QByteArray ustarHeader(const QByteArray& name, qint64 size)
{
    QByteArray header(512, '\0');
    header.replace(0, name.size(), name);
    const auto octal = [&header](int offset, int digits, qint64 value) {
        header.replace(offset, digits, QByteArray::number(value, 8).rightJustified(digits, '0'));
    };
    octal(100, 7, 0644);
    octal(108, 7, 0);
    octal(116, 7, 0);
    octal(124, 11, size);
    octal(136, 11, 0);
    header[156] = '0';
    header.replace(257, 8,
                   QByteArray("ustar\0"
                              "00",
                              8));
    header.replace(148, 8, QByteArray(8, ' '));
    int sum = 0;
    for (const char c : std::as_const(header))
        sum += uchar(c);
    octal(148, 6, sum);
    header[154] = '\0';
    return header;
}

// The body of an archive holding one file of that many zeros, deflated a megabyte at a
// time: a few hundred kilobytes for hundreds of megabytes of tar.
QByteArray zerosArchiveBody(const QByteArray& name, qint64 size)
{
    z_stream stream{};
    deflateInit(&stream, 9);
    QByteArray body;
    QByteArray out(1024 * 1024, '\0');
    const auto feed = [&](QByteArray in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(in.data());
        stream.avail_in = uInt(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = uInt(out.size());
            deflate(&stream, flush);
            body += out.left(out.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    feed(ustarHeader(name, size), Z_NO_FLUSH);
    const QByteArray zeros(1024 * 1024, '\0');
    for (qint64 left = size; left > 0; left -= zeros.size())
        feed(zeros.left(qMin<qint64>(left, zeros.size())), Z_NO_FLUSH);
    feed(QByteArray(int((512 - size % 512) % 512) + 1024, '\0'), Z_FINISH);
    deflateEnd(&stream);
    return body;
}

// The kilobytes of /proc/self/status's line "name:", or -1 without it.
qint64 statusKilobytes(const QByteArray& name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(name + ':')))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(TarEntry)

class TestBackupArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void headerEncryptionLine_data();
    void headerEncryptionLine();
    void corruptBody_data();
    void corruptBody();
    void entryNames_data();
    void entryNames();
    void hostileEntriesStayInside_data();
    void hostileEntriesStayInside();
    void existingLinkInDestinationNotFollowed();
    void sizesBoundedBeforeBuffering();
    void memoryStaysFlatWhileUnpacking();
    void memoryStaysFlatWhileBuilding();
    void buildOrderModeAndTimes();
    void buildHeaderBytes();
    void buildRoundTrip();
    void buildFailures();
    void builtArchiveUnpacksWithStandardTools();
    void standardToolsArchiveUnpacks();
    void abarchiveCommand();
    void abarchiveProgram();

private:
    QTemporaryDir tmp_;
    int next_ = 0;
    QString freshDir();
};

void TestBackupArchive::initTestCase()
{
    QVERIFY(tmp_.isValid());
}

QString TestBackupArchive::freshDir()
{
    const QString path = tmp_.filePath(QString::number(++next_));
    QDir().mkpath(path);
    return path;
}

void TestBackupArchive::headerEncryptionLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("none") << QByteArray("none\n") << true;
    QTest::newRow("none CRLF") << QByteArray("none\r\n") << true;
    QTest::newRow("NONE") << QByteArray("NONE\n") << true;
    QTest::newRow("none, NUL, junk") << QByteArray("none\0junk\n", 10) << true;
    QTest::newRow("AES-256") << QByteArray("AES-256\n") << false;
    QTest::newRow("nothing") << QByteArray("\n") << false;
}

void TestBackupArchive::headerEncryptionLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, accepted);
    const QString dir = freshDir();
    const QString ab = dir + QStringLiteral("/x.ab");
    const QString dest = dir + QStringLiteral("/out");
    // With a cipher the body is never decompressed: a body that is not zlib proves it.
    const QByteArray body =
        accepted ? qCompress(makeTar({{"apps/a", "x"}})).mid(4) : QByteArray("not zlib at all");
    QVERIFY(writeAll(ab, abHeader(line) + body));

    const QString error = extractError(ab, dest);
    if (accepted) {
        QCOMPARE(error, QString());
        QCOMPARE(readAll(dest + QStringLiteral("/apps/a")), QByteArray("x"));
    } else {
        QCOMPARE(error,
                 QStringLiteral(
                     "Your backup file is encrypted. Please backup again without entering a password."));
        QVERIFY(!QFileInfo::exists(dest));
    }
}

void TestBackupArchive::corruptBody_data()
{
    QTest::addColumn<QByteArray>("body");

    const QByteArray stream = qCompress(makeTar({{"a", QByteArray(5000, 'a')}})).mid(4);
    QTest::newRow("not zlib") << QByteArray("PK\x03\x04 this is a zip, not zlib");
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("truncated stream") << stream.left(stream.size() / 2);
    QTest::newRow("zlib of no bytes") << qCompress(QByteArray()).mid(4);
    QTest::newRow("zlib of something else than tar") << qCompress(QByteArray(2000, 'z')).mid(4);
}

void TestBackupArchive::corruptBody()
{
    QFETCH(QByteArray, body);
    const QString dir = freshDir();
    QVERIFY(writeAll(dir + QStringLiteral("/x.ab"), abHeader() + body));
    QCOMPARE(extractError(dir + QStringLiteral("/x.ab"), dir + QStringLiteral("/out")), Corrupt);
}

void TestBackupArchive::entryNames_data()
{
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QByteArray>("lastData");

    QTest::newRow("dot-slash and plain name meet")
        << QList<QByteArray>{"./a", "a"} << QStringList{"a"} << QByteArray("1");
    QTest::newRow("colon and question mark dropped")
        << QList<QByteArray>{"apps/we:ird?.db"} << QStringList{"apps/", "apps/weird.db"} << QByteArray("0");
    QTest::newRow("every reserved character dropped")
        << QList<QByteArray>{"x\\*\"<>|\t.txt"} << QStringList{"x.txt"} << QByteArray("0");
    QTest::newRow("nothing left skips")
        << QList<QByteArray>{"::??", "\t\r\n"} << QStringList{} << QByteArray();
    QTest::newRow("inner dot folders and doubled slashes")
        << QList<QByteArray>{"apps/./db//viber_messages"}
        << QStringList{"apps/", "apps/db/", "apps/db/viber_messages"} << QByteArray("0");
    QTest::newRow("UTF-8 name") << QList<QByteArray>{"f/\xd0\xbf\xd1\x80\xd0\xb8.txt"}
                                << QStringList{"f/", QStringLiteral("f/\u043f\u0440\u0438.txt")}
                                << QByteArray("0");
}

void TestBackupArchive::entryNames()
{
    QFETCH(QList<QByteArray>, names);
    QFETCH(QStringList, files);
    QFETCH(QByteArray, lastData);
    QList<TarEntry> entries;
    for (qsizetype i = 0; i < names.size(); ++i)
        entries << TarEntry{names[i], QByteArray::number(i)};
    const QString dir = freshDir();
    const QString dest = dir + QStringLiteral("/out");
    QVERIFY(writeAll(dir + QStringLiteral("/x.ab"), makeAb(makeTar(entries))));

    QCOMPARE(extractError(dir + QStringLiteral("/x.ab"), dest), QString());
    QCOMPARE(tree(dest), files);
    if (!files.isEmpty())
        QCOMPARE(readAll(dest + QLatin1Char('/') + files.last()), lastData);
}

void TestBackupArchive::hostileEntriesStayInside_data()
{
    QTest::addColumn<QList<TarEntry>>("entries");

    const QByteArray outside = QFile::encodeName(tmp_.filePath(QStringLiteral("outside")));
    QTest::newRow("dot-dot") << QList<TarEntry>{{"../outside/evil", "x"}, {"../outside", "x"}};
    QTest::newRow("dot-dot inside the path") << QList<TarEntry>{{"a/../../outside/evil", "x"}};
    QTest::newRow("absolute") << QList<TarEntry>{{outside + "/evil", "x"}};
    QTest::newRow("folder out") << QList<TarEntry>{{"../outside/newdir/", {}, AE_IFDIR}};
    QTest::newRow("symlink out, then a file through it")
        << QList<TarEntry>{{"lnk", {}, AE_IFLNK, outside}, {"lnk/evil", "x"}};
    QTest::newRow("symlink out, then a file of its name")
        << QList<TarEntry>{{"lnk", {}, AE_IFLNK, outside + "/target"}, {"lnk", "pwned"}};
    QTest::newRow("hard link out, then data into it")
        << QList<TarEntry>{{"hl", {}, AE_IFREG, outside + "/target", true}, {"hl", "pwned"}};
    QTest::newRow("fifo and device") << QList<TarEntry>{{"fifo", {}, AE_IFIFO}, {"blk", {}, AE_IFBLK}};
}

void TestBackupArchive::hostileEntriesStayInside()
{
    QFETCH(QList<TarEntry>, entries);
    const QString outside = tmp_.filePath(QStringLiteral("outside"));
    QDir(outside).removeRecursively();
    QVERIFY(writeAll(outside + QStringLiteral("/target"), "original"));
    const QString dir = freshDir();
    const QString dest = dir + QStringLiteral("/out");
    entries.prepend({"good.txt", "good"});
    QVERIFY(writeAll(dir + QStringLiteral("/x.ab"), makeAb(makeTar(entries))));

    QCOMPARE(extractError(dir + QStringLiteral("/x.ab"), dest), QString());
    QCOMPARE(tree(outside), QStringList{"target"});
    QCOMPARE(readAll(outside + QStringLiteral("/target")), QByteArray("original"));
    QCOMPARE(readAll(dest + QStringLiteral("/good.txt")), QByteArray("good"));
    QVERIFY(tree(dir).filter(QStringLiteral("@")).isEmpty());
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/outside")));
}

void TestBackupArchive::existingLinkInDestinationNotFollowed()
{
    const QString outside = tmp_.filePath(QStringLiteral("outside2"));
    QVERIFY(QDir().mkpath(outside));
    const QString dir = freshDir();
    const QString dest = dir + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(dest));
    QVERIFY(QFile::link(outside, dest + QStringLiteral("/cache")));
    QVERIFY(QFile::link(outside + QStringLiteral("/file"), dest + QStringLiteral("/file")));
    QVERIFY(writeAll(dir + QStringLiteral("/x.ab"), makeAb(makeTar({{"cache/evil", "x"}, {"file", "x"}}))));

    QCOMPARE(extractError(dir + QStringLiteral("/x.ab"), dest), QString());
    QCOMPARE(tree(outside), QStringList());
}

void TestBackupArchive::sizesBoundedBeforeBuffering()
{
    const QString dir = freshDir();
    const QString bomb = dir + QStringLiteral("/bomb.ab");
    QVERIFY(writeAll(bomb, abHeader() + zlibBomb(MaxBackupTarBytes + 64 * 1024 * 1024)));
    QVERIFY(QFileInfo(bomb).size() < 16 * 1024 * 1024);
    QCOMPARE(extractError(bomb, dir + QStringLiteral("/out")), bomb + QStringLiteral(" is too large."));

    // Sparse: the size is refused before a byte of the body is read.
    const QString huge = dir + QStringLiteral("/huge.ab");
    QVERIFY(writeAll(huge, abHeader()));
    QVERIFY(QFile::resize(huge, MaxBackupArchiveBytes + 100));
    QCOMPARE(extractError(huge, dir + QStringLiteral("/out")), huge + QStringLiteral(" is too large."));
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/out")));
}

void TestBackupArchive::memoryStaysFlatWhileUnpacking()
{
    constexpr qint64 FileBytes = 160 * 1024 * 1024;
    const QString dir = freshDir();
    const QString ab = dir + QStringLiteral("/zeros.ab");
    QVERIFY(writeAll(ab, abHeader() + zerosArchiveBody("apps/zeros.bin", FileBytes)));
    QVERIFY(QFileInfo(ab).size() < 1024 * 1024);

    // Writing 5 resets the peak to the present size, so that only the extraction counts.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        QSKIP("the peak memory of this process cannot be reset here");
    clear.close();
    const qint64 before = statusKilobytes("VmHWM");
    QVERIFY(before > 0);
    QCOMPARE(extractError(ab, dir + QStringLiteral("/out")), QString());
    const qint64 grown = statusKilobytes("VmHWM") - before;
    QVERIFY2(grown < 24 * 1024, qPrintable(QStringLiteral("peak grew by %1 kB").arg(grown)));

    QFile out(dir + QStringLiteral("/out/apps/zeros.bin"));
    QCOMPARE(out.size(), FileBytes);
    QVERIFY(out.open(QIODevice::ReadOnly));
    out.seek(FileBytes - 4096);
    QCOMPARE(out.read(4096), QByteArray(4096, '\0'));
    out.close();
    QVERIFY(QDir(dir).removeRecursively());
}

void TestBackupArchive::memoryStaysFlatWhileBuilding()
{
    constexpr qint64 FileBytes = 160 * 1024 * 1024;
    const QString dir = freshDir();
    const QString source = dir + QStringLiteral("/src/apps/zeros.bin");
    QVERIFY(writeAll(source, QByteArray()));
    QVERIFY(QFile::resize(source, FileBytes)); // sparse: no disk and no memory spent here
    const QString ab = dir + QStringLiteral("/zeros.ab");

    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        QSKIP("the peak memory of this process cannot be reset here");
    clear.close();
    const qint64 before = statusKilobytes("VmHWM");
    QVERIFY(before > 0);
    buildBackupArchive(dir + QStringLiteral("/src"), ab);
    const qint64 grown = statusKilobytes("VmHWM") - before;
    QVERIFY2(grown < 24 * 1024, qPrintable(QStringLiteral("peak grew by %1 kB").arg(grown)));

    QVERIFY(QFileInfo(ab).size() < 1024 * 1024);
    QCOMPARE(extractError(ab, dir + QStringLiteral("/out")), QString());
    QCOMPARE(QFileInfo(dir + QStringLiteral("/out/apps/zeros.bin")).size(), FileBytes);
    QVERIFY(QDir(dir).removeRecursively());
}

void TestBackupArchive::buildOrderModeAndTimes()
{
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/b"), "bee"));
    QVERIFY(writeAll(src + QStringLiteral("/a"), "ay"));
    QVERIFY(writeAll(src + QStringLiteral("/c/d"), "dee"));
    QVERIFY(writeAll(src + QStringLiteral("/c/e/f"), "eff"));
    // The restore engine reads an app's data only after its manifest, whatever sorts first.
    QVERIFY(writeAll(src + QStringLiteral("/c/e/_manifest"), "1"));
    QVERIFY(writeAll(src + QStringLiteral("/c/e/A"), "big a"));
    QVERIFY(QDir().mkpath(src + QStringLiteral("/empty")));
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1600000000, Qt::UTC);
    {
        QFile a(src + QStringLiteral("/a"));
        QVERIFY(a.open(QIODevice::ReadWrite));
        QVERIFY(a.setFileTime(when, QFileDevice::FileModificationTime));
    }
    const QString ab = tmp_.filePath(QStringLiteral("order.ab"));
    buildBackupArchive(src, ab);

    const QByteArray file = readAll(ab);
    const QList<ReadEntry> entries = readTar(inflate(file.mid(24)));
    QStringList names;
    for (const ReadEntry& entry : entries) {
        names << entry.name;
        QCOMPARE(entry.mode, 0100642);
    }
    QCOMPARE(names, (QStringList{"a", "b", "c/d", "c/e/_manifest", "c/e/A", "c/e/f"}));
    QCOMPARE(entries[0].mtime, when.toSecsSinceEpoch());
    QCOMPARE(entries[0].data, QByteArray("ay"));
    QCOMPARE(entries[5].data, QByteArray("eff"));
}

void TestBackupArchive::buildHeaderBytes()
{
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/a"), "x"));
    const QString ab = tmp_.filePath(QStringLiteral("header.ab"));
    buildBackupArchive(src, ab);
    const QByteArray file = readAll(ab);
    QCOMPARE(file.left(24), QByteArray("ANDROID BACKUP\n1\n1\nnone\n"));
    // A zlib header (deflate, 32K window, check bits), not Qt's four length bytes.
    QCOMPARE(quint8(file.at(24)), quint8(0x78));
    QCOMPARE((quint8(file.at(24)) * 256 + quint8(file.at(25))) % 31, 0);
}

void TestBackupArchive::buildRoundTrip()
{
    const QString src = freshDir();
    QByteArray binary;
    for (int i = 0; i < 100000; ++i)
        binary.append(char(i * 7));
    QVERIFY(writeAll(src + QStringLiteral("/databases/viber_messages"), binary));
    QVERIFY(writeAll(src + QStringLiteral("/.hidden"), "h"));
    QVERIFY(writeAll(src + QStringLiteral("/f/\u043f\u0440\u0438\u0432\u0435\u0442.txt"), "utf"));
    QVERIFY(writeAll(src + QStringLiteral("/empty"), ""));
    const QString ab = tmp_.filePath(QStringLiteral("round.ab"));
    buildBackupArchive(src, ab);
    const QString dest = freshDir();
    extractBackupArchive(ab, dest, Corrupt);
    QCOMPARE(tree(dest), tree(src));
    QCOMPARE(readAll(dest + QStringLiteral("/databases/viber_messages")), binary);
    QCOMPARE(readAll(dest + QStringLiteral("/f/\u043f\u0440\u0438\u0432\u0435\u0442.txt")),
             QByteArray("utf"));
}

void TestBackupArchive::buildFailures()
{
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/a"), "x"));
    const QString missingFolder = tmp_.filePath(QStringLiteral("no/such/folder/x.ab"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, buildBackupArchive(src, missingFolder));
    QVERIFY(!QFileInfo::exists(missingFolder));
    QVERIFY_THROWS_EXCEPTION(
        std::runtime_error, buildBackupArchive(tmp_.filePath(QStringLiteral("none")), tmp_.filePath("n.ab")));

    // A name longer than ustar can hold fails the build instead of leaving the file out.
    const QString longName = QString(120, QLatin1Char('n'));
    QVERIFY(writeAll(src + QLatin1Char('/') + longName, "y"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             buildBackupArchive(src, tmp_.filePath(QStringLiteral("long.ab"))));
}

void TestBackupArchive::builtArchiveUnpacksWithStandardTools()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    const QString tar = QStandardPaths::findExecutable(QStringLiteral("tar"));
    if (python.isEmpty() || tar.isEmpty())
        QSKIP("python3 and tar are needed for the cross-check");
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/b"), "bee"));
    QVERIFY(writeAll(src + QStringLiteral("/a"), QByteArray(300000, 'a')));
    QVERIFY(writeAll(src + QStringLiteral("/c/d"), "dee"));
    QVERIFY(writeAll(src + QStringLiteral("/c/\u0444\u043e\u0442\u043e.jpg"), "photo"));
    const QString dir = freshDir();
    const QString ab = dir + QStringLiteral("/x.ab");
    buildBackupArchive(src, ab);

    QVERIFY(runTool(python, {QStringLiteral("-c"),
                             QStringLiteral("import io, sys, tarfile, zlib\n"
                                            "data = open(sys.argv[1], 'rb').read()\n"
                                            "assert data[:24] == b'ANDROID BACKUP\\n1\\n1\\nnone\\n'\n"
                                            "raw = zlib.decompress(data[24:])\n"
                                            "members = tarfile.open(fileobj=io.BytesIO(raw)).getmembers()\n"
                                            "assert [m.name for m in members][:3] == ['a', 'b', 'c/d']\n"
                                            "assert len(members) == 4\n"
                                            "assert all(m.mode == 0o642 and m.isreg() for m in members)\n"
                                            "open(sys.argv[2], 'wb').write(raw)\n"),
                             ab, dir + QStringLiteral("/x.tar")}));
    const QString out = dir + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(out));
    QVERIFY(runTool(tar, {QStringLiteral("-xf"), dir + QStringLiteral("/x.tar"), QStringLiteral("-C"), out}));
    QCOMPARE(tree(out), tree(src));
    QCOMPARE(readAll(out + QStringLiteral("/a")), QByteArray(300000, 'a'));
    QCOMPARE(readAll(out + QStringLiteral("/c/d")), QByteArray("dee"));
}

void TestBackupArchive::standardToolsArchiveUnpacks()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    const QString tar = QStandardPaths::findExecutable(QStringLiteral("tar"));
    if (python.isEmpty() || tar.isEmpty())
        QSKIP("python3 and tar are needed for the cross-check");
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/apps/com.viber.voip/db/viber_messages"), QByteArray(70000, 'm')));
    QVERIFY(writeAll(src + QStringLiteral("/apps/com.viber.voip/_manifest"), "manifest"));
    QVERIFY(writeAll(src + QStringLiteral("/apps/com.viber.voip/f/.nomedia"), ""));
    const QString dir = freshDir();
    QVERIFY(runTool(tar, {QStringLiteral("-cf"), dir + QStringLiteral("/x.tar"), QStringLiteral(".")}, src));
    QVERIFY(runTool(
        python,
        {QStringLiteral("-c"),
         QStringLiteral("import sys, zlib\n"
                        "body = zlib.compress(open(sys.argv[1], 'rb').read())\n"
                        "open(sys.argv[2], 'wb').write(b'ANDROID BACKUP\\n5\\n1\\nnone\\n' + body)\n"),
         dir + QStringLiteral("/x.tar"), dir + QStringLiteral("/x.ab")}));
    const QString out = dir + QStringLiteral("/out");
    extractBackupArchive(dir + QStringLiteral("/x.ab"), out, Corrupt);
    QCOMPARE(tree(out), tree(src));
    QCOMPARE(readAll(out + QStringLiteral("/apps/com.viber.voip/db/viber_messages")), QByteArray(70000, 'm'));
    QCOMPARE(readAll(out + QStringLiteral("/apps/com.viber.voip/_manifest")), QByteArray("manifest"));
}

void TestBackupArchive::abarchiveCommand()
{
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/x/y"), "why"));
    const QString ab = tmp_.filePath(QStringLiteral("cmd.ab"));
    const QString out = tmp_.filePath(QStringLiteral("cmd-out"));
    QString errors;
    QTextStream stream(&errors);

    QCOMPARE(runAbArchive({QStringLiteral("build"), src, ab}, stream), 0);
    QCOMPARE(runAbArchive({QStringLiteral("extract"), ab, out}, stream), 0);
    QCOMPARE(errors, QString());
    QCOMPARE(readAll(out + QStringLiteral("/x/y")), QByteArray("why"));

    QCOMPARE(
        runAbArchive({QStringLiteral("extract"), tmp_.filePath(QStringLiteral("missing.ab")), out}, stream),
        1);
    QVERIFY2(errors.startsWith(QStringLiteral("open ") + tmp_.filePath(QStringLiteral("missing.ab")) +
                               QStringLiteral(" error.")),
             qPrintable(errors));
    errors.clear();
    QVERIFY(writeAll(tmp_.filePath(QStringLiteral("bad.ab")), abHeader() + "garbage"));
    QCOMPARE(runAbArchive({QStringLiteral("extract"), tmp_.filePath(QStringLiteral("bad.ab")), out}, stream),
             1);
    QCOMPARE(errors, QStringLiteral("ab file data is corrupted.\n"));
    errors.clear();
    QCOMPARE(runAbArchive({QStringLiteral("pack"), src, ab}, stream), 2);
    QCOMPARE(runAbArchive({QStringLiteral("build"), src}, stream), 2);
    QVERIFY(errors.contains(QStringLiteral("usage:")));
}

void TestBackupArchive::abarchiveProgram()
{
    const QString program = TestEnvironment::binDir() + QStringLiteral("/abarchive");
    QVERIFY(QFileInfo(program).isExecutable());
    const QString src = freshDir();
    QVERIFY(writeAll(src + QStringLiteral("/p"), "q"));
    const QString ab = tmp_.filePath(QStringLiteral("prog.ab"));
    const QString out = tmp_.filePath(QStringLiteral("prog-out"));
    QVERIFY(runTool(program, {QStringLiteral("build"), src, ab}));
    QVERIFY(runTool(program, {QStringLiteral("extract"), ab, out}));
    QCOMPARE(readAll(out + QStringLiteral("/p")), QByteArray("q"));

    QProcess failing;
    failing.start(program, {QStringLiteral("extract"), tmp_.filePath(QStringLiteral("missing.ab")), out});
    QVERIFY(failing.waitForFinished(30000));
    QCOMPARE(failing.exitCode(), 1);
    QVERIFY(failing.readAllStandardError().startsWith("open "));
}

QTEST_GUILESS_MAIN(TestBackupArchive)
#include "tst_backuparchive.moc"
