#include "android/AndroidLoadViberThread.h"
#include "android/AndroidRestoreViberThread.h"
#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "db/ViberCodes.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace std::chrono_literals;

namespace {

using TestEnvironment::readFile;

const QString Serial = QStringLiteral("SIMMODERN1");
const QString PhoneMessages = QStringLiteral("/data/data/com.viber.voip/databases/viber_messages");
const QString PhoneData = QStringLiteral("/data/data/com.viber.voip/databases/viber_data");
const QString PictureOnPhone = QStringLiteral("/storage/emulated/0/Android/data/com.viber.voip/files/.image/"
                                              "IMG-0123456789abcdef0123456789abcdef-V.jpg");

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

AndroidDevice usbDevice()
{
    AndroidDevice device;
    device.serial = Serial;
    device.applyDescription(PhoneSim::description(Serial, 28, true));
    return device;
}

} // namespace

// A phone whose Viber writes today's files: it loads through the root route, and a
// transfer into it stops before anything is merged, uploaded or run on the phone.
class TestModernPhone : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }

    void loadsAndRefusesTransfer()
    {
        AppDirs::clearDeviceCache();
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addSampleDevice(Serial, 28, true);
        const AndroidFixture modern(AndroidFixture::Shape::Modern);
        for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(sim.device(Serial).fileFor(PhoneMessages + suffix));
        sim.putFile(Serial, PhoneMessages, readFile(modern.messagesPath()));
        sim.putFile(Serial, PhoneData, readFile(modern.dataPath()));
        sim.putFile(Serial, PictureOnPhone, "picture bytes");

        const AndroidDevice device = usbDevice();
        {
            ProgressChannel channel;
            RecordingReceiver receiver(&channel);
            AndroidLoadViberThread worker(device, true, channel);
            worker.setTiming(WorkerTimings::shortLoad());
            receiver.runInWorkerThread(worker);
            QCOMPARE(receiver.errors, QStringList());
            QVERIFY(worker.dataSet());
            // with the call log's three calls without a bubble, two in chats of their own
            QCOMPARE(worker.dataSet()->messages.size(), 31 + 3);
            QCOMPARE(worker.dataSet()->chats.size(), 6 + 2);
            // Media in the app's own folder arrive below the cache's copy of the storage.
            const _ViberAtta* picture = worker.dataSet()->messages.value(3)->attachment;
            QCOMPARE(readFile(picture->localPath), QByteArray("picture bytes"));
            QVERIFY(picture->localPath.startsWith(device.cacheDir()));
        }

        const QString cache = QDir(AndroidLoadViberThread::viberFolder(device.cacheDir()))
                                  .filePath(QStringLiteral("db/viber_messages"));
        const QByteArray phoneBefore = readFile(sim.device(Serial).fileFor(PhoneMessages));
        const QByteArray cacheBefore = readFile(cache);
        QVERIFY(!cacheBefore.isEmpty());
        const int adbCallsBefore = int(sim.adbCalls().size());

        DataSetBuilder b;
        _ViberPerson* anna = b.person(1, QStringLiteral("+4915110000002"), QStringLiteral("Anna"));
        _ViberChat* chat = b.chat(1, {anna});
        const QList<_ViberMsg*> messages{b.message(chat, ViberMsgType::Text,
                                                   QDateTime::fromMSecsSinceEpoch(1700000150000, Qt::UTC),
                                                   QStringLiteral("never written"))};
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidRestoreViberThread worker(device, messages, channel);
        AndroidRestoreViberThread::Timing timing;
        timing.sessionBudget = 5000ms;
        timing.rootCommandWait = 10000ms;
        worker.setTiming(timing);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList{text("IDS_ANDROID_VIBER_TOO_NEW_FOR_TRANSFER")});
        QCOMPARE(receiver.successes, QStringList());
        QCOMPARE(readFile(sim.device(Serial).fileFor(PhoneMessages)), phoneBefore);
        QCOMPARE(readFile(cache), cacheBefore);
        QCOMPARE(int(sim.adbCalls().size()), adbCallsBefore);
    }
};

QTEST_GUILESS_MAIN(TestModernPhone)
#include "tst_modernphone.moc"
