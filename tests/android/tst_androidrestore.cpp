#include "android/AndroidLoadViberThread.h"
#include "android/AndroidRestoreViberThread.h"
#include "android/AndroidUndoTransferThread.h"
#include "android/RestoreSafetyCopies.h"
#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "db/ViberCodes.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"
#include "tools/phonesim/SimFileAttributes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

using TestEnvironment::readFile;

const QString Serial = QStringLiteral("SIMRESTORE1");
const QString PhoneMessages = QStringLiteral("/data/data/com.viber.voip/databases/viber_messages");
const QString PhoneData = QStringLiteral("/data/data/com.viber.voip/databases/viber_data");
const QString Staging = QStringLiteral("/storage/emulated/0/viber/su");
const QString PictureOnPhone = QStringLiteral("/storage/emulated/0/viber/media/Viber Images/holiday.jpg");
const QList<qint64> AddedTokens = {9001, 9002, 9003, 9005, 9006};

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

QStringList privateFolders()
{
    return QDir(QDir::tempPath())
        .entryList({QStringLiteral("velliport-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

QString runPython(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("python3"), arguments);
    if (!process.waitForFinished(60000))
        return QStringLiteral("python did not finish");
    const QString output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return output.isEmpty() ? QStringLiteral("python failed") : output;
    return QString();
}

// Every row of every table as Python's sqlite3 reads it.
QString dump(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                              QStringLiteral("import sqlite3, sys\n"
                                                             "db = sqlite3.connect(sys.argv[1])\n"
                                                             "c = lambda a, b: (a > b) - (a < b)\n"
                                                             "db.create_collation('LOCALIZED', c)\n"
                                                             "for line in db.iterdump(): print(line)\n"),
                                              path});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString checkTransfer(const QString& before, const QString& after, qint64 addedCount)
{
    QJsonArray tokens;
    for (qint64 token : AddedTokens)
        tokens.append(token);
    const QJsonObject expect{{QStringLiteral("added_tokens"), tokens},
                             {QStringLiteral("added_count"), addedCount}};
    return runPython({TestEnvironment::dataDir() + QStringLiteral("/android/check_transfer.py"), before,
                      after, QString::fromUtf8(QJsonDocument(expect).toJson(QJsonDocument::Compact))});
}

// Puts the phone's messages database into WAL mode with a committed row that lives only
// in the log, as a running Viber leaves it.
void leaveARowInTheLog(const PhoneSim& sim)
{
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
    QCOMPARE(
        runPython(
            {QStringLiteral("-c"),
             QStringLiteral(
                 "import os, shutil, sqlite3, sys\n"
                 "path = sys.argv[1]\n"
                 "db = sqlite3.connect(path, isolation_level=None)\n"
                 "db.execute('PRAGMA journal_mode=WAL')\n"
                 "db.execute('PRAGMA wal_autocheckpoint=0')\n"
                 "db.execute(\"INSERT INTO messages (address, date, read, opened, status, type, body, token, "
                 "extra_mime, seq, count, group_id, conversation_id, conversation_type, participant_id, "
                 "date_real) VALUES ('+4915110000002', 1700000700000, 1, 1, 2, 0, 'only in the log', "
                 "5000000007, 'text', 7, 1, 0, 1, 0, 2, 1700000700000)\")\n"
                 "shutil.copy(path, path + '.main')\n"
                 "shutil.copy(path + '-wal', path + '.log')\n"
                 "db.close()\n"
                 "for suffix in ('-wal', '-shm'):\n"
                 "    if os.path.exists(path + suffix): os.remove(path + suffix)\n"
                 "os.replace(path + '.main', path)\n"
                 "os.replace(path + '.log', path + '-wal')\n"),
             phoneDb}),
        QString());
    QVERIFY(QFileInfo(phoneDb + QStringLiteral("-wal")).size() > 0);
}

AndroidDevice usbDevice(int sdkLevel, bool rooted)
{
    AndroidDevice device;
    device.serial = Serial;
    device.applyDescription(PhoneSim::description(Serial, sdkLevel, rooted));
    return device;
}

AndroidRestoreViberThread::Timing restoreTiming()
{
    AndroidRestoreViberThread::Timing timing;
    timing.sessionBudget = 5000ms;
    timing.rootCommandWait = 10000ms;
    timing.toolStart = 5000ms;
    timing.restoreTool = 15000ms;
    timing.tipsPoll = 20ms;
    timing.rootTipsPoll = 20ms;
    return timing;
}

// The main window loads the phone into its cache before a transfer.
bool loadCache(const AndroidDevice& device)
{
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    AndroidLoadViberThread worker(device, true, channel);
    worker.setTiming(WorkerTimings::shortLoad());
    receiver.runInWorkerThread(worker);
    if (!receiver.errors.isEmpty())
        qWarning("the load failed: %s", qUtf8Printable(receiver.errors.join(u' ')));
    return receiver.successes.size() == 1;
}

QString cacheFile(const AndroidDevice& device, const QString& name)
{
    return QDir(AndroidLoadViberThread::viberFolder(device.cacheDir()))
        .filePath(QStringLiteral("db/") + name);
}

// Messages for the sample phone: between its rows and after them, a picture whose file
// is here, one whose file is gone, a call and a phone row again.
struct Source
{
    QTemporaryDir files;
    DataSetBuilder b;
    QList<_ViberMsg*> messages;

    Source()
    {
        _ViberPerson* anna = b.person(1, QStringLiteral("+4915110000002"), QStringLiteral("Anna"));
        _ViberPerson* dora = b.person(2, QStringLiteral("+4915110000009"), QStringLiteral("Dora"));
        _ViberChat* annaChat = b.chat(1, {anna});
        _ViberChat* doraChat = b.chat(2, {dora});
        auto at = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); };
        auto add = [&](_ViberChat* chat, int type, qint64 ms, qint64 token, const QString& body) {
            _ViberMsg* m = b.message(chat, type, at(ms), body);
            m->token = token;
            messages.append(m);
            return m;
        };
        add(annaChat, ViberMsgType::Text, 1700000150000, 9001, QStringLiteral("dazwischen"));
        _ViberMsg* picture = add(annaChat, ViberMsgType::Picture, 1700000250000, 9002, QString());
        DataSetBuilder::writeImage(files.filePath(QStringLiteral("holiday.jpg")), 64, 48);
        DataSetBuilder::writeImage(files.filePath(QStringLiteral("holiday-thumb.jpg")), 16, 12);
        b.attach(picture, files.filePath(QStringLiteral("holiday.jpg")),
                 files.filePath(QStringLiteral("holiday-thumb.jpg")));
        _ViberMsg* gone = add(annaChat, ViberMsgType::Picture, 1700000260000, 9003, QString());
        b.attach(gone, files.filePath(QStringLiteral("gone.jpg")),
                 files.filePath(QStringLiteral("gone-t.jpg")));
        _ViberMsg* call = b.callMessage(annaChat, anna, ViberCallKind::Incoming, 30, at(1700000350000));
        call->call->token = 9005;
        messages.append(call);
        add(doraChat, ViberMsgType::Text, 1700000900000, 9006, QStringLiteral("Hallo Dora"));
        add(annaChat, ViberMsgType::Text, 1700000000000 + 20000, 5000000001, QStringLiteral("schon da"));
    }
};

struct RestoreRun
{
    ProgressChannel channel;
    RecordingReceiver receiver{&channel};
    qint64 queued = -1;
    int missing = -1;

    void run(const AndroidDevice& device, const QList<_ViberMsg*>& messages, int cancelAt = -1)
    {
        receiver.cancelAtProgress = cancelAt;
        AndroidRestoreViberThread worker(device, messages, channel);
        worker.setTiming(restoreTiming());
        receiver.runInWorkerThread(worker);
        queued = worker.queued();
        missing = worker.missingFiles();
    }
};

} // namespace

class TestAndroidRestore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 is needed to check the phone's files");
    }
    void init() { AppDirs::clearDeviceCache(); }

    void rootWriteIntoPhoneInWalMode();
    void rootWrite_data();
    void rootWrite();
    void restoreRoute();
    void restoreRouteRefused_data();
    void restoreRouteRefused();
    void restoreDeclinedOnThePhone();
    void rootWriteDroppedMidUpload_data();
    void rootWriteDroppedMidUpload();
    void failedWriteBackChangesNothing();
    void rootWriteFailsThenRestoreRoute();
    void noExternalStorageUploadsNoMedia();
    void cancelAtEachStage_data();
    void cancelAtEachStage();
    void rootWriteFaultAtEveryStep();
    void undoLastTransfer();
};

void TestAndroidRestore::rootWriteIntoPhoneInWalMode()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(Serial);
    leaveARowInTheLog(sim);
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
    QTemporaryDir scratch;
    const QString before = scratch.filePath(QStringLiteral("before"));
    QVERIFY(QFile::copy(phoneDb, before));
    QVERIFY(QFile::copy(phoneDb + QStringLiteral("-wal"), before + QStringLiteral("-wal")));
    const AndroidDevice device = usbDevice(28, true);
    QVERIFY(loadCache(device));

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.errors, QStringList());
    QCOMPARE(run.receiver.successes.size(), 1);
    // The row that lived only in the log is kept, and no old log is left to be applied.
    QCOMPARE(checkTransfer(before, phoneDb, 5), QString());
    QVERIFY(dump(phoneDb).contains(QStringLiteral("only in the log")));
}

void TestAndroidRestore::rootWrite_data()
{
    QTest::addColumn<bool>("wifi");
    QTest::newRow("USB") << false;
    QTest::newRow("WiFi") << true;
}

void TestAndroidRestore::rootWrite()
{
    QFETCH(bool, wifi);
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial);
    AndroidDevice device = usbDevice(28, true);
    if (wifi) {
        const int port = sim.startWifiAgent(Serial);
        QVERIFY(port > 0);
        device.serial.clear();
        device.viaWifi = true;
        device.host = QStringLiteral("127.0.0.1");
        device.port = port;
    }
    QVERIFY(loadCache(device));
    // The user opened Viber again since the load.
    phone.setValue(QStringLiteral("viberRunning"), true);
    QTemporaryDir scratch;
    const QString before = scratch.filePath(QStringLiteral("before"));
    QVERIFY(QFile::copy(sim.device(Serial).fileFor(PhoneMessages), before));
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
    const QStringList foldersBefore = privateFolders();

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.errors, QStringList());
    QCOMPARE(run.queued, 6);
    QCOMPARE(run.missing, 2);
    QCOMPARE(run.receiver.successes,
             QStringList{text("IDS_SUC_RESTORE_%1_MESSAGES_TO_ANDROID").arg(6) +
                         QStringLiteral("<br/><br/>") + text("IDS_RESTORE_SKIPPED_MISSING_FILES_%1").arg(2)});

    QCOMPARE(checkTransfer(before, phoneDb, 5), QString());
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QVERIFY(!QFileInfo::exists(phoneDb + suffix));
    // The cache shows what the phone holds, and the call log has the call.
    QCOMPARE(readFile(cacheFile(device, QStringLiteral("viber_messages"))), readFile(phoneDb));
    QCOMPARE(readFile(cacheFile(device, QStringLiteral("viber_data"))),
             readFile(sim.device(Serial).fileFor(PhoneData)));
    QCOMPARE(runPython({QStringLiteral("-c"),
                        QStringLiteral("import sqlite3, sys\n"
                                       "db = sqlite3.connect(sys.argv[1])\n"
                                       "n = db.execute('select count(*) from calls where token=9005 and "
                                       "number=?', ('+4915110000002',)).fetchone()[0]\n"
                                       "sys.exit(0 if n == 1 else 1)\n"),
                        sim.device(Serial).fileFor(PhoneData)}),
             QString());
    // The picture and its preview are on the phone; the staged databases are not.
    QCOMPARE(sim.phoneFile(Serial, PictureOnPhone),
             readFile(source.files.filePath(QStringLiteral("holiday.jpg"))));
    QCOMPARE(sim.phoneFile(Serial, QStringLiteral("/storage/emulated/0/viber/media/.thumbnails/holiday.jpg")),
             readFile(source.files.filePath(QStringLiteral("holiday-thumb.jpg"))));
    QVERIFY(QDir(sim.device(Serial).fileFor(Staging)).isEmpty());
    QVERIFY(!phone.viberRunning());
    QCOMPARE(sim.viberWritesWhileRunning(Serial), QStringList());
    QCOMPARE(privateFolders(), foldersBefore);

    // The same messages again change nothing on the phone.
    const QByteArray once = readFile(phoneDb);
    RestoreRun again;
    again.run(device, source.messages);
    QCOMPARE(again.receiver.errors, QStringList());
    QCOMPARE(again.receiver.successes.size(), 1);
    QCOMPARE(readFile(phoneDb), once);
}

void TestAndroidRestore::restoreRoute()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial, 28, false);
    const AndroidDevice device = usbDevice(28, false);
    QVERIFY(loadCache(device));
    phone.setValue(QStringLiteral("viberRunning"), true);
    QTemporaryDir scratch;
    const QString before = scratch.filePath(QStringLiteral("before"));
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
    QVERIFY(QFile::copy(phoneDb, before));
    // A log left beside another database of the cache is no part of a restore archive.
    const QString strayLog = cacheFile(device, QStringLiteral("other_db-wal"));
    const QStringList foldersBefore = privateFolders();
    QFile stray(strayLog);
    QVERIFY(stray.open(QIODevice::WriteOnly) && stray.write("stale log") > 0);
    stray.close();

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.errors, QStringList());
    QCOMPARE(run.receiver.successes.size(), 1);
    QVERIFY(!sim.phoneFileExists(Serial, QStringLiteral("/data/data/com.viber.voip/databases/other_db-wal")));
    QVERIFY(sim.phoneFileExists(Serial, PhoneData));
    QVERIFY(run.receiver.tips.join(u'\n').contains(text("IDS_ADB_RESTORE_TIPS")));
    QCOMPARE(checkTransfer(before, phoneDb, 5), QString());
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_messages"))), dump(phoneDb));
    QVERIFY(!QFileInfo::exists(sim.device(Serial).folder() + QStringLiteral("/restore-errors.log")));
    QVERIFY(sim.phoneFileExists(Serial, PictureOnPhone));
    QCOMPARE(sim.viberWritesWhileRunning(Serial), QStringList());
    // The archive and the working copies went with the run.
    QCOMPARE(privateFolders(), foldersBefore);
}

void TestAndroidRestore::restoreRouteRefused_data()
{
    QTest::addColumn<int>("sdk");
    QTest::addColumn<bool>("manifest");
    QTest::addColumn<QString>("error");
    QTest::newRow("Android 12") << 31 << true << "IDS_ANDROID_12_RESTORE_NEEDS_ROOT";
    QTest::newRow("no backup of this phone") << 28 << false << "IDS_RESTORE_NEEDS_BACKUP_OF_THIS_PHONE";
}

void TestAndroidRestore::restoreRouteRefused()
{
    QFETCH(int, sdk);
    QFETCH(bool, manifest);
    QFETCH(QString, error);
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(Serial, 28, false);
    const AndroidDevice loaded = usbDevice(28, false);
    QVERIFY(loadCache(loaded));
    if (!manifest)
        QVERIFY(QFile::remove(QDir(AndroidLoadViberThread::viberFolder(loaded.cacheDir()))
                                  .filePath(QStringLiteral("_manifest"))));
    // The phone was updated to Android 12 since its last backup.
    const AndroidDevice device = usbDevice(sdk, false);
    const QByteArray phoneBefore = readFile(sim.device(Serial).fileFor(PhoneMessages));
    const QByteArray cacheBefore = readFile(cacheFile(device, QStringLiteral("viber_messages")));
    const int adbCallsBefore = int(sim.adbCalls().size());

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.errors, QStringList{text(error.toLatin1().constData())});
    QCOMPARE(run.receiver.successes, QStringList());
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneMessages)), phoneBefore);
    QCOMPARE(readFile(cacheFile(device, QStringLiteral("viber_messages"))), cacheBefore);
    // Refused before anything was merged, uploaded or run on the phone.
    QCOMPARE(int(sim.adbCalls().size()), adbCallsBefore);
    QVERIFY(!sim.phoneFileExists(Serial, PictureOnPhone));
}

void TestAndroidRestore::restoreDeclinedOnThePhone()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial, 28, false);
    const AndroidDevice device = usbDevice(28, false);
    QVERIFY(loadCache(device));
    phone.setValue(QStringLiteral("viberRunning"), true);
    // The user taps "Do not restore": the tool ends as after a restore.
    phone.setValue(QStringLiteral("declineRestore"), true);
    const QByteArray phoneBefore = readFile(sim.device(Serial).fileFor(PhoneMessages));
    const QByteArray dataBefore = readFile(sim.device(Serial).fileFor(PhoneData));
    const QStringList foldersBefore = privateFolders();

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.successes, QStringList());
    QCOMPARE(run.receiver.errors, QStringList{text("IDS_RESTORE_NOT_FINISHED")});
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneMessages)), phoneBefore);
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneData)), dataBefore);
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_messages"))),
             dump(sim.device(Serial).fileFor(PhoneMessages)));
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_data"))),
             dump(sim.device(Serial).fileFor(PhoneData)));
    QCOMPARE(privateFolders(), foldersBefore);
}

void TestAndroidRestore::rootWriteDroppedMidUpload_data()
{
    QTest::addColumn<QString>("drop");
    QTest::newRow("every upload, the picture first") << QStringLiteral("true");
    QTest::newRow("the staged viber_messages") << QStringLiteral("viber_messages");
    QTest::newRow("the staged viber_data") << QStringLiteral("viber_data");
}

void TestAndroidRestore::rootWriteDroppedMidUpload()
{
    QFETCH(QString, drop);
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial);
    const AndroidDevice device = usbDevice(28, true);
    QVERIFY(loadCache(device));
    phone.setValue(QStringLiteral("viberRunning"), true);
    phone.setValue(QStringLiteral("dropMidUpload"), drop);
    const QByteArray phoneBefore = readFile(sim.device(Serial).fileFor(PhoneMessages));
    const QByteArray dataBefore = readFile(sim.device(Serial).fileFor(PhoneData));
    const QStringList foldersBefore = privateFolders();

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.successes, QStringList());
    QCOMPARE(run.receiver.errors.size(), 1);
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneMessages)), phoneBefore);
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneData)), dataBefore);
    QCOMPARE(
        runPython({QStringLiteral("-c"),
                   QStringLiteral("import sqlite3, sys\n"
                                  "db = sqlite3.connect('file:' + sys.argv[1] + '?mode=ro', uri=True)\n"
                                  "sys.exit(0 if db.execute('pragma integrity_check').fetchone()[0] == 'ok' "
                                  "else 1)\n"),
                   sim.device(Serial).fileFor(PhoneMessages)}),
        QString());
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_messages"))),
             dump(sim.device(Serial).fileFor(PhoneMessages)));
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_data"))),
             dump(sim.device(Serial).fileFor(PhoneData)));
    QCOMPARE(sim.viberWritesWhileRunning(Serial), QStringList());
    // Nothing of the history stays on shared storage, and a picture cut short is not
    // left where a later transfer would take it for complete.
    QCOMPARE(QDir(sim.device(Serial).fileFor(Staging)).entryList(QDir::Files), QStringList());
    QVERIFY(!sim.phoneFileExists(Serial, PictureOnPhone) ||
            sim.phoneFile(Serial, PictureOnPhone) ==
                readFile(source.files.filePath(QStringLiteral("holiday.jpg"))));
    QCOMPARE(privateFolders(), foldersBefore);

    // Once the connection holds, the same transfer goes through and the picture is whole.
    phone.setValue(QStringLiteral("dropMidUpload"), QString());
    RestoreRun again;
    again.run(device, source.messages);
    QCOMPARE(again.receiver.errors, QStringList());
    QCOMPARE(again.receiver.successes.size(), 1);
    QCOMPARE(sim.phoneFile(Serial, PictureOnPhone),
             readFile(source.files.filePath(QStringLiteral("holiday.jpg"))));
    QCOMPARE(readFile(cacheFile(device, QStringLiteral("viber_messages"))),
             readFile(sim.device(Serial).fileFor(PhoneMessages)));
    QCOMPARE(sim.viberWritesWhileRunning(Serial), QStringList());
}

void TestAndroidRestore::failedWriteBackChangesNothing()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial);
    const AndroidDevice device = usbDevice(28, true);
    QVERIFY(loadCache(device));
    // Root is refused from now on; a root-route load leaves no manifest for the other route.
    phone.setValue(QStringLiteral("root"), false);
    const QByteArray phoneBefore = readFile(sim.device(Serial).fileFor(PhoneMessages));
    const QByteArray dataBefore = readFile(sim.device(Serial).fileFor(PhoneData));

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.successes, QStringList());
    QCOMPARE(run.receiver.errors, QStringList{text("IDS_ROOT_INVALID_AUTHORIZATION") + u' ' +
                                              text("IDS_PHONE_KEPT_ITS_DATABASES")});
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneMessages)), phoneBefore);
    QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneData)), dataBefore);
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_messages"))),
             dump(sim.device(Serial).fileFor(PhoneMessages)));
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_data"))),
             dump(sim.device(Serial).fileFor(PhoneData)));
    QVERIFY(!sim.phoneFileExists(Serial, Staging + QStringLiteral("/viber_messages")));
}

void TestAndroidRestore::rootWriteFailsThenRestoreRoute()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial);
    const AndroidDevice device = usbDevice(28, true);
    QVERIFY(loadCache(device));
    // An earlier load of this phone went through a backup and left its manifest.
    QFile manifest(
        QDir(AndroidLoadViberThread::viberFolder(device.cacheDir())).filePath(QStringLiteral("_manifest")));
    QVERIFY(manifest.open(QIODevice::WriteOnly) && manifest.write("1\ncom.viber.voip\n1500\n30\n") > 0);
    manifest.close();
    phone.setValue(QStringLiteral("root"), false);
    QTemporaryDir scratch;
    const QString before = scratch.filePath(QStringLiteral("before"));
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
    QVERIFY(QFile::copy(phoneDb, before));

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.errors, QStringList());
    // the root failure, the restore, and the backup that shows the phone took it
    QCOMPARE(run.receiver.tips.size(), 3);
    QVERIFY(run.receiver.tips.first().startsWith(text("IDS_ROOT_INVALID_AUTHORIZATION")));
    QVERIFY(run.receiver.tips.first().endsWith(QCoreApplication::translate(
        "AndroidRestoreViberThread", "IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP")));
    QVERIFY(run.receiver.tips[1].startsWith(text("IDS_ADB_RESTORE_TIPS")));
    QVERIFY(run.receiver.tips[2].startsWith(text("IDS_ADB_BACKUP_TIPS")));
    QCOMPARE(run.receiver.successes.size(), 1);
    QVERIFY(run.receiver.successes.first().startsWith(text("IDS_SUC_RESTORE_%1_MESSAGES_TO_ANDROID").arg(6)));
    QCOMPARE(checkTransfer(before, phoneDb, 5), QString());
    QCOMPARE(dump(cacheFile(device, QStringLiteral("viber_messages"))), dump(phoneDb));
}

void TestAndroidRestore::noExternalStorageUploadsNoMedia()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    sim.addSampleDevice(Serial, 28, false);
    AndroidDevice device = usbDevice(28, false);
    QVERIFY(loadCache(device));
    // The card was removed since the load; the user was told attachments are skipped.
    device.storage.clear();
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);

    Source source;
    RestoreRun run;
    run.run(device, source.messages);
    QCOMPARE(run.receiver.errors, QStringList());
    QCOMPARE(run.receiver.successes, QStringList{text("IDS_SUC_RESTORE_%1_MESSAGES_TO_ANDROID").arg(6)});
    QCOMPARE(run.missing, 0);
    QVERIFY(!sim.phoneFileExists(Serial, PictureOnPhone));
    QCOMPARE(runPython({QStringLiteral("-c"),
                        QStringLiteral(
                            "import sqlite3, sys\n"
                            "db = sqlite3.connect(sys.argv[1])\n"
                            "n = db.execute('select count(*) from messages where token=9002').fetchone()[0]\n"
                            "sys.exit(0 if n == 1 else 1)\n"),
                        phoneDb}),
             QString());
}

void TestAndroidRestore::cancelAtEachStage_data()
{
    QTest::addColumn<bool>("rooted");
    QTest::newRow("root write") << true;
    QTest::newRow("restore archive") << false;
}

void TestAndroidRestore::cancelAtEachStage()
{
    QFETCH(bool, rooted);
    // How many reports a whole transfer makes, so that a cancel can land at each of them.
    int reports = 0;
    {
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addSampleDevice(Serial, 28, rooted);
        const AndroidDevice device = usbDevice(28, rooted);
        QVERIFY(loadCache(device));
        Source source;
        RestoreRun run;
        run.run(device, source.messages);
        QCOMPARE(run.receiver.successes.size(), 1);
        reports = int(run.receiver.progress.size());
        QStringList stages;
        for (const RecordingReceiver::Progress& p : std::as_const(run.receiver.progress)) {
            if (!p.status.isEmpty() && !stages.contains(p.status))
                stages.append(p.status);
        }
        // The stages a cancel must be able to end: merging, the calls, media and staged uploads.
        QVERIFY(stages.contains(text("IDS_MERGING_VIBER_MESSAGES")));
        QVERIFY(stages.contains(text("IDS_MERGING_VIBER_CALLS")));
        QVERIFY(stages.contains(text("IDS_UPLOADING_FILE_%1").arg(QStringLiteral("holiday.jpg"))));
        QCOMPARE(stages.contains(text("IDS_UPLOADING_FILE_%1").arg(QStringLiteral("viber_messages"))),
                 rooted);
    }
    QVERIFY(reports > 3);
    for (int cancelAt = 1; cancelAt <= reports; ++cancelAt) {
        AppDirs::clearDeviceCache();
        PhoneSim sim;
        sim.addSampleDevice(Serial, 28, rooted);
        const AndroidDevice device = usbDevice(28, rooted);
        QVERIFY(loadCache(device));
        const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
        QTemporaryDir scratch;
        const QString before = scratch.filePath(QStringLiteral("before"));
        QVERIFY(QFile::copy(phoneDb, before));
        const QByteArray phoneBefore = readFile(phoneDb);
        const QByteArray dataBefore = readFile(sim.device(Serial).fileFor(PhoneData));

        Source source;
        RestoreRun run;
        run.run(device, source.messages, cancelAt);
        const QString where = QStringLiteral("cancelled at report %1: %2")
                                  .arg(cancelAt)
                                  .arg(run.receiver.progress.value(cancelAt - 1).status);
        QVERIFY2(run.receiver.errors.isEmpty(), qPrintable(where + run.receiver.errors.join(u' ')));
        if (run.receiver.successes.isEmpty()) {
            // Cancelled: the phone as it was, the cache equal to it, no staged copy left.
            QVERIFY2(readFile(phoneDb) == phoneBefore, qPrintable(where));
            QVERIFY2(readFile(sim.device(Serial).fileFor(PhoneData)) == dataBefore, qPrintable(where));
            QVERIFY2(dump(cacheFile(device, QStringLiteral("viber_messages"))) == dump(phoneDb),
                     qPrintable(where));
        } else {
            // Past the point where the phone's files change, the write runs to its end.
            QVERIFY2(checkTransfer(before, phoneDb, 5).isEmpty(), qPrintable(where));
            QVERIFY2(readFile(cacheFile(device, QStringLiteral("viber_messages"))) == readFile(phoneDb),
                     qPrintable(where));
        }
        QVERIFY2(!sim.phoneFileExists(Serial, Staging + QStringLiteral("/viber_messages")) ||
                     sim.phoneFile(Serial, Staging + QStringLiteral("/viber_messages")).isEmpty(),
                 qPrintable(where));
    }
}

namespace {

QMap<QString, QByteArray> folderFiles(const QString& path)
{
    QMap<QString, QByteArray> files;
    const QDir folder(path);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readFile(folder.filePath(name)));
    return files;
}

void setFolderFiles(const QString& path, const QMap<QString, QByteArray>& files)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(QDir(path).filePath(it.key()));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(*it) == it->size());
    }
}

qint64 rootCommandsRun(const SimDevice& phone)
{
    return readFile(phone.folder() + QStringLiteral("/root-commands.count")).toLongLong();
}

QString integrity(const QString& path)
{
    return runPython({QStringLiteral("-c"),
                      QStringLiteral("import sqlite3, sys\n"
                                     "r = sqlite3.connect(sys.argv[1]).execute('pragma integrity_check').fetchone()\n"
                                     "sys.exit(0 if r[0] == 'ok' else r[0])\n"),
                      path});
}

} // namespace

// A cable pulled before or after any root command of the write, or a full disk at it:
// the phone holds its old files byte for byte or the complete new ones, each with the
// owner, mode and context of Viber's own files, and says which.
void TestAndroidRestore::rootWriteFaultAtEveryStep()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial);
    leaveARowInTheLog(sim);
    const AndroidDevice device = usbDevice(28, true);
    QVERIFY(loadCache(device));
    const QString databases = phone.fileFor(QStringLiteral("/data/data/com.viber.voip/databases"));
    const QString cache = QFileInfo(cacheFile(device, QStringLiteral("viber_messages"))).absolutePath();
    const QMap<QString, QByteArray> old = folderFiles(databases);
    const QMap<QString, QByteArray> cached = folderFiles(cache);
    const SimFileAttributes::Attributes viberOwn = SimFileAttributes(phone.folder()).of(PhoneMessages);
    const auto reset = [&] {
        setFolderFiles(databases, old);
        setFolderFiles(cache, cached);
        QFile::remove(phone.folder() + QStringLiteral("/attributes.tsv"));
    };

    Source source;
    const qint64 first = rootCommandsRun(phone);
    {
        RestoreRun run;
        run.run(device, source.messages);
        QCOMPARE(run.receiver.errors, QStringList());
    }
    const QStringList commands = QString::fromUtf8(readFile(phone.folder() + QStringLiteral("/root-commands.log")))
                                     .split(u'\n', Qt::SkipEmptyParts)
                                     .mid(first);
    const QMap<QString, QByteArray> written = folderFiles(databases);
    QCOMPARE(written.keys(), (QStringList{QStringLiteral("viber_data"), QStringLiteral("viber_messages")}));
    for (const QString& name : written.keys())
        QCOMPARE(integrity(QDir(databases).filePath(name)), QString());
    QVERIFY(written != old);
    QVERIFY(commands.size() > 15);

    for (const QString& kind : {QStringLiteral("drop"), QStringLiteral("full")}) {
        for (qsizetype step = 0; step < commands.size(); ++step) {
            const QString program = commands[step].section(u' ', 0, 0);
            // A full disk fails only what needs room.
            if (kind == QLatin1String("full") && QStringList{"stat", "ls", "sha256sum", "sync"}.contains(program))
                continue;
            reset();
            phone.setValue(QStringLiteral("rootFault"), QStringLiteral("%1@%2").arg(kind).arg(rootCommandsRun(phone) + 1 + step));
            RestoreRun run;
            run.run(device, source.messages);
            const QString where = QStringLiteral("%1 at \"%2\" (%3 of %4): %5")
                                      .arg(kind, commands[step].left(120))
                                      .arg(step + 1)
                                      .arg(commands.size())
                                      .arg(run.receiver.errors.join(u' '));
            const QMap<QString, QByteArray> now = folderFiles(databases);
            const bool unchanged = now == old;
            QVERIFY2(unchanged || (now.value(QStringLiteral("viber_messages")) == written.value(QStringLiteral("viber_messages")) &&
                                   now.value(QStringLiteral("viber_data")) == written.value(QStringLiteral("viber_data"))),
                     qPrintable(where));
            QVERIFY2(unchanged == !run.receiver.errors.isEmpty(), qPrintable(where));
            for (const QString& path : {PhoneMessages, PhoneData})
                QVERIFY2(SimFileAttributes(phone.folder()).of(path) == viberOwn, qPrintable(where));
            if (unchanged) {
                QVERIFY2(QDir(phone.fileFor(Staging)).isEmpty(), qPrintable(where));
                QVERIFY2(run.receiver.errors.join(u' ').contains(text("IDS_PHONE_KEPT_ITS_DATABASES")), qPrintable(where));
                QVERIFY2(folderFiles(cache) == cached, qPrintable(where));
            } else {
                QVERIFY2(!QFileInfo::exists(phone.fileFor(PhoneMessages + QStringLiteral("-wal"))), qPrintable(where));
                QVERIFY2(readFile(cacheFile(device, QStringLiteral("viber_messages"))) == written.value(QStringLiteral("viber_messages")),
                         qPrintable(where));
            }
        }
    }
}

// Transfer, a message arrives on the phone, undo: the phone holds the kept copy again,
// and says before how much it loses; an undo is refused without a copy of this phone.
void TestAndroidRestore::undoLastTransfer()
{
    PhoneSim sim;
    QVERIFY(sim.isValid());
    SimDevice phone = sim.addSampleDevice(Serial);
    const AndroidDevice device = usbDevice(28, true);
    QVERIFY(loadCache(device));
    const QString copy = RestoreSafetyCopies::keepDatabaseCopy(device.cacheDir(), QDateTime::currentDateTime());
    const QString keptMessages = QDir(copy).filePath(QStringLiteral("viber_messages"));
    const QString keptData = QDir(copy).filePath(QStringLiteral("viber_data"));

    Source source;
    {
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidRestoreViberThread worker(device, source.messages, channel);
        worker.setTiming(restoreTiming());
        worker.setKeptCopy(copy);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
    }
    QVERIFY(dump(phone.fileFor(PhoneMessages)) != dump(keptMessages));
    // The phone receives a message after the transfer.
    QCOMPARE(runPython({QStringLiteral("-c"),
                        QStringLiteral("import sqlite3, sys, time\n"
                                       "db = sqlite3.connect(sys.argv[1])\n"
                                       "t = int(time.time() * 1000) + 60000\n"
                                       "db.execute(\"insert into messages (address, date, date_real, type, body, "
                                       "token, conversation_id) values ('+4915110000002', ?, ?, 0, 'after', 77, 1)\", "
                                       "(t, t))\n"
                                       "db.commit()\n"),
                        phone.fileFor(PhoneMessages)}),
             QString());
    QVERIFY(loadCache(device));
    const AndroidUndoTransferThread::Plan plan = AndroidUndoTransferThread::plan(device);
    QCOMPARE(plan.refusal, QString());
    QVERIFY(plan.copy);
    QCOMPARE(plan.messagesSince, 1);
    QVERIFY(plan.confirmation().contains(QStringLiteral("1 messages dated after it")));

    const auto undo = [&](const AndroidDevice& target) {
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidUndoTransferThread worker(target, channel);
        worker.setCommandWait(10000);
        receiver.runInWorkerThread(worker);
        return receiver.errors.isEmpty() ? QString() : receiver.errors.join(u' ');
    };
    QCOMPARE(undo(device), QString());
    QCOMPARE(dump(phone.fileFor(PhoneMessages)), dump(keptMessages));
    QCOMPARE(dump(phone.fileFor(PhoneData)), dump(keptData));
    QCOMPARE(integrity(phone.fileFor(PhoneMessages)), QString());
    QCOMPARE(SimFileAttributes(phone.folder()).of(PhoneMessages), SimFileAttributes(QString()).of(PhoneMessages));
    QCOMPARE(readFile(cacheFile(device, QStringLiteral("viber_messages"))), readFile(phone.fileFor(PhoneMessages)));
    QVERIFY(QDir(phone.fileFor(Staging)).isEmpty());

    // Undone once: nothing more to undo.
    QCOMPARE(undo(device), text("IDS_UNDO_NO_KEPT_COPY"));
    // A copy that came from another phone is not put on this one: the simulated phones
    // share an imei, and so the cache folder.
    const QString other = QStringLiteral("SIMRESTORE2");
    sim.addSampleDevice(other);
    AndroidDevice second;
    second.serial = other;
    second.applyDescription(PhoneSim::description(other, 28, true));
    QCOMPARE(AndroidUndoTransferThread::plan(second).refusal, text("IDS_UNDO_NO_KEPT_COPY"));
    const QByteArray secondBefore = sim.phoneFile(other, PhoneMessages);
    QCOMPARE(second.cacheDir(), device.cacheDir());
    RestoreSafetyCopies::markTransferred(copy, device, QDateTime::currentDateTimeUtc(), 5);
    QCOMPARE(undo(second), text("IDS_UNDO_COPY_OF_ANOTHER_PHONE"));
    QCOMPARE(sim.phoneFile(other, PhoneMessages), secondBefore);
}

QTEST_GUILESS_MAIN(TestAndroidRestore)
#include "tst_androidrestore.moc"
