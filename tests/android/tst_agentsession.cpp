#include "android/AgentInstaller.h"
#include "android/AgentSession.h"
#include "android/SimpleProtocol.h"
#include "app/ProgressChannel.h"
#include "app/Sqlite3DB.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace simpleprotocol;

namespace {

using TestEnvironment::readFile;

const QString Serial = QStringLiteral("SIM42");
const QString Staging = QStringLiteral("/storage/emulated/0/viber/su");

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(4711);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Cancels the transfer it watches as soon as the first block has arrived.
class CancellingReceiver : public QObject
{
    Q_OBJECT
public:
    explicit CancellingReceiver(ProgressChannel& channel) : m_channel(channel) { channel.setReceiver(this); }

public slots:
    void updateProgress(const QString&, int, const QString& text)
    {
        if (!text.isEmpty())
            m_channel.setCancelled(true);
    }

private:
    ProgressChannel& m_channel;
};

} // namespace

class TestAgentSession : public QObject
{
    Q_OBJECT

private:
    static std::unique_ptr<QTcpSocket> usbSession(const char* urlPattern)
    {
        return openUsbSession(Serial, QString::fromLatin1(urlPattern).arg(nextSessionPort()), 10000);
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }

    // The native agent is started by adb shell, with the session's secret on its standard
    // input and never on the command line; the package route still asks the app by
    // broadcast and needs no secret.
    void usbDeviceInfoThroughAgentStartAndForward_data()
    {
        QTest::addColumn<bool>("packageAgent");
        QTest::newRow("native agent") << false;
        QTest::newRow("package route") << true;
    }

    void usbDeviceInfoThroughAgentStartAndForward()
    {
        QFETCH(bool, packageAgent);
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addDevice(Serial);
        const int port = nextSessionPort();
        const QString url = QString::fromLatin1(DeviceInfoUrl).arg(port);
        auto socket = openUsbSession(Serial, url, 10000, nullptr, packageAgent);
        QCOMPARE(readDeviceDescription(*socket), PhoneSim::description(Serial));

        const QStringList calls = sim.adbCalls();
        const QString broadcast =
            QStringLiteral(
                "-s SIM42 shell am broadcast -n com.kestrune.relaypod/.AdbSyncBroadcastReceiver -d ") +
            url;
        const QString start =
            QStringLiteral("-s SIM42 shell /data/local/tmp/velliport-agent --session ") + url;
        QCOMPARE(calls.contains(broadcast), packageAgent);
        QCOMPARE(calls.contains(start), !packageAgent);
        QVERIFY(calls.contains(QStringLiteral("-s SIM42 forward tcp:%1 tcp:%1").arg(port)));
        // the forward goes with the session
        QVERIFY(!sim.adbCalls().contains(QStringLiteral("-s SIM42 forward --remove tcp:%1").arg(port)));
        socket.reset();
        QVERIFY(sim.adbCalls().contains(QStringLiteral("-s SIM42 forward --remove tcp:%1").arg(port)));
    }

    // Another program's session may hold the port this session was given (two programs
    // counting ports in the same second): its agent still waits for its own client, this
    // session's agent cannot listen, and the session moves to another port instead of
    // failing, while the other agent still serves its client.
    void sessionOnATakenPortMovesOn()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        sim.putFile(Serial, Staging + QStringLiteral("/one"), "12345");
        const int port = nextSessionPort();
        const QString url = QString::fromLatin1(DownloadUrl).arg(port);
        const QByteArray otherSecret = AgentInstaller::newSecret();
        AgentInstaller::startSession(Serial, url, otherSecret);

        auto moved = openUsbSession(Serial, url, 10000);
        QVERIFY(moved);
        QVERIFY(moved->peerPort() != port);
        QCOMPARE(remoteFileInfo(*moved, Staging + QStringLiteral("/one")).size, 5);

        QTcpSocket other;
        other.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        QVERIFY(other.waitForConnected(5000));
        presentSecret(other, readLine(other, 5000), otherSecret, 5000);
        QCOMPARE(remoteFileInfo(other, Staging + QStringLiteral("/one")).size, 5);
    }

    void multiMegabyteRoundTrip()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        QTemporaryDir dir;
        const QByteArray data = randomBytes(3 * 1024 * 1024 + 123);
        const QString source = dir.filePath(QStringLiteral("upload.bin"));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        auto upload = usbSession(UploadUrl);
        uploadFile(*upload, source, Staging + QStringLiteral("/big.bin"));
        QVERIFY(remoteIsFile(*upload, Staging + QStringLiteral("/big.bin")));
        sendBye(*upload);
        QVERIFY(sim.phoneFile(Serial, Staging + QStringLiteral("/big.bin")) == data);

        auto download = usbSession(DownloadUrl);
        const QString target = dir.filePath(QStringLiteral("cache/big.bin"));
        QVERIFY(downloadFile(*download, Staging + QStringLiteral("/big.bin"), target, true));
        QVERIFY(readFile(target) == data);
    }

    void samplePhoneServesItsDatabaseByRoot()
    {
        PhoneSim sim;
        sim.addSampleDevice(Serial);
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("db/viber_messages"));
        auto session = usbSession(DownloadUrl);
        QCOMPARE(suCopy(*session, QStringLiteral("/data/data/com.viber.voip/databases/viber_messages"),
                        Staging + QStringLiteral("/viber_messages")),
                 0);
        QVERIFY(downloadFile(*session, Staging + QStringLiteral("/viber_messages"), local, true));
        QVERIFY(!downloadFile(*session, Staging + QStringLiteral("/viber_messages-wal"),
                              dir.filePath(QStringLiteral("db/viber_messages-wal")), true));
        Sqlite3DB db;
        db.openThrow(local, 2);
        auto cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("select count(*) from messages")));
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getInt64(0), qint64(SimSample::MessageCount));
    }

    void rootCopyAndRefusal_data()
    {
        QTest::addColumn<bool>("rootGranted");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("copied");

        QTest::newRow("root granted") << true << Staging + QStringLiteral("/viber_messages") << true;
        QTest::newRow("root refused") << false << Staging + QStringLiteral("/viber_messages") << false;
        QTest::newRow("path leaving the phone")
            << true << Staging + QStringLiteral("/../../../../../../../../escaped") << false;
    }

    void rootCopyAndRefusal()
    {
        QFETCH(bool, rootGranted);
        QFETCH(QString, destination);
        QFETCH(bool, copied);

        PhoneSim sim;
        sim.addDevice(Serial, 28, rootGranted);
        const QString source = QStringLiteral("/data/data/com.viber.voip/databases/viber_messages");
        sim.putFile(Serial, source, "SQLite format 3");
        auto session = usbSession(DownloadUrl);
        QCOMPARE(suCommand(*session, QStringLiteral("mkdir \"%1\"").arg(Staging)) == 0, rootGranted);
        // the agent refuses a path with ".." before the root shell sees it
        int code = -1;
        try {
            code = suCopy(*session, source, destination);
        } catch (const RemoteException& e) {
            QVERIFY2(destination.contains(QLatin1String("/../")), e.what());
        }
        QCOMPARE(code == 0, copied);
        QCOMPARE(sim.phoneFileExists(Serial, destination), copied);
        QVERIFY(!QFile::exists(QDir(sim.stateDir()).filePath(QStringLiteral("../escaped"))));
        QVERIFY(!QFile::exists(QDir(sim.stateDir()).filePath(QStringLiteral("escaped"))));
    }

    void rootShellCommands()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        const QString databases = QStringLiteral("/data/data/com.viber.voip/databases/viber_messages");
        sim.putFile(Serial, Staging + QStringLiteral("/old"), "1");
        sim.putFile(Serial, Staging + QStringLiteral("/deeper/old"), "2");
        sim.putFile(Serial, databases, "db");
        sim.putFile(Serial, databases + QStringLiteral("-journal"), "j");
        auto session = usbSession(UploadUrl);
        // a quoted pattern is a literal name to the phone's shell
        QCOMPARE(suCommand(*session, QStringLiteral("rm -fr \"%1/*\"").arg(Staging)), 0);
        QVERIFY(sim.phoneFileExists(Serial, Staging + QStringLiteral("/old")));
        QCOMPARE(suCommand(*session, QStringLiteral("rm -fr \"%1\"/*").arg(Staging)), 0);
        QVERIFY(!sim.phoneFileExists(Serial, Staging + QStringLiteral("/old")));
        QVERIFY(!sim.phoneFileExists(Serial, Staging + QStringLiteral("/deeper/old")));
        QVERIFY(QFileInfo(sim.device(Serial).fileFor(Staging)).isDir());
        QCOMPARE(suCommand(*session, QStringLiteral("mkdir \"%1/new\"").arg(Staging)), 0);
        QVERIFY(QFileInfo(sim.device(Serial).fileFor(Staging + QStringLiteral("/new"))).isDir());
        QCOMPARE(suCommand(*session, QStringLiteral("rm -f ") + databases + QStringLiteral("-journal")), 0);
        QCOMPARE(suCommand(*session, QStringLiteral("rm -f ") + databases + QStringLiteral("-wal")), 0);
        QVERIFY(!sim.phoneFileExists(Serial, databases + QStringLiteral("-journal")));
        QVERIFY(sim.phoneFileExists(Serial, databases));
        // the agent runs only the programs the desktop uses, and goes on serving
        QVERIFY_THROWS_EXCEPTION(RemoteException, suCommand(*session, QStringLiteral("reboot")));
        QCOMPARE(suCommand(*session, QStringLiteral("mkdir \"%1/after\"").arg(Staging)), 0);
    }

    void failedDownloadsLeaveNoFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("message");

        QTest::newRow("connection dropped in a block") << "dropMidBlock" << QVariant(true) << "";
        QTest::newRow("agent error line")
            << "errorLine" << QVariant(QStringLiteral("Kein Speicher – Gerät prüfen ✓"))
            << QStringLiteral("Kein Speicher – Gerät prüfen ✓");
        QTest::newRow("malformed block header") << "malformedHeader" << QVariant(QStringLiteral("$blick:10"))
                                                << "invalid command(.,$block:), $blick:10";
        QTest::newRow("oversized block header")
            << "malformedHeader" << QVariant(QStringLiteral("$block:70000000"))
            << "invalid block size, $block:70000000";
    }

    void failedDownloadsLeaveNoFile()
    {
        QFETCH(QString, fault);
        QFETCH(QVariant, value);
        QFETCH(QString, message);

        PhoneSim sim;
        SimDevice device = sim.addDevice(Serial);
        sim.putFile(Serial, Staging + QStringLiteral("/viber_messages"), randomBytes(600 * 1024));
        device.setValue(fault, value);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("viber_messages"));
        auto session = usbSession(DownloadUrl);
        try {
            downloadFile(*session, Staging + QStringLiteral("/viber_messages"), target, true);
            QFAIL("the download succeeded");
        } catch (const std::runtime_error& e) {
            if (!message.isEmpty())
                QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void missingPhoneFileIsAnEmptyTransfer_data()
    {
        QTest::addColumn<QString>("phonePath");
        QTest::addColumn<bool>("refusedHere");
        QTest::newRow("missing") << Staging + QStringLiteral("/viber_messages-shm") << false;
        // never sent: the client refuses paths that climb out of a folder
        QTest::newRow("outside the phone") << QStringLiteral("/../device.ini") << true;
    }

    void missingPhoneFileIsAnEmptyTransfer()
    {
        QFETCH(QString, phonePath);
        QFETCH(bool, refusedHere);
        PhoneSim sim;
        sim.addDevice(Serial);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("x"));
        auto session = usbSession(DownloadUrl);
        if (refusedHere)
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, downloadFile(*session, phonePath, target, true));
        else
            QVERIFY(!downloadFile(*session, phonePath, target, true));
        QVERIFY(!QFile::exists(target));
    }

    void cancelledDownloadLeavesNoFile()
    {
        PhoneSim sim;
        SimDevice device = sim.addDevice(Serial);
        device.setValue(QStringLiteral("blockSize"), 64 * 1024);
        sim.putFile(Serial, Staging + QStringLiteral("/big"), randomBytes(1024 * 1024));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("big"));
        ProgressChannel channel;
        CancellingReceiver receiver(channel);
        auto session = usbSession(DownloadUrl);
        QVERIFY_THROWS_EXCEPTION(OperationCancelled, downloadFile(*session, Staging + QStringLiteral("/big"),
                                                                  target, true, &channel));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Many paths in one request, cut into batches the agent's line limit takes; what the
    // agent may not look at counts as absent. An agent that answers the request with an
    // error (as those before it do) leaves the session usable.
    void batchedFileInformation()
    {
        PhoneSim sim;
        SimDevice device = sim.addDevice(Serial);
        sim.putFile(Serial, Staging + QStringLiteral("/one"), "12345");
        QStringList paths = {Staging + QStringLiteral("/one"), Staging, Staging + QStringLiteral("/none"),
                             QStringLiteral("/data/data/com.viber.voip/databases/viber_messages")};
        for (int i = 0; i < 1100; ++i)
            paths.append(Staging + QStringLiteral("/missing-%1-").arg(i) + QString(40, u'x'));
        paths.append(Staging + QStringLiteral("/one"));
        auto session = usbSession(DownloadUrl);
        const QList<RemoteFileInfo> infos = remoteFileInfos(*session, paths);
        QCOMPARE(infos.size(), paths.size());
        QVERIFY(infos.first().isFile);
        QCOMPARE(infos.first().size, 5);
        QVERIFY(infos.last().isFile);
        for (qsizetype i = 1; i + 1 < infos.size(); ++i)
            QVERIFY(!infos.at(i).isFile);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 remoteFileInfos(*session, {Staging + QStringLiteral("/../escape")}));

        // A folder that is a link to elsewhere on the computer is no folder of the phone,
        // before and after other files of the same request were looked up beside it.
        QTemporaryDir outside;
        QVERIFY(TestEnvironment::writeFile(QDir(outside.path()).filePath(QStringLiteral("secret")), "s"));
        sim.putFile(Serial, Staging + QStringLiteral("/real/two"), "22");
        QVERIFY(QFile::link(outside.path(), device.fileFor(Staging + QStringLiteral("/linked"))));
        const QList<RemoteFileInfo> mixed = remoteFileInfos(
            *session, {Staging + QStringLiteral("/linked/secret"), Staging + QStringLiteral("/real/two"),
                       Staging + QStringLiteral("/linked/secret"), Staging + QStringLiteral("/real/two")});
        QCOMPARE(mixed.size(), 4);
        QVERIFY(!mixed.at(0).isFile);
        QVERIFY(mixed.at(1).isFile);
        QVERIFY(!mixed.at(2).isFile);
        QCOMPARE(mixed.at(3).size, 2);

        device.setValue(QStringLiteral("errorLine"), QStringLiteral("unknown command"));
        QVERIFY_THROWS_EXCEPTION(RemoteException, remoteFileInfos(*session, paths.mid(0, 2)));
        device.setValue(QStringLiteral("errorLine"), QString());
        QVERIFY(remoteIsFile(*session, Staging + QStringLiteral("/one")));
    }

    void usbSessionFailures_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("messagePart");
        QTest::addColumn<bool>("packageAgent");

        QTest::newRow("agent app not installed")
            << "packages" << QVariant(QStringList{QStringLiteral("com.viber.voip")}) << "start %1 failed."
            << true;
        QTest::newRow("native agent not installed")
            << "" << QVariant() << "/data/local/tmp/velliport-agent: inaccessible or not found" << false;
        QTest::newRow("device stays unauthorized")
            << "state" << QVariant(QStringLiteral("unauthorized")) << "unauthorized" << false;
    }

    void usbSessionFailures()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QString, messagePart);
        QFETCH(bool, packageAgent);

        PhoneSim sim;
        SimDevice device = sim.addDevice(Serial);
        if (key.isEmpty())
            QVERIFY(QFile::remove(device.fileFor(QLatin1String(SimDevice::NativeAgentPath))));
        else
            device.setValue(key, value);
        const QString url = QString::fromLatin1(DeviceInfoUrl).arg(nextSessionPort());
        try {
            openUsbSession(Serial, url, 1500, nullptr, packageAgent);
            QFAIL("a session opened");
        } catch (const std::runtime_error& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains(messagePart.arg(url)), qPrintable(message));
        }
    }

    void slowPhoneIsWaitedFor()
    {
        PhoneSim sim;
        sim.addDevice(Serial).setValue(QStringLiteral("slowMs"), 600);
        sim.putFile(Serial, Staging + QStringLiteral("/viber_data"), "data");
        QTemporaryDir dir;
        QElapsedTimer timer;
        timer.start();
        auto session = usbSession(DownloadUrl);
        QVERIFY(downloadFile(*session, Staging + QStringLiteral("/viber_data"),
                             dir.filePath(QStringLiteral("d")), true));
        // the ready line, the download command and its one block each waited
        QVERIFY(timer.elapsed() >= 1800);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("d"))), QByteArray("data"));
    }

    void wifiSessions_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::newRow("accepted") << QString();
        QTest::newRow("refused") << QStringLiteral("Bitte öffnen Sie die App");
    }

    void wifiSessions()
    {
        QFETCH(QString, refusal);

        PhoneSim sim;
        SimDevice device = sim.addDevice(Serial);
        device.setValue(QStringLiteral("refuseWifi"), refusal);
        const int controlPort = sim.startWifiAgent(Serial);
        QVERIFY(controlPort > 0);
        const QString url = QString::fromLatin1(DeviceInfoUrl).arg(PhoneSim::freePort());
        SessionEndpoint endpoint;
        endpoint.viaWifi = true;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = controlPort;
        try {
            auto socket = openSession(endpoint, url, 10000);
            QVERIFY(refusal.isEmpty());
            QCOMPARE(readDeviceDescription(*socket), PhoneSim::description(Serial));
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("start %1 failed.%2").arg(url, refusal));
        }
    }

    void wifiControlPortUnreachable()
    {
        const int port = PhoneSim::freePort();
        try {
            openWifiSession(QStringLiteral("127.0.0.1"), port, QStringLiteral("backup://127.0.0.1:1/x"),
                            1000);
            QFAIL("connected to a closed port");
        } catch (const std::runtime_error& e) {
            // a phone whose agent has ended is named as such, whatever the step was
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.startsWith(
                         QStringLiteral("The phone no longer answers over WiFi (127.0.0.1:%1)").arg(port)),
                     qPrintable(text));
        }
        SessionEndpoint gone;
        gone.viaWifi = true;
        gone.host = QStringLiteral("127.0.0.1");
        gone.port = port;
        QVERIFY(!wifiAgentAnswers(gone, 1000));
    }
};

QTEST_GUILESS_MAIN(TestAgentSession)
#include "tst_agentsession.moc"
