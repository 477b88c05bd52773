#include "portwarden/Portwarden.h"
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
    QTest::newRow("ss listener and client")
        << ListingStyle::SocketStatistics
        << QByteArray(
               "State  Recv-Q Send-Q Local Address:Port Peer Address:Port Process\n"
               "LISTEN 0      4096       127.0.0.1:5037      0.0.0.0:*     users:((\"adb\",pid=1234,fd=7))\n"
               "ESTAB  0      0          127.0.0.1:40222   127.0.0.1:5037  "
               "users:((\"studio\",pid=555,fd=81))\n"
               "LISTEN 0      128          0.0.0.0:22        0.0.0.0:*     users:((\"sshd\",pid=600,fd=3))\n")
        << QList<qint64>{1234, 555} << 2;
    QTest::newRow("ss several owners, one twice")
        << ListingStyle::SocketStatistics
        << QByteArray("ESTAB 0 0 127.0.0.1:5037 127.0.0.1:40000 "
                      "users:((\"adb\",pid=10,fd=5),(\"adb\",pid=11,fd=5),(\"adb\",pid=10,fd=9))\n")
        << QList<qint64>{10, 11} << 1;
    QTest::newRow("ss owner not visible")
        << ListingStyle::SocketStatistics << QByteArray("TIME-WAIT 0 0 127.0.0.1:5037 127.0.0.1:40001\n")
        << QList<qint64>{} << 1;
    QTest::newRow("ss pid 0 and trailing digits ignored")
        << ListingStyle::SocketStatistics
        << QByteArray("ESTAB 0 0 127.0.0.1:5037 127.0.0.1:40000 users:((\"x\",pid=0,fd=5)) 99\n")
        << QList<qint64>{} << 1;
    // a program's name is its own to choose: numbers and ports inside the quotes are text
    QTest::newRow("ss pid inside the program name")
        << ListingStyle::SocketStatistics
        << QByteArray("ESTAB 0 0 127.0.0.1:5037 127.0.0.1:40000 users:((\"x pid=4242\",pid=1334,fd=3))\n")
        << QList<qint64>{1334} << 1;
    QTest::newRow("ss quote and bracket inside the program name")
        << ListingStyle::SocketStatistics
        << QByteArray("LISTEN 0 5 127.0.0.1:5037 0.0.0.0:* users:((\"a\\\"),(pid=7\",pid=21,fd=3),"
                      "(\"b\",pid=22,fd=4))\n")
        << QList<qint64>{21, 22} << 1;
    QTest::newRow("ss port only inside the program name")
        << ListingStyle::SocketStatistics
        << QByteArray("ESTAB 0 0 127.0.0.1:41000 127.0.0.1:40000 users:((\"x :5037 \",pid=66,fd=3))\n")
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

void TestPortwarden::programEndsProcessesFromTheListing()
{
#ifdef Q_OS_WIN
    QSKIP("the program ends processes through taskkill on Windows");
#else
    // Two stand-ins for an ADB server and a client of it; a fake "ss" first on PATH names
    // them, so the real program ends them with a real signal and nothing else is touched.
    const auto startSleeper = [] {
        auto sleeper = std::make_unique<QProcess>();
        sleeper->start(QStringLiteral("sleep"), {QStringLiteral("60")});
        return sleeper;
    };
    const auto server = startSleeper();
    const auto client = startSleeper();
    QVERIFY(server->waitForStarted(5000));
    QVERIFY(client->waitForStarted(5000));

    QTemporaryDir fakeBin;
    QVERIFY(fakeBin.isValid());
    const QString ss = fakeBin.filePath(QStringLiteral("ss"));
    {
        QFile script(ss);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\n"
                           "[ \"$1\" = \"-tanp\" ] || exit 1\n"
                           "echo 'State Recv-Q Send-Q Local Address:Port Peer Address:Port Process'\n"
                           "echo 'LISTEN 0 4096 127.0.0.1:5037 0.0.0.0:* users:((\"adb\",pid=%1,fd=7))'\n"
                           "echo 'ESTAB 0 0 127.0.0.1:40222 127.0.0.1:5037 users:((\"c\",pid=%2,fd=9))'\n")
                .arg(server->processId())
                .arg(client->processId())
                .toUtf8());
    }
    QVERIFY(QFile::setPermissions(ss, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcess portwarden;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), fakeBin.path());
    portwarden.setProcessEnvironment(environment);
    portwarden.start(TestEnvironment::binDir() + QStringLiteral("/portwarden"), {});
    QVERIFY(portwarden.waitForFinished(30000));
    QCOMPARE(portwarden.exitStatus(), QProcess::NormalExit);
    QCOMPARE(portwarden.exitCode(), 0);

    QVERIFY(server->waitForFinished(5000));
    QVERIFY(client->waitForFinished(5000));
    QCOMPARE(server->exitStatus(), QProcess::CrashExit);
    QCOMPARE(client->exitStatus(), QProcess::CrashExit);
    const QByteArray log = portwarden.readAllStandardError();
    QVERIFY2(log.contains("127.0.0.1:40222"), log.constData());
#endif
}

QTEST_GUILESS_MAIN(TestPortwarden)
#include "tst_portwarden.moc"
