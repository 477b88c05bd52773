#include "android/AndroidMonitor.h"
#include "tests/android/FakeAdbScript.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QByteArray FreshStart =
    "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n";

// Collects the monitor's signals on the test thread, as the main window receives them.
struct SignalLog : QObject
{
    QList<AdbDevice> connected;
    QStringList disconnected;

    void watch(AndroidMonitor& monitor)
    {
        connect(&monitor, &AndroidMonitor::deviceConnected, this,
                [this](const AdbDevice& device) { connected << device; });
        connect(&monitor, &AndroidMonitor::deviceDisconnected, this,
                [this](const QString& serial) { disconnected << serial; });
    }
    QStringList connectedSerials() const
    {
        QStringList serials;
        for (const AdbDevice& device : connected)
            serials << device.serial;
        return serials;
    }
};

// Waits until the fake tool has answered `rounds` more "devices" calls, then lets the queued
// signals of those rounds arrive.
bool waitForRounds(const FakeAdbScript& adb, int rounds)
{
    const int target = adb.callCount(QStringLiteral("devices")) + rounds;
    QElapsedTimer timer;
    timer.start();
    while (adb.callCount(QStringLiteral("devices")) < target) {
        if (timer.elapsed() > 10000)
            return false;
        QTest::qWait(20);
    }
    QTest::qWait(50);
    return true;
}

} // namespace

class TestAndroidMonitor : public QObject
{
    Q_OBJECT

private slots:
    void reportsAppearanceAndRemovalOnce();
    void portwardenOnlyWithoutFreshStart_data();
    void portwardenOnlyWithoutFreshStart();
    void failedRoundsEmitNothing();
    void missingToolEmitsNothing();
    void firstRoundReportsAndDestructorIsPrompt();
    void hungPortwardenIsEnded();
};

void TestAndroidMonitor::reportsAppearanceAndRemovalOnce()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("start-server"), FreshStart);
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nAAA\tdevice\nBBB\tunauthorized\n");
    SignalLog log;
    auto monitor = std::make_unique<AndroidMonitor>();
    monitor->setPollInterval(200ms);
    log.watch(*monitor);
    monitor->start();

    // The first round reports both at once, in list order, whatever their state.
    QTRY_COMPARE_WITH_TIMEOUT(log.connectedSerials(), (QStringList{"AAA", "BBB"}), 10000);
    QCOMPARE(log.connected.at(1).state, QStringLiteral("unauthorized"));
    QVERIFY(!log.connected.at(1).isOnline());

    // Allowed on the phone: same serial, new state; reported again, once, so that it
    // connects without being plugged in again.
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nAAA\tdevice\nBBB\tdevice\n");
    QTRY_COMPARE_WITH_TIMEOUT(log.connectedSerials(), (QStringList{"AAA", "BBB", "BBB"}), 10000);
    QCOMPARE(log.connected.last().state, QStringLiteral("device"));
    QVERIFY(waitForRounds(adb, 2));
    QCOMPARE(log.connected.size(), 3);
    QVERIFY(log.disconnected.isEmpty());

    // Once ready, a moment offline is no new arrival: it is not connected over again.
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nBBB\toffline\n");
    QTRY_COMPARE_WITH_TIMEOUT(log.disconnected, QStringList{"AAA"}, 10000);
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nBBB\tdevice\n");
    QVERIFY(waitForRounds(adb, 2));
    QCOMPARE(log.disconnected, QStringList{"AAA"});
    QCOMPARE(log.connected.size(), 3);

    // Plugged in again: a new appearance.
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nBBB\tdevice\nAAA\tdevice\n");
    QTRY_COMPARE_WITH_TIMEOUT(log.connectedSerials(), (QStringList{"AAA", "BBB", "BBB", "AAA"}), 10000);

    monitor.reset();
    QCOMPARE(adb.calls().first(), QStringLiteral("start-server"));
    QCOMPARE(adb.calls().last(), QStringLiteral("kill-server"));
    QCOMPARE(adb.callCount(QStringLiteral("start-server")), 1);
}

void TestAndroidMonitor::portwardenOnlyWithoutFreshStart_data()
{
    QTest::addColumn<QByteArray>("startReply");
    QTest::addColumn<QStringList>("expectedStart");

    QTest::newRow("fresh start") << FreshStart << QStringList{"start-server", "devices"};
    QTest::newRow("fresh start, other case")
        << QByteArray("* DAEMON STARTED SUCCESSFULLY *\n") << QStringList{"start-server", "devices"};
    QTest::newRow("already running") << QByteArray()
                                     << QStringList{"start-server", "portwarden", "start-server", "devices"};
    QTest::newRow("could not bind")
        << QByteArray("error: could not install *smartsocket* listener: Address already in use\n")
        << QStringList{"start-server", "portwarden", "start-server", "devices"};
}

void TestAndroidMonitor::portwardenOnlyWithoutFreshStart()
{
    QFETCH(QByteArray, startReply);
    QFETCH(QStringList, expectedStart);
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("start-server"), startReply);
    adb.setReply(QStringLiteral("devices"), "List of devices attached\n");
    const QString portwarden = adb.writeScript(QStringLiteral("portwarden"),
                                               "printf 'portwarden\\n' >> \"$(dirname \"$0\")/calls.log\"\n");
    {
        AndroidMonitor monitor;
        monitor.setPollInterval(100ms);
        monitor.setPortwardenPath(portwarden);
        monitor.start();
        QVERIFY(waitForRounds(adb, 1));
    }
    QCOMPARE(adb.calls().mid(0, expectedStart.size()), expectedStart);
    QCOMPARE(adb.callCount(QStringLiteral("portwarden")), expectedStart.count(QStringLiteral("portwarden")));
}

void TestAndroidMonitor::failedRoundsEmitNothing()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("start-server"), FreshStart);
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nAAA\tdevice\n");
    SignalLog log;
    auto monitor = std::make_unique<AndroidMonitor>();
    monitor->setPollInterval(100ms);
    log.watch(*monitor);
    monitor->start();
    QTRY_COMPARE_WITH_TIMEOUT(log.connectedSerials(), QStringList{"AAA"}, 10000);

    // A round whose reply carries error text changes nothing: the device is not taken as gone.
    adb.setReply(QStringLiteral("devices"), "List of devices attached\n", "error: protocol fault\n");
    QVERIFY(waitForRounds(adb, 3));
    QVERIFY(log.disconnected.isEmpty());
    QCOMPARE(log.connected.size(), 1);
}

void TestAndroidMonitor::missingToolEmitsNothing()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty.path()));
    SignalLog log;
    auto monitor = std::make_unique<AndroidMonitor>();
    monitor->setPollInterval(50ms);
    monitor->setPortwardenPath(empty.filePath(QStringLiteral("portwarden")));
    log.watch(*monitor);
    monitor->start();
    QTest::qWait(600);
    QElapsedTimer timer;
    timer.start();
    // The destructor's kill-server attempt only gets "run adb failed.".
    monitor.reset();
    const qint64 destroyMs = timer.elapsed();
    qputenv("PATH", savedPath);
    QTest::qWait(50);
    QVERIFY(log.connected.isEmpty());
    QVERIFY(log.disconnected.isEmpty());
    // Bounded generously: only a destructor that hangs on the missing tool may fail.
    QVERIFY2(destroyMs < 15000, qPrintable(QString::number(destroyMs)));
}

void TestAndroidMonitor::firstRoundReportsAndDestructorIsPrompt()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("start-server"), FreshStart);
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nAAA\tdevice\n");
    SignalLog log;
    auto monitor = std::make_unique<AndroidMonitor>();
    // An interval far beyond every wait below: a round that waited for it, or a stop that
    // waited it out, fails however busy the machine.
    monitor->setPollInterval(120s);
    log.watch(*monitor);
    monitor->start();
    QVERIFY(waitForRounds(adb, 1));
    QTRY_COMPARE_WITH_TIMEOUT(log.connectedSerials(), QStringList{"AAA"}, 30000);
    QElapsedTimer timer;
    timer.start();
    monitor.reset();
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(adb.calls(), (QStringList{"start-server", "devices", "kill-server"}));
}

void TestAndroidMonitor::hungPortwardenIsEnded()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("devices"), "List of devices attached\n");
    const QString portwarden = adb.writeScript(QStringLiteral("portwarden"), "exec sleep 60\n");
    QElapsedTimer timer;
    timer.start();
    AndroidMonitor monitor;
    monitor.setPortwardenPath(portwarden);
    monitor.start();
    QVERIFY(waitForRounds(adb, 1));
    const qint64 elapsed = timer.elapsed();
    // At least the five seconds it is given, and far less than the minute it would sleep.
    QVERIFY2(elapsed >= 4500 && elapsed < 40000, qPrintable(QString::number(elapsed)));
    QCOMPARE(adb.callCount(QStringLiteral("start-server")), 2);
}

QTEST_GUILESS_MAIN(TestAndroidMonitor)
#include "tst_androidmonitor.moc"
