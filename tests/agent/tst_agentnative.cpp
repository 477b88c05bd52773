#include "android/AgentInstaller.h"
#include "android/AgentSession.h"
#include "android/AndroidDevice.h"
#include "android/SimpleProtocol.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace simpleprotocol;

namespace {

using TestEnvironment::readFile;
using TestEnvironment::writeFile;

const QByteArray Secret = "k7Qm2Zr9Xw4Tn8Bv5Hc3Jd6F";

QString agentBuild(const QString& abi)
{
    return TestEnvironment::binDir() + QStringLiteral("/agent/%1/velliport-agent").arg(abi);
}

// Whether this kernel starts the 32-bit x86 build itself: some virtual machines' kernels
// run no 32-bit programs.
bool runsThirtyTwoBitPrograms()
{
    static const bool runs = [] {
        QProcess probe;
        probe.start(agentBuild(QStringLiteral("x86")), {QStringLiteral("--version")});
        return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
               probe.exitCode() == 0;
    }();
    return runs;
}

// How an ABI's build runs here: directly, or under its user-mode emulator.
QStringList launcherFor(const QString& abi)
{
    if (abi == QLatin1String("x86_64") || (abi == QLatin1String("x86") && runsThirtyTwoBitPrograms()))
        return {agentBuild(abi)};
    const QString emulator = QString::fromLatin1(abi == QLatin1String("x86")         ? QEMU_I386
                                                 : abi == QLatin1String("arm64-v8a") ? QEMU_AARCH64
                                                                                     : QEMU_ARM);
    if (emulator.isEmpty() || !QFileInfo(emulator).isExecutable())
        return {};
    return {emulator, agentBuild(abi)};
}

// One agent process with a phone folder of its own and a stand-in for "su" that runs
// the command with this computer's sh and notes every call.
struct AgentRun
{
    QTemporaryDir dir;
    QProcess process;
    int port = 0;
    bool underPhoneFolder = true; // false: phone paths are this computer's, as on a phone

    QString root() const { return dir.filePath(QStringLiteral("phone")); }
    // The phone path of the phone folder's sdcard, as the agent is asked for it.
    QString sdcard() const
    {
        return underPhoneFolder ? QStringLiteral("/sdcard") : root() + QStringLiteral("/sdcard");
    }
    // Starts a download session (phone paths below the phone folder or not) whose phone
    // has a media folder with a.jpg ("aaa"), sub/c.jpg ("c") and a link to a file outside
    // the phone folder; returns the media folder's local path.
    QString startWithMedia(bool belowPhoneFolder, QTemporaryDir& outside)
    {
        underPhoneFolder = belowPhoneFolder;
        if (!startSession(launcherFor(QStringLiteral("x86_64")), DownloadUrl))
            return QString();
        const QString media = root() + QStringLiteral("/sdcard/media");
        writeFile(media + QStringLiteral("/a.jpg"), "aaa");
        writeFile(media + QStringLiteral("/sub/c.jpg"), "c");
        writeFile(outside.filePath(QStringLiteral("secret")), "secret");
        QFile::link(outside.filePath(QStringLiteral("secret")), media + QStringLiteral("/link.jpg"));
        return media;
    }
    QString suLog() const { return dir.filePath(QStringLiteral("su.log")); }

    bool start(const QStringList& launcher, const QStringList& arguments, const QByteArray& secret)
    {
        QDir().mkpath(root() + QStringLiteral("/sdcard"));
        const QString bin = dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        writeFile(bin + QStringLiteral("/su"),
                  QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\n"
                                 "[ \"$1\" = -c ] && exec /bin/sh -c \"$2\"\nexit 1\n")
                      .arg(suLog())
                      .toUtf8());
        QFile::setPermissions(bin + QStringLiteral("/su"),
                              QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin"));
        process.setProcessEnvironment(environment);
        process.start(launcher.first(),
                      launcher.mid(1) + arguments +
                          (underPhoneFolder ? QStringList{QStringLiteral("--root"), root()} : QStringList()));
        if (!process.waitForStarted(5000))
            return false;
        process.write(secret + '\n');
        process.closeWriteChannel();
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(10000))
                return false;
        }
        const QByteArray line = process.readLine().trimmed();
        port = line.startsWith("listening ") ? line.mid(10).toInt() : 0;
        return port > 0;
    }

    bool startSession(const QStringList& launcher, const char* pattern, int idleMs = 5000,
                      const QByteArray& secret = Secret)
    {
        return start(launcher,
                     {QStringLiteral("--session"), QString::fromLatin1(pattern).arg(PhoneSim::freePort()),
                      QStringLiteral("--idle-ms"), QString::number(idleMs)},
                     secret);
    }
};

std::unique_ptr<QTcpSocket> connectTo(int port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!socket->waitForConnected(5000))
        return nullptr;
    return socket;
}

// A client of the agent: "$ready:", then the secret.
std::unique_ptr<QTcpSocket> openAs(int port, const QByteArray& secret)
{
    auto socket = connectTo(port);
    if (!socket)
        return nullptr;
    const QString ready = expectReply(*socket, QStringLiteral("$ready:"), 5000);
    presentSecret(*socket, ready, secret, 5000);
    return socket;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(99);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

void addBuilds()
{
    QTest::addColumn<QString>("abi");
    for (const char* abi : {"x86_64", "x86", "arm64-v8a", "armeabi-v7a"})
        QTest::newRow(abi) << QString::fromLatin1(abi);
}

} // namespace

class TestAgentNative : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    // Each phone build is one static file for its processor and prints the version line
    // the desktop compares with its own copy.
    void buildsAreStaticAndRun_data() { addBuilds(); }
    void buildsAreStaticAndRun()
    {
        QFETCH(QString, abi);
        if (!QFileInfo::exists(agentBuild(abi)))
            QSKIP("no cross compiler for this ABI on this computer");
        const QStringList launcher = launcherFor(abi);
        if (launcher.isEmpty())
            QSKIP("no user-mode emulator for this ABI on this computer");
        QProcess file;
        file.start(QStringLiteral(FILE_PROGRAM), {QStringLiteral("-b"), agentBuild(abi)});
        QVERIFY(file.waitForFinished(10000));
        const QString description = QString::fromUtf8(file.readAllStandardOutput());
        QVERIFY2(description.contains(QLatin1String("statically linked")), qPrintable(description));
        const char* machine = abi == QLatin1String("x86_64")      ? "x86-64"
                              : abi == QLatin1String("x86")       ? "Intel 80386"
                              : abi == QLatin1String("arm64-v8a") ? "ARM aarch64"
                                                                  : "ARM, EABI5";
        QVERIFY2(description.contains(QLatin1String(machine)), qPrintable(description));

        QProcess version;
        version.start(launcher.first(), launcher.mid(1) + QStringList{QStringLiteral("--version")});
        QVERIFY(version.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(version.readAllStandardOutput()).trimmed(), AgentInstaller::versionLine());
    }

    // Everything a load and a transfer ask of the agent, from the builds themselves: the
    // host build and (under its emulator) the arm64 build of the phones.
    void smokeSession_data() { addBuilds(); }
    void smokeSession()
    {
        QFETCH(QString, abi);
        const QStringList launcher = launcherFor(abi);
        if (!QFileInfo::exists(agentBuild(abi)) || launcher.isEmpty())
            QSKIP("this ABI cannot run on this computer");
        AgentRun info;
        QVERIFY(info.startSession(launcher, DeviceInfoUrl));
        // started without --foreground it has left the starting process already
        QVERIFY(info.process.waitForFinished(5000));
        QCOMPARE(info.process.exitCode(), 0);
        auto hello = openAs(info.port, Secret);
        QVERIFY(hello);
        AndroidDevice device;
        device.applyDescription(readDeviceDescription(*hello, 30000));
        QCOMPARE(device.agentVersion, 6);
        QVERIFY(!device.agentTooOld());
        QCOMPARE(device.storage, QStringLiteral("/sdcard"));

        AgentRun run;
        QVERIFY(run.startSession(launcher, UploadUrl));
        auto session = openAs(run.port, Secret);
        QVERIFY(session);
        QTemporaryDir local;
        const QByteArray big = randomBytes(3 * 1024 * 1024 + 17);
        QVERIFY(writeFile(local.filePath(QStringLiteral("big")), big));
        uploadFile(*session, local.filePath(QStringLiteral("big")), QStringLiteral("/sdcard/up/big.bin"));
        QVERIFY(readFile(run.root() + QStringLiteral("/sdcard/up/big.bin")) == big);
        QVERIFY(!QFileInfo::exists(run.root() + QStringLiteral("/sdcard/up/big.bin.velliport-part")));
        QCOMPARE(remoteFileInfo(*session, QStringLiteral("/sdcard/up/big.bin")).size, big.size());
        QVERIFY(downloadFile(*session, QStringLiteral("/sdcard/up/big.bin"),
                             local.filePath(QStringLiteral("down")), true));
        QVERIFY(readFile(local.filePath(QStringLiteral("down"))) == big);
        // a missing file is an empty transfer
        QVERIFY(!downloadFile(*session, QStringLiteral("/sdcard/none"),
                              local.filePath(QStringLiteral("none")), true));

        const QString made = run.dir.filePath(QStringLiteral("made by root"));
        QCOMPARE(suCommand(*session, QStringLiteral("mkdir -p \"%1\"").arg(made), 30000), 0);
        QVERIFY(QFileInfo(made).isDir());
        QCOMPARE(suCommand(*session, QStringLiteral("ls \"%1/missing\"").arg(made), 30000) == 0, false);
        sendBye(*session);
        QVERIFY(session->waitForDisconnected(5000) || session->state() == QAbstractSocket::UnconnectedState);
    }

    // A batched request answers each path as a look-up of its own would, though it lists
    // each folder once and looks up only the names found there: missing names, missing
    // folders, folders, files whose folder was already listed, and (under a phone folder)
    // links that lead out of it.
    void batchedInfoAnswersAsSingleLookUps_data()
    {
        QTest::addColumn<bool>("underPhoneFolder");
        QTest::newRow("phone folder") << true;
        QTest::newRow("phone's own paths") << false;
    }

    void batchedInfoAnswersAsSingleLookUps()
    {
        QFETCH(bool, underPhoneFolder);
        AgentRun run;
        QTemporaryDir outside;
        const QString media = run.startWithMedia(underPhoneFolder, outside);
        QVERIFY(!media.isEmpty());
        const QString base = run.sdcard();
        writeFile(media + QStringLiteral("/b.jpg"), "bbbbb");

        const QStringList names = {QStringLiteral("/media/a.jpg"),  QStringLiteral("/media/missing.jpg"),
                                   QStringLiteral("/media/b.jpg"),  QStringLiteral("/gone/a.jpg"),
                                   QStringLiteral("/media/sub"),    QStringLiteral("/media/sub/c.jpg"),
                                   QStringLiteral("/media/sub/"),   QStringLiteral("/media/link.jpg"),
                                   QStringLiteral("/media/a.jpg/x")};
        QStringList paths;
        for (const QString& name : names)
            paths.append(base + name);
        auto session = openAs(run.port, Secret);
        QVERIFY(session);
        const QList<RemoteFileInfo> batched = remoteFileInfos(*session, paths);
        QCOMPARE(batched.size(), paths.size());
        const QList<qint64> sizes = {3, -1, 5, -1, -1, 1, -1, underPhoneFolder ? -1 : 6, -1};
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const RemoteFileInfo single = remoteFileInfo(*session, paths.at(i));
            QCOMPARE(batched.at(i).isFile, single.isFile);
            QCOMPARE(batched.at(i).size, single.size);
            QCOMPARE(batched.at(i).isFile ? batched.at(i).size : -1, sizes.at(i));
        }
        sendBye(*session);
        QVERIFY(run.process.waitForFinished(5000));
    }

    void folderListingHoldsWhatSingleLookUpsFind_data() { batchedInfoAnswersAsSingleLookUps_data(); }

    // A listing names exactly the files a look-up of each would report as files, across
    // as many lines as thousands of names take; a name a request cannot carry (a line
    // break) is left out, a missing folder or a file lists nothing.
    void folderListingHoldsWhatSingleLookUpsFind()
    {
        QFETCH(bool, underPhoneFolder);
        AgentRun run;
        QTemporaryDir outside;
        const QString media = run.startWithMedia(underPhoneFolder, outside);
        QVERIFY(!media.isEmpty());
        const QString base = run.sdcard();
        writeFile(media + QStringLiteral("/\u0416 b.jpg"), "b");
        writeFile(media + QStringLiteral("/line\nbreak.jpg"), "c");
        for (int i = 0; i < 2500; ++i)
            writeFile(
                media + QStringLiteral("/IMG-20240101-WA%1-with-a-long-name.jpg").arg(i, 5, 10, QChar(u'0')),
                "");
        QVERIFY(QFile::link(outside.path(), run.root() + QStringLiteral("/sdcard/linked")));

        auto session = openAs(run.port, Secret);
        QVERIFY(session);
        const QSet<QString> listed = remoteFolderFiles(*session, base + QStringLiteral("/media"));
        QCOMPARE(listed.size(), 2500 + (underPhoneFolder ? 2 : 3));
        for (const QString& name :
             QDir(media).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
            if (name.contains(u'\n')) {
                QVERIFY(!listed.contains(name));
                continue;
            }
            const RemoteFileInfo single = remoteFileInfo(*session, base + QStringLiteral("/media/") + name);
            QVERIFY2(listed.contains(name) == single.isFile, qPrintable(name));
        }
        for (const QString& nothing : {QStringLiteral("/none"), QStringLiteral("/media/a.jpg")})
            QCOMPARE(remoteFolderFiles(*session, base + nothing), QSet<QString>());
        // a link is followed only where a download follows it
        const QSet<QString> linked = remoteFolderFiles(*session, base + QStringLiteral("/linked"));
        QCOMPARE(linked.contains(QStringLiteral("secret")), !underPhoneFolder);
        QCOMPARE(remoteFileInfo(*session, base + QStringLiteral("/linked/secret")).isFile, !underPhoneFolder);
        QCOMPARE(linked.size(), underPhoneFolder ? 0 : 1);
        sendBye(*session);
        QVERIFY(run.process.waitForFinished(5000));
    }

    // Another app on the phone (or another user of the computer) that finds the port
    // gets "$ready:" and no further: without the secret it is sent away, and the agent
    // goes on waiting for the desktop, the only client of the session.
    void onlyTheDesktopWithTheSecretIsServed()
    {
        AgentRun run;
        QVERIFY(run.startSession(launcherFor(QStringLiteral("x86_64")), DownloadUrl));
        writeFile(run.root() + QStringLiteral("/sdcard/a.txt"), "phone data");

        auto silent = connectTo(run.port); // connects and says nothing
        QVERIFY(silent);
        try {
            openAs(run.port, "WrongSecret123");
            QFAIL("a wrong secret was taken");
        } catch (const RemoteException& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QLatin1String("only the computer")));
        }
        auto noSecret = connectTo(run.port);
        QVERIFY(noSecret);
        QCOMPARE(readLine(*noSecret, 5000), QStringLiteral("$ready:auth"));
        sendLine(*noSecret, QStringLiteral("$dload:"), QStringLiteral("/sdcard/a.txt"));
        QVERIFY_THROWS_EXCEPTION(RemoteException, readReply(*noSecret, 5000));

        auto desktop = openAs(run.port, Secret);
        QVERIFY(desktop);
        QTemporaryDir local;
        QVERIFY(downloadFile(*desktop, QStringLiteral("/sdcard/a.txt"), local.filePath(QStringLiteral("a")),
                             true));
        QCOMPARE(readFile(local.filePath(QStringLiteral("a"))), QByteArray("phone data"));

        // one client per session: a second one finds nobody, even with the secret
        QTcpSocket second;
        second.connectToHost(QStringLiteral("127.0.0.1"), quint16(run.port));
        const bool connected = second.waitForConnected(2000);
        QVERIFY(!connected || !second.waitForReadyRead(1000));
        QVERIFY(remoteIsFile(*desktop, QStringLiteral("/sdcard/a.txt")));
    }

    // Commands and paths are checked before a root shell sees them: the stand-in su
    // notes every call, and none of these reach it.
    void unsafeInputNeverReachesSu_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("line break inside") << QStringLiteral("$sucmd:rm -f /sdcard/a\r/system/b");
        QTest::newRow("parent folder") << QStringLiteral("$sucmd:rm -f \"/sdcard/../system/x\"");
        QTest::newRow("parent folder in dd") << QStringLiteral("$sucmd:dd if=../x of=\"/sdcard/b\"");
        QTest::newRow("dollar") << QStringLiteral("$sucmd:rm -f \"/sdcard/$HOME\"");
        QTest::newRow("quote in path") << QStringLiteral("$sucmd:dd if=\"/sdcard/a'b\" of=\"/sdcard/c\"");
        QTest::newRow("unbalanced quote") << QStringLiteral("$sucmd:rm -f \"/sdcard/a");
        QTest::newRow("command chained") << QStringLiteral("$sucmd:rm -f /sdcard/a; reboot");
        QTest::newRow("backquote") << QStringLiteral("$sucmd:rm -f /sdcard/`id`");
        QTest::newRow("other program") << QStringLiteral("$sucmd:reboot");
        QTest::newRow("download above the root") << QStringLiteral("$dload:/sdcard/../../etc/passwd");
        QTest::newRow("relative upload") << QStringLiteral("$file:sdcard/x");
    }

    void unsafeInputNeverReachesSu()
    {
        QFETCH(QString, line);
        AgentRun run;
        QVERIFY(run.startSession(launcherFor(QStringLiteral("x86_64")), UploadUrl));
        auto session = openAs(run.port, Secret);
        QVERIFY(session);
        writeAll(*session, line.toUtf8() + '\n', true, 5000);
        try {
            readReply(*session, 5000);
            QFAIL("the agent took it");
        } catch (const RemoteException& e) {
            QVERIFY(QString::fromUtf8(e.what()).startsWith(QLatin1String("refused")));
        }
        // the session goes on, and a sound command does reach su
        QCOMPARE(suCommand(*session, QStringLiteral("mkdir -p \"%1/ok\"").arg(run.root()), 10000), 0);
        QCOMPARE(readFile(run.suLog()).count('\n'), 1);
    }

    // The agent ends by itself: nobody came within the idle time, or the client went quiet.
    void endsAfterItsIdleTime()
    {
        AgentRun nobody;
        QVERIFY(nobody.start(
            launcherFor(QStringLiteral("x86_64")),
            {QStringLiteral("--session"), QString::fromLatin1(DownloadUrl).arg(PhoneSim::freePort()),
             QStringLiteral("--idle-ms"), QStringLiteral("300"), QStringLiteral("--foreground")},
            Secret));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(nobody.process.waitForFinished(5000));
        QVERIFY(timer.elapsed() < 3000);

        AgentRun quiet;
        QVERIFY(quiet.startSession(launcherFor(QStringLiteral("x86_64")), DownloadUrl, 400));
        auto session = openAs(quiet.port, Secret);
        QVERIFY(session);
        timer.restart();
        QVERIFY(session->waitForDisconnected(5000));
        QVERIFY(timer.elapsed() < 3000);
    }

    // A WiFi agent answers the control port only for the computer it was paired with,
    // and its sessions ask for the same secret.
    void wifiControlPortNeedsThePairing()
    {
        AgentRun run;
        QVERIFY(run.start(launcherFor(QStringLiteral("x86_64")),
                          {QStringLiteral("--wifi"), QStringLiteral("--control-port"), QStringLiteral("0"),
                           QStringLiteral("--idle-ms"), QStringLiteral("3000")},
                          Secret));
        const QString url = QString::fromLatin1(DeviceInfoUrl).arg(PhoneSim::freePort());
        try {
            openWifiSession(QStringLiteral("127.0.0.1"), run.port, url, 5000, nullptr, "NotThePairing1");
            QFAIL("an unpaired computer was served");
        } catch (const std::runtime_error& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QLatin1String("only the computer")));
        }
        auto session = openWifiSession(QStringLiteral("127.0.0.1"), run.port, url, 5000, nullptr, Secret);
        AndroidDevice device;
        device.applyDescription(readDeviceDescription(*session, 30000));
        QCOMPARE(device.agentVersion, 6);
    }

    // The paired desktop's heartbeat holds the WiFi control port across idle times; a
    // stranger's requests do not, and the agent ends one idle time after the last beat.
    void wifiHeartbeatKeepsTheControlPortUp()
    {
        AgentRun run;
        QVERIFY(
            run.start(launcherFor(QStringLiteral("x86_64")),
                      {QStringLiteral("--wifi"), QStringLiteral("--control-port"), QStringLiteral("0"),
                       QStringLiteral("--idle-ms"), QStringLiteral("600"), QStringLiteral("--foreground")},
                      Secret));
        const auto ping = [&](const QByteArray& secret) {
            auto control = connectTo(run.port);
            if (!control)
                return QByteArray();
            control->write(wifiPingRequest(secret));
            while (!control->canReadLine()) {
                if (!control->waitForReadyRead(2000))
                    return QByteArray();
            }
            return control->readLine().trimmed();
        };
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 2500) {
            QCOMPARE(ping(Secret), QByteArray("$pong:"));
            QTest::qWait(300);
        }
        QCOMPARE(run.process.state(), QProcess::Running);

        timer.restart();
        while (run.process.state() == QProcess::Running && timer.elapsed() < 5000) {
            ping("NotThePairing1");
            run.process.waitForFinished(150);
        }
        QCOMPARE(run.process.state(), QProcess::NotRunning);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }

    // A secret must be given, and well formed; the phone build has no way around it.
    void refusesToStartWithoutASecret()
    {
        for (const QStringList& extra : {QStringList{}, QStringList{QStringLiteral("--no-secret")}}) {
            QProcess agent;
            agent.start(
                agentBuild(QStringLiteral("x86_64")),
                QStringList{QStringLiteral("--session"), QStringLiteral("backup://127.0.0.1:1/download")} +
                    extra);
            QVERIFY(agent.waitForStarted(5000));
            agent.write("bad!\n");
            agent.closeWriteChannel();
            QVERIFY(agent.waitForFinished(5000));
            QCOMPARE(agent.exitCode(), 2);
            QVERIFY(!agent.readAllStandardOutput().contains("listening"));
        }
    }
};

QTEST_GUILESS_MAIN(TestAgentNative)
#include "tst_agentnative.moc"
