#include "android/AndroidLoadViberThread.h"
#include "android/AndroidRestoreViberThread.h"
#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Sql.h"
#include "db/ViberCall.h"
#include "db/ViberCodes.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/ModernViberCheck.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WorkerTimings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace std::chrono_literals;

namespace {

using TestEnvironment::readFile;

const QString Serial = QStringLiteral("SIMMODERN1");
const QString Databases = QStringLiteral("/data/data/com.viber.voip/databases/");
const QString PhoneMessages = Databases + QStringLiteral("viber_messages");
const QString PhoneData = Databases + QStringLiteral("viber_data");
const QString MediaFolder = QStringLiteral("/storage/emulated/0/Android/data/com.viber.voip/files/.image");

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

AndroidDevice android13(bool rooted)
{
    AndroidDevice device;
    device.serial = Serial;
    device.applyDescription(PhoneSim::description(Serial, SimSample::Modern::SdkLevel, rooted));
    return device;
}

QMap<QString, QByteArray> databaseFiles(const SimDevice& phone)
{
    QMap<QString, QByteArray> files;
    const QDir folder(phone.fileFor(Databases));
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readFile(folder.filePath(name)));
    return files;
}

// Messages of another history: a text and a picture for Jonas, whom the phone knows, and
// a new chat with Anna holding a text and a call.
struct Source
{
    QTemporaryDir files;
    DataSetBuilder b;
    QList<_ViberMsg*> messages;

    Source()
    {
        _ViberPerson* jonas = b.person(1, QStringLiteral("+49 152 23456781"), QStringLiteral("Jonas"));
        _ViberPerson* anna = b.person(2, QStringLiteral("+4915110000002"), QStringLiteral("Anna"));
        _ViberChat* withJonas = b.chat(1, {jonas});
        _ViberChat* withAnna = b.chat(2, {anna});
        const auto add = [&](_ViberMsg* m, qint64 token) {
            m->token = token;
            messages.append(m);
            return m;
        };
        add(b.message(withJonas, ViberMsgType::Text, at(1715761000000), QStringLiteral("Alte Nachricht")),
            71);
        const QString picture = files.filePath(QStringLiteral("harz.jpg"));
        DataSetBuilder::writeImage(picture, 64, 48);
        b.attach(add(b.message(withJonas, ViberMsgType::Picture, at(1715761900000), QStringLiteral("Brocken"),
                               true),
                     72),
                 picture);
        add(b.message(withAnna, ViberMsgType::Text, at(1700000000000), QStringLiteral("Hallo Anna")), 73);
        _ViberMsg* call = b.callMessage(withAnna, anna, ViberCallKind::Outgoing, 42, at(1700000100000));
        call->call->token = 74;
        messages.append(call);
    }
};

struct Run
{
    ProgressChannel channel;
    RecordingReceiver receiver{&channel};
    qint64 written = -1;

    Run(const AndroidDevice& device, const QList<_ViberMsg*>& messages, int cancelAt = -1)
    {
        receiver.cancelAtProgress = cancelAt;
        AndroidRestoreViberThread worker(device, messages, channel);
        AndroidRestoreViberThread::Timing timing;
        timing.sessionBudget = 5000ms;
        timing.rootCommandWait = 10000ms;
        worker.setTiming(timing);
        receiver.runInWorkerThread(worker);
        written = worker.written();
    }
};

} // namespace

// Android 13 phones whose Viber writes today's files: a rooted one takes a transfer
// through the atomic install (checked row by row by Python), one without root is refused
// before anything is merged or sent.
class TestModernPhone : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }
    void init() { AppDirs::clearDeviceCache(); }

    void transfersIntoRootedAndroid13()
    {
        PhoneSim sim;
        QVERIFY(sim.isValid());
        SimSample::Options options;
        options.sdkLevel = SimSample::Modern::SdkLevel;
        options.modern = true;
        options.walPending = true;
        const SimDevice phone = sim.addSampleDevice(Serial, options);
        const AndroidDevice device = android13(true);
        load(device);
        const QMap<QString, QByteArray> original = databaseFiles(phone);
        // The phone's files as they were, -wal included, for Python to compare with.
        QTemporaryDir before;
        for (auto it = original.cbegin(); it != original.cend(); ++it)
            QVERIFY(TestEnvironment::writeFile(before.filePath(it.key()), it.value()));

        Source source;
        // A cancel during the merge, and a connection lost in the middle of the root
        // write, each leave the phone as it was.
        {
            Run cancelled(device, source.messages, 2);
            QCOMPARE(databaseFiles(phone), original);
        }
        {
            SimDevice faulty = sim.device(Serial);
            const qint64 done =
                readFile(phone.folder() + QStringLiteral("/root-commands.count")).toLongLong();
            faulty.setValue(QStringLiteral("rootFault"), QStringLiteral("drop@%1").arg(done + 8));
            Run dropped(device, source.messages);
            QVERIFY(!dropped.receiver.errors.isEmpty());
            QCOMPARE(databaseFiles(phone), original);
            faulty.setValue(QStringLiteral("rootFault"), QString());
        }
        {
            // A merge the app would not show as it shows the phone's rows (the phone's
            // chats hidden in the copy) stops before any root command or file is sent.
            const QString commandCount = phone.folder() + QStringLiteral("/root-commands.count");
            const QByteArray commands = readFile(commandCount);
            const QStringList pictures = QDir(phone.fileFor(MediaFolder)).entryList(QDir::Files);
            Sqlite3DB cached;
            cached.openThrow(AndroidLoadViberThread::viberFolder(device.cacheDir()) +
                                 QStringLiteral("/db/viber_messages"),
                             Sqlite3DB::OpenReadWrite);
            cached.executeThrow(
                Sqlite3Sql(QStringLiteral("update conversations set flags = flags | 262144")));
            cached.close();
            Run hidden(device, source.messages);
            QCOMPARE(hidden.receiver.errors.size(), 1);
            QVERIFY2(hidden.receiver.errors.first().contains(QLatin1String("conversation list")),
                     qPrintable(hidden.receiver.errors.first()));
            QCOMPARE(databaseFiles(phone), original);
            QCOMPARE(readFile(commandCount), commands);
            QCOMPARE(QDir(phone.fileFor(MediaFolder)).entryList(QDir::Files), pictures);
            load(device);
        }

        Run run(device, source.messages);
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.written, 4);
        const QJsonObject check = ModernViberCheck::run(
            before.filePath(QStringLiteral("viber_messages")), phone.fileFor(PhoneMessages),
            before.filePath(QStringLiteral("viber_data")), phone.fileFor(PhoneData));
        QVERIFY2(!check.contains(QLatin1String("error")),
                 qPrintable(check.value(QLatin1String("error")).toString()));
        QCOMPARE(check.value(QLatin1String("integrity")).toString(), QStringLiteral("ok"));
        QCOMPARE(check.value(QLatin1String("changed")).toArray(), QJsonArray());
        QCOMPARE(check.value(QLatin1String("data_changed")).toArray(), QJsonArray());
        QStringList added;
        QString pictureUri;
        for (const QJsonValue& value : check.value(QLatin1String("added")).toArray()) {
            const QJsonObject row = value.toObject();
            added.append(QStringLiteral("%1|%2|%3|%4")
                             .arg(row.value(QLatin1String("peer")).toString())
                             .arg(row.value(QLatin1String("send_type")).toInt())
                             .arg(row.value(QLatin1String("kind")).toInt())
                             .arg(row.value(QLatin1String("body")).toString()));
            if (row.value(QLatin1String("kind")).toInt() == 1)
                pictureUri = row.value(QLatin1String("uri")).toString();
        }
        QCOMPARE(added, (QStringList{QStringLiteral("+4915110000002|0|0|Hallo Anna"),
                                     QStringLiteral("+4915110000002|1|1002|outgoing_call"),
                                     QStringLiteral("+4915223456781|0|0|Alte Nachricht"),
                                     QStringLiteral("+4915223456781|1|1|Brocken")}));
        const QJsonObject views = check.value(QLatin1String("views")).toObject();
        QCOMPARE(views.value(QLatin1String("order_violations")).toInt(), 0);
        QCOMPARE(views.value(QLatin1String("unread")),
                 check.value(QLatin1String("views_before")).toObject().value(QLatin1String("unread")));
        QCOMPARE(check.value(QLatin1String("calls")).toArray().size(), 1);
        // The picture lies where the row names it, in the app's own media folder.
        QVERIFY2(pictureUri.contains(QLatin1String("/Android/data/com.viber.voip/files/.image/IMG-")),
                 qPrintable(pictureUri));
        QVERIFY(sim.phoneFileExists(Serial, QUrl(pictureUri).toLocalFile()));

        // Nothing is new to the phone a second time: it is not written again.
        const QMap<QString, QByteArray> transferred = databaseFiles(phone);
        load(device);
        Run again(device, source.messages);
        QCOMPARE(again.receiver.errors, QStringList());
        QCOMPARE(again.written, 0);
        QCOMPARE(databaseFiles(phone), transferred);
    }

    void refusesAndroid13WithoutRoot()
    {
        PhoneSim sim;
        QVERIFY(sim.isValid());
        SimSample::Options options;
        options.sdkLevel = SimSample::Modern::SdkLevel;
        options.modern = true;
        options.rooted = false;
        const SimDevice phone = sim.addSampleDevice(Serial, options);
        const AndroidDevice device = android13(false);
        const QMap<QString, QByteArray> original = databaseFiles(phone);
        const int adbCallsBefore = int(sim.adbCalls().size());
        Source source;
        Run run(device, source.messages);
        QCOMPARE(run.receiver.errors, QStringList{text("IDS_ANDROID_12_RESTORE_NEEDS_ROOT")});
        QCOMPARE(databaseFiles(phone), original);
        QCOMPARE(int(sim.adbCalls().size()), adbCallsBefore);
    }

private:
    static void load(const AndroidDevice& device)
    {
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidLoadViberThread worker(device, true, channel);
        worker.setTiming(WorkerTimings::shortLoad());
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestModernPhone)
#include "tst_modernphone.moc"
