#include "android/AdbTool.h"
#include "android/AndroidMonitor.h"
#include "android/BackupArchive.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

namespace {

const QString Serial = QStringLiteral("SIM7");
const QString Databases = QStringLiteral("/data/data/com.viber.voip/databases");

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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
};

QTEST_GUILESS_MAIN(TestPhoneSim)
#include "tst_phonesim.moc"
