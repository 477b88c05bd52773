#include "app/BinaryIO.h"
#include "app/BlobCodec.h"

#include <QBuffer>
#include <QDateTime>
#include <QRandomGenerator>
#include <QTest>

#include <limits>

namespace {

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xff);
    return b;
}

QByteArray str(const QByteArray& utf8)
{
    return le32(qint32(utf8.size())) + utf8;
}

// Accepts only the first `limit` bytes, as a full disk would.
class ShortDevice : public QBuffer
{
public:
    explicit ShortDevice(qint64 limit) : m_limit(limit) {}

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        const qint64 room = qMax<qint64>(0, m_limit - size());
        return QBuffer::writeData(data, qMin(len, room));
    }

private:
    qint64 m_limit;
};

} // namespace

class TestBlobCodec : public QObject
{
    Q_OBJECT

private slots:
    void zOptIsTwentyBytes()
    {
        const QByteArray blob = BlobCodec::encodeMap({{QStringLiteral("Z_OPT"), 3}});
        QCOMPARE(blob, QByteArray("tinykv") + str("Z_OPT") + 'i' + le32(3));
        QCOMPARE(blob.size(), 20);
    }

    void emptyMapIsMagicAlone()
    {
        QCOMPARE(BlobCodec::encodeMap({}), QByteArray("tinykv"));
        QVERIFY(BlobCodec::decodeMap(QByteArray("tinykv")).isEmpty());
    }

    void roundTripKeepsTypes()
    {
        QVariantMap map;
        map.insert(QStringLiteral("ZCONTEXT"), QVariant(qlonglong(1LL << 40)));
        map.insert(QStringLiteral("unsigned64"), QVariant(qulonglong(5)));
        map.insert(QStringLiteral("flag"), true);
        map.insert(QStringLiteral("ratio"), 0.25);
        map.insert(QStringLiteral("text"), QStringLiteral("Grüße, 世界"));
        map.insert(QStringLiteral("bytes"), QByteArray("\x00\x01", 2));
        map.insert(QStringLiteral("when"), QDateTime::currentDateTime());
        map.insert(QStringLiteral("list"), QStringList{QStringLiteral("a")});
        map.insert(QStringLiteral("null"), QVariant());
        const QVariantMap back = BlobCodec::decodeMap(BlobCodec::encodeMap(map));
        QCOMPARE(back.size(), map.size());
        QCOMPARE(back.value(QStringLiteral("ZCONTEXT")).typeId(), int(QMetaType::LongLong));
        QCOMPARE(back.value(QStringLiteral("ZCONTEXT")).toLongLong(), 1LL << 40);
        QCOMPARE(back.value(QStringLiteral("unsigned64")).typeId(), int(QMetaType::LongLong));
        QCOMPARE(back.value(QStringLiteral("flag")).typeId(), int(QMetaType::Int));
        QCOMPARE(back.value(QStringLiteral("flag")).toInt(), 1);
        QCOMPARE(back.value(QStringLiteral("ratio")).toDouble(), 0.25);
        QCOMPARE(back.value(QStringLiteral("text")).toString(), QStringLiteral("Grüße, 世界"));
        QCOMPARE(back.value(QStringLiteral("bytes")).toByteArray(), QByteArray("\x00\x01", 2));
        // dates and lists are not kept: they come back as invalid variants
        QVERIFY(!back.value(QStringLiteral("when")).isValid());
        QVERIFY(!back.value(QStringLiteral("list")).isValid());
        QVERIFY(back.contains(QStringLiteral("null")));
        QVERIFY(!back.value(QStringLiteral("null")).isValid());
    }

    void int64Tag()
    {
        const QByteArray blob = BlobCodec::encodeMap({{QStringLiteral("k"), QVariant(qlonglong(-2))}});
        QCOMPARE(blob, QByteArray("tinykv") + str("k") + 'l' + QByteArray(8, '\xff').replace(0, 1, "\xfe"));
    }

    void brokenBlobs_data()
    {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<int>("entries"); // -1: must decode to nothing at all
        const QByteArray head = QByteArray("tinykv");
        const QByteArray one = str("a") + 'i' + le32(1);
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("short magic") << QByteArray("tiny") << 0;
        QTest::newRow("wrong magic") << (QByteArray("tinykw") + one) << 0;
        QTest::newRow("truncated value") << (head + one + str("b") + 'i' + QByteArray(2, '\0')) << 0;
        QTest::newRow("tag only") << (head + one + str("b") + 'd') << 0;
        QTest::newRow("unknown tag") << (head + one + str("b") + 'x' + le32(1)) << 0;
        QTest::newRow("1 stray byte") << (head + one + QByteArray(1, '\x01')) << 1;
        QTest::newRow("3 stray bytes") << (head + one + QByteArray(3, '\x01')) << 1;
        QTest::newRow("key longer than data") << (head + one + le32(1000) + "ab") << 1;
        QTest::newRow("string length beyond data") << (head + str("s") + 's' + le32(0x7fffffff) + "abc") << 0;
        QTest::newRow("negative string length") << (head + str("s") + 's' + le32(-5) + "abc") << 0;
        QTest::newRow("negative blob length") << (head + str("v") + 'v' + le32(-1)) << 0;
        QTest::newRow("null tag mid blob") << (head + str("n") + 'n' + one) << 2;
    }

    void brokenBlobs()
    {
        QFETCH(QByteArray, blob);
        QFETCH(int, entries);
        QCOMPARE(BlobCodec::decodeMap(blob).size(), entries);
    }

    void laterDuplicateKeyWins()
    {
        const QByteArray blob = QByteArray("tinykv") + str("k") + 'i' + le32(1) + str("k") + 'i' + le32(2);
        QCOMPARE(BlobCodec::decodeMap(blob).value(QStringLiteral("k")).toInt(), 2);
    }

    // Writers report a device that takes fewer bytes instead of leaving a cut blob.
    void shortWritesFail()
    {
        const QVariantMap map{{QStringLiteral("key"), QStringLiteral("value")}};
        const int full = int(BlobCodec::encodeMap(map).size());
        for (int limit = 0; limit < full; ++limit) {
            ShortDevice device(limit);
            device.open(QIODevice::WriteOnly);
            QVERIFY2(!BlobCodec::writeMap(device, map), qPrintable(QString::number(limit)));
        }
        ShortDevice enough(full);
        enough.open(QIODevice::WriteOnly);
        QVERIFY(BlobCodec::writeMap(enough, map));
    }

    // The held form of a blob stores back to exactly its bytes: blobs of known and other
    // keys, extreme numbers, texts with and without the usual media folders before them
    // (invalid UTF-8 included), and blobs that cannot be shortened.
    void heldFormStoresBackExactly()
    {
        QRandomGenerator random(20261209);
        const QList<QByteArray> keys = {"status",       "extra_status", "message_global_id", "body",
                                        "extra_uri",    "Z_OPT",        "custom_key",        "",
                                        "st\xc3\xa4tus"};
        const QList<QByteArray> texts = {"",
                                         "ok",
                                         "file:///storage/emulated/0/viber/media/Viber%20Images/IMG-1.jpg",
                                         "/storage/emulated/0/viber/media/.thumbnails/a.jpg",
                                         "file:///storage/emulated/0/viber/media/Viber%20Videos/",
                                         "file:///",
                                         "/storage/emulated/0/",
                                         "file:///storage/emulated/0/viber/media/",
                                         "/storage/emulated/1/x",
                                         "\xff\xfe broken \xc3"};
        const QList<qint64> numbers = {0,
                                       1,
                                       -1,
                                       127,
                                       128,
                                       -129,
                                       std::numeric_limits<qint32>::max(),
                                       std::numeric_limits<qint32>::min(),
                                       std::numeric_limits<qint64>::max(),
                                       std::numeric_limits<qint64>::min()};
        for (int round = 0; round < 2000; ++round) {
            QByteArray blob = "tinykv";
            const int entries = int(random.bounded(6));
            for (int e = 0; e < entries; ++e) {
                blob += str(keys.at(random.bounded(keys.size())));
                const qint64 number = numbers.at(random.bounded(numbers.size()));
                switch (random.bounded(3)) {
                case 0:
                    blob += 'i' + le32(qint32(number));
                    break;
                case 1:
                    blob += 'l' + le32(qint32(number)) + le32(qint32(number >> 32));
                    break;
                default:
                    blob += 's' + str(texts.at(random.bounded(texts.size())));
                }
            }
            const QByteArray held = BlobCodec::held(blob);
            QCOMPARE(BlobCodec::stored(held), blob);
            QCOMPARE(BlobCodec::decodeMap(held), BlobCodec::decodeMap(blob));
        }

        // what an Android message row keeps is held in far fewer bytes
        const QByteArray android = BlobCodec::encodeMap({{QStringLiteral("extra_status"), 3},
                                                         {QStringLiteral("message_global_id"), 5123456},
                                                         {QStringLiteral("status"), 2}});
        QCOMPARE(android.size(), 68);
        QVERIFY(BlobCodec::held(android).size() < 20);

        // bytes that are no blob of numbers and texts are held as they are, even those
        // that begin like a held blob
        const QList<QByteArray> others = {QByteArray(),
                                          QByteArray("tinykv"),
                                          BlobCodec::encodeMap({{QStringLiteral("d"), 2.5}}),
                                          QByteArray("tinykv") + str("k"), // a key without a value
                                          QByteArray("tinykv") + str("k") + 'i' + "\x01",
                                          QByteArray("\xff\x01\x0d"
                                                     "i\x04"),
                                          QByteArray("\xff\xff"),
                                          QByteArray("\xff"),
                                          QByteArray("random bytes")};
        for (const QByteArray& bytes : others) {
            QCOMPARE(BlobCodec::stored(BlobCodec::held(bytes)), bytes);
            // stored bytes that begin with the marker are no blob of ours
            QCOMPARE(BlobCodec::decodeMap(BlobCodec::held(bytes)),
                     bytes.startsWith('\xff') ? QVariantMap() : BlobCodec::decodeMap(bytes));
        }
    }

    void primitivesAreLittleEndian()
    {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        QVERIFY(BinaryIO::writeInt32(buffer, 0x01020304));
        QVERIFY(BinaryIO::writeInt64(buffer, 0x0102030405060708LL));
        QVERIFY(BinaryIO::writeDouble(buffer, 1.0));
        QCOMPARE(buffer.data().toHex(), QByteArray("04030201"
                                                   "0807060504030201"
                                                   "000000000000f03f"));
        buffer.seek(0);
        qint32 i = 0;
        qint64 l = 0;
        double d = 0;
        QVERIFY(BinaryIO::readInt32(buffer, i) && BinaryIO::readInt64(buffer, l) &&
                BinaryIO::readDouble(buffer, d));
        QCOMPARE(i, 0x01020304);
        QCOMPARE(l, 0x0102030405060708LL);
        QCOMPARE(d, 1.0);
        quint8 b = 0;
        QVERIFY(!BinaryIO::readByte(buffer, b));
    }
};

QTEST_GUILESS_MAIN(TestBlobCodec)
#include "tst_blobcodec.moc"
