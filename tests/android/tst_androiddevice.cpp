#include "android/AndroidDevice.h"
#include "app/AppDirs.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QTest>

class TestAndroidDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void allNineKeysFillEveryField()
    {
        AndroidDevice device;
        device.applyDescription(
            QStringLiteral("version=5;model=SM-G991B;manufacturer=samsung;imei=358240051111110;"
                           "uid=a1b2c3;sdk=13;sdk_id=33;root=1;storage1=/storage/emulated/0"));
        QCOMPARE(device.agentVersion, 5);
        QCOMPARE(device.model, QStringLiteral("SM-G991B"));
        QCOMPARE(device.manufacturer, QStringLiteral("samsung"));
        QCOMPARE(device.imei, QStringLiteral("358240051111110"));
        QCOMPARE(device.uid, QStringLiteral("a1b2c3"));
        QCOMPARE(device.sdk, QStringLiteral("13"));
        QCOMPARE(device.sdkLevel, 33);
        QVERIFY(device.rooted);
        QCOMPARE(device.storage, QStringLiteral("/storage/emulated/0"));
        QCOMPARE(device.displayName(), QStringLiteral("samsung SM-G991B"));
        QVERIFY(!device.agentTooOld());
    }

    void descriptionEdgeCases_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("rooted");
        QTest::addColumn<QString>("model");
        QTest::newRow("root 0, trailing semicolon")
            << QStringLiteral("version=4;root=0;model=A;") << 4 << false << QStringLiteral("A");
        QTest::newRow("no semicolon after the last pair")
            << QStringLiteral("version=4;root=2;model=A") << 4 << true << QStringLiteral("A");
        QTest::newRow("dotted version counts as 0")
            << QStringLiteral("version=3.1.4;model=A") << 0 << false << QStringLiteral("A");
        QTest::newRow("a key given twice keeps its last value")
            << QStringLiteral("model=A;version=2;model=B;version=7") << 7 << false << QStringLiteral("B");
        QTest::newRow("unknown keys and case differences are ignored")
            << QStringLiteral("Version=9;colour=blue;version=6;MODEL=X") << 6 << false
            << QStringLiteral("kept");
        QTest::newRow("a missing key leaves the field")
            << QStringLiteral("root=1") << 1 << true << QStringLiteral("kept");
    }

    void descriptionEdgeCases()
    {
        QFETCH(QString, description);
        QFETCH(int, version);
        QFETCH(bool, rooted);
        QFETCH(QString, model);
        AndroidDevice device;
        device.agentVersion = 1;
        device.model = QStringLiteral("kept");
        device.applyDescription(description);
        QCOMPARE(device.agentVersion, version);
        QCOMPARE(device.rooted, rooted);
        QCOMPARE(device.model, model);
    }

    void agentVersionThreshold()
    {
        AndroidDevice device;
        device.applyDescription(QStringLiteral("version=3"));
        QVERIFY(device.agentTooOld());
        device.applyDescription(QStringLiteral("version=4"));
        QVERIFY(!device.agentTooOld());
        QCOMPARE(
            AndroidDevice::agentTooOldText(),
            QStringLiteral(
                "Kestrune Relaypod on Android is too old. 3.1.4 needed. Please update it from Google Play."));
    }

    void identityOfUsbAndWifiDevices()
    {
        AndroidDevice usb;
        usb.serial = QStringLiteral("R58M1234");
        usb.uid = QStringLiteral("u-1");
        QCOMPARE(usb.deviceId(), QStringLiteral("R58M1234"));
        AndroidDevice wifi;
        wifi.viaWifi = true;
        wifi.host = QStringLiteral("192.168.1.20");
        wifi.uid = QStringLiteral("u-1");
        QCOMPARE(wifi.deviceId(), QStringLiteral("u-1"));
        QCOMPARE(wifi.endpoint().host, QStringLiteral("192.168.1.20"));
        QVERIFY(wifi.endpoint().viaWifi);
    }

    void oddImeiNeverNamesASharedOrEscapingFolder_data()
    {
        QTest::addColumn<QString>("imei");
        QTest::newRow("empty") << QString();
        QTest::newRow("dots") << QStringLiteral("..");
        QTest::newRow("a path") << QStringLiteral("../../etc");
        QTest::newRow("a separator") << QStringLiteral("35/82");
        QTest::newRow("blank around") << QStringLiteral(" 358 ");
    }

    void oddImeiNeverNamesASharedOrEscapingFolder()
    {
        QFETCH(QString, imei);
        AndroidDevice first;
        first.serial = QStringLiteral("SERIAL1");
        first.imei = imei;
        AndroidDevice second = first;
        second.serial = QStringLiteral("SERIAL2");
        QCOMPARE(first.cacheFolderName(), AppDirs::md5Hex(QStringLiteral("SERIAL1")));
        QVERIFY(first.cacheFolderName() != second.cacheFolderName());
        const QString cache = first.cacheDir();
        QCOMPARE(QDir(cache).absolutePath(),
                 QDir(AppDirs::androidCacheFolder()).absoluteFilePath(first.cacheFolderName()));
        QVERIFY(QDir(cache).exists());
        // the uid in archive names follows the same rule
        first.uid = imei;
        QVERIFY(!first.uidFileName().contains(u'/'));
        QVERIFY(!first.uidFileName().isEmpty());
        QVERIFY(first.uidFileName() != QLatin1String(".."));
    }

    void plainImeiNamesTheFolder()
    {
        AndroidDevice device;
        device.imei = QStringLiteral("358240051111110");
        device.uid = QStringLiteral("abc");
        QCOMPARE(device.cacheFolderName(), QStringLiteral("358240051111110"));
        QCOMPARE(device.uidFileName(), QStringLiteral("abc"));
    }

    void storageUrls()
    {
        AndroidDevice device;
        QCOMPARE(device.storageUrl(QStringLiteral("viber/media/a.jpg")).toLocalFile(),
                 QStringLiteral("/storage/emulated/0/viber/media/a.jpg"));
        device.storage = QStringLiteral("/mnt/sdcard");
        QCOMPARE(device.storageUrl(QStringLiteral("viber/media/a.jpg")).toLocalFile(),
                 QStringLiteral("/mnt/sdcard/viber/media/a.jpg"));
        // A path from a record never leads out of the storage.
        for (const QString& escaping : {QStringLiteral("../x"), QStringLiteral("viber/../../x"),
                                        QStringLiteral("/data/data/x"), QStringLiteral("."), QString()})
            QVERIFY2(device.storageUrl(escaping).isEmpty(), qPrintable(escaping));
    }

    void storageFromTheDescriptionIsAnAbsolutePhonePath()
    {
        AndroidDevice device;
        device.applyDescription(QStringLiteral("storage1=/storage/emulated/0/"));
        QCOMPARE(device.storage, QStringLiteral("/storage/emulated/0"));
        // A relative path would resolve against this computer's working folder.
        for (const QString& odd : {QStringLiteral("storage1=?storage/emulated/0"),
                                   QStringLiteral("storage1=sdcard"), QStringLiteral("storage1=./x")}) {
            device.applyDescription(odd);
            QVERIFY2(device.storage.isEmpty(), qPrintable(odd));
            QCOMPARE(device.storageUrl(QStringLiteral("viber/a.jpg")).toLocalFile(),
                     QStringLiteral("/storage/emulated/0/viber/a.jpg"));
        }
    }
};

QTEST_GUILESS_MAIN(TestAndroidDevice)
#include "tst_androiddevice.moc"
