#include "android/AgentInstaller.h"
#include "android/AgentPairing.h"
#include "android/AgentSession.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidConnectWithWiFiThread.h"
#include "android/SimpleProtocol.h"
#include "app/HelpLinks.h"
#include "app/ProgressChannel.h"
#include "tests/support/PhoneSim.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QString Serial = QStringLiteral("SIMUSB1");
const QString ViberPackage = QStringLiteral("com.viber.voip");
const QString AgentPackage = QStringLiteral("com.kestrune.relaypod");

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

bool installCalled(const PhoneSim& sim)
{
    for (const QString& call : sim.adbCalls()) {
        if (call.contains(QLatin1String(" install ")))
            return true;
    }
    return false;
}

// A USB connection against the simulated phone, with the waits shrunk and a stand-in
// agent package (the simulated tool installs any file).
struct UsbRun
{
    ProgressChannel channel;
    RecordingReceiver receiver{&channel};
    QTemporaryDir dir;
    AndroidDevice device;

    // Generous: under a full parallel test run on two cores the simulated agent can take
    // seconds to start. The cases about waiting set short budgets of their own.
    AndroidConnectWithUSBThread::Timing timing{10ms, 10000ms, 10000ms};

    // The package route unless native: the agent app of a stand-in package.
    bool native = false;

    void run(const QString& serial, const QString& agentPackage = QString())
    {
        AndroidConnectWithUSBThread worker(serial, channel);
        worker.setTiming(timing);
        QString package = agentPackage;
        if (native) {
            receiver.runInWorkerThread(worker);
            device = worker.device();
            return;
        }
        if (package.isNull()) {
            package = dir.filePath(QStringLiteral("relaypod.apk"));
            QFile file(package);
            if (file.open(QIODevice::WriteOnly))
                file.write("stand-in package");
        }
        worker.setAgentPackage(package);
        receiver.runInWorkerThread(worker);
        device = worker.device();
    }
};

} // namespace

class TestAndroidConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }

    void usbWithAgentInstalledReadsTheDescription()
    {
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addDevice(Serial);
        UsbRun run;
        run.run(Serial);
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes, QStringList{QString()});
        QVERIFY(!installCalled(sim));
        QCOMPARE(run.device.serial, Serial);
        QCOMPARE(run.device.uid, Serial);
        QVERIFY(!run.device.viaWifi);
        QCOMPARE(run.device.agentVersion, 4);
        QCOMPARE(run.device.model, QStringLiteral("Pixel 3a"));
        QCOMPARE(run.device.storage, QStringLiteral("/storage/emulated/0"));
        QVERIFY(run.device.rooted);
        QCOMPARE(run.receiver.progress.first().status, text("IDS_CHECKING_APK_INSTALL"));
        QCOMPARE(run.receiver.progress.last().status, text("IDS_GET_ANDROID_DEVICE_INFO"));
    }

    void usbInstallsAMissingAgent()
    {
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("packages"), QStringList{ViberPackage});
        UsbRun run;
        run.run(Serial);
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes.size(), 1);
        QVERIFY(installCalled(sim));
        QVERIFY(sim.device(Serial).packages().contains(AgentPackage));
        QCOMPARE(run.device.agentVersion, 4);
    }

    // The native agent: pushed when the phone lacks it or has another version (the
    // build for the phone's processor), left alone when current, then started by adb shell.
    void usbNativeAgentInstall_data()
    {
        QTest::addColumn<QString>("onPhone"); // "current", "missing" or a --version line
        QTest::addColumn<QString>("abi");
        QTest::addColumn<bool>("pushed");
        QTest::addColumn<QString>("error");

        QTest::newRow("current") << "current"
                                 << "x86_64" << false << "";
        QTest::newRow("missing") << "missing"
                                 << "x86_64" << true << "";
        QTest::newRow("older copy") << "velliport-agent 4 3.0.0"
                                    << "x86_64" << true << "";
        QTest::newRow("arm64 phone") << "missing"
                                     << "arm64-v8a" << true << "";
        QTest::newRow("no build for the processor")
            << "missing"
            << "mips" << false << "no agent build for this phone's processor (mips)";
    }

    void usbNativeAgentInstall()
    {
        QFETCH(QString, onPhone);
        QFETCH(QString, abi);
        QFETCH(bool, pushed);
        QFETCH(QString, error);

        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("abi"), abi);
        const QString agentOnPhone = phone.fileFor(QLatin1String(SimDevice::NativeAgentPath));
        if (onPhone == QLatin1String("missing")) {
            QVERIFY(QFile::remove(agentOnPhone));
        } else if (onPhone != QLatin1String("current")) {
            QFile::remove(agentOnPhone);
            QVERIFY(TestEnvironment::writeFile(agentOnPhone, "#!/bin/sh\necho " + onPhone.toUtf8() + "\n"));
            QFile::setPermissions(agentOnPhone, QFile::ReadOwner | QFile::ExeOwner);
        }
        // The phone builds cannot run here; a stand-in that prints the version line takes
        // their place in a folder of builds of this test's own.
        QTemporaryDir builds;
        const QString localBuild = builds.filePath(abi + QStringLiteral("/velliport-agent"));
        if (abi == QLatin1String("arm64-v8a")) {
            QVERIFY(TestEnvironment::writeFile(
                localBuild, "#!/bin/sh\necho '" + AgentInstaller::versionLine().toUtf8() + "'\n"));
            QFile::setPermissions(localBuild, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
            AgentInstaller::setLocalAgentFolder(builds.path());
        }

        UsbRun run;
        run.native = true;
        run.run(Serial);
        const QString push = QStringLiteral("-s %1 push ").arg(Serial);
        const QStringList pushes = sim.adbCalls().filter(push);
        QCOMPARE(pushes.size(), pushed ? 1 : 0);
        if (!error.isEmpty()) {
            QCOMPARE(run.receiver.errors.size(), 1);
            QVERIFY2(run.receiver.errors.first().contains(error), qPrintable(run.receiver.errors.first()));
            return;
        }
        QCOMPARE(run.receiver.errors, QStringList());
        QCOMPARE(run.receiver.successes.size(), 1);
        QVERIFY(!run.device.packageAgent);
        QCOMPARE(run.device.model, QStringLiteral("Pixel 3a"));
        if (pushed) {
            const QString expected =
                abi == QLatin1String("x86_64")
                    ? TestEnvironment::binDir() + QStringLiteral("/agent/x86_64/velliport-agent")
                    : localBuild;
            QCOMPARE(pushes.first(), push + expected + u' ' + QLatin1String(SimDevice::NativeAgentPath));
            QVERIFY(TestEnvironment::readFile(agentOnPhone) == TestEnvironment::readFile(expected));
            QVERIFY(QFileInfo(agentOnPhone).isExecutable());
        }
        QVERIFY(!installCalled(sim));
        QCOMPARE(
            sim.adbCalls().filter(QStringLiteral("shell /data/local/tmp/velliport-agent --session")).size(),
            1);
    }

    void usbInstallFailures_data()
    {
        QTest::addColumn<bool>("packageMissing");
        QTest::addColumn<QString>("detail");
        QTest::newRow("the tool refuses") << false << QStringLiteral("INSTALL_FAILED_INSUFFICIENT_STORAGE");
        QTest::newRow("no package to install")
            << true << QStringLiteral("carries no Kestrune Relaypod package");
    }

    void usbInstallFailures()
    {
        QFETCH(bool, packageMissing);
        QFETCH(QString, detail);
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("packages"), QStringList{ViberPackage});
        phone.setValue(QStringLiteral("installFailure"),
                       QStringLiteral("INSTALL_FAILED_INSUFFICIENT_STORAGE"));
        UsbRun run;
        run.run(Serial, packageMissing ? run.dir.filePath(QStringLiteral("absent.apk")) : QString());
        QCOMPARE(run.receiver.successes, QStringList());
        QCOMPARE(run.receiver.errors.size(), 1);
        QVERIFY(run.receiver.errors.first().startsWith(
            QStringLiteral("Please go to Google Play on your Android Phone to download and install Kestrune "
                           "Relaypod first and then try again. <br/><br/>Error:")));
        QVERIFY2(run.receiver.errors.first().contains(detail), qPrintable(run.receiver.errors.first()));
        // nothing pretends the agent is there when the package never reached the phone
        QCOMPARE(installCalled(sim), !packageMissing);
        QVERIFY(!sim.device(Serial).packages().contains(AgentPackage));
    }

    void usbWithoutViber()
    {
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("packages"),
                       QStringList{AgentPackage, QStringLiteral("com.android.settings")});
        UsbRun run;
        run.run(Serial);
        QCOMPARE(run.receiver.errors, QStringList{text("IDS_NOT_INSTALL_VIBER")});
        QCOMPARE(run.receiver.successes, QStringList());
    }

    void usbAgentVersions_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("3 is too old") << QStringLiteral("3") << false;
        QTest::newRow("4 is enough") << QStringLiteral("4") << true;
        QTest::newRow("a dotted release counts as 0") << QStringLiteral("3.1.4") << false;
    }

    void usbAgentVersions()
    {
        QFETCH(QString, version);
        QFETCH(bool, accepted);
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        QString description = PhoneSim::description(Serial);
        description.replace(QStringLiteral("version=4;"), QStringLiteral("version=%1;").arg(version));
        phone.setValue(QStringLiteral("description"), description);
        UsbRun run;
        run.run(Serial);
        if (accepted) {
            QCOMPARE(run.receiver.errors, QStringList());
            QCOMPARE(run.receiver.successes.size(), 1);
        } else {
            QCOMPARE(run.receiver.successes, QStringList());
            QCOMPARE(run.receiver.errors, QStringList{QStringLiteral(
                                              "Kestrune Relaypod on Android is too old. 3.1.4 needed. Please "
                                              "update it from Google Play.")});
        }
    }

    void usbEmptyPackageListGoesStraightToTheAgent()
    {
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("packages"), QStringList());
        UsbRun run;
        run.run(Serial);
        // no agent to answer: the session start fails, but nothing was installed and no
        // Viber check stood in the way
        QVERIFY(!installCalled(sim));
        QCOMPARE(run.receiver.progress.last().status, text("IDS_GET_ANDROID_DEVICE_INFO"));
        QCOMPARE(run.receiver.errors.size(), 1);
        QVERIFY(!run.receiver.errors.first().contains(text("IDS_NOT_INSTALL_VIBER")));
        QVERIFY2(run.receiver.errors.first().contains(QStringLiteral("start backup://127.0.0.1:")),
                 qPrintable(run.receiver.errors.first()));
    }

    // A phone that is not ready is told by its state, on both routes, before any command
    // reaches it: not the texts about the server's port or the phone's processor that the
    // agent's checks would end in.
    void usbDeviceNotReady_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unauthorized")
            << "unauthorized" << text("IDS_ANDROID_DEVICE_UNAUTHORIZED_%1").arg(Serial);
        QTest::newRow("offline") << "offline" << text("IDS_ANDROID_DEVICE_OFFLINE_%1").arg(Serial);
        const QString noPermissions =
            QStringLiteral("no permissions (user alice is not in the plugdev group); "
                           "see [http://developer.android.com/tools/device.html]");
        QTest::newRow("no permissions")
            << noPermissions << text("IDS_ANDROID_DEVICE_NO_PERMISSIONS_%1_%2").arg(Serial, noPermissions);
    }

    void usbDeviceNotReady()
    {
        QFETCH(QString, state);
        QFETCH(QString, expected);
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("state"), state);
        UsbRun run;
        run.run(Serial);
        UsbRun native;
        native.native = true;
        native.run(Serial);
        for (const UsbRun* route : {&run, &native}) {
            QCOMPARE(route->receiver.successes, QStringList());
            QCOMPARE(route->receiver.errors, QStringList{expected});
        }
        QVERIFY(!expected.contains(HelpLinks::portwardenLink()));
        QVERIFY(!expected.contains(QStringLiteral("processor")));
        QCOMPARE(sim.adbCalls(), (QStringList{"devices", "devices"}));
    }

    void usbCancelledBeforeInstallInstallsNothing()
    {
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("packages"), QStringList{ViberPackage});
        UsbRun run;
        run.channel.setCancelled(true);
        run.run(Serial);
        QCOMPARE(run.receiver.outcomes(), 0);
        QVERIFY(!installCalled(sim));
    }

    void usbCancelledAfterThePackageCheckStartsNoSession()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        UsbRun run;
        run.receiver.cancelAtProgress = 1; // the first report is the package check
        run.run(Serial);
        QCOMPARE(run.receiver.outcomes(), 0);
        for (const QString& call : sim.adbCalls())
            QVERIFY2(!call.contains(QLatin1String("broadcast")), qPrintable(call));
    }

    // The agent opens the session and never describes the phone; it would hold the
    // session for its idle time (20 s), far beyond the wait for the description.
    void usbAgentThatNeverSaysHello_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("the wait runs out") << false;
        QTest::newRow("cancelled while waiting") << true;
    }

    void usbAgentThatNeverSaysHello()
    {
        QFETCH(bool, cancel);
        PhoneSim sim;
        QVERIFY(sim.isValid());
        sim.addDevice(Serial).setValue(QStringLiteral("noHello"), true);
        UsbRun run;
        run.timing.descriptionWait = cancel ? 10000ms : 1500ms;
        std::atomic_bool sessionStarted{false};
        std::atomic_bool done{false};
        // Cancel lands while the worker waits for "$hello:": after the session started.
        std::thread canceller([&] {
            const QDeadlineTimer limit(8000);
            while (!done && !limit.hasExpired()) {
                for (const QString& call : sim.adbCalls()) {
                    if (call.contains(QLatin1String("broadcast")))
                        sessionStarted = true;
                }
                if (sessionStarted) {
                    std::this_thread::sleep_for(800ms);
                    if (cancel)
                        run.channel.setCancelled(true);
                    return;
                }
                std::this_thread::sleep_for(20ms);
            }
        });
        QElapsedTimer timer;
        timer.start();
        run.run(Serial);
        const qint64 elapsed = timer.elapsed();
        done = true;
        canceller.join();
        QVERIFY(sessionStarted);
        QCOMPARE(run.receiver.successes, QStringList());
        QCOMPARE(run.receiver.progress.last().status, text("IDS_GET_ANDROID_DEVICE_INFO"));
        if (cancel) {
            QCOMPARE(run.receiver.outcomes(), 0);
            QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
        } else {
            QCOMPARE(run.receiver.errors.size(), 1);
            QVERIFY2(elapsed >= 1400 && elapsed < 6000, qPrintable(QString::number(elapsed)));
            QVERIFY(run.device.model.isEmpty());
        }
    }

    void wifiAddressInput_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("host");
        QTest::newRow("address") << QStringLiteral("192.168.1.20") << QStringLiteral("192.168.1.20");
        QTest::newRow("blanks around") << QStringLiteral("  10.0.0.7 \t") << QStringLiteral("10.0.0.7");
        QTest::newRow("port suffix") << QStringLiteral("192.168.1.20:49001") << QString();
        QTest::newRow("letters") << QStringLiteral("phone.local") << QString();
        QTest::newRow("surrounding text") << QStringLiteral("ip 192.168.1.20") << QString();
        QTest::newRow("four digits in a group") << QStringLiteral("1921.168.1.20") << QString();
        QTest::newRow("three groups") << QStringLiteral("192.168.1") << QString();
        QTest::newRow("line break inside") << QStringLiteral("192.168.1.20\n10.0.0.1") << QString();
    }

    void wifiAddressInput()
    {
        QFETCH(QString, typed);
        QFETCH(QString, host);
        QCOMPARE(AndroidConnectWithWiFiThread::hostFromInput(typed), host);
    }

    // Paired over USB: the agent is started for WiFi with this computer's secret on its
    // standard input (never on a command line); the WiFi worker then presents it, while a
    // computer with another secret is refused.
    void wifiPairedOverUsb()
    {
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        const int port = PhoneSim::freePort();
        phone.setValue(QStringLiteral("wifiPort"), port);
        phone.setValue(QStringLiteral("idleMs"), 2500);
        AgentPairing::pairOverUsb(Serial);
        const QByteArray secret = AgentPairing::secret();
        QCOMPARE(secret.size(), AgentPairing::CodeLength);
        QCOMPARE(AgentPairing::secret(), secret);
        const QStringList calls = sim.adbCalls();
        QVERIFY(
            calls.contains(QStringLiteral("-s %1 shell /data/local/tmp/velliport-agent --wifi").arg(Serial)));
        for (const QString& call : calls)
            QVERIFY(!call.contains(QString::fromLatin1(secret)));

        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidConnectWithWiFiThread worker(QStringLiteral("127.0.0.1"), channel, nullptr, port);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        QCOMPARE(worker.device().model, QStringLiteral("Pixel 3a"));

        const QString url = QString::fromLatin1(simpleprotocol::DeviceInfoUrl).arg(PhoneSim::freePort());
        try {
            simpleprotocol::openWifiSession(QStringLiteral("127.0.0.1"), port, url, 3000, nullptr,
                                            "SomeOtherPc1");
            QFAIL("another computer was served");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String("only the computer")), e.what());
        }
    }

    void wifiGoodConnection()
    {
        PhoneSim sim;
        sim.addDevice(Serial);
        const int port = sim.startWifiAgent(Serial);
        QVERIFY(port > 0);
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidConnectWithWiFiThread worker(QStringLiteral("127.0.0.1"), channel, nullptr, port);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        QCOMPARE(receiver.successes.size(), 1);
        const AndroidDevice device = worker.device();
        QVERIFY(device.viaWifi);
        QCOMPARE(device.host, QStringLiteral("127.0.0.1"));
        QCOMPARE(device.port, port);
        QVERIFY(device.serial.isEmpty());
        QCOMPARE(device.uid, Serial);
        QCOMPARE(device.deviceId(), Serial);
        // the record can travel in queued signals by its name
        QVERIFY(QMetaType::fromName("AndroidDevice").isValid());
        // a WiFi connection never runs adb
        QCOMPARE(sim.adbCalls(), QStringList());
    }

    void wifiRefusedByTheAgent()
    {
        PhoneSim sim;
        SimDevice phone = sim.addDevice(Serial);
        phone.setValue(QStringLiteral("refuseWifi"), QStringLiteral("Zugriff verweigert"));
        const int port = sim.startWifiAgent(Serial);
        QVERIFY(port > 0);
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidConnectWithWiFiThread worker(QStringLiteral("127.0.0.1"), channel, nullptr, port);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.successes, QStringList());
        QCOMPARE(receiver.errors.size(), 1);
        QVERIFY2(receiver.errors.first().startsWith(QStringLiteral("start backup://127.0.0.1:")),
                 qPrintable(receiver.errors.first()));
        QVERIFY(receiver.errors.first().endsWith(QStringLiteral("/device-info failed.Zugriff verweigert")));
    }

    void wifiNothingListening()
    {
        const int port = PhoneSim::freePort();
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidConnectWithWiFiThread worker(QStringLiteral("127.0.0.1"), channel, nullptr, port);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList{QStringLiteral("can not connect 127.0.0.1:%1.").arg(port)});
    }

    void wifiSilentHostEndsWithinTheBudget()
    {
        // accepts the connection (the kernel does, from the backlog) and never answers
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidConnectWithWiFiThread worker(QStringLiteral("127.0.0.1"), channel, nullptr,
                                            silent.serverPort());
        worker.setTiming({700ms, 700ms});
        QElapsedTimer timer;
        timer.start();
        receiver.runInWorkerThread(worker);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(receiver.successes, QStringList());
        QCOMPARE(receiver.errors.size(), 1);
    }

    void wifiSilentHostCancelled()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        AndroidConnectWithWiFiThread worker(QStringLiteral("127.0.0.1"), channel, nullptr,
                                            silent.serverPort());
        QElapsedTimer timer;
        timer.start();
        std::thread canceller([&channel] {
            std::this_thread::sleep_for(500ms);
            channel.setCancelled(true);
        });
        receiver.runInWorkerThread(worker);
        canceller.join();
        // the default budget is 10 s; the cancel ends the wait for the agent's answer
        QVERIFY2(timer.elapsed() >= 450 && timer.elapsed() < 3000,
                 qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(receiver.outcomes(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAndroidConnect)
#include "tst_androidconnect.moc"
