#include "android/AndroidLoadViberThread.h"
#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Sql.h"
#include "db/ViberCodes.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"
#include "tools/phonesim/SimSample.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>

#include <sqlite3.h>

using namespace std::chrono_literals;

namespace {

using TestEnvironment::pythonQuery;
using TestEnvironment::readFile;
using TestEnvironment::writeFile;

const QString Serial = QStringLiteral("SIMLOAD1");
const QString PhoneMessages = QStringLiteral("/data/data/com.viber.voip/databases/viber_messages");
const QString Staging = QStringLiteral("/storage/emulated/0/viber/su");
const QString LogOnlyText = QStringLiteral("Only in the log");
// Every row of the sample phone loads as a message, the call's too.
constexpr int SampleMessages = SimSample::MessageCount;
// Pictures added to the sample phone in one folder, and how many of them it still holds.
constexpr int ExtraPictures = 20;
constexpr int PresentPictures = 4;

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

AndroidDevice usbDevice(const QString& description)
{
    AndroidDevice device;
    device.serial = Serial;
    device.applyDescription(description);
    return device;
}

// Puts the phone's messages database into write-ahead-log mode with a committed row that
// lives only in the log, as a running Viber leaves it.
void leaveARowInTheLog(const PhoneSim& sim)
{
    const QString phoneDb = sim.device(Serial).fileFor(PhoneMessages);
    QTemporaryDir copy;
    {
        Sqlite3DB db;
        db.openThrow(phoneDb, SQLITE_OPEN_READWRITE);
        QString error;
        db.exec(QStringLiteral("PRAGMA journal_mode=WAL"), error);
        db.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"), error);
        db.executeThrow(Sqlite3Sql(
            QStringLiteral(
                "INSERT INTO messages (address, date, read, opened, status, type, body, token, extra_mime, "
                "seq, count, "
                "group_id, conversation_id, conversation_type, participant_id, date_real) VALUES "
                "('+4915110000002', "
                "1700002000000, 1, 1, 2, 0, '%1', 5000000020, 'text', 20, 1, 0, 1, 0, 2, 1700002000000)")
                .arg(LogOnlyText)));
        QFile::copy(phoneDb, copy.filePath(QStringLiteral("main")));
        QFile::copy(phoneDb + QStringLiteral("-wal"), copy.filePath(QStringLiteral("wal")));
    }
    // closing folded the log in; put back the state from before
    QFile::remove(phoneDb);
    QFile::remove(phoneDb + QStringLiteral("-wal"));
    QFile::remove(phoneDb + QStringLiteral("-shm"));
    QFile::copy(copy.filePath(QStringLiteral("main")), phoneDb);
    QFile::copy(copy.filePath(QStringLiteral("wal")), phoneDb + QStringLiteral("-wal"));
}

QStringList privateFolders()
{
    return QDir(QDir::tempPath())
        .entryList({QStringLiteral("velliport-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

int agentRequests(const PhoneSim& sim, const QString& prefix)
{
    int count = 0;
    const QString log = QString::fromUtf8(readFile(sim.stateDir() + QStringLiteral("/agent.log")));
    for (const QString& line : log.split(u'\n')) {
        if (line.contains(QStringLiteral("<< ") + prefix))
            ++count;
    }
    return count;
}

// Every file below a folder with its bytes, by relative path.
QMap<QString, QByteArray> folderContents(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        contents.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return contents;
}

const _ViberAtta* picture(const ViberDataSet& dataSet)
{
    for (const _ViberAtta* atta : dataSet.attachments) {
        if (atta->message && atta->message->type == ViberMsgType::Picture)
            return atta;
    }
    return nullptr;
}

bool hasText(const ViberDataSet& dataSet, const QString& wanted)
{
    for (const _ViberMsg* msg : dataSet.messages) {
        if (msg->text == wanted)
            return true;
    }
    return false;
}

struct LoadRun
{
    ProgressChannel channel;
    RecordingReceiver receiver{&channel};
    ViberDataSetPtr dataSet;
    int failed = -1;

    void run(const AndroidDevice& device, bool fetch = true,
             const AndroidLoadViberThread::Timing& timing = WorkerTimings::shortLoad())
    {
        AndroidLoadViberThread worker(device, fetch, channel);
        worker.setTiming(timing);
        receiver.runInWorkerThread(worker);
        dataSet = worker.dataSet();
        failed = worker.failedAttachments();
    }
};

// Stands where the dialog stands and cancels at the report the test names: the user
// presses Cancel at that moment. A tips box it cancels at is never closed.
class CancellingReceiver : public QObject
{
    Q_OBJECT
public:
    using Trigger = std::function<bool(const QString& status, int value, const QString& tips)>;
    CancellingReceiver(ProgressChannel& channel, Trigger trigger)
        : m_channel(channel), m_trigger(std::move(trigger))
    {
        channel.setReceiver(this);
    }
    int outcomes = 0;

public slots:
    void updateProgress(const QString& status, int value, const QString&)
    {
        if (m_trigger(status, value, QString()))
            m_channel.setCancelled(true);
    }
    void errorOccurred(const UserText&) { ++outcomes; }
    void succeed(const UserText&) { ++outcomes; }
    void tipsWait(const UserText& info)
    {
        if (m_trigger(QString(), -1, info.text()))
            m_channel.setCancelled(true);
        else
            m_channel.setWaitingTips(false);
    }

private:
    ProgressChannel& m_channel;
    Trigger m_trigger;
};

} // namespace

class TestAndroidLoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }

    void init() { AppDirs::clearDeviceCache(); }

    void rootRouteLoadsRowsThatLiveOnlyInTheLog()
    {
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addSampleDevice(Serial).setValue(QStringLiteral("viberRunning"), true);
        // the stop takes longer than opening the session: the copies wait for it
        sim.device(Serial).setValue(QStringLiteral("forceStopMs"), 1500);
        leaveARowInTheLog(sim);
        // a companion a crashed run left in the staging folder must not be applied
        sim.putFile(Serial, Staging + QStringLiteral("/viber_messages-journal"), QByteArray(4096, 'x'));
        const QStringList foldersBefore = privateFolders();

        const AndroidDevice device = usbDevice(PhoneSim::description(Serial));
        // an earlier load left a database and the manifest of a backup of this phone
        const QString viber = AndroidLoadViberThread::viberFolder(device.cacheDir());
        QVERIFY(writeFile(viber + QStringLiteral("/db/viber_messages_old"), "earlier load"));
        QVERIFY(writeFile(viber + QStringLiteral("/_manifest"), "manifest"));
        LoadRun run;
        run.run(device);
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes, QStringList{QString()});
        QCOMPARE(run.receiver.tips, QStringList());
        QVERIFY(!QFileInfo::exists(viber + QStringLiteral("/db/viber_messages_old")));
        QCOMPARE(readFile(viber + QStringLiteral("/_manifest")), QByteArray("manifest"));
        QVERIFY(run.dataSet);
        QCOMPARE(run.dataSet->messages.size(), SampleMessages + 1);
        QVERIFY(hasText(*run.dataSet, LogOnlyText));
        QCOMPARE(run.failed, 0);

        // the cache holds one self-contained file with the logged row
        const QString cached =
            AndroidLoadViberThread::viberFolder(device.cacheDir()) + QStringLiteral("/db/viber_messages");
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            QVERIFY2(!QFileInfo::exists(cached + QLatin1String(suffix)), suffix);
        QCOMPARE(
            pythonQuery(cached,
                        QStringLiteral("SELECT count(*) FROM messages WHERE body = '%1'").arg(LogOnlyText)),
            QStringLiteral("1"));
        QCOMPARE(pythonQuery(cached, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));

        // Viber was stopped before the copy, and nothing of the run stays on shared storage
        QVERIFY(
            sim.adbCalls().contains(QStringLiteral("-s %1 shell am force-stop com.viber.voip").arg(Serial)));
        QVERIFY(!sim.device(Serial).viberRunning());
        QCOMPARE(sim.viberReadsWhileRunning(Serial), QStringList());
        QCOMPARE(sim.viberWritesWhileRunning(Serial), QStringList());
        const QString stagingDir = sim.device(Serial).fileFor(Staging);
        QCOMPARE(QDir(stagingDir).entryList(QDir::Files), QStringList());
        QCOMPARE(privateFolders(), foldersBefore);
        // the log was copied in this run and fetched; the stale journal was not
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:%1/viber_messages-wal").arg(Staging)), 1);
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:%1/viber_messages-journal").arg(Staging)), 0);

        // the picture's URL-encoded file: URI reached the phone as a plain path
        const _ViberAtta* atta = picture(*run.dataSet);
        QVERIFY(atta);
        QCOMPARE(readFile(atta->localPath),
                 sim.phoneFile(Serial, QString::fromLatin1(SimSample::PicturePath)));
        QVERIFY(!atta->localPath.isEmpty());
        const QImage preview(atta->previewPath);
        QCOMPARE(preview.width(), 400);
        QCOMPARE(preview.height(), 300);
    }

    void rootRouteOverWifiStopsViberByRoot()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial).setValue(QStringLiteral("viberRunning"), true);
        const int port = sim.startWifiAgent(Serial);
        QVERIFY(port > 0);
        AndroidDevice device;
        device.viaWifi = true;
        device.host = QStringLiteral("127.0.0.1");
        device.port = port;
        device.applyDescription(PhoneSim::description(Serial));
        LoadRun run;
        run.run(device);
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes.size(), 1);
        QCOMPARE(run.dataSet->messages.size(), SampleMessages);
        QCOMPARE(agentRequests(sim, QStringLiteral("$sucmd:am force-stop com.viber.voip")), 1);
        QVERIFY(!sim.device(Serial).viberRunning());
        // the stop comes before the first copy
        const QString log = QString::fromUtf8(readFile(sim.stateDir() + QStringLiteral("/agent.log")));
        QVERIFY(log.indexOf(QStringLiteral("am force-stop")) < log.indexOf(QStringLiteral("$sucmd:dd")));
        QCOMPARE(QDir(sim.device(Serial).fileFor(Staging)).entryList(QDir::Files), QStringList());
    }

    void rootRefusedFallsBackToTheBackupAfterTheTip()
    {
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial);
        phone.setValue(QStringLiteral("root"), false); // the phone is rooted, the agent is refused
        const QStringList foldersBefore = privateFolders();
        LoadRun run;
        run.run(usbDevice(PhoneSim::description(Serial)));
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes.size(), 1);
        QCOMPARE(run.receiver.tips.size(), 2);
        QVERIFY(run.receiver.tips[0].startsWith(text("IDS_ROOT_INVALID_AUTHORIZATION")));
        QVERIFY(
            run.receiver.tips[0].endsWith(QStringLiteral("Failed to backup data from your root device. Click "
                                                         "\"OK\" button then the software will try again in "
                                                         "another mode.")));
        QVERIFY(run.receiver.tips[1].startsWith(text("IDS_ADB_BACKUP_TIPS")));
        QCOMPARE(run.dataSet->messages.size(), SampleMessages);
        QVERIFY(sim.adbCalls().contains(
            QStringLiteral("-s %1 shell am force-stop com.android.backupconfirm").arg(Serial)));
        // the archive lived in a private folder that went with the run
        QCOMPARE(privateFolders(), foldersBefore);
    }

    void noExternalStorageLoadsMessagesWithoutFiles()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial);
        QString description = PhoneSim::description(Serial);
        description.remove(QStringLiteral("storage1=/storage/emulated/0"));
        const AndroidDevice device = usbDevice(description);
        QVERIFY(device.storage.isEmpty());
        LoadRun run;
        run.run(device);
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes.size(), 1);
        QVERIFY(run.receiver.tips.value(0).startsWith(text("IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE")));
        QCOMPARE(run.dataSet->messages.size(), SampleMessages);
        QCOMPARE(run.failed, 0);
        const _ViberAtta* atta = picture(*run.dataSet);
        QVERIFY(atta);
        QVERIFY(!QFileInfo::exists(atta->localPath));
        // only the contact's profile picture was asked for, no attachment
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:")), 1);
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + QLatin1String(SimSample::AvatarPath)), 1);
    }

    void cachedAttachmentIsKeptAndAFailedAvatarOnlyCounts()
    {
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial);
        const AndroidDevice device = usbDevice(PhoneSim::description(Serial));
        LoadRun first;
        first.run(device);
        QCOMPARE(first.receiver.successes.size(), 1);
        const QString localPicture = picture(*first.dataSet)->localPath;
        QVERIFY(writeFile(localPicture, "cached copy"));
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + QLatin1String(SimSample::PicturePath)), 1);
        const int mediaRequests =
            agentRequests(sim, QStringLiteral("$dload:/storage/emulated/0/viber/media"));

        // a new avatar of Jörg, who had none, whose transfer breaks off
        sim.putFile(Serial, QStringLiteral("/storage/emulated/0/viber/.photos/joerg.jpg"),
                    QByteArray(5000, 'a'));
        {
            Sqlite3DB db;
            db.openThrow(AndroidLoadViberThread::viberFolder(device.cacheDir()) +
                             QStringLiteral("/db/viber_messages"),
                         SQLITE_OPEN_READWRITE);
            db.executeThrow(Sqlite3Sql(QStringLiteral("UPDATE participants_info SET viber_image = "
                                                      "'file:///storage/emulated/0/viber/.photos/joerg.jpg' "
                                                      "WHERE _id = 3")));
        }
        phone.setValue(QStringLiteral("dropMidBlock"), true);

        LoadRun second;
        second.run(device, false);
        QCOMPARE(second.receiver.errors, QStringList());
        QCOMPARE(second.receiver.successes.size(), 1);
        QVERIFY(second.dataSet);
        QCOMPARE(second.dataSet->messages.size(), SampleMessages);
        QCOMPARE(second.failed, 1);
        QCOMPARE(readFile(localPicture), QByteArray("cached copy"));
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:/storage/emulated/0/viber/media")), mediaRequests);
        // fetch off: the databases were not copied again
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:/storage/emulated/0/viber/su")), 2);
    }

    // The files a phone no longer has are found out in one batched request, not by a
    // download request each; the files it has are downloaded as before.
    void missingAttachmentsAreAskedForInOneRequest()
    {
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial);
        QVERIFY(QFile::remove(phone.fileFor(QLatin1String(SimSample::VideoPath))));
        QVERIFY(QFile::remove(phone.fileFor(QLatin1String(SimSample::VoicePath))));
        LoadRun run;
        run.run(usbDevice(PhoneSim::description(Serial)));
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.failed, 0);
        QCOMPARE(agentRequests(sim, QStringLiteral("$fstat:")), 1);
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + QLatin1String(SimSample::VideoPath)), 0);
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + QLatin1String(SimSample::VoicePath)), 0);
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + QLatin1String(SimSample::PicturePath)), 1);
        QVERIFY(readFile(picture(*run.dataSet)->localPath) ==
                sim.phoneFile(Serial, QLatin1String(SimSample::PicturePath)));
    }

    void foldersOfManyFilesAreListed_data()
    {
        QTest::addColumn<QStringList>("unknownRequests");
        QTest::addColumn<int>("pictureDownloads");
        QTest::newRow("listing") << QStringList() << PresentPictures + 1;
        QTest::newRow("agent without listing")
            << QStringList{QStringLiteral("$flist:")} << PresentPictures + 1;
        QTest::newRow("agent without batched questions")
            << QStringList{QStringLiteral("$flist:"), QStringLiteral("$fstat:")} << ExtraPictures + 1;
    }

    // A media folder that holds many of the files a history names is listed once instead
    // of asking for each; an agent that lists nothing is asked the older ways, with the
    // same files in the cache at the end.
    void foldersOfManyFilesAreListed()
    {
        QFETCH(QStringList, unknownRequests);
        QFETCH(int, pictureDownloads);
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial);
        phone.setValue(QStringLiteral("unknownRequests"), unknownRequests);
        const QString images = QStringLiteral("/storage/emulated/0/viber/media/Viber Images/");
        const QString thumbnails = QStringLiteral("/storage/emulated/0/viber/media/.thumbnails/");
        const QByteArray jpeg = sim.phoneFile(Serial, QLatin1String(SimSample::PicturePath));
        {
            Sqlite3DB db;
            db.openThrow(phone.fileFor(PhoneMessages), SQLITE_OPEN_READWRITE);
            for (int i = 0; i < ExtraPictures; ++i) {
                const QString name = QStringLiteral("IMG-20240101-WA%1.jpg").arg(i, 4, 10, QChar(u'0'));
                db.executeThrow(Sqlite3Sql(
                    QStringLiteral(
                        "INSERT INTO messages (address, date, read, opened, status, type, body, token, "
                        "extra_uri, extra_mime, seq, count, group_id, conversation_id, "
                        "conversation_type, participant_id, date_real) VALUES ('+4915110000002', %1, "
                        "1, 1, 2, 0, '%2', %3, '%4', 'image', %5, 1, 0, 1, 0, 2, %1)")
                        .arg(1700003000000 + i * 1000)
                        .arg(thumbnails + name)
                        .arg(6000000000 + i)
                        .arg(QUrl::fromLocalFile(images + name).toString(QUrl::FullyEncoded))
                        .arg(100 + i)));
                // a picture a preview can be made of, told apart by what follows its end
                if (i % (ExtraPictures / PresentPictures) == 0)
                    sim.putFile(Serial, images + name, jpeg + name.toUtf8());
                if (i == 3)
                    sim.putFile(Serial, thumbnails + name, "thumbnail " + name.toUtf8());
            }
        }
        LoadRun run;
        run.run(usbDevice(PhoneSim::description(Serial)));
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.failed, 0);
        int local = 0;
        for (const _ViberAtta* atta : run.dataSet->attachments) {
            if (!atta->sourceUri.contains(QLatin1String("IMG-20240101")))
                continue;
            const QString phonePicture = QUrl(atta->sourceUri).toLocalFile();
            QCOMPARE(QFileInfo::exists(atta->localPath), sim.phoneFileExists(Serial, phonePicture));
            if (QFileInfo::exists(atta->localPath)) {
                ++local;
                QCOMPARE(readFile(atta->localPath), sim.phoneFile(Serial, phonePicture));
            }
            // the preview is the phone's where it has one, else made from the picture
            if (sim.phoneFileExists(Serial, atta->sourcePath))
                QCOMPARE(readFile(atta->previewPath), sim.phoneFile(Serial, atta->sourcePath));
            QCOMPARE(QFileInfo::exists(atta->previewPath), sim.phoneFileExists(Serial, atta->sourcePath) ||
                                                               sim.phoneFileExists(Serial, phonePicture));
        }
        QCOMPARE(local, PresentPictures);
        QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + images), pictureDownloads);
        QCOMPARE(agentRequests(sim, QStringLiteral("$flist:")), 2);
        // the other media folders hold a file or two each
        QCOMPARE(agentRequests(sim, QStringLiteral("$fstat:")), 1);
    }

    void backupRoute_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("plain archive") << QString() << QString();
        QTest::newRow("archive still growing") << QStringLiteral("growingBackup") << QString();
        QTest::newRow("encrypted archive")
            << QStringLiteral("encryptedBackup") << QStringLiteral("encrypted");
    }

    void backupRoute()
    {
        QFETCH(QString, fault);
        QFETCH(QString, expectedError);
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial, 28, false);
        if (!fault.isEmpty())
            phone.setValue(fault, true);
        phone.setValue(QStringLiteral("growingMs"), 800);
        LoadRun run;
        run.run(usbDevice(PhoneSim::description(Serial, 28, false)));
        QCOMPARE(run.receiver.tips.size(), 1);
        if (expectedError.isEmpty()) {
            QCOMPARE(run.receiver.errors, QStringList());
            QCOMPARE(run.dataSet->messages.size(), SampleMessages);
        } else {
            QCOMPARE(run.receiver.errors.size(), 1);
            QVERIFY2(run.receiver.errors.first().contains(expectedError),
                     qPrintable(run.receiver.errors.first()));
            QVERIFY(!run.dataSet);
        }
    }

    // The user taps "Do not back up": the tool leaves an empty archive and exits 0.
    void declinedBackupKeepsTheEarlierLoad_data()
    {
        QTest::addColumn<bool>("rooted");
        QTest::newRow("no root") << false;
        QTest::newRow("root refused") << true;
    }

    void declinedBackupKeepsTheEarlierLoad()
    {
        QFETCH(bool, rooted);
        PhoneSim sim;
        QVERIFY(sim.isValid());
        SimDevice phone = sim.addSampleDevice(Serial, 28, rooted);
        const AndroidDevice device = usbDevice(PhoneSim::description(Serial, 28, rooted));
        LoadRun first;
        first.run(device);
        QCOMPARE(first.receiver.successes.size(), 1);
        const QString viber = AndroidLoadViberThread::viberFolder(device.cacheDir());
        const QMap<QString, QByteArray> cacheBefore = folderContents(viber);
        QVERIFY(cacheBefore.contains(QStringLiteral("db/viber_messages")));
        if (rooted)
            phone.setValue(QStringLiteral("root"), false);
        phone.setValue(QStringLiteral("declineBackup"), true);
        const QStringList foldersBefore = privateFolders();

        LoadRun run;
        // An empty archive from a tool that has ended never grows: no waiting for it. The
        // wait for growth is a minute here, so only a worker that waits fails the bound.
        AndroidLoadViberThread::Timing timing = WorkerTimings::shortLoad();
        timing.archiveRetries = 60000ms;
        QElapsedTimer timer;
        timer.start();
        run.run(device, true, timing);
        QCOMPARE(run.receiver.successes, QStringList());
        QCOMPARE(run.receiver.errors.size(), 1);
        const QString error = run.receiver.errors.first();
        QVERIFY2(error.contains(QStringLiteral("declined")), qPrintable(error));
        QVERIFY(!run.dataSet);
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(run.receiver.tips.size(), rooted ? 2 : 1);
        QCOMPARE(folderContents(viber), cacheBefore);
        QCOMPARE(privateFolders(), foldersBefore);
        QCOMPARE(QDir(sim.device(Serial).fileFor(Staging)).entryList(QDir::Files), QStringList());
    }

    void backupThatNeverArrivesEndsWithTheHelpAndTheAttempts()
    {
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial, 28, false);
        phone.setValue(QStringLiteral("slowMs"), 8000); // the user never confirms in time
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidLoadViberThread worker(usbDevice(PhoneSim::description(Serial, 28, false)), true, channel);
        AndroidLoadViberThread::Timing timing = WorkerTimings::shortLoad();
        timing.backupTool = 300ms;
        timing.archiveRetries = 1000ms;
        worker.setTiming(timing);
        QElapsedTimer timer;
        timer.start();
        receiver.runInWorkerThread(worker);
        // The error below already shows the phone's eight seconds were not waited out.
        QVERIFY2(timer.elapsed() < 7500, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(receiver.errors.size(), 1);
        const QString error = receiver.errors.first();
        QVERIFY2(error.startsWith(
                     QStringLiteral("Can't read Viber data from Android device.\n\nPlease check")),
                 qPrintable(error));
        static const QRegularExpression ending(
            QStringLiteral("Error:adb-backup -f .*\\.ab failed\\. attempt=(\\d+)$"));
        const QRegularExpressionMatch match = ending.match(error);
        QVERIFY2(match.hasMatch(), qPrintable(error));
        // polled every 50 ms for a second
        QVERIFY(match.captured(1).toInt() >= 5);
        QVERIFY(!worker.dataSet());
    }

    void android12BackupWithoutViberIsNamedAndNeverShowsAStaleLoad()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial, 31, false);
        const AndroidDevice device = usbDevice(PhoneSim::description(Serial, 31, false));
        // what an earlier load left in the cache
        const QString stale =
            AndroidLoadViberThread::viberFolder(device.cacheDir()) + QStringLiteral("/db/viber_messages");
        QVERIFY(QDir().mkpath(QFileInfo(stale).absolutePath()));
        QVERIFY(QFile::copy(sim.device(Serial).fileFor(PhoneMessages), stale));
        LoadRun run;
        run.run(device);
        QCOMPARE(run.receiver.successes, QStringList());
        QCOMPARE(run.receiver.errors, QStringList{text("IDS_ANDROID_12_BACKUP_LEAVES_OUT_VIBER")});
        QVERIFY(!run.dataSet);
        QVERIFY(!QFileInfo::exists(stale));
    }

    void backupRouteRefusedOverWifi()
    {
        AndroidDevice device;
        device.viaWifi = true;
        device.host = QStringLiteral("127.0.0.1");
        device.applyDescription(PhoneSim::description(Serial, 28, false));
        LoadRun run;
        run.run(device);
        QCOMPARE(run.receiver.errors, QStringList{text("IDS_ANDROID_40_ABOVE_USB_MUST")});
    }

    void cancelDuringTheRootCopyLeavesNothingStaged()
    {
        PhoneSim sim;
        SimDevice phone = sim.addSampleDevice(Serial);
        phone.setValue(QStringLiteral("blockSize"), 1024);
        const AndroidDevice device = usbDevice(PhoneSim::description(Serial));
        LoadRun run;
        run.receiver.cancelAtProgress = 3; // the loading notice, the file's name, its first block
        run.run(device);
        QCOMPARE(run.receiver.outcomes(), 0);
        QVERIFY(!run.dataSet);
        QCOMPARE(QDir(sim.device(Serial).fileFor(Staging)).entryList(QDir::Files), QStringList());
        QVERIFY(!QFileInfo::exists(AndroidLoadViberThread::viberFolder(device.cacheDir()) +
                                   QStringLiteral("/db/viber_messages")));
    }

    void cancelAtLaterStages_data()
    {
        QTest::addColumn<QString>("stage");
        QTest::newRow("backup tool running") << QStringLiteral("backup");
        QTest::newRow("tip after the root failure") << QStringLiteral("root tip");
        QTest::newRow("attachments") << QStringLiteral("attachments");
    }

    void cancelAtLaterStages()
    {
        QFETCH(QString, stage);
        PhoneSim sim;
        const bool rooted = stage == QLatin1String("attachments");
        SimDevice phone = sim.addSampleDevice(Serial, 28, rooted);
        if (stage == QLatin1String("root tip")) {
            phone.setValue(QStringLiteral("root"), false);
        } else if (stage == QLatin1String("backup")) {
            phone.setValue(QStringLiteral("slowMs"), 10000); // the longest the phone is slow
        }
        const AndroidDevice device =
            usbDevice(PhoneSim::description(Serial, 28, rooted || stage == QLatin1String("root tip")));
        CancellingReceiver::Trigger trigger;
        if (stage == QLatin1String("backup"))
            trigger = [](const QString&, int, const QString& tips) {
                return tips.startsWith(text("IDS_ADB_BACKUP_TIPS"));
            };
        else if (stage == QLatin1String("root tip"))
            trigger = [](const QString&, int, const QString& tips) {
                return tips.startsWith(text("IDS_ROOT_INVALID_AUTHORIZATION"));
            };
        else // the first report of the attachment loop: no status, a percentage
            trigger = [](const QString& status, int value, const QString&) {
                return status.isEmpty() && value >= 0;
            };

        const QStringList foldersBefore = privateFolders();
        ProgressChannel channel;
        CancellingReceiver receiver(channel, trigger);
        AndroidLoadViberThread worker(device, true, channel);
        worker.setTiming(WorkerTimings::shortLoad());
        QElapsedTimer timer;
        timer.start();
        receiver.moveToThread(&worker);
        worker.start();
        worker.wait();
        // Cancelling never waits for the phone's ten seconds, nor the worker's longer waits.
        QVERIFY2(timer.elapsed() < 9000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(receiver.outcomes, 0);
        QVERIFY(!worker.dataSet());
        QCOMPARE(privateFolders(), foldersBefore);
        bool backupStarted = false;
        for (const QString& call : sim.adbCalls())
            backupStarted = backupStarted || call.contains(QLatin1String(" backup "));
        // (the killed tool may not have logged its call, so only the other stages are checked)
        if (stage != QLatin1String("backup"))
            QVERIFY(!backupStarted);
        if (stage == QLatin1String("attachments")) {
            // the avatars come first; of the attachments only the first was asked for
            QCOMPARE(agentRequests(sim, QStringLiteral("$dload:") + QLatin1String(SimSample::AvatarPath)), 1);
            QCOMPARE(agentRequests(sim, QStringLiteral("$dload:/storage/emulated/0/viber/media")), 2);
            QCOMPARE(QDir(sim.device(Serial).fileFor(Staging)).entryList(QDir::Files), QStringList());
        }
    }
};

QTEST_MAIN(TestAndroidLoad)
#include "tst_androidload.moc"
