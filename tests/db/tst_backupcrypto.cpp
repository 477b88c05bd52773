#include "app/OperationCancelled.h"
#include "db/BackupCipher.h"
#include "db/BackupFileRecord.h"
#include "db/BackupKeybag.h"
#include "db/KeyedArchive.h"
#include "db/PropertyList.h"
#include "db/WrongBackupPassword.h"
#include "tests/support/EncryptedBackupBuilder.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString text(const char* key)
{
    return QCoreApplication::translate("Velliport", key);
}

QByteArray bigEndian64(quint64 value)
{
    return EncryptedBackupBuilder::bigEndian(quint32(value >> 32)) +
           EncryptedBackupBuilder::bigEndian(quint32(value));
}

// A binary property list of the given objects, with one-byte offsets and references.
QByteArray framed(const QList<QByteArray>& objects)
{
    QByteArray out("bplist00");
    QByteArray table;
    for (const QByteArray& object : objects) {
        table += char(out.size());
        out += object;
    }
    const qsizetype tableAt = out.size();
    return out + table + QByteArray(6, '\0') + char(1) + char(1) + bigEndian64(quint64(objects.size())) +
           bigEndian64(0) + bigEndian64(quint64(tableAt));
}

// The list with the trailer's eight-byte field at fromEnd bytes before the end replaced.
QByteArray withTrailer(QByteArray plist, int fromEnd, quint64 value)
{
    return plist.replace(plist.size() - fromEnd, 8, bigEndian64(value));
}

// What the message of an exception says, or "none".
template<typename Call> QString thrown(Call call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("none");
}

} // namespace

// The keys and files of encrypted iPhone backups, and the property lists that hold them.
class TestBackupCrypto : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }

    // Published vectors pin the primitives, and with them the builder's own wrapping.
    void publishedVectors()
    {
        const SecretBytes password("password", 8);
        QCOMPARE(BackupCipher::pbkdf2Sha1(password, "salt", 2, 20).exposed().toHex(),
                 QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"));
        QCOMPARE(BackupCipher::pbkdf2Sha1(password, "salt", 4096, 20).exposed().toHex(),
                 QByteArray("4b007901b765489abead49d926f721d065a429c1"));
        QCOMPARE(BackupCipher::pbkdf2Sha256(SecretBytes("passwd", 6), "salt", 1, 64).exposed().toHex(),
                 QByteArray("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"));

        // RFC 3394 4.6: 256 bits of key data with a 256-bit key
        const QByteArray kek = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"
                                                   "101112131415161718191a1b1c1d1e1f");
        const QByteArray data = QByteArray::fromHex("00112233445566778899aabbccddeeff"
                                                    "000102030405060708090a0b0c0d0e0f");
        const QByteArray wrapped = QByteArray::fromHex("28c9f404c4b810f4cbccb35cfb87f826"
                                                       "3f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21");
        const SecretBytes key(kek.constData(), kek.size());
        QCOMPARE(BackupCipher::unwrap(key, wrapped).exposed(), data);
        QCOMPARE(EncryptedBackupBuilder::wrap(kek, data), wrapped);
        QByteArray tampered = wrapped;
        tampered[39] = char(tampered[39] ^ 1);
        QVERIFY(BackupCipher::unwrap(key, tampered).isEmpty());
        QVERIFY(BackupCipher::unwrap(key, wrapped.left(32)).isEmpty());
    }

    // Manifest.plist as the builder writes it gives the keybag and the manifest's key;
    // the right password opens them, and the manifest decrypts to its bytes.
    void rightPasswordOpensTheManifest()
    {
        const EncryptedBackupBuilder builder(QStringLiteral("contraseña 1"));
        const QVariantMap properties = PropertyList::read(builder.manifestProperties()).toMap();
        QCOMPARE(properties.value(QStringLiteral("IsEncrypted")), QVariant(true));
        QCOMPARE(properties.value(QStringLiteral("Date")).toDateTime(),
                 QDateTime(QDate(2024, 3, 1), QTime(9, 15), Qt::UTC));
        BackupKeybag keybag(properties.value(QStringLiteral("BackupKeyBag")).toByteArray());
        QCOMPARE(keybag.classes().size(), 11);
        QVERIFY(!keybag.isUnlocked());
        QList<qint64> estimates;
        keybag.unlock(
            SecretBytes::fromUtf8(QStringLiteral("contraseña 1")), [] { return false; },
            [&](qint64, qint64 estimated) { estimates.append(estimated); });
        QVERIFY(keybag.isUnlocked());
        QVERIFY(!estimates.isEmpty());
        const QByteArray manifestKey = properties.value(QStringLiteral("ManifestKey")).toByteArray();
        const SecretBytes key = keybag.unwrapKey(manifestKey);
        QCOMPARE(key.exposed(), builder.manifestPlainKey());

        QTemporaryDir dir;
        QByteArray database(8192, '\0');
        database.replace(0, 16, QByteArray("SQLite format 3", 16));
        database[8191] = 'z';
        const QString stored = dir.filePath(QStringLiteral("Manifest.db.stored"));
        QVERIFY(TestEnvironment::writeFile(stored, builder.encryptManifest(database)));
        const QString plain = dir.filePath(QStringLiteral("Manifest.db"));
        BackupCipher::decryptFile(key, stored, plain);
        QCOMPARE(TestEnvironment::readFile(plain), database);

        // a key of a class the keybag lacks, or of the wrong length, is no key
        QByteArray unknownClass = manifestKey;
        unknownClass[0] = char(99);
        QVERIFY(thrown([&] { keybag.unwrapKey(unknownClass); }).contains(QLatin1String("class 99")));
        QVERIFY(thrown([&] { keybag.unwrapKey(manifestKey.left(43)); }) != QLatin1String("none"));
    }

    void wrongPassword()
    {
        const EncryptedBackupBuilder builder(QStringLiteral("right"));
        BackupKeybag keybag(builder.keybag());
        QString message;
        try {
            keybag.unlock(SecretBytes::fromUtf8(QStringLiteral("wrong")));
        } catch (const WrongBackupPassword& e) {
            message = QString::fromUtf8(e.what());
        }
        QCOMPARE(message, text("IDS_IPHONE_BACKUP_WRONG_PASSWORD"));
        QVERIFY(message.startsWith(QLatin1String("This password")));
        QVERIFY(!keybag.isUnlocked());
        QVERIFY(thrown([&] { keybag.unwrapKey(builder.manifestKey()); }) != QLatin1String("none"));
    }

    // PBKDF2 cannot stop midway: a cancel ends the wait at once, the derivation runs out
    // on its thread.
    void cancelDuringDerivation()
    {
        const EncryptedBackupBuilder builder(QStringLiteral("right"));
        BackupKeybag keybag(EncryptedBackupBuilder::withHeaderValue(
            builder.keybag(), "DPIC", EncryptedBackupBuilder::bigEndian(2'000'000)));
        QCOMPARE(keybag.passwordIterations(), qint64(2'000'000));
        qint64 estimated = 0;
        QElapsedTimer timer;
        timer.start();
        bool cancelled = false;
        try {
            keybag.unlock(
                SecretBytes::fromUtf8(QStringLiteral("right")), [&] { return estimated > 0; },
                [&](qint64, qint64 estimate) { estimated = estimate; });
        } catch (const OperationCancelled&) {
            cancelled = true;
        }
        const qint64 took = timer.elapsed();
        QVERIFY(cancelled);
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        // the estimate says the derivation had much longer to go
        QVERIFY2(estimated > took, qPrintable(QStringLiteral("%1 %2").arg(estimated).arg(took)));
        QVERIFY(!keybag.isUnlocked());
    }

    void damagedKeybag_data()
    {
        QTest::addColumn<QByteArray>("keybag");
        const QByteArray good = EncryptedBackupBuilder(QStringLiteral("p")).keybag();
        const auto tlv = EncryptedBackupBuilder::tlv;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut inside a value") << good.left(good.size() - 3);
        QTest::newRow("cut inside a tag") << good + QByteArray("CLA");
        QByteArray beyond = good;
        beyond.replace(4, 4, QByteArray::fromHex("ffffffff"));
        QTest::newRow("length beyond the end") << beyond;
        QTest::newRow("key of 39 bytes")
            << good + tlv("UUID", QByteArray(16, 'u')) + tlv("CLAS", EncryptedBackupBuilder::bigEndian(12)) +
                   tlv("WRAP", EncryptedBackupBuilder::bigEndian(2)) + tlv("WPKY", QByteArray(39, 'k'));
        QTest::newRow("a class twice")
            << good + tlv("UUID", QByteArray(16, 'u')) + tlv("CLAS", EncryptedBackupBuilder::bigEndian(1)) +
                   tlv("WRAP", EncryptedBackupBuilder::bigEndian(2)) + tlv("WPKY", QByteArray(40, 'k'));
        QTest::newRow("no salt") << EncryptedBackupBuilder::withHeaderValue(good, "SALT", QByteArray());
        QTest::newRow("a billion iterations") << EncryptedBackupBuilder::withHeaderValue(
            good, "DPIC", EncryptedBackupBuilder::bigEndian(1'000'000'000));
        QTest::newRow("an integer of nine bytes")
            << EncryptedBackupBuilder::withHeaderValue(good, "ITER", QByteArray(9, '\1'));
        QTest::newRow("header only") << good.left(good.indexOf("UUID", 20));
    }

    void damagedKeybag()
    {
        QFETCH(QByteArray, keybag);
        QCOMPARE(thrown([&] { BackupKeybag{keybag}; }), text("IDS_IPHONE_BACKUP_KEYBAG_DAMAGED"));
    }

    // A file of more than one read chunk, with a path beyond ASCII, through its MBFile
    // record and its own key; a record whose size the stored file cannot hold is refused
    // and leaves nothing behind.
    void fileRoundTrip()
    {
        const EncryptedBackupBuilder builder(QStringLiteral("right"));
        BackupKeybag keybag(builder.keybag());
        keybag.unlock(SecretBytes::fromUtf8(QStringLiteral("right")));
        QByteArray plain(1024 * 1024 + 3000, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(plain.data()), plain.size() / 4);
        const QString path = QStringLiteral("Documents/Attachments/Ñandú ✓.jpg");
        const EncryptedBackupBuilder::StoredFile file = builder.encryptFile(plain, path);

        const std::optional<BackupFileRecord> record = BackupFileRecord::fromArchive(file.record);
        QVERIFY(record);
        QCOMPARE(record->size, qint64(plain.size()));
        QCOMPARE(record->protectionClass, EncryptedBackupBuilder::FileClass);
        QCOMPARE(record->relativePath, path);
        QCOMPARE(record->encryptionKey.size(), 44);
        const SecretBytes key = keybag.unwrapKey(record->encryptionKey);

        QTemporaryDir dir;
        const QString stored = dir.filePath(QStringLiteral("stored"));
        QVERIFY(TestEnvironment::writeFile(stored, file.encrypted));
        const QString out = dir.filePath(QStringLiteral("out"));
        BackupCipher::decryptFile(key, stored, out, record->size);
        QCOMPARE(TestEnvironment::readFile(out), plain);
        // owner, group and others: 0600
        QCOMPARE(int(QFile::permissions(out)) & 0x7077,
                 int(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        // the output is never written over
        QVERIFY(thrown([&] { BackupCipher::decryptFile(key, stored, out, record->size); }) !=
                QLatin1String("none"));

        for (const qint64 size : {plain.size() + 16, plain.size() - 40, plain.size() - 1}) {
            const QString refused = dir.filePath(QStringLiteral("refused"));
            QVERIFY2(thrown([&] { BackupCipher::decryptFile(key, stored, refused, size); }).contains(stored),
                     qPrintable(QString::number(size)));
            QVERIFY(!QFileInfo::exists(refused));
        }
    }

    // Bytes Python's plistlib wrote: every kind of value, integers of one to eight bytes.
    void binaryPropertyList()
    {
        const QByteArray bytes = QByteArray::fromHex(
            "62706c6973743030dd0102030405060708090a0b0c0d0e0f1011121318191a1b1c1d1e55617363696953626967546461"
            "7461"
            "546461746554666c6167546c697374586e65676174697665536f6666547265616c55736d616c6c537569645575746631"
            "3654"
            "7769646555566962657213000000012a05f200440001feff3341c50a721400000009a314151610015374776fa1171003"
            "1"
            "3fffffffffffffffe082340040000000000001007800367004c0075006300ed00610020271312000111700823292d323"
            "7"
            "3c414a4e53595d63686e777c85868a8c9092949d9ea7a9abba0000000000000101000000000000001f00000000000000"
            "0000000000000000bf");
        const QVariantMap expected{
            {QStringLiteral("ascii"), QStringLiteral("Viber")},
            {QStringLiteral("utf16"), QStringLiteral("Lucía ✓")},
            {QStringLiteral("small"), qint64(7)},
            {QStringLiteral("wide"), qint64(70000)},
            {QStringLiteral("big"), qint64(5000000000)},
            {QStringLiteral("negative"), qint64(-2)},
            {QStringLiteral("real"), 2.5},
            {QStringLiteral("flag"), true},
            {QStringLiteral("off"), false},
            {QStringLiteral("data"), QByteArray::fromHex("0001feff")},
            {QStringLiteral("date"), QDateTime(QDate(2023, 5, 17), QTime(10, 30), Qt::UTC)},
            {QStringLiteral("list"), QVariantList{qint64(1), QStringLiteral("two"), QVariantList{qint64(3)}}},
            {QStringLiteral("uid"), PropertyList::makeUid(3)},
        };
        QCOMPARE(PropertyList::read(bytes).toMap(), expected);
        QCOMPARE(PropertyList::read(EncryptedBackupBuilder::binaryPropertyList(expected)).toMap(), expected);
        QCOMPARE(PropertyList::uid(expected.value(QStringLiteral("uid"))), qint64(3));
    }

    void xmlPropertyList()
    {
        const QByteArray keybag("VERS\0\0\0\4\0\0\0\3TYPE\0\0\0\4\0\0\0\1", 24);
        const QByteArray base64 = keybag.toBase64();
        const QByteArray xml =
            QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                              "<plist version=\"1.0\">\n<dict>\n"
                              "\t<key>BackupKeyBag</key>\n\t<data>\n\t") +
            base64.left(12) + "\n\t" + base64.mid(12) +
            QByteArrayLiteral("\n\t</data>\n"
                              "\t<key>Date</key>\n\t<date>2024-03-01T09:15:00Z</date>\n"
                              "\t<key>IsEncrypted</key>\n\t<true/>\n"
                              "\t<key>Lockdown</key>\n\t<dict>\n"
                              "\t\t<key>ProductVersion</key>\n\t\t<string>17.3 &amp; más</string>\n"
                              "\t\t<key>Sizes</key>\n\t\t<array><integer>-3</integer>"
                              "<real>0.5</real><array/></array>\n\t</dict>\n"
                              "\t<key>WasPasscodeSet</key>\n\t<false/>\n"
                              "</dict>\n</plist>\n");
        const QVariantMap expected{
            {QStringLiteral("BackupKeyBag"), keybag},
            {QStringLiteral("Date"), QDateTime(QDate(2024, 3, 1), QTime(9, 15), Qt::UTC)},
            {QStringLiteral("IsEncrypted"), true},
            {QStringLiteral("Lockdown"),
             QVariantMap{{QStringLiteral("ProductVersion"), QStringLiteral("17.3 & más")},
                         {QStringLiteral("Sizes"), QVariantList{qint64(-3), 0.5, QVariantList()}}}},
            {QStringLiteral("WasPasscodeSet"), false},
        };
        QCOMPARE(PropertyList::read(xml).toMap(), expected);
    }

    // An archive whose objects refer to themselves, to "$null" and past their end.
    void keyedArchiveLookups()
    {
        const auto uid = PropertyList::makeUid;
        const QVariantMap self{{QStringLiteral("self"), uid(1)},
                               {QStringLiteral("none"), uid(0)},
                               {QStringLiteral("far"), uid(9)}};
        const QByteArray bytes = EncryptedBackupBuilder::binaryPropertyList(
            QVariantMap{{QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), uid(1)}}},
                        {QStringLiteral("$objects"), QVariantList{QStringLiteral("$null"), self}}});
        const KeyedArchive archive = KeyedArchive::fromBytes(bytes);
        QVERIFY(archive.isValid());
        QCOMPARE(archive.member(archive.top(), QStringLiteral("self")), QVariant(self));
        QVERIFY(!archive.member(archive.top(), QStringLiteral("none")).isValid());
        QVERIFY(!archive.member(archive.top(), QStringLiteral("far")).isValid());
        QVERIFY(!BackupFileRecord::fromArchive(bytes));
        QVERIFY(!KeyedArchive::fromBytes("bplist00").isValid());
    }

    void malformedPropertyList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray dict = framed({"\xd1\x01\x02", "\x51x", "\x09"});
        QVERIFY(PropertyList::read(dict).isValid());
        QTest::newRow("reference past the objects") << framed({QByteArray("\xa1\x05", 2)});
        QByteArray offsetOut = dict;
        offsetOut[offsetOut.size() - 32 - 2] = char(0xf0);
        QTest::newRow("offset past the objects") << offsetOut;
        QTest::newRow("array holding itself") << framed({QByteArray("\xa1\x00", 2)});
        QTest::newRow("arrays holding each other")
            << framed({QByteArray("\xa1\x01", 2), QByteArray("\xa1\x00", 2)});
        QTest::newRow("four billion elements") << framed({QByteArray("\xaf\x12\xff\xff\xff\xff\x00", 7)});
        QTest::newRow("string past the end") << framed({QByteArray("\x5f\x10\xff", 3)});
        QTest::newRow("UTF-16 past the end") << framed({QByteArray("\x6f\x13\x40\0\0\0\0\0\0\0", 10)});
        QTest::newRow("key that is no string") << framed({"\xd1\x01\x02", "\x10\x01", "\x09"});
        QTest::newRow("integer of 16 bytes") << framed({QByteArray("\x14", 1) + QByteArray(16, '\1')});
        QTest::newRow("object count beyond the file") << withTrailer(dict, 24, quint64(1) << 40);
        QTest::newRow("top beyond the objects") << withTrailer(dict, 16, 3);
        QTest::newRow("table beyond the file") << withTrailer(dict, 8, quint64(-1));
        QByteArray noRefs = dict;
        noRefs[noRefs.size() - 25] = '\0';
        QTest::newRow("references of no bytes") << noRefs;
        QTest::newRow("cut") << dict.left(dict.size() - 1);
        QList<QByteArray> deep;
        for (int i = 0; i < 100; ++i)
            deep.append(QByteArray("\xa1", 1) + char(i + 1));
        deep.append("\xa0");
        QTest::newRow("deeper than allowed") << framed(deep);

        QTest::newRow("XML key without value") << QByteArray("<plist><dict><key>a</key></dict></plist>");
        QTest::newRow("XML unknown element") << QByteArray("<plist><dict><key>a</key><foo/></dict></plist>");
        QTest::newRow("XML bad base64") << QByteArray("<plist><data>@@@@</data></plist>");
        QTest::newRow("XML integer that is none") << QByteArray("<plist><integer>12x</integer></plist>");
        QTest::newRow("XML two values") << QByteArray("<plist><true/><false/></plist>");
        QTest::newRow("XML unclosed") << QByteArray("<plist><array><string>a</string>");
        QTest::newRow("XML entity bomb") << QByteArray(
            "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
            "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
            "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
            "<plist><string>&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;</string></plist>");
        QTest::newRow("XML deeper than allowed") << QByteArray("<plist>") +
                                                        QByteArray("<array>").repeated(100) +
                                                        QByteArray("</array>").repeated(100) + "</plist>";
        QTest::newRow("neither") << QByteArray("bplist0");
    }

    void malformedPropertyList()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!PropertyList::read(bytes).isValid());
        QVERIFY(!BackupFileRecord::fromArchive(bytes));
    }

    // Arrays that each hold the next twice: read once each, not 2^40 times.
    void sharedObjectsReadOnce()
    {
        QList<QByteArray> chain;
        for (int i = 0; i < 40; ++i)
            chain.append(QByteArray("\xa2", 1) + char(i + 1) + char(i + 1));
        chain.append("\x09");
        QVERIFY(PropertyList::read(framed(chain)).isValid());
    }
};

QTEST_GUILESS_MAIN(TestBackupCrypto)
#include "tst_backupcrypto.moc"
