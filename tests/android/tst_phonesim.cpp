#include "android/AdbTool.h"
#include "android/AgentSession.h"
#include "android/AndroidLoadViberThread.h"
#include "android/AndroidMonitor.h"
#include "android/BackupArchive.h"
#include "android/SimpleProtocol.h"
#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "db/AndroidViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDataSet.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <archive.h>
#include <archive_entry.h>

namespace {

using TestEnvironment::readFile;
using TestEnvironment::writeFile;

const QString Serial = QStringLiteral("SIM7");
const QString Databases = QStringLiteral("/data/data/com.viber.voip/databases");
const QString Staging = QStringLiteral("/storage/emulated/0/viber/su");

// Runs the simulator's adb the way the load and restore workers do, through their own
// process object.
QString runAdb(const QStringList& arguments)
{
    QProcess adb;
    adb.start(AdbTool::program(), arguments);
    if (!adb.waitForFinished(30000))
        return QStringLiteral("did not finish");
    return QString::fromUtf8(adb.readAllStandardError() + adb.readAllStandardOutput());
}

// The tar stream inside an ".ab" file whose body is a zlib stream.
QByteArray tarOf(const QByteArray& archive)
{
    qsizetype offset = 0;
    for (int line = 0; line < 4; ++line)
        offset = archive.indexOf('\n', offset) + 1;
    const QByteArray body = archive.mid(offset);
    QByteArray sized(4, '\0');
    sized[0] = char(0x7f); // a generous size hint; qUncompress grows the buffer as needed
    return qUncompress(sized + body);
}

QStringList entryNames(const QByteArray& tar)
{
    QStringList names;
    archive* reader = archive_read_new();
    archive_read_support_format_tar(reader);
    if (archive_read_open_memory(reader, tar.constData(), size_t(tar.size())) == ARCHIVE_OK) {
        archive_entry* entry = nullptr;
        while (archive_read_next_header(reader, &entry) == ARCHIVE_OK)
            names.append(QString::fromUtf8(archive_entry_pathname(entry)));
    }
    archive_read_free(reader);
    return names;
}

// An archive as a hostile or careless computer might send it to the phone.
QByteArray handmadeArchive(const QList<std::pair<QString, QByteArray>>& entries, const char* symlinkName)
{
    QByteArray tar;
    archive* writer = archive_write_new();
    archive_write_set_format_ustar(writer);
    size_t used = 0;
    tar.resize(1024 * 1024);
    archive_write_open_memory(writer, tar.data(), size_t(tar.size()), &used);
    for (const auto& [name, data] : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, data.size());
        archive_write_header(writer, entry);
        archive_write_data(writer, data.constData(), size_t(data.size()));
        archive_entry_free(entry);
    }
    archive_entry* link = archive_entry_new();
    archive_entry_set_pathname(link, symlinkName);
    archive_entry_set_filetype(link, AE_IFLNK);
    archive_entry_set_symlink(link, "/etc/passwd");
    archive_write_header(writer, link);
    archive_entry_free(link);
    archive_write_close(writer);
    archive_write_free(writer);
    tar.truncate(qsizetype(used));
    return QByteArrayLiteral("ANDROID BACKUP\n5\n1\nnone\n") + qCompress(tar).mid(4);
}

std::unique_ptr<QTcpSocket> usbSession(const char* urlPattern, const QString& serial = Serial)
{
    return simpleprotocol::openUsbSession(
        serial, QString::fromLatin1(urlPattern).arg(simpleprotocol::nextSessionPort()), 10000);
}

// Runs a Python script with sqlite3 on the given files, so that the sample's rows are
// read by SQLite itself and not by the program's own code. Returns standard output.
QString python(const QString& script, const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("python failed: ") + QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The message ids of a messages database, read from a copy of the given files only
// (read-only, so SQLite never checkpoints a -wal of the copy back into it).
QString messageIdsOf(const QStringList& files)
{
    QTemporaryDir dir;
    for (const QString& file : files)
        QFile::copy(file, dir.filePath(QFileInfo(file).fileName()));
    return python(
        QStringLiteral(
            "import sqlite3, sys\n"
            "db = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)\n"
            "print(','.join(str(r[0]) for r in db.execute('select _id from messages order by _id')))"),
        {dir.filePath(QFileInfo(files.first()).fileName())});
}

QStringList filesUnder(const QString& folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(folder).relativeFilePath(it.next()));
    names.sort();
    return names;
}

} // namespace

class TestPhoneSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void serverAndDeviceList()
    {
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addDevice(Serial);
        sim.addDevice(QStringLiteral("SIM8"))
            .setValue(QStringLiteral("state"), QStringLiteral("unauthorized"));
        AdbTool adb;
        QVERIFY(adb.run({QStringLiteral("start-server")}, false)
                    .contains(QLatin1String("daemon started successfully")));
        QVERIFY(!adb.run({QStringLiteral("start-server")}, false).contains(QLatin1String("daemon started")));

        const QList<AdbDevice> devices = adb.devices();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].serial, Serial);
        QVERIFY(devices[0].isOnline());
        QCOMPARE(devices[1].state, QStringLiteral("unauthorized"));
        QVERIFY(!devices[1].isOnline());
    }

    void monitorFollowsSimulatedPhones()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        QStringList connected;
        QStringList disconnected;
        {
            AndroidMonitor monitor;
            monitor.setPollInterval(std::chrono::milliseconds(100));
            // a fresh server start never needs Portwarden; a wrong start would run this
            monitor.setPortwardenPath(sim.stateDir() + QStringLiteral("/no-portwarden"));
            connect(&monitor, &AndroidMonitor::deviceConnected, this,
                    [&](const AdbDevice& device) { connected.append(device.serial); });
            connect(&monitor, &AndroidMonitor::deviceDisconnected, this,
                    [&](const QString& serial) { disconnected.append(serial); });
            monitor.start();
            QTRY_COMPARE_WITH_TIMEOUT(connected, QStringList{Serial}, 10000);
            QVERIFY(QDir(sim.device(Serial).folder()).removeRecursively());
            QTRY_COMPARE_WITH_TIMEOUT(disconnected, QStringList{Serial}, 10000);
        }
        // the monitor ends the server on its way out
        QVERIFY(!QFile::exists(sim.stateDir() + QStringLiteral("/adb-server")));
        QCOMPARE(sim.adbCalls().first(), QStringLiteral("start-server"));
    }

    void packagesAndInstall()
    {
        PhoneSim sim;
        sim.addDevice(Serial).setValue(QStringLiteral("packages"),
                                       QStringList{QStringLiteral("com.viber.voip")});
        AdbTool adb;
        QCOMPARE(adb.listPackages(Serial), QSet<QString>{QStringLiteral("com.viber.voip")});
        QTemporaryDir dir;
        const QString apk = dir.filePath(QStringLiteral("com.kestrune.relaypod.apk"));
        QVERIFY(writeFile(apk, "PK"));
        adb.install(Serial, apk);
        QVERIFY(adb.listPackages(Serial).contains(QStringLiteral("com.kestrune.relaypod")));
    }

    void backupArchive_data()
    {
        QTest::addColumn<int>("sdkLevel");
        QTest::addColumn<QByteArray>("encryptionLine");
        QTest::addColumn<bool>("hasAppData");

        QTest::newRow("API 28") << 28 << QByteArray("none\n") << true;
        QTest::newRow("none with CR LF") << 28 << QByteArray("none\r\n") << true;
        QTest::newRow("none in capitals") << 28 << QByteArray("NONE\n") << true;
        QTest::newRow("API 31 leaves the app out") << 31 << QByteArray("none\n") << false;
    }

    void backupArchive()
    {
        QFETCH(int, sdkLevel);
        QFETCH(QByteArray, encryptionLine);
        QFETCH(bool, hasAppData);

        PhoneSim sim;
        sim.addDevice(Serial, sdkLevel);
        const QByteArray messages = "SQLite format 3\0messages"_qba;
        sim.putFile(Serial, Databases + QStringLiteral("/viber_messages"), messages);
        sim.putFile(Serial, Databases + QStringLiteral("/viber_data"), "SQLite format 3\0data"_qba);
        QTemporaryDir dir;
        const QString ab = dir.filePath(QStringLiteral("SIM7.ab"));
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("backup"), QStringLiteral("-f"), ab,
                QStringLiteral("com.viber.voip")});

        QByteArray archive = readFile(ab);
        QVERIFY(archive.startsWith("ANDROID BACKUP\n"));
        const QByteArray tar = tarOf(archive);
        QVERIFY(!tar.isEmpty());
        QCOMPARE(tar.size() % 512, 0);
        QVERIFY(tar.right(1024) == QByteArray(1024, '\0'));
        const QStringList names = entryNames(tar);
        if (hasAppData) {
            QCOMPARE(names, (QStringList{QStringLiteral("apps/com.viber.voip/_manifest"),
                                         QStringLiteral("apps/com.viber.voip/db/viber_data"),
                                         QStringLiteral("apps/com.viber.voip/db/viber_messages")}));
        } else {
            QCOMPARE(names, QStringList());
        }

        archive.replace(archive.indexOf("none\n"), 5, encryptionLine);
        QVERIFY(writeFile(ab, archive));
        const QString extracted = dir.filePath(QStringLiteral("ab-extract"));
        extractBackupArchive(ab, extracted, QStringLiteral("*"));
        QCOMPARE(QFile::exists(extracted + QStringLiteral("/apps/com.viber.voip/_manifest")), hasAppData);
        if (hasAppData)
            QVERIFY(readFile(extracted + QStringLiteral("/apps/com.viber.voip/db/viber_messages")) ==
                    messages);
    }

    void encryptedBackupIsRefused()
    {
        PhoneSim sim;
        sim.addDevice(Serial).setValue(QStringLiteral("encryptedBackup"), true);
        sim.putFile(Serial, Databases + QStringLiteral("/viber_messages"), "x");
        QTemporaryDir dir;
        const QString ab = dir.filePath(QStringLiteral("e.ab"));
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("backup"), QStringLiteral("-f"), ab,
                QStringLiteral("com.viber.voip")});
        try {
            extractBackupArchive(ab, dir.filePath(QStringLiteral("out")), QStringLiteral("*"));
            QFAIL("an encrypted archive was unpacked");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral(
                         "Your backup file is encrypted. Please backup again without entering a password."));
        }
    }

    void growingBackupCompletesLater()
    {
        PhoneSim sim;
        SimDevice device = sim.addDevice(Serial);
        device.setValue(QStringLiteral("growingBackup"), true);
        device.setValue(QStringLiteral("growingMs"), 1500);
        sim.putFile(Serial, Databases + QStringLiteral("/viber_messages"), QByteArray(200000, 'm'));
        QTemporaryDir dir;
        const QString ab = dir.filePath(QStringLiteral("g.ab"));
        const QString out = dir.filePath(QStringLiteral("out"));
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("backup"), QStringLiteral("-f"), ab,
                QStringLiteral("com.viber.voip")});
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, extractBackupArchive(ab, out, QStringLiteral("*")));
        QVERIFY(QTest::qWaitFor(
            [&] {
                try {
                    extractBackupArchive(ab, out, QStringLiteral("*"));
                    return true;
                } catch (const std::runtime_error&) {
                    return false;
                }
            },
            15000));
        QCOMPARE(readFile(out + QStringLiteral("/apps/com.viber.voip/db/viber_messages")).size(), 200000);
    }

    void restoreRoundTrip()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        sim.putFile(Serial, Databases + QStringLiteral("/viber_messages"), "old");
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("ab-extract"));
        QVERIFY(writeFile(source + QStringLiteral("/apps/com.viber.voip/_manifest"), "1\ncom.viber.voip\n"));
        QVERIFY(writeFile(source + QStringLiteral("/apps/com.viber.voip/db/viber_messages"), "merged"));
        const QString ab = dir.filePath(QStringLiteral("r.ab"));
        buildBackupArchive(source, ab);
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("restore"), ab});
        QCOMPARE(sim.phoneFile(Serial, Databases + QStringLiteral("/viber_messages")), QByteArray("merged"));
    }

    void restoreEngineRules()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        QTemporaryDir dir;
        const QString ab = dir.filePath(QStringLiteral("h.ab"));
        QVERIFY(writeFile(
            ab, handmadeArchive({{QStringLiteral("apps/com.viber.voip/db/before_manifest"), "x"},
                                 {QStringLiteral("apps/com.viber.voip/_manifest"), "1\n"},
                                 {QStringLiteral("apps/com.viber.voip/db/good"), "good"},
                                 {QStringLiteral("apps/com.viber.voip/db/../../../../../escaped"), "x"},
                                 {QStringLiteral("apps/com.viber.voip/db//double"), "x"},
                                 {QStringLiteral("apps/com.other/db/other"), "x"}},
                                "apps/com.viber.voip/db/link")));
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("restore"), ab});
        QCOMPARE(QDir(sim.device(Serial).fileFor(Databases))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{QStringLiteral("good")});
        QVERIFY(!QFile::exists(sim.stateDir() + QStringLiteral("/devices/SIM7/escaped")));
        QVERIFY(!QFile::exists(sim.stateDir() + QStringLiteral("/devices/escaped")));
    }
    // The root shell reads the command line like the phone's sh: a quoted pattern is a
    // literal name, an unquoted one expands to the matching names (never dot files).
    void rootShellGlobs_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("left");

        const QStringList all = {QStringLiteral(".nomedia"), QStringLiteral("deeper/old"),
                                 QStringLiteral("viber_messages"), QStringLiteral("viber_messages-wal")};
        QTest::newRow("double-quoted pattern") << QStringLiteral("rm -fr \"%1/*\"") << 0 << all;
        QTest::newRow("single-quoted pattern") << QStringLiteral("rm -fr '%1/*'") << 0 << all;
        QTest::newRow("escaped star") << QStringLiteral("rm -fr %1/\\*") << 0 << all;
        QTest::newRow("quoted pattern without -f") << QStringLiteral("rm \"%1/*\"") << 1 << all;
        QTest::newRow("unquoted pattern")
            << QStringLiteral("rm -fr %1/*") << 0 << QStringList{QStringLiteral(".nomedia")};
        QTest::newRow("quoted folder, unquoted pattern")
            << QStringLiteral("rm -f \"%1\"/viber_messages*") << 0
            << QStringList{QStringLiteral(".nomedia"), QStringLiteral("deeper/old")};
        QTest::newRow("question mark")
            << QStringLiteral("rm -f %1/viber_messages-wa?") << 0
            << QStringList{QStringLiteral(".nomedia"), QStringLiteral("deeper/old"),
                           QStringLiteral("viber_messages")};
        QTest::newRow("pattern matching nothing stays literal") << QStringLiteral("rm %1/*.db") << 1 << all;
        QTest::newRow("folder without -r") << QStringLiteral("rm -f %1/deeper") << 1 << all;
    }

    void rootShellGlobs()
    {
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QStringList, left);

        PhoneSim sim;
        sim.addDevice(Serial);
        for (const QString& name : {QStringLiteral(".nomedia"), QStringLiteral("deeper/old"),
                                    QStringLiteral("viber_messages"), QStringLiteral("viber_messages-wal")})
            sim.putFile(Serial, Staging + u'/' + name, "x");
        auto session = usbSession(simpleprotocol::UploadUrl);
        QCOMPARE(simpleprotocol::suCommand(*session, command.arg(Staging)), exitCode);
        QCOMPARE(filesUnder(sim.device(Serial).fileFor(Staging)), left);
    }

    // The sample holds every message kind the loader reads, each pointing at a file that
    // is on the phone, in the schema the Android adapter loads.
    void samplePhoneContents()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial);
        QVERIFY(sim.device(Serial).viberRunning());
        const QString databases = sim.device(Serial).fileFor(Databases);
        QVERIFY(!QFile::exists(databases + QStringLiteral("/viber_messages-wal")));
        QCOMPARE(messageIdsOf({databases + QStringLiteral("/viber_messages")}),
                 QStringLiteral("1,2,3,4,5,6,7,8,9,10"));
        const QString checks = python(
            QStringLiteral("import sqlite3, sys\n"
                           "m = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)\n"
                           "d = sqlite3.connect('file:' + sys.argv[2] + '?mode=ro', uri=True)\n"
                           "print(m.execute('pragma integrity_check').fetchone()[0], d.execute('pragma "
                           "integrity_check').fetchone()[0])\n"
                           "print(','.join(r[0] for r in m.execute('select distinct extra_mime from messages "
                           "order by 1')))\n"
                           "print(m.execute('select count(*) from messages_calls c join messages m on "
                           "m._id=c.message_id and m.token=c.token and m.date=c.date and "
                           "m.extra_duration=c.duration').fetchone()[0])\n"
                           "print(d.execute('select count(*) from calls where token=5000000004 and "
                           "duration=95 and type=2').fetchone()[0])\n"
                           "print(m.execute('select seq from sqlite_sequence where "
                           "name=\\'messages\\'').fetchone()[0])\n"),
            {databases + QStringLiteral("/viber_messages"), databases + QStringLiteral("/viber_data")});
        QCOMPARE(checks, QStringLiteral("ok ok\ncall,image,location,sound,sticker,text,video\n1\n1\n10"));

        QTemporaryDir cache;
        const QString db = cache.filePath(QStringLiteral("ab-extract/apps/com.viber.voip/db"));
        QVERIFY(QDir().mkpath(db));
        QVERIFY(QFile::copy(databases + QStringLiteral("/viber_messages"),
                            db + QStringLiteral("/viber_messages")));
        QVERIFY(QFile::copy(databases + QStringLiteral("/viber_data"), db + QStringLiteral("/viber_data")));
        AndroidViberDb adapter(QStringLiteral("/storage/emulated/0"), cache.path());
        adapter.open();
        const ViberDataSetPtr data = adapter.load();
        QCOMPARE(data->messages.size(), 10);
        const auto onPhone = [&](const QString& reference) {
            const QString path =
                reference.startsWith(QLatin1String("file:")) ? QUrl(reference).toLocalFile() : reference;
            return sim.phoneFileExists(Serial, path);
        };
        QSet<int> kinds;
        for (const _ViberMsg* msg : data->allMessages()) {
            kinds.insert(msg->type);
            const _ViberAtta* atta = msg->attachment;
            switch (msg->type) {
            case ViberMsgType::Picture:
                QVERIFY(onPhone(atta->sourceUri));
                QVERIFY(!onPhone(atta->sourcePath)); // the program has to make the preview
                break;
            case ViberMsgType::Video:
                QVERIFY(onPhone(atta->sourceUri));
                QVERIFY(onPhone(atta->sourcePath));
                QCOMPARE(atta->fileSize,
                         qint64(sim.phoneFile(Serial, QUrl(atta->sourceUri).toLocalFile()).size()));
                break;
            case ViberMsgType::Location:
                QCOMPARE(atta->sourcePath, SimSample::locationThumbnailPath());
                QVERIFY(onPhone(atta->sourcePath));
                break;
            case ViberMsgType::Voice:
                QVERIFY(onPhone(atta->sourceUri));
                QCOMPARE(atta->duration, 4.2);
                break;
            case ViberMsgType::Sticker:
                QCOMPARE(atta->fileId, QStringLiteral("40133"));
                break;
            case ViberMsgType::Call:
                QCOMPARE(msg->call->kind, int(ViberCallKind::Outgoing));
                QCOMPARE(msg->call->duration, 95);
                QVERIFY(msg->call->person);
                break;
            default:
                break;
            }
        }
        QCOMPARE(kinds.size(), 7);
        int avatars = 0;
        for (const _ViberPerson* person : data->persons.values()) {
            if (!person->avatarRef.isEmpty()) {
                QVERIFY(onPhone(person->avatarRef));
                ++avatars;
            }
        }
        QCOMPARE(avatars, 1);
    }

    // A WAL sample keeps its newest rows in the -wal: a copy of the main file alone
    // lacks them, a copy of the set has them.
    void walSampleKeepsRowsInTheWal()
    {
        PhoneSim sim;
        SimSample::Options options;
        options.walPending = true;
        sim.addSampleDevice(Serial, options);
        const QString messages = sim.device(Serial).fileFor(Databases + QStringLiteral("/viber_messages"));
        const QString data = sim.device(Serial).fileFor(Databases + QStringLiteral("/viber_data"));
        QVERIFY(QFileInfo(messages + QStringLiteral("-wal")).size() > 0);
        QVERIFY(QFileInfo(data + QStringLiteral("-wal")).size() > 0);
        QCOMPARE(messageIdsOf({messages}), QStringLiteral("1,2,3,4,5,6,7,8"));
        QCOMPARE(messageIdsOf({messages, messages + QStringLiteral("-wal")}),
                 QStringLiteral("1,2,3,4,5,6,7,8,9,10"));
        QCOMPARE(python(QStringLiteral("import sqlite3, sys\n"
                                       "db = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)\n"
                                       "print(db.execute('pragma journal_mode').fetchone()[0])"),
                        {messages}),
                 QStringLiteral("wal"));

        // a root copy of the main file alone is what a careless load gets
        auto session = usbSession(simpleprotocol::DownloadUrl);
        QCOMPARE(simpleprotocol::suCopy(*session, Databases + QStringLiteral("/viber_messages"),
                                        Staging + QStringLiteral("/viber_messages")),
                 0);
        QVERIFY(!sim.phoneFileExists(Serial, Staging + QStringLiteral("/viber_messages-wal")));
        QCOMPARE(sim.phoneFile(Serial, Staging + QStringLiteral("/viber_messages")),
                 sim.phoneFile(Serial, Databases + QStringLiteral("/viber_messages")));
    }

    // The modern sample is today's app as SQLite sees it: sound files in WAL mode, the
    // tables, columns, sequences and triggers the app declares, tokens that carry their
    // send time, order keys that are not dates, the picture named after its download id.
    // The program's own loader reads it; phonesim-sample --modern makes an Android 13 phone.
    void modernSamplePhone()
    {
        PhoneSim sim;
        SimSample::Options options;
        options.modern = true;
        options.sdkLevel = SimSample::Modern::SdkLevel;
        options.walPending = true;
        sim.addSampleDevice(Serial, options);
        const QString messages = sim.device(Serial).fileFor(Databases + QStringLiteral("/viber_messages"));
        const QString data = sim.device(Serial).fileFor(Databases + QStringLiteral("/viber_data"));
        QVERIFY(QFileInfo(data + QStringLiteral("-wal")).size() > 0);
        QCOMPARE(messageIdsOf({messages}), QStringLiteral("1,2,3,4,5,6,7,8,9"));

        QTemporaryDir copies;
        const QString wal = QStringLiteral("-wal");
        for (const QString& file : QStringList{messages, messages + wal, data, data + wal})
            QVERIFY(QFile::copy(file, copies.filePath(QFileInfo(file).fileName())));
        const QString checks = python(
            QStringLiteral(
                "import sqlite3, sys, hashlib, json, os\n"
                "m = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)\n"
                "d = sqlite3.connect('file:' + sys.argv[2] + '?mode=ro', uri=True)\n"
                "one = lambda db, sql: db.execute(sql).fetchone()[0]\n"
                "print(one(m, 'pragma integrity_check'), one(d, 'pragma integrity_check'),\n"
                "      one(m, 'pragma journal_mode'), one(d, 'pragma journal_mode'))\n"
                "need = {'conversations': 'conversation_type group_id name deleted flags date "
                "participant_id_1',\n"
                "  'participants': 'conversation_id participant_info_id active',\n"
                "  'participants_info': 'number participant_type contact_name display_name viber_name "
                "member_id "
                "encrypted_member_id',\n"
                "  'messages': 'conversation_id order_key msg_date token participant_id unread deleted "
                "send_type "
                "extra_mime user_id status extra_uri extra_download_id extra_duration body msg_info "
                "likes_count "
                "extra_flags',\n"
                "  'messages_calls': 'conversation_id message_id canonized_number date duration type "
                "token',\n"
                "  'messages_likes': 'message_token like_token participant_number date',\n"
                "  'public_accounts': 'group_id', 'conversation_auxiliary': 'media_size', "
                "'android_metadata': "
                "'locale'}\n"
                "cols = lambda db, t: {r[1]: r[2] for r in db.execute('pragma table_info(' + t + ')')}\n"
                "gone = [t + '.' + c for t, cs in need.items() for c in cs.split() if c not in cols(m, t)]\n"
                "gone += ['calls.' + c for c in 'call_id aggregate_hash number canonized_number "
                "viber_call_type "
                "date duration type token group_id conference_info'.split() if c not in cols(d, 'calls')]\n"
                "print(' '.join(gone) or 'complete', cols(m, 'messages')['extra_mime'])\n"
                "print(','.join(r[0] for r in m.execute('select name from sqlite_sequence order by 1')))\n"
                "print(one(m, \"select count(*) from participants_info where participant_type = 0 and number "
                "like "
                "'+49%'\"),\n"
                "      one(m, 'select count(*) from messages where abs((token >> 22) + 292057776050 - "
                "msg_date) > "
                "2000 or order_key = msg_date'),\n"
                "      one(m, 'select group_concat(_id) from messages where unread > 0'),\n"
                "      one(m, 'select _id from messages order by msg_date desc limit 1'),\n"
                "      one(m, 'select group_concat(extra_mime) from (select distinct extra_mime from "
                "messages "
                "order by 1)'),\n"
                "      one(m, 'select group_concat(_id) from messages where deleted = 1'))\n"
                "uri, did, info = m.execute('select extra_uri, extra_download_id, msg_info from messages "
                "where "
                "extra_mime = 1').fetchone()\n"
                "print(uri == 'file://' + sys.argv[3], os.path.basename(uri) == 'IMG-' + "
                "hashlib.md5(did.encode()).hexdigest() + '-V.jpg',\n"
                "      json.loads(info)['fileInfo']['FileSize'] == int(sys.argv[4]))\n"
                "call = one(m, 'select m.token from messages m join messages_calls c on c.message_id = m._id "
                "and "
                "c.token = m.token and c.date = m.msg_date and c.duration = m.extra_duration')\n"
                "print(one(d, 'select count(*) from calls where duration = 95 and type = 2 and token = %d' % "
                "call),\n"
                "      one(m, 'select count(*) from messages_likes l join messages m on m.token = "
                "l.message_token "
                "where m.likes_count = 1'))\n"
                "w = sqlite3.connect(':memory:')\n"
                "m.backup(w)\n"
                "w.execute('delete from messages where extra_mime = 1002 or likes_count > 0')\n"
                "w.execute('insert into conversations (conversation_type) values (0)')\n"
                "w.execute('delete from conversations where _id = 2')\n"
                "print(one(w, 'select count(*) from messages_calls'), one(w, 'select count(*) from "
                "messages_likes'),\n"
                "      one(w, 'select group_concat(_id) from conversation_auxiliary'))\n"),
            {copies.filePath(QStringLiteral("viber_messages")), copies.filePath(QStringLiteral("viber_data")),
             QString::fromLatin1(SimSample::Modern::PicturePath),
             QString::number(
                 sim.phoneFile(Serial, QString::fromLatin1(SimSample::Modern::PicturePath)).size())});
        QCOMPARE(checks, QStringLiteral("ok ok wal wal\ncomplete INTEGER\n"
                                        "conversations,messages,messages_calls,messages_likes,participants,"
                                        "participants_info\n"
                                        "1 0 11 11 0,1,1002,1007,1009 6\nTrue True True\n1 1\n0 0 1,3"));

        AppDirs::clearDeviceCache();
        AndroidDevice device;
        device.serial = Serial;
        device.applyDescription(sim.device(Serial).description());
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidLoadViberThread worker(device, true, channel);
        worker.setTiming(WorkerTimings::shortLoad());
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        QVERIFY(worker.dataSet());
        QCOMPARE(worker.dataSet()->chats.size(), SimSample::Modern::ChatCount);
        QCOMPARE(worker.dataSet()->messages.size(), SimSample::Modern::ShownMessages);
        const _ViberMsg* picture = worker.dataSet()->messages.value(SimSample::Modern::PictureMessageId);
        QVERIFY(picture && picture->attachment);
        QCOMPARE(readFile(picture->attachment->localPath),
                 sim.phoneFile(Serial, QString::fromLatin1(SimSample::Modern::PicturePath)));

        // By hand: Android 13 unless told otherwise, checkpointed files still in WAL mode.
        QTemporaryDir state;
        QProcess sample;
        sample.start(TestEnvironment::binDir() + QStringLiteral("/phonesim-sample"),
                     {QStringLiteral("--modern"), QStringLiteral("--no-root"), state.path()});
        QVERIFY(sample.waitForFinished(30000));
        QCOMPARE(sample.exitCode(), 0);
        const SimDevice byHand(state.path(), QStringLiteral("SIM0001"));
        AndroidDevice unrooted;
        unrooted.applyDescription(byHand.description());
        QCOMPARE(unrooted.sdkLevel, 33);
        QVERIFY(!unrooted.rooted);
        QVERIFY(!byHand.rootGranted());
        const QString handMessages = byHand.fileFor(Databases + QStringLiteral("/viber_messages"));
        QVERIFY(!QFile::exists(handMessages + QStringLiteral("-wal")));
        QCOMPARE(messageIdsOf({handMessages}), QStringLiteral("1,2,3,4,5,6,7,8,9,10,11"));
        QCOMPARE(python(QStringLiteral("import sqlite3, sys\n"
                                       "db = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)\n"
                                       "print(db.execute('pragma journal_mode').fetchone()[0])"),
                        {handMessages}),
                 QStringLiteral("wal"));
    }

    // Viber runs on a sample phone until it is force-stopped, over adb or by the root
    // shell; a change in its database folder while it runs lands in the phone's log.
    void viberRunningAndItsWrites_data()
    {
        QTest::addColumn<bool>("stopThroughAdb");
        QTest::newRow("adb shell am force-stop") << true;
        QTest::newRow("root am force-stop") << false;
    }

    void viberRunningAndItsWrites()
    {
        QFETCH(bool, stopThroughAdb);

        PhoneSim sim;
        sim.addSampleDevice(Serial);
        AdbTool().forceStop(Serial, QStringLiteral("com.android.backupconfirm"));
        QVERIFY(sim.device(Serial).viberRunning());
        auto session = usbSession(simpleprotocol::UploadUrl);
        sim.putFile(Serial, Staging + QStringLiteral("/viber_messages"), "merged");
        // reads and writes outside the databases are no harm
        QCOMPARE(simpleprotocol::suCopy(*session, Databases + QStringLiteral("/viber_data"),
                                        Staging + QStringLiteral("/viber_data")),
                 0);
        QCOMPARE(sim.viberWritesWhileRunning(Serial), QStringList());
        QCOMPARE(sim.viberReadsWhileRunning(Serial),
                 QStringList{QStringLiteral("dd ") + Databases + QStringLiteral("/viber_data")});

        QCOMPARE(simpleprotocol::suCopy(*session, Staging + QStringLiteral("/viber_messages"),
                                        Databases + QStringLiteral("/viber_messages")),
                 0);
        QCOMPARE(simpleprotocol::suCommand(*session, QStringLiteral("rm -f %1/viber_data").arg(Databases)),
                 0);
        QCOMPARE(
            simpleprotocol::suCommand(*session, QStringLiteral("rm -f %1/viber_data-wal").arg(Databases)), 0);
        QCOMPARE(sim.viberWritesWhileRunning(Serial),
                 (QStringList{QStringLiteral("dd ") + Databases + QStringLiteral("/viber_messages"),
                              QStringLiteral("rm ") + Databases + QStringLiteral("/viber_data")}));

        if (stopThroughAdb)
            AdbTool().forceStop(Serial, QStringLiteral("com.viber.voip"));
        else
            QCOMPARE(simpleprotocol::suCommand(*session, QStringLiteral("am force-stop com.viber.voip")), 0);
        QVERIFY(!sim.device(Serial).viberRunning());
        QCOMPARE(simpleprotocol::suCopy(*session, Staging + QStringLiteral("/viber_data"),
                                        Databases + QStringLiteral("/viber_data")),
                 0);
        QCOMPARE(simpleprotocol::suCopy(*session, Databases + QStringLiteral("/viber_messages"),
                                        Staging + QStringLiteral("/copy")),
                 0);
        QCOMPARE(sim.viberWritesWhileRunning(Serial).size(), 2);
        QCOMPARE(sim.viberReadsWhileRunning(Serial).size(), 1);
        QCOMPARE(sim.phoneFile(Serial, Databases + QStringLiteral("/viber_messages")), QByteArray("merged"));
    }

    // The agent is an ordinary app: Viber's private folder is closed to it, only root
    // commands reach it.
    void agentCannotReachViberFolder()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial);
        const QString target = Databases + QStringLiteral("/viber_messages");
        const QByteArray before = sim.phoneFile(Serial, target);
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("upload"));
        QVERIFY(writeFile(local, "not a database"));
        auto session = usbSession(simpleprotocol::UploadUrl);
        QVERIFY(!simpleprotocol::remoteIsFile(*session, target));
        try {
            simpleprotocol::uploadFile(*session, local, target);
            QFAIL("the agent wrote into Viber's folder");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("open %1 failed. Permission denied").arg(target));
        }
        QVERIFY(sim.phoneFile(Serial, target) == before);
        QVERIFY(sim.viberWritesWhileRunning(Serial).isEmpty());
        auto download = usbSession(simpleprotocol::DownloadUrl);
        QVERIFY(!simpleprotocol::downloadFile(*download, target, dir.filePath(QStringLiteral("copy")), true));
    }

    // The user taps "Do not back up" or "Do not restore" on the phone.
    void declinedBackupAndRestore()
    {
        PhoneSim sim;
        SimDevice device = sim.addSampleDevice(Serial);
        device.setValue(QStringLiteral("declineBackup"), true);
        device.setValue(QStringLiteral("declineRestore"), true);
        QTemporaryDir dir;
        const QString ab = dir.filePath(QStringLiteral("declined.ab"));
        QVERIFY(runAdb({QStringLiteral("-s"), Serial, QStringLiteral("backup"), QStringLiteral("-f"), ab,
                        QStringLiteral("com.viber.voip")})
                    .contains(QLatin1String("confirm the backup operation")));
        QVERIFY(QFileInfo::exists(ab));
        QCOMPARE(QFileInfo(ab).size(), 0);

        const QString databases = device.fileFor(Databases);
        const QByteArray before = readFile(databases + QStringLiteral("/viber_messages"));
        const QString source = dir.filePath(QStringLiteral("ab-extract"));
        QVERIFY(writeFile(source + QStringLiteral("/apps/com.viber.voip/_manifest"), "1\ncom.viber.voip\n"));
        QVERIFY(writeFile(source + QStringLiteral("/apps/com.viber.voip/db/viber_messages"), "merged"));
        const QString restoreAb = dir.filePath(QStringLiteral("r.ab"));
        buildBackupArchive(source, restoreAb);
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("restore"), restoreAb});
        QVERIFY(readFile(databases + QStringLiteral("/viber_messages")) == before);
        QVERIFY(device.viberRunning());

        // once the user agrees, the restore engine stops Viber and takes the data
        device.setValue(QStringLiteral("declineRestore"), false);
        runAdb({QStringLiteral("-s"), Serial, QStringLiteral("restore"), restoreAb});
        QCOMPARE(readFile(databases + QStringLiteral("/viber_messages")), QByteArray("merged"));
        QVERIFY(!device.viberRunning());
        QVERIFY(sim.viberWritesWhileRunning(Serial).isEmpty());
    }

    void agentThatNeverSaysHello()
    {
        PhoneSim sim;
        sim.addDevice(Serial).setValue(QStringLiteral("noHello"), true);
        auto session = usbSession(simpleprotocol::DeviceInfoUrl);
        QElapsedTimer timer;
        timer.start();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, simpleprotocol::readLine(*session, 1500));
        QVERIFY(timer.elapsed() >= 1400);
    }

    // The connection breaks inside the first block of an upload; like the app, the
    // agent leaves what it had written on the phone. Other uploads go through.
    void uploadDroppedMidway()
    {
        PhoneSim sim;
        sim.addDevice(Serial).setValue(QStringLiteral("dropMidUpload"), QStringLiteral("viber_messages"));
        QTemporaryDir dir;
        QByteArray data(1200 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char(i * 7 % 251);
        const QString local = dir.filePath(QStringLiteral("viber_messages"));
        QVERIFY(writeFile(local, data));
        auto session = usbSession(simpleprotocol::UploadUrl);
        simpleprotocol::uploadFile(*session, local, Staging + QStringLiteral("/picture.jpg"));
        QVERIFY(sim.phoneFile(Serial, Staging + QStringLiteral("/picture.jpg")) == data);
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            simpleprotocol::uploadFile(*session, local, Staging + QStringLiteral("/viber_messages")));
        QVERIFY(sim.phoneFile(Serial, Staging + QStringLiteral("/viber_messages")) ==
                data.left(simpleprotocol::UploadBlockSize / 2));
    }

    // A WiFi phone serves a second session while the first is still open, and each
    // simulated phone has its own control port.
    void wifiSessionsInParallel()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial);
        sim.addDevice(QStringLiteral("SIM8"));
        QCOMPARE(sim.wifiPort(Serial), 49001);
        const int port = sim.startWifiAgent(Serial);
        const int otherPort = sim.startWifiAgent(QStringLiteral("SIM8"));
        QVERIFY(port > 0 && otherPort > 0 && port != otherPort);
        QCOMPARE(sim.wifiPort(Serial), port);

        simpleprotocol::SessionEndpoint endpoint;
        endpoint.viaWifi = true;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = port;
        const auto url = [](const char* pattern) {
            return QString::fromLatin1(pattern).arg(PhoneSim::freePort());
        };
        auto first = simpleprotocol::openSession(endpoint, url(simpleprotocol::DownloadUrl), 5000);
        QElapsedTimer timer;
        timer.start();
        // A second session that had to wait for the first would wait out the whole minute.
        auto second = simpleprotocol::openSession(endpoint, url(simpleprotocol::DownloadUrl), 60000);
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
        QTemporaryDir dir;
        QVERIFY(simpleprotocol::downloadFile(*second, QString::fromLatin1(SimSample::VoicePath),
                                             dir.filePath(QStringLiteral("voice")), true));
        QVERIFY(simpleprotocol::downloadFile(*first, QString::fromLatin1(SimSample::PicturePath),
                                             dir.filePath(QStringLiteral("picture")), true));
        QVERIFY(readFile(dir.filePath(QStringLiteral("voice"))) ==
                sim.phoneFile(Serial, QString::fromLatin1(SimSample::VoicePath)));

        endpoint.port = otherPort;
        auto info = simpleprotocol::openSession(endpoint, url(simpleprotocol::DeviceInfoUrl), 5000);
        QCOMPARE(simpleprotocol::readDeviceDescription(*info), PhoneSim::description(QStringLiteral("SIM8")));
    }
};

QTEST_GUILESS_MAIN(TestPhoneSim)
#include "tst_phonesim.moc"
