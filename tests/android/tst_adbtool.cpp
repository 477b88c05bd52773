#include "android/AdbTool.h"
#include "tests/android/FakeAdbScript.h"

#include <QElapsedTimer>
#include <QTest>

#include <chrono>
#include <stdexcept>

using namespace std::chrono_literals;

class TestAdbTool : public QObject
{
    Q_OBJECT

private slots:
    void devices_data();
    void devices();
    void devicesRaisesOnErrorText();
    void run_data();
    void run();
    void runWithoutTool();
    void runKillsAToolThatDoesNotEnd();
    void runBoundsOutput();
    void listPackages();
    void install_data();
    void install();
    void am_data();
    void am();
    void argumentLists();
};

void TestAdbTool::devices_data()
{
    using R = AdbDevice::Readiness;
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("serials");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QList<R>>("readiness");

    QTest::newRow("daemon lines before the list")
        << QByteArray("* daemon not running; starting now at tcp:5037\n"
                      "* daemon started successfully\n"
                      "List of devices attached\n"
                      "R58M42ABCDE\tdevice\n\n")
        << QStringList{"R58M42ABCDE"} << QStringList{"device"} << QList<R>{R::Ready};
    QTest::newRow("unauthorized") << QByteArray("List of devices attached\r\nemulator-5554\tunauthorized\r\n")
                                  << QStringList{"emulator-5554"} << QStringList{"unauthorized"}
                                  << QList<R>{R::Unauthorized};
    QTest::newRow("network and wireless-debugging serials")
        << QByteArray("List of devices attached\n192.168.1.20:5555\tdevice\nserial_1-x:abc\toffline\n"
                      "adb-R58M42-x1Yz._adb-tls-connect._tcp\tdevice\n")
        << QStringList{"192.168.1.20:5555", "serial_1-x:abc", "adb-R58M42-x1Yz._adb-tls-connect._tcp"}
        << QStringList{"device", "offline", "device"} << QList<R>{R::Ready, R::Offline, R::Ready};
    QTest::newRow("heading in other case, state in capitals")
        << QByteArray("  list of DEVICES attached  \nABC\tDEVICE\n") << QStringList{"ABC"}
        << QStringList{"DEVICE"} << QList<R>{R::Ready};
    QTest::newRow("no heading") << QByteArray("ABC\tdevice\n") << QStringList{} << QStringList{}
                                << QList<R>{};
    QTest::newRow("bytes after NUL ignored")
        << QByteArray("List of devices attached\nAAA\tdevice\n\0BBB\tdevice\n",
                      sizeof("List of devices attached\nAAA\tdevice\n\0BBB\tdevice\n") - 1)
        << QStringList{"AAA"} << QStringList{"device"} << QList<R>{R::Ready};
    QTest::newRow("a line that does not begin with a serial names no device")
        << QByteArray("List of devices attached\n\x01\x01ist of\tdevices\n* noise here\nAAA\tdevice\n")
        << QStringList{"AAA"} << QStringList{"device"} << QList<R>{R::Ready};

    const QString noPermissions =
        QStringLiteral("no permissions (user alice is not in the plugdev group); see "
                       "[http://developer.android.com/tools/device.html]");
    QTest::newRow("no permissions, with spaces and parentheses")
        << QByteArray("List of devices attached\nR58M42ABCDE\t" + noPermissions.toLatin1() +
                      "\n????????????\tno permissions\n")
        << QStringList{"R58M42ABCDE", "????????????"} << QStringList{noPermissions, "no permissions"}
        << QList<R>{R::NoPermissions, R::NoPermissions};
    QTest::newRow("devices -l: attributes after the state")
        << QByteArray("List of devices attached\n"
                      "emulator-5554          device product:sdk_gphone64 model:sdk_x86_64 device:emu64x "
                      "transport_id:1\n"
                      "R58M42ABCDE            unauthorized usb:1-1 transport_id:2\n"
                      "0123456789ABCDEF       " +
                      noPermissions.toLatin1() +
                      " usb:1-2 transport_id:3\n"
                      "ZX1G22                 recovery usb:1-3 transport_id:4\n"
                      "ZX1G23                 authorizing usb:1-4 transport_id:5\n")
        << QStringList{"emulator-5554", "R58M42ABCDE", "0123456789ABCDEF", "ZX1G22", "ZX1G23"}
        << QStringList{"device", "unauthorized", noPermissions, "recovery", "authorizing"}
        << QList<R>{R::Ready, R::Unauthorized, R::NoPermissions, R::Other, R::Passing};
    QTest::newRow("bounded: too long a serial, a state cleaned and cut")
        << QByteArray("List of devices attached\n" + QByteArray(AdbTool::MaxSerialLength + 1, 'S') +
                      "\tdevice\nABC\tno\x07 permissions <b>" + QByteArray(400, 'x') + "</b>\n")
        << QStringList{"ABC"} << QStringList{QStringLiteral("no permissions b ") + QString(183, u'x')}
        << QList<R>{R::NoPermissions};
    QByteArray many("List of devices attached\n");
    QStringList manySerials;
    for (int i = 0; i < AdbTool::MaxDevices + 5; ++i) {
        many += "S" + QByteArray::number(i) + "\tdevice\n";
        if (i < AdbTool::MaxDevices)
            manySerials << QStringLiteral("S%1").arg(i);
    }
    QTest::newRow("bounded: the number of devices")
        << many << manySerials << QStringList(manySerials.size(), QStringLiteral("device"))
        << QList<R>(manySerials.size(), R::Ready);
}

void TestAdbTool::devices()
{
    QFETCH(QByteArray, output);
    QFETCH(QStringList, serials);
    QFETCH(QStringList, states);
    QFETCH(QList<AdbDevice::Readiness>, readiness);
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("devices"), output);

    const QList<AdbDevice> devices = AdbTool().devices();
    QStringList gotSerials, gotStates;
    QList<AdbDevice::Readiness> gotReadiness;
    for (const AdbDevice& device : devices) {
        gotSerials << device.serial;
        gotStates << device.state;
        gotReadiness << device.readiness();
        QCOMPARE(device.isOnline(), device.readiness() == AdbDevice::Readiness::Ready);
        QCOMPARE(device.notReadyText().isEmpty(), device.isOnline());
        QCOMPARE(device.line, device.line.trimmed());
        QVERIFY(device.line.startsWith(device.serial));
    }
    QCOMPARE(gotSerials, serials);
    QCOMPARE(gotStates, states);
    QCOMPARE(gotReadiness, readiness);
    QCOMPARE(adb.calls(), QStringList{"devices"});
}

void TestAdbTool::devicesRaisesOnErrorText()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("devices"), "List of devices attached\nABC\tdevice\n",
                 "error: protocol fault (no status)");
    try {
        AdbTool().devices();
        QFAIL("devices() accepted a reply on standard error");
    } catch (const std::runtime_error& error) {
        QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("error: protocol fault (no status)"));
    }
}

void TestAdbTool::run_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<QString>("returned");
    QTest::addColumn<QString>("raised"); // empty: run(..., true) returns the same text

    QTest::newRow("output only") << QByteArray("hello\n") << QByteArray() << QStringLiteral("hello\n")
                                 << QString();
    QTest::newRow("error before output, joined by a line feed")
        << QByteArray("out text") << QByteArray("err text") << QStringLiteral("err text\nout text")
        << QStringLiteral("err text");
    QTest::newRow("bytes after NUL ignored on both channels")
        << QByteArray("kept\0dropped", 12) << QByteArray("bad\0tail", 8) << QStringLiteral("bad\nkept")
        << QStringLiteral("bad");
    QTest::newRow("error text starting with NUL counts as empty")
        << QByteArray("plain") << QByteArray("\0noise", 6) << QStringLiteral("plain") << QString();
    QTest::newRow("Latin-1") << QByteArray("caf\xe9") << QByteArray() << QStringLiteral("caf\u00e9")
                             << QString();
}

void TestAdbTool::run()
{
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QString, returned);
    QFETCH(QString, raised);
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("version"), out, err);

    QCOMPARE(AdbTool().run({QStringLiteral("version")}, false), returned);
    if (raised.isEmpty()) {
        QCOMPARE(AdbTool().run({QStringLiteral("version")}, true), returned);
        return;
    }
    try {
        AdbTool().run({QStringLiteral("version")}, true);
        QFAIL("run() did not raise on error text");
    } catch (const std::runtime_error& error) {
        QCOMPARE(QString::fromUtf8(error.what()), raised);
    }
}

void TestAdbTool::runWithoutTool()
{
    QTemporaryDir empty;
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty.path()));
    const QString returned = AdbTool().run({QStringLiteral("devices")}, false);
    bool raised = false;
    try {
        AdbTool().devices();
    } catch (const std::runtime_error& error) {
        raised = QString::fromUtf8(error.what()) == QLatin1String("run adb failed.");
    }
    qputenv("PATH", savedPath);
    QCOMPARE(returned, QStringLiteral("run adb failed."));
    QVERIFY(raised);
}

void TestAdbTool::runKillsAToolThatDoesNotEnd()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("logcat"), "first lines\n");
    adb.setDelay(QStringLiteral("logcat"), 60);
    QElapsedTimer timer;
    timer.start();
    const QString text = AdbTool(300ms).run({QStringLiteral("logcat")}, false);
    // Far less than the minute the tool would take, however busy the machine.
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(text, QStringLiteral("first lines\n"));
}

void TestAdbTool::runBoundsOutput()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("shell"), QByteArray(AdbTool::MaxOutputBytes + 2 * 1024 * 1024, 'x'));
    const QString text = AdbTool().run({QStringLiteral("shell")}, false);
    QCOMPARE(text.size(), AdbTool::MaxOutputBytes);
}

void TestAdbTool::listPackages()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("shell"), "package:com.viber.voip\r\n"
                                          "  package: com.kestrune.relaypod  \n"
                                          "Package:com.not.this\n"
                                          "garbage package:com.nor.this\n"
                                          "package:\n");
    const QSet<QString> packages = AdbTool().listPackages(QStringLiteral("SER1"));
    QCOMPARE(packages, (QSet<QString>{"com.viber.voip", "com.kestrune.relaypod", ""}));
    QCOMPARE(adb.calls(), QStringList{"-s SER1 shell pm -l"});
}

void TestAdbTool::install_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<bool>("installed");

    QTest::newRow("streamed install")
        << QByteArray("Performing Streamed Install\nSuccess\n") << QByteArray() << true;
    QTest::newRow("lower case, blanks, CRLF") << QByteArray("\t success \r\n") << QByteArray() << true;
    QTest::newRow("upper case on the first line") << QByteArray("SUCCESS\nmore\n") << QByteArray() << true;
    QTest::newRow("success on standard error") << QByteArray("") << QByteArray("Success") << true;
    QTest::newRow("failure") << QByteArray(
                                    "Performing Streamed Install\nFailure [INSTALL_FAILED_OLDER_SDK]\n")
                             << QByteArray() << false;
    QTest::newRow("success inside a longer line") << QByteArray("Not a Success\n") << QByteArray() << false;
    QTest::newRow("empty reply") << QByteArray() << QByteArray() << false;
}

void TestAdbTool::install()
{
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(bool, installed);
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("install"), out, err);
    const QString reply = AdbTool().run({QStringLiteral("install")}, false);
    try {
        AdbTool().install(QStringLiteral("SER1"), QStringLiteral("/tmp/agent one.apk"));
        QVERIFY(installed);
    } catch (const std::runtime_error& error) {
        QVERIFY(!installed);
        QCOMPARE(QString::fromUtf8(error.what()), reply);
    }
    QCOMPARE(adb.calls().last(), QStringLiteral("-s SER1 install /tmp/agent one.apk"));
}

void TestAdbTool::am_data()
{
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<bool>("raises");

    QTest::newRow("started") << QByteArray("Starting: Intent { cmp=a/.B }\n") << false;
    QTest::newRow("warning only")
        << QByteArray(
               "Starting: Intent { cmp=a/.B }\nWarning: Activity not started, its current task has been "
               "brought to the front\n")
        << false;
    QTest::newRow("error line")
        << QByteArray("Starting: Intent { cmp=a/.B }\nError: Activity class does not exist.\n") << true;
    QTest::newRow("error in capitals, indented") << QByteArray("   ERROR: no such thing\n") << true;
    QTest::newRow("error not at the start") << QByteArray("Something error: else\n") << false;
    QTest::newRow("error without colon") << QByteArray("error happened\n") << false;
}

void TestAdbTool::am()
{
    QFETCH(QByteArray, out);
    QFETCH(bool, raises);
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    adb.setReply(QStringLiteral("shell"), out);
    try {
        AdbTool().am(QStringLiteral("SER1"), QStringLiteral("start"), QStringLiteral("a/.B"), {}, {}, {}, {});
        QVERIFY(!raises);
    } catch (const std::runtime_error& error) {
        QVERIFY(raises);
        QCOMPARE(QString::fromUtf8(error.what()), QString::fromLatin1(out));
    }
}

void TestAdbTool::argumentLists()
{
    FakeAdbScript adb;
    QVERIFY(adb.isValid());
    const AdbTool tool;
    tool.am(QStringLiteral("S"), QStringLiteral("start"), QStringLiteral("pkg/.Main"),
            QStringLiteral("act.VIEW"), QStringLiteral("file:///x"),
            {QStringLiteral("c1"), QStringLiteral("c2")}, QStringLiteral("text/plain"));
    tool.am(QStringLiteral("S"), QStringLiteral("broadcast"), {}, QStringLiteral("act.PING"), {}, {}, {});
    tool.forward(QStringLiteral("S"), 24123, 9000);
    tool.forceStop(QStringLiteral("S"), QStringLiteral("com.viber.voip"));
    tool.killServer();
    QCOMPARE(adb.calls(),
             (QStringList{
                 "-s S shell am start -n pkg/.Main -a act.VIEW -d file:///x -c c1 -c c2 -t text/plain",
                 "-s S shell am broadcast -a act.PING",
                 "-s S forward tcp:24123 tcp:9000",
                 "-s S shell am force-stop com.viber.voip",
                 "kill-server",
             }));
    QCOMPARE(AdbTool::program(), QStringLiteral("adb"));

    adb.setReply(QStringLiteral("forward"), {}, "error: device 'S' not found");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, tool.forward(QStringLiteral("S"), 1, 2));
}

QTEST_GUILESS_MAIN(TestAdbTool)
#include "tst_adbtool.moc"
