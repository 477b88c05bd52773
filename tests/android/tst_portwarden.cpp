#include "portwarden/Portwarden.h"
#include "portwarden/ProcSocketOwners.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

using Portwarden::ListingStyle;

Q_DECLARE_METATYPE(Portwarden::ListingStyle)

namespace {

const QByteArray NetstatListing =
    "\r\n"
    "Active Connections\r\n"
    "\r\n"
    "  Proto  Local Address          Foreign Address        State           PID\r\n"
    "  TCP    0.0.0.0:135            0.0.0.0:0              LISTENING       1024\r\n"
    "  TCP    127.0.0.1:5037         0.0.0.0:0              LISTENING       4321\r\n"
    "  TCP    127.0.0.1:50123        127.0.0.1:5037         ESTABLISHED     8888\r\n"
    "  TCP    127.0.0.1:5037         127.0.0.1:50124        TIME_WAIT       0\r\n";

// A row of /proc/net/tcp or tcp6: ADDRESS holds the address's 32-bit words (in network
// order), which the kernel prints as the host holds them in memory.
QByteArray procTcpRow(const QList<quint32>& address, quint16 port, const char* state, quint64 inode)
{
    QByteArray hex;
    for (const quint32 word : address)
        hex += QByteArray::number(qFromBigEndian(word), 16).rightJustified(8, '0').toUpper();
    return "   0: " + hex + ':' + QByteArray::number(port, 16).rightJustified(4, '0').toUpper() + ' ' +
           QByteArray(hex.size(), '0') + ":0000 " + state +
           " 00000000:00000000 00:00000000 00000000  1000 0 " + QByteArray::number(inode) +
           " 1 0000000000000000 100 0 0 10 0\n";
}

const QByteArray ProcTcpHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
    "timeout inode\n";

// Links ROOT/PID/fd/FD to TARGET, as the kernel shows an open descriptor.
bool linkDescriptor(const QString& root, qint64 pid, int fd, const QByteArray& target)
{
    const QString folder = QStringLiteral("%1/%2/fd").arg(root).arg(pid);
    return QDir().mkpath(folder) &&
           QFile::link(QString::fromUtf8(target), QStringLiteral("%1/%2").arg(folder).arg(fd));
}

// Runs Portwarden on a canned listing and records what it would end.
struct Recorder
{
    QList<qint64> ended;
    QStringList log;
    bool listingStarts = true;

    Portwarden::Commands commands(const QByteArray& listing, ListingStyle style)
    {
        Portwarden::Commands c;
        c.style = style;
        c.listingCommandLine = QStringLiteral("netstat -ano");
        c.listConnections = [this, listing]() -> std::optional<QByteArray> {
            if (!listingStarts)
                return std::nullopt;
            return listing;
        };
        c.endProcess = [this](qint64 id) {
            ended << id;
            return QStringLiteral("ended %1").arg(id);
        };
        c.log = [this](const QString& text) { log << text; };
        return c;
    }
};

} // namespace

class TestPortwarden : public QObject
{
    Q_OBJECT

private slots:
    void findAdbPortLines_data();
    void findAdbPortLines();
    void endsListenerAndClient();
    void emptyListing();
    void listingDoesNotStart();
    void listenersFromProc();
    void programEndsProcessesFromTheListing();
};

void TestPortwarden::findAdbPortLines_data()
{
    QTest::addColumn<ListingStyle>("style");
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<int>("lines");

    QTest::newRow("netstat listener, client, TIME_WAIT")
        << ListingStyle::Netstat << NetstatListing << QList<qint64>{4321, 8888} << 3;
    // only port 5037 itself: a browser on port 50370 or an IPv6 group 5037 is left alone
    QTest::newRow("netstat longer port 50370")
        << ListingStyle::Netstat << QByteArray("  TCP    [::1]:50370   [::]:0   LISTENING   77\n")
        << QList<qint64>{} << 0;
    QTest::newRow("ss IPv6 group 5037")
        << ListingStyle::SocketStatistics
        << QByteArray("ESTAB 0 0 [2001:db8::5037:1]:443 [::1]:40000 users:((\"b\",pid=78,fd=5))\n")
        << QList<qint64>{} << 0;
    QTest::newRow("ss IPv6 listener")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 4096 [::1]:5037 [::]:* users:((\"adb\",pid=79,fd=7))\n") << QList<qint64>{79}
        << 1;
    QTest::newRow("netstat trailing blanks")
        << ListingStyle::Netstat << QByteArray("  TCP    127.0.0.1:5037  0.0.0.0:0  LISTENING  42   \r\n")
        << QList<qint64>{42} << 1;
    QTest::newRow("netstat no trailing number")
        << ListingStyle::Netstat << QByteArray("  TCP    127.0.0.1:5037  0.0.0.0:0  LISTENING\n")
        << QList<qint64>{} << 1;
    QTest::newRow("netstat unrelated")
        << ListingStyle::Netstat << QByteArray("  TCP    127.0.0.1:5038  0.0.0.0:0  LISTENING  9\n")
        << QList<qint64>{} << 0;
    // the port is the listener's: a client of it and a connection it accepted hold no 5037 of their own
    QTest::newRow("ss listener and client")
        << ListingStyle::SocketStatistics
        << QByteArray(
               "State  Recv-Q Send-Q Local Address:Port Peer Address:Port Process\n"
               "LISTEN 0      4096       127.0.0.1:5037      0.0.0.0:*     users:((\"adb\",pid=1234,fd=7))\n"
               "ESTAB  0      0          127.0.0.1:40222   127.0.0.1:5037  "
               "users:((\"studio\",pid=555,fd=81))\n"
               "ESTAB  0      0          127.0.0.1:5037    127.0.0.1:40222 users:((\"x\",pid=556,fd=8))\n"
               "LISTEN 0      128          0.0.0.0:22        0.0.0.0:*     users:((\"sshd\",pid=600,fd=3))\n"
               "LISTEN 0      4096               *:5037            *:*     users:((\"adb\",pid=1235,fd=7))\n")
        << QList<qint64>{1234, 1235} << 2;
    // the column might be one owner whose name holds the others: only the last is certain
    QTest::newRow("ss several owners, one twice")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* "
                      "users:((\"adb\",pid=10,fd=5),(\"adb\",pid=11,fd=5),(\"adb\",pid=10,fd=9))\n")
        << QList<qint64>{10} << 1;
    QTest::newRow("ss owner not visible")
        << ListingStyle::SocketStatistics << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:*\n")
        << QList<qint64>{} << 1;
    QTest::newRow("ss pid 0 and trailing digits ignored")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"x\",pid=0,fd=5)) 99\n")
        << QList<qint64>{} << 1;
    // a program's name is its own to choose: numbers and ports inside the quotes are text
    QTest::newRow("ss pid inside the program name")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"x pid=4242\",pid=1334,fd=3))\n")
        << QList<qint64>{1334} << 1;
    // ss prints a name only up to its first ')', quotes and all
    QTest::newRow("ss program name cut at its bracket")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"x\",pid=4242,fd=3\",pid=1334,fd=3))\n")
        << QList<qint64>{1334} << 1;
    // a program named x",pid=4242,fd=3),("y (were ss to print the bracket) must not add 4242
    QTest::newRow("ss program name forging an entry")
        << ListingStyle::SocketStatistics
        << QByteArray(
               "LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"x\",pid=4242,fd=3),(\"y\",pid=1334,fd=3))\n")
        << QList<qint64>{1334} << 1;
    QTest::newRow("ss quote and bracket inside the program name")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"a\\\"),(pid=7\",pid=21,fd=3),"
                      "(\"b\",pid=22,fd=4))\n")
        << QList<qint64>{22} << 1;
    QTest::newRow("ss port only inside the program name")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:41000 0.0.0.0:* users:((\"x :5037 \",pid=66,fd=3))\n")
        << QList<qint64>{} << 0;
    QTest::newRow("ss overlong line")
        << ListingStyle::SocketStatistics
        << "LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"" + QByteArray(9000, 'a') + "\",pid=67,fd=3))\n"
        << QList<qint64>{} << 0;
    QTest::newRow("empty") << ListingStyle::Netstat << QByteArray() << QList<qint64>{} << 0;
}

void TestPortwarden::findAdbPortLines()
{
    QFETCH(ListingStyle, style);
    QFETCH(QByteArray, listing);
    QFETCH(QList<qint64>, ids);
    QFETCH(int, lines);
    const QList<Portwarden::PortLine> found = Portwarden::findAdbPortLines(listing, style);
    QList<qint64> gotIds;
    for (const Portwarden::PortLine& line : found) {
        QVERIFY(line.line.contains(QLatin1String(":5037")));
        QVERIFY(!line.line.endsWith(QLatin1Char('\r')));
        gotIds << line.processIds;
    }
    QCOMPARE(found.size(), lines);
    QCOMPARE(gotIds, ids);
}

void TestPortwarden::endsListenerAndClient()
{
    Recorder recorder;
    QCOMPARE(Portwarden::run(recorder.commands(NetstatListing, ListingStyle::Netstat)), 0);
    QCOMPARE(recorder.ended, (QList<qint64>{4321, 8888}));
    QCOMPARE(recorder.log.size(), 5);
    QCOMPARE(recorder.log[0],
             QStringLiteral("  TCP    127.0.0.1:5037         0.0.0.0:0              LISTENING       4321\n"));
    QCOMPARE(recorder.log[1], QStringLiteral("ended 4321\n\n"));
    QCOMPARE(recorder.log[3], QStringLiteral("ended 8888\n\n"));
}

void TestPortwarden::emptyListing()
{
    Recorder recorder;
    QCOMPARE(Portwarden::run(recorder.commands({}, ListingStyle::Netstat)), 0);
    QVERIFY(recorder.ended.isEmpty());
    QVERIFY(recorder.log.isEmpty());
}

void TestPortwarden::listingDoesNotStart()
{
    Recorder recorder;
    recorder.listingStarts = false;
    QCOMPARE(Portwarden::run(recorder.commands(NetstatListing, ListingStyle::Netstat)), 0);
    QVERIFY(recorder.ended.isEmpty());
    QCOMPARE(recorder.log, QStringList{"Error: can not execute: netstat -ano\n"});
}

void TestPortwarden::listenersFromProc()
{
    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    const QString root = proc.path();
    const quint32 loopback = 0x7F000001;
    QVERIFY(TestEnvironment::writeFile(
        root + QStringLiteral("/net/tcp"),
        ProcTcpHeader + procTcpRow({loopback}, 5037, "0A", 1001) + procTcpRow({loopback}, 5037, "01", 1002) +
            procTcpRow({loopback}, 5038, "0A", 1003) + procTcpRow({0}, 5037, "0A", 1004) +
            procTcpRow({loopback}, 50370, "0A", 1005)));
    QVERIFY(TestEnvironment::writeFile(root + QStringLiteral("/net/tcp6"),
                                       ProcTcpHeader + procTcpRow({0, 0, 0, 1}, 5037, "0A", 2001) +
                                           procTcpRow({0, 0, 0, 1}, 5037, "06", 2002)));
    // 100 is another user's process: its descriptors cannot be listed (a file stands in for
    // the folder, as root could list any folder)
    QVERIFY(TestEnvironment::writeFile(root + QStringLiteral("/100/fd"), "socket:[1001]"));
    QVERIFY(linkDescriptor(root, 200, 3, "socket:[1001]"));
    QVERIFY(linkDescriptor(root, 200, 4, "socket:[2001]"));
    QVERIFY(linkDescriptor(root, 201, 9, "socket:[1001]"));
    QVERIFY(linkDescriptor(root, 300, 5, "/home/u/socket:[1001]"));
    QVERIFY(linkDescriptor(root, 300, 6, "socket:[1002]"));
    QVERIFY(linkDescriptor(root, 300, 7, "socket:[1003]"));
    QVERIFY(linkDescriptor(root, 300, 8, "socket:[2002]"));
    QVERIFY(linkDescriptor(root, 300, 9, "socket:[1005]"));
    QVERIFY(linkDescriptor(root, 400, 3, "socket:[1004]"));

    const auto lines = ProcSocketOwners(root).adbListeners();
    QVERIFY(lines);
    QStringList texts;
    QList<QList<qint64>> owners;
    for (const Portwarden::PortLine& line : *lines) {
        texts << line.line;
        owners << line.processIds;
    }
    QCOMPARE(texts, (QStringList{"LISTEN 127.0.0.1:5037 socket 1001", "LISTEN 0.0.0.0:5037 socket 1004",
                                 "LISTEN [::1]:5037 socket 2001"}));
    QCOMPARE(owners, (QList<QList<qint64>>{{200, 201}, {400}, {200}}));

    // The program ends each owner once and reads no listing while the tables can be read.
    Recorder recorder;
    Portwarden::Commands commands =
        recorder.commands(R"(LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:(("adb",pid=999,fd=3)))",
                          ListingStyle::SocketStatistics);
    commands.findListeners = [root] { return ProcSocketOwners(root).adbListeners(); };
    QCOMPARE(Portwarden::run(commands), 0);
    QCOMPARE(recorder.ended, (QList<qint64>{200, 201, 400}));
    QVERIFY(QFile::remove(root + QStringLiteral("/net/tcp")));
    QVERIFY(!ProcSocketOwners(root).adbListeners());
    QCOMPARE(Portwarden::run(commands), 0);
    QCOMPARE(recorder.ended, (QList<qint64>{200, 201, 400, 999}));
}

void TestPortwarden::programEndsProcessesFromTheListing()
{
#ifdef Q_OS_WIN
    QSKIP("the program ends processes through taskkill on Windows");
#else
    // Stand-ins for two ADB servers and a client of them. A fake /proc and a fake "ss" first
    // on PATH name them, so the real program ends them with a real signal and nothing else
    // is touched.
    const auto startSleeper = [] {
        auto sleeper = std::make_unique<QProcess>();
        sleeper->start(QStringLiteral("sleep"), {QStringLiteral("60")});
        return sleeper;
    };
    const auto procServer = startSleeper();
    const auto ssServer = startSleeper();
    const auto client = startSleeper();
    QVERIFY(procServer->waitForStarted(5000));
    QVERIFY(ssServer->waitForStarted(5000));
    QVERIFY(client->waitForStarted(5000));

    QTemporaryDir fakeBin;
    QVERIFY(fakeBin.isValid());
    const QString ss = fakeBin.filePath(QStringLiteral("ss"));
    QVERIFY(TestEnvironment::writeFile(
        ss, QStringLiteral("#!/bin/sh\n"
                           "[ \"$1\" = \"-tanp\" ] || exit 1\n"
                           "echo 'State Recv-Q Send-Q Local Address:Port Peer Address:Port Process'\n"
                           "echo 'LISTEN 0 4096 127.0.0.1:5037 0.0.0.0:* users:((\"adb\",pid=%1,fd=7))'\n"
                           "echo 'ESTAB 0 0 127.0.0.1:40222 127.0.0.1:5037 users:((\"c\",pid=%2,fd=9))'\n")
                .arg(ssServer->processId())
                .arg(client->processId())
                .toUtf8()));
    QVERIFY(QFile::setPermissions(ss, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    QVERIFY(TestEnvironment::writeFile(proc.filePath(QStringLiteral("net/tcp")),
                                       ProcTcpHeader + procTcpRow({0x7F000001}, 5037, "0A", 9001) +
                                           procTcpRow({0x7F000001}, 5037, "01", 9002)));
    QVERIFY(linkDescriptor(proc.path(), procServer->processId(), 3, "socket:[9001]"));
    QVERIFY(linkDescriptor(proc.path(), client->processId(), 4, "socket:[9002]"));

    const auto runPortwarden = [&fakeBin](const QString& procRoot) {
        QProcess portwarden;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), fakeBin.path());
        portwarden.setProcessEnvironment(environment);
        portwarden.start(TestEnvironment::binDir() + QStringLiteral("/portwarden"),
                         {QStringLiteral("--proc-root"), procRoot});
        const bool ranToItsEnd = portwarden.waitForFinished(30000) &&
                                 portwarden.exitStatus() == QProcess::NormalExit &&
                                 portwarden.exitCode() == 0;
        return ranToItsEnd ? portwarden.readAllStandardError() : QByteArray();
    };
    const auto endedByKill = [](QProcess& sleeper) {
        return sleeper.waitForFinished(5000) && sleeper.exitStatus() == QProcess::CrashExit;
    };

    // The kernel's tables can be read: ss is not asked, the client is no listener.
    QByteArray log = runPortwarden(proc.path());
    QVERIFY2(log.contains("LISTEN 127.0.0.1:5037 socket 9001"), log.constData());
    QVERIFY(endedByKill(*procServer));
    QVERIFY(!ssServer->waitForFinished(200));

    // A root without them: ss's listing names the other server.
    QTemporaryDir noProc;
    QVERIFY(noProc.isValid());
    log = runPortwarden(noProc.path());
    QVERIFY2(log.contains("LISTEN 0 4096 127.0.0.1:5037"), log.constData());
    QVERIFY(endedByKill(*ssServer));
    QVERIFY(!client->waitForFinished(200));
    client->kill();
    QVERIFY(client->waitForFinished(5000));
#endif
}

QTEST_GUILESS_MAIN(TestPortwarden)
#include "tst_portwarden.moc"
