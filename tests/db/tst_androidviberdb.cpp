#include "app/BlobCodec.h"
#include "app/Sqlite3Error.h"
#include "db/AndroidViberDb.h"
#include "db/CoordinateScale.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

qint64 countRows(const QString& path, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadWrite);
    db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    return c.moveNext() ? c.getInt64(0) : -1;
}

// Calls of a group chat made by the owner: the row's sender is the owner, who is no
// person, so the call is named by the number Viber recorded for it.
const QString GroupCallRows = QStringLiteral(
    "INSERT INTO messages (_id, address, date, type, body, token, extra_mime, extra_duration, group_id, "
    "conversation_id, conversation_type, participant_id, date_real) VALUES "
    "(26, '+491704444444', 1400000026000, 1, 'outgoing_call', 5012345678901234026, 'call', 7, 5555123456789, "
    "2, 1, 3, 1400000026000),"
    "(27, '', 1400000027000, 0, 'incoming_call', 5012345678901234027, 'call', 8, 5555123456789, 2, 1, 3, "
    "1400000027000),"
    "(28, '', 1400000028000, 0, 'missed_call', 5012345678901234028, 'call', 0, 5555123456789, 2, 1, 3, "
    "1400000028000);"
    "INSERT INTO messages_calls (conversation_id, message_id, canonized_number, date, duration, type, token) "
    "VALUES (2, 26, '491704444444', 1400000026000, 7, 2, 5012345678901234026),"
    "(2, 28, '491703333333', 1400000028000, 0, 3, 5012345678901234028);");

// The records of one load as text, in an order that depends on nothing but the rows.
QString describeLoad(const QString& extractRoot)
{
    AndroidViberDb db(QStringLiteral("/storage/emulated/0"), extractRoot);
    const ViberDataSetPtr data = db.load();
    QList<_ViberMsg*> messages = data->allMessages();
    std::sort(messages.begin(), messages.end(),
              [](const _ViberMsg* a, const _ViberMsg* b) { return a->id < b->id; });
    QStringList lines;
    for (const _ViberMsg* m : std::as_const(messages))
        lines << QStringLiteral("%1 chat=%2 sender=%3 type=%4 call=%5 text=%6")
                     .arg(m->id)
                     .arg(m->chat ? m->chat->id : 0)
                     .arg(m->sender ? m->sender->id : 0)
                     .arg(m->type)
                     .arg(m->call && m->call->person ? m->call->person->id : 0)
                     .arg(m->text);
    return lines.join(QLatin1Char('\n'));
}

bool isInside(const QString& path, const QString& folder)
{
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(folder + QLatin1Char('/')) &&
           !clean.mid(folder.size() + 1).contains(QLatin1Char('/'));
}

} // namespace

class TestAndroidViberDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void chats_data();
    void chats();
    void participantsSkipOwnerAndUnknownChats();
    void messageKinds_data();
    void messageKinds();
    void rowsThatDoNotFitAreSkipped_data();
    void rowsThatDoNotFitAreSkipped();
    void coordinateScale_data();
    void coordinateScale();
    void locationMessage();
    void pictures_data();
    void pictures();
    void videoVoiceAndSticker();
    void calls();
    void groupCallsNameTheNumberViberRecorded();
    void loadsAgreeAcrossProcesses();
    void extraMapFollowsTheCodec();
    void loadRestoresThePageCache();
    void thumbnailColumns_data();
    void thumbnailColumns();
    void deletedRowsLeaveOnlyTheWorkingCopy();
    void manyMarkedRowsAreAllRemoved();
    void localizedCollation();
    void namesFromRowsStayInTheirFolders_data();
    void namesFromRowsStayInTheirFolders();
    void damagedFilesThrow_data();
    void damagedFilesThrow();
    void olderGenerationLoadsWhatItCan();
    void paths();

private:
    std::unique_ptr<AndroidFixture> m_fixture;
    std::unique_ptr<AndroidViberDb> m_db;
    ViberDataSetPtr m_data;
};

void TestAndroidViberDb::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    m_fixture = std::make_unique<AndroidFixture>();
    m_db = std::make_unique<AndroidViberDb>(m_fixture->deviceRoot(), m_fixture->extractRoot());
    m_data = m_db->load();
}

void TestAndroidViberDb::chats_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("groupId");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("dateMs");
    QTest::newRow("one-to-one, group_id 0") << qint64(1) << QString() << QString() << qint64(1400000025000);
    QTest::newRow("group") << qint64(2) << QStringLiteral("5555123456789") << QStringLiteral("Family")
                           << qint64(1400000022000);
    QTest::newRow("one-to-one, group_id NULL")
        << qint64(3) << QString() << QString() << qint64(1400000011000);
}

void TestAndroidViberDb::chats()
{
    QFETCH(qint64, id);
    QFETCH(QString, groupId);
    QFETCH(QString, name);
    QFETCH(qint64, dateMs);
    const _ViberChat* chat = m_data->chats.value(id);
    QVERIFY(chat);
    QCOMPARE(chat->groupId, groupId);
    QCOMPARE(chat->isGroup(), !groupId.isEmpty());
    QCOMPARE(chat->name, name);
    QCOMPARE(chat->date, ViberDates::unixMsToRef(dateMs));
    // 4 was marked deleted by the app
    QCOMPARE(m_data->chats.size(), 5);
    QVERIFY(!m_data->chats.contains(4));
}

void TestAndroidViberDb::participantsSkipOwnerAndUnknownChats()
{
    // the owner (participants_info 1, participant_type 0) is never a person
    QCOMPARE(m_data->persons.size(), 4);
    QVERIFY(!m_data->persons.contains(1));
    QCOMPARE(m_data->chats.value(1)->participants.keys(), QList<qint64>{2});
    QList<qint64> family = m_data->chats.value(2)->participants.keys();
    std::sort(family.begin(), family.end());
    QCOMPARE(family, (QList<qint64>{2, 3, 4}));
    const _ViberPerson* ben = m_data->persons.value(3);
    QCOMPARE(ben->number, QStringLiteral("+49 170 3333333"));
    QCOMPARE(ben->name, QStringLiteral("Ben Kurz"));
    QCOMPARE(ben->photoPath, m_db->mediaDir() + QStringLiteral("/User photos/491703333333.jpg"));
    QCOMPARE(m_data->persons.value(2)->avatarRef,
             QStringLiteral("content://com.viber.voip.provider.vibercontacts/photo/2"));
}

void TestAndroidViberDb::messageKinds_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("systemType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("senderId");
    QTest::addColumn<qint64>("chatId");

    QTest::newRow("text in") << qint64(1) << int(ViberMsgType::Text) << int(ViberStatus::Received) << 0
                             << QStringLiteral("Hallo \U0001F600, wie geht's?") << qint64(2) << qint64(1);
    QTest::newRow("text out, owner is no sender")
        << qint64(2) << int(ViberMsgType::Text) << int(ViberStatus::Delivered) << 0
        << QStringLiteral("Gut, danke!") << qint64(0) << qint64(1);
    QTest::newRow("image with description")
        << qint64(3) << int(ViberMsgType::Picture) << int(ViberStatus::Received) << 0
        << QStringLiteral("Am Strand") << qint64(2) << qint64(1);
    QTest::newRow("location") << qint64(4) << int(ViberMsgType::Location) << int(ViberStatus::Delivered) << 0
                              << QString() << qint64(0) << qint64(1);
    QTest::newRow("voice") << qint64(6) << int(ViberMsgType::Voice) << int(ViberStatus::Received) << 0
                           << QString() << qint64(2) << qint64(1);
    QTest::newRow("sticker") << qint64(7) << int(ViberMsgType::Sticker) << int(ViberStatus::Delivered) << 0
                             << QString() << qint64(0) << qint64(1);
    QTest::newRow("video") << qint64(8) << int(ViberMsgType::Video) << int(ViberStatus::Received) << 0
                           << QString() << qint64(2) << qint64(1);
    QTest::newRow("call") << qint64(9) << int(ViberMsgType::Call) << int(ViberStatus::Received) << 0
                          << QString() << qint64(2) << qint64(1);
    QTest::newRow("group rename keeps the new name")
        << qint64(12) << int(ViberMsgType::System) << int(ViberStatus::Sent)
        << int(ViberSystemType::NameChanged) << QStringLiteral("Family") << qint64(2) << qint64(2);
    QTest::newRow("member added") << qint64(13) << int(ViberMsgType::System) << int(ViberStatus::Sent)
                                  << int(ViberSystemType::MemberAdded) << QStringLiteral("Ben Kurz")
                                  << qint64(3) << qint64(2);
    QTest::newRow("group text") << qint64(15) << int(ViberMsgType::Text) << int(ViberStatus::Received) << 0
                                << QStringLiteral("Servus zusammen") << qint64(3) << qint64(2);
    QTest::newRow("participant row missing")
        << qint64(20) << int(ViberMsgType::Text) << int(ViberStatus::Received) << 0
        << QStringLiteral("Ohne Absender") << qint64(0) << qint64(5);
}

void TestAndroidViberDb::messageKinds()
{
    QFETCH(qint64, id);
    QFETCH(int, type);
    QFETCH(int, status);
    QFETCH(int, systemType);
    QFETCH(QString, text);
    QFETCH(qint64, senderId);
    QFETCH(qint64, chatId);
    const _ViberMsg* msg = m_data->messages.value(id);
    QVERIFY(msg);
    QCOMPARE(msg->type, type);
    QCOMPARE(msg->status, status);
    QCOMPARE(msg->systemType, systemType);
    QCOMPARE(msg->text, text);
    QCOMPARE(msg->sender ? msg->sender->id : 0, senderId);
    QVERIFY(msg->chat);
    QCOMPARE(msg->chat->id, chatId);
    QVERIFY(msg->chat->messages.contains(const_cast<_ViberMsg*>(msg)));
    QCOMPARE(msg->date, ViberDates::unixMsToRef(1400000000000 + id * 1000));
    QCOMPARE(msg->stateDate, ViberDates::unixMsToRef(1400000000000 + id * 1000 + 1500));
    const bool hasAttachment = type == ViberMsgType::Picture || type == ViberMsgType::Location ||
                               type == ViberMsgType::Voice || type == ViberMsgType::Sticker ||
                               type == ViberMsgType::Video;
    QCOMPARE(msg->attachment != nullptr, hasAttachment);
    if (hasAttachment) {
        QCOMPARE(msg->attachment->message, msg);
        QCOMPARE(msg->attachment->id, id);
    }
    QCOMPARE(msg->call != nullptr, type == ViberMsgType::Call);
}

void TestAndroidViberDb::rowsThatDoNotFitAreSkipped_data()
{
    QTest::addColumn<qint64>("id");
    QTest::newRow("call body not known") << qint64(11);
    QTest::newRow("notice of another kind") << qint64(14);
    QTest::newRow("empty notice") << qint64(22);
    QTest::newRow("conversation unknown") << qint64(16);
    QTest::newRow("message marked deleted") << qint64(17);
    QTest::newRow("conversation marked deleted") << qint64(18);
    QTest::newRow("extra_mime not known") << qint64(19);
}

void TestAndroidViberDb::rowsThatDoNotFitAreSkipped()
{
    QFETCH(qint64, id);
    QVERIFY(!m_data->messages.contains(id));
    QVERIFY(!m_data->attachments.contains(id));
    QVERIFY(!m_data->calls.contains(id));
    for (const _ViberChat* chat : m_data->chats) {
        for (const _ViberMsg* msg : chat->messages)
            QVERIFY(msg->id != id);
    }
}

void TestAndroidViberDb::coordinateScale_data()
{
    QTest::addColumn<QList<qint64>>("extremes"); // min and max latitude, min and max longitude
    QTest::addColumn<double>("factor");
    QTest::addColumn<qint64>("storedLatitude");
    QTest::addColumn<qint64>("storedLongitude");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    const qint64 smallest = std::numeric_limits<qint64>::min();
    QTest::newRow("microdegrees, south and near Greenwich")
        << QList<qint64>{-3123456, 31234567, 45, 121456789} << 1e6 << qint64(-3123456) << qint64(45)
        << -3.123456 << 0.000045;
    QTest::newRow("latitude beyond 90 million")
        << QList<qint64>{0, 312345670, 0, 1214567890} << 1e7 << qint64(312345670) << qint64(-1214567890)
        << 31.234567 << -121.456789;
    QTest::newRow("western longitude beyond 180 million")
        << QList<qint64>{-5000000, 5000000, -1214567890, 0} << 1e7 << qint64(5000000) << qint64(-1214567890)
        << 0.5 << -121.456789;
    QTest::newRow("no locations") << QList<qint64>{0, 0, 0, 0} << 1e6 << qint64(31234567) << qint64(121456789)
                                  << 31.234567 << 121.456789;
    QTest::newRow("beyond the poles and the date line")
        << QList<qint64>{0, 312345670, 0, 1214567890} << 1e7 << qint64(900000001) << qint64(-1800000001)
        << 0.0 << 0.0;
    QTest::newRow("smallest integer")
        << QList<qint64>{smallest, 0, 0, smallest} << 1e7 << smallest << smallest << 0.0 << 0.0;
}

void TestAndroidViberDb::coordinateScale()
{
    QFETCH(QList<qint64>, extremes);
    QFETCH(double, factor);
    QFETCH(qint64, storedLatitude);
    QFETCH(qint64, storedLongitude);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    const CoordinateScale scale =
        CoordinateScale::fromExtremes(extremes.at(0), extremes.at(1), extremes.at(2), extremes.at(3));
    QCOMPARE(scale.factor(), factor);
    QCOMPARE(scale.latitude(storedLatitude), latitude);
    QCOMPARE(scale.longitude(storedLongitude), longitude);
    if (latitude != 0)
        QCOMPARE(scale.stored(latitude), storedLatitude);
    if (longitude != 0)
        QCOMPARE(scale.stored(longitude), storedLongitude);
    QCOMPARE(scale.stored(std::numeric_limits<double>::quiet_NaN()), 0);
    QCOMPARE(scale.stored(-180.5), 0);
}

void TestAndroidViberDb::locationMessage()
{
    const _ViberMsg* msg = m_data->messages.value(4);
    QCOMPARE(msg->location.latitude(), 31.234567);
    QCOMPARE(msg->location.longitude(), 121.456789);
    QVERIFY(msg->hasLocation());
    QCOMPARE(msg->location.address(), QStringLiteral("Nanjing Road, Shanghai"));
    const _ViberAtta* atta = msg->attachment;
    const QString body = msg->extraMap().value(QStringLiteral("body")).toString();
    QVERIFY(body.startsWith(QLatin1String("https://maps.googleapis.com/")));
    const QString mapName = ViberText::shortDigest(body);
    QCOMPARE(atta->sourcePath, QStringLiteral("/storage/emulated/0/viber/media/.thumbnails/") + mapName);
    QCOMPARE(atta->previewPath, m_db->mediaDir() + QStringLiteral("/.thumbnails/") + mapName);
    QCOMPARE(atta->fileName, QStringLiteral("5012345678901234004"));
    QCOMPARE(atta->seq, msg->token);

    // Southern latitudes keep their sign and a small longitude stays small: the file's
    // rows are microdegrees, so -3123456 and 45 are 3.12° south and 0.000045° east.
    const _ViberMsg* south = m_data->messages.value(5);
    QCOMPARE(south->location.latitude(), -3.123456);
    QCOMPARE(south->location.longitude(), 0.000045);
    QVERIFY(south->hasLocation());
}

void TestAndroidViberDb::pictures_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("fileKey");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("fileId");
    QTest::addColumn<qint64>("fileSize");
    QTest::newRow("received, token 0: key from the date")
        << qint64(3) << QStringLiteral("1400000003000") << QStringLiteral("1400000003000.jpg")
        << QStringLiteral("MF0ekB2oVdWpNVhX9dJq4Z") << qint64(183422);
    QTest::newRow("sent: upload id") << qint64(21) << QStringLiteral("9988776655")
                                     << QStringLiteral("9988776655.png") << QStringLiteral("4455667788")
                                     << qint64(99000);
}

void TestAndroidViberDb::pictures()
{
    QFETCH(qint64, id);
    QFETCH(QString, fileKey);
    QFETCH(QString, fileName);
    QFETCH(QString, fileId);
    QFETCH(qint64, fileSize);
    const _ViberMsg* msg = m_data->messages.value(id);
    const _ViberAtta* atta = msg->attachment;
    QVERIFY(atta);
    QCOMPARE(atta->fileName, fileName);
    QCOMPARE(atta->fileId, fileId);
    QCOMPARE(atta->fileSize, fileSize);
    QCOMPARE(atta->seq, msg->token);
    QCOMPARE(atta->localPath, m_db->mediaDir() + QStringLiteral("/Viber Images/") + fileKey);
    QCOMPARE(atta->previewPath, m_db->mediaDir() + QStringLiteral("/.thumbnails/") + fileKey);
    QVERIFY(
        atta->sourceUri.startsWith(QLatin1String("file:///storage/emulated/0/viber/media/Viber%20Images/")));
    QVERIFY(atta->sourcePath.startsWith(QLatin1String("/storage/emulated/0/viber/media/.thumbnails/")));
    QCOMPARE(msg->extraMap().value(QStringLiteral("body")).toString(), atta->sourcePath);
}

void TestAndroidViberDb::videoVoiceAndSticker()
{
    const _ViberAtta* video = m_data->attachments.value(8);
    QCOMPARE(video->localPath, m_db->mediaDir() + QStringLiteral("/Viber Videos/556677"));
    QCOMPARE(video->previewPath, m_db->mediaDir() + QStringLiteral("/.thumbnails/556677.jpg"));
    QCOMPARE(video->fileName, QStringLiteral("556677.mp4"));
    QCOMPARE(video->fileId, QStringLiteral("vid-download-556677"));
    QCOMPARE(video->fileSize, qint64(2048000));
    QCOMPARE(video->bucket, QStringLiteral("Share2014-05-13"));

    const _ViberAtta* voice = m_data->attachments.value(6);
    QCOMPARE(voice->fileId, QStringLiteral("2c6e4b0f9a1d4e7c"));
    QCOMPARE(voice->fileName, QStringLiteral("2c6e4b0f9a1d4e7c"));
    QCOMPARE(voice->duration, 4.5);
    QCOMPARE(voice->sourceUri, QStringLiteral("/storage/emulated/0/viber/media/.ptt/2c6e4b0f9a1d4e7c"));
    QCOMPARE(voice->localPath, m_db->mediaDir() + QStringLiteral("/.ptt/2c6e4b0f9a1d4e7c"));

    const _ViberAtta* sticker = m_data->attachments.value(7);
    QCOMPARE(sticker->fileId, QStringLiteral("12345"));
    QCOMPARE(sticker->fileName, QStringLiteral("5012345678901234007"));
    QVERIFY(sticker->localPath.isEmpty());
    QVERIFY(sticker->previewPath.isEmpty());
    QCOMPARE(ViberText::summaryText(*sticker->message), QStringLiteral("[STICKER-12345]"));
}

void TestAndroidViberDb::calls()
{
    QCOMPARE(m_data->calls.size(), 2);
    const _ViberCall* incoming = m_data->calls.value(9);
    QVERIFY(incoming);
    QCOMPARE(incoming->kind, int(ViberCallKind::Incoming));
    QCOMPARE(incoming->duration, 125);
    QCOMPARE(incoming->token, qint64(5012345678901234009));
    QCOMPARE(incoming->date, m_data->messages.value(9)->date);
    QCOMPARE(incoming->person, m_data->persons.value(2));
    QCOMPARE(m_data->messages.value(9)->call, incoming);
    QCOMPARE(ViberText::summaryText(*m_data->messages.value(9)), QStringLiteral("Incoming Call (2' 5'')"));
    // the row's columns travel with the call, not the message
    QVERIFY(m_data->messages.value(9)->extra.isEmpty());
    const QVariantMap extra = incoming->extraMap();
    QCOMPARE(extra.value(QStringLiteral("seq")).toLongLong(), qint64(19));
    QCOMPARE(extra.value(QStringLiteral("extra_status")).toInt(), 3);

    const _ViberCall* missed = m_data->calls.value(10);
    QCOMPARE(missed->kind, int(ViberCallKind::Missed));
    QCOMPARE(missed->person, m_data->persons.value(3));
}

void TestAndroidViberDb::groupCallsNameTheNumberViberRecorded()
{
    AndroidFixture fixture;
    fixture.runOnMessages(GroupCallRows);
    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    const ViberDataSetPtr data = db.load();
    // the row's address, then the call row's number, then the lowest participant
    QCOMPARE(data->calls.value(26)->person, data->persons.value(4));
    QCOMPARE(data->calls.value(28)->person, data->persons.value(3));
    QCOMPARE(data->calls.value(27)->person, data->persons.value(2));
}

void TestAndroidViberDb::loadsAgreeAcrossProcesses()
{
    // Each process orders its hashes by a seed of its own (Qt takes no other fixed seed
    // than 0): a record chosen by hash order would name someone else in the next run.
    AndroidFixture fixture;
    fixture.runOnMessages(GroupCallRows);
    QStringList descriptions;
    for (int run = 0; run < 6; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_HASH_SEED"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--describe-load"), fixture.extractRoot()});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        descriptions << QString::fromUtf8(child.readAllStandardOutput());
    }
    QVERIFY(descriptions.first().contains(QLatin1String("26 chat=2 sender=0 type=")));
    for (const QString& description : std::as_const(descriptions))
        QCOMPARE(description, descriptions.first());
}

void TestAndroidViberDb::extraMapFollowsTheCodec()
{
    const QVariantMap image = m_data->messages.value(3)->extraMap();
    QCOMPARE(image.value(QStringLiteral("status")).toInt(), 2);
    // A zero, like a NULL, is what every reader takes for a missing key, so the blob
    // leaves it out.
    QVERIFY(!image.contains(QStringLiteral("flag")));
    QVERIFY(!image.contains(QStringLiteral("message_global_id")));
    QCOMPARE(image.value(QStringLiteral("extra_status")).toInt(), 3);
    QCOMPARE(image.value(QStringLiteral("extra_flags")).toInt(), 16);
    QCOMPARE(image.value(QStringLiteral("thumbnail_x")).toInt(), 640);
    QCOMPARE(image.value(QStringLiteral("thumbnail_y")).toInt(), 480);
    QCOMPARE(image.value(QStringLiteral("extra_download_id")).toString(),
             QStringLiteral("MF0ekB2oVdWpNVhX9dJq4Z"));
    QCOMPARE(image.value(QStringLiteral("extra_uri")).toString(),
             QStringLiteral("file:///storage/emulated/0/viber/media/Viber%20Images/IMG-20140513-V0001.jpg"));
    QCOMPARE(m_data->messages.value(21)->extraMap().value(QStringLiteral("extra_upload_id")).toLongLong(),
             qint64(4455667788));
    QCOMPARE(m_data->messages.value(15)->extraMap().value(QStringLiteral("message_global_id")).toInt(), 77);

    // Every blob the loader writes must store exactly what the codec writes for its map,
    // or the local database would keep bytes that no other writer produces; records hold
    // the shorter form.
    for (const _ViberMsg* msg : m_data->messages) {
        if (msg->extra.isEmpty())
            continue;
        const QVariantMap map = BlobCodec::decodeMap(msg->extra.bytes());
        QVERIFY2(!map.isEmpty(), qPrintable(QString::number(msg->id)));
        QCOMPARE(BlobCodec::stored(msg->extra.bytes()), BlobCodec::encodeMap(map));
        QVERIFY(msg->extra.size() < BlobCodec::encodeMap(map).size());
    }
    for (const _ViberCall* call : m_data->calls)
        QCOMPARE(BlobCodec::stored(call->extra.bytes()), BlobCodec::encodeMap(call->extraMap()));
}

// The scan runs with a small page cache; a merge after the load must get the
// connection's own cache back.
void TestAndroidViberDb::loadRestoresThePageCache()
{
    AndroidFixture fixture;
    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    db.open();
    db.setCacheSize(-8000);
    QVERIFY(!db.load()->messages.isEmpty());
    QCOMPARE(db.cacheSize(), qint64(-8000));
}

void TestAndroidViberDb::thumbnailColumns_data()
{
    QTest::addColumn<bool>("withColumns");
    QTest::newRow("version 53") << true;
    QTest::newRow("without thumbnail columns") << false;
}

void TestAndroidViberDb::thumbnailColumns()
{
    QFETCH(bool, withColumns);
    AndroidFixture fixture(withColumns ? AndroidFixture::Shape::Version53
                                       : AndroidFixture::Shape::WithoutThumbnailColumns);
    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    const ViberDataSetPtr data = db.load();
    QCOMPARE(db.catalogue().hasColumn(QStringLiteral("messages"), QStringLiteral("thumbnail_x")),
             withColumns);
    QCOMPARE(data->messages.size(), m_data->messages.size());
    for (const qint64 id : {3, 8, 21}) {
        const QVariantMap extra = data->messages.value(id)->extraMap();
        QCOMPARE(extra.contains(QStringLiteral("thumbnail_x")), withColumns);
        QCOMPARE(extra.contains(QStringLiteral("thumbnail_y")), withColumns);
        QVERIFY(extra.contains(QStringLiteral("extra_status")));
    }
}

void TestAndroidViberDb::deletedRowsLeaveOnlyTheWorkingCopy()
{
    AndroidFixture fixture;
    // the phone's file as fetched, kept beside the working copy the adapter opens
    const QString original = fixture.extractRoot() + QStringLiteral("/viber_messages.phone");
    QVERIFY(QFile::copy(fixture.messagesPath(), original));
    const QString deleted = QStringLiteral("select count(*) from messages where deleted <> 0");
    const QString deletedChats = QStringLiteral("select count(*) from conversations where deleted <> 0");
    QCOMPARE(countRows(fixture.messagesPath(), deleted), qint64(1));
    // rows of other tables that belong to the deleted message go with it
    fixture.runOnMessages(QStringLiteral(
        "INSERT INTO messages_calls (conversation_id, message_id, canonized_number, date, duration, type, "
        "token) VALUES (1, 17, '491702222222', 1400000017000, 5, 1, 5012345678901234017);"
        "INSERT INTO public_messages_extras (message_id, group_id, message_token, like_count) VALUES "
        "(17, 0, 5012345678901234017, 1), (15, 5555123456789, 5012345678901234015, 2);"));

    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    // A load passes over the marked rows and leaves the file as it is...
    const QString unchanged = TestEnvironment::pythonDump(fixture.messagesPath());
    const ViberDataSetPtr loaded = db.load();
    QVERIFY(!loaded->messages.contains(17));
    QVERIFY(!loaded->chats.contains(18));
    QVERIFY(loaded->messages.contains(15));
    QCOMPARE(TestEnvironment::pythonDump(fixture.messagesPath()), unchanged);
    // ...and the open of a merge on the same connection removes them, inside the merge's
    // transaction when it has begun one.
    db.beginTran();
    db.open();
    db.commitTran();
    QCOMPARE(countRows(fixture.messagesPath(), deleted), qint64(0));
    QCOMPARE(countRows(fixture.messagesPath(), deletedChats), qint64(0));
    QCOMPARE(countRows(fixture.messagesPath(), QStringLiteral("select count(*) from messages")), qint64(24));
    QCOMPARE(countRows(original, deleted), qint64(1));
    QCOMPARE(countRows(original, deletedChats), qint64(1));
    for (const char* table : {"messages_calls", "public_messages_extras"}) {
        QCOMPARE(
            TestEnvironment::pythonQuery(
                fixture.messagesPath(),
                QStringLiteral("select count(*) from %1 where message_id not in (select _id from messages)")
                    .arg(QLatin1String(table))),
            QStringLiteral("0"));
    }
    QCOMPARE(TestEnvironment::pythonQuery(fixture.messagesPath(), "select count(*) from messages_calls"),
             QStringLiteral("2"));
    QCOMPARE(
        TestEnvironment::pythonQuery(fixture.messagesPath(), "select count(*) from public_messages_extras"),
        QStringLiteral("1"));
}

// The marked rows are named by id in statements of a bounded size: every one goes,
// with its call row, however many there are.
void TestAndroidViberDb::manyMarkedRowsAreAllRemoved()
{
    AndroidFixture fixture;
    fixture.runOnMessages(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1234) "
        "INSERT INTO messages (_id, address, date, type, body, extra_mime, conversation_id, deleted, "
        "date_real) "
        "SELECT 5000 + i, '+4917011', 1400000000000 + i, 0, 'gone', 'text', 1, 1, 1400000000000 + i FROM n;"
        "INSERT INTO messages_calls (conversation_id, message_id, canonized_number, date, duration, type, "
        "token) "
        "VALUES (1, 6234, '491702222222', 1400000017000, 5, 1, 77);"));
    const QString before = TestEnvironment::pythonQuery(
        fixture.messagesPath(), QStringLiteral("select group_concat(_id) from messages where deleted = 0"));
    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    db.open();
    db.close();
    QCOMPARE(TestEnvironment::pythonQuery(fixture.messagesPath(),
                                          QStringLiteral("select count(*) from messages where deleted <> 0"))
                 .trimmed(),
             QStringLiteral("0"));
    QCOMPARE(TestEnvironment::pythonQuery(
                 fixture.messagesPath(),
                 QStringLiteral("select group_concat(_id) from messages where deleted = 0")),
             before);
    QCOMPARE(TestEnvironment::pythonQuery(
                 fixture.messagesPath(),
                 QStringLiteral("select count(*) from messages_calls where message_id = 6234"))
                 .trimmed(),
             QStringLiteral("0"));
}

void TestAndroidViberDb::localizedCollation()
{
    AndroidFixture fixture;
    {
        // the file really needs the collation: without a stand-in the clean-up fails
        Sqlite3DB plain;
        plain.openThrow(fixture.messagesPath(), Sqlite3DB::OpenReadWrite);
        QString error;
        QVERIFY(plain.exec(QStringLiteral("delete from conversations where deleted <> 0"), error) != 0);
        QVERIFY2(error.contains(QLatin1String("no such collation sequence: LOCALIZED")), qPrintable(error));
    }
    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    db.open();
    const ViberDataSetPtr data = db.load();
    QVERIFY(!data->chats.contains(4));
    // the index ordered by the stand-in is still usable for look-ups
    Sqlite3Cursor c = db.queryThrow(
        Sqlite3Sql(QStringLiteral("select _id from conversations where name = 'FAMILY' collate LOCALIZED")));
    QVERIFY(c.moveNext());
    QCOMPARE(c.getInt64(0), qint64(2));
}

void TestAndroidViberDb::namesFromRowsStayInTheirFolders_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("voice id climbing up") << qint64(23) << QStringLiteral(".......sshauthorized_keys");
    QTest::newRow("voice id '..'") << qint64(24) << QString();
    QTest::newRow("image uri with backslashes") << qint64(25) << QStringLiteral("5012345678901234025.x");
}

void TestAndroidViberDb::namesFromRowsStayInTheirFolders()
{
    QFETCH(qint64, id);
    QFETCH(QString, fileName);
    const _ViberAtta* atta = m_data->attachments.value(id);
    QVERIFY(atta);
    QCOMPARE(atta->fileName, fileName);
    const QString media = m_db->mediaDir();
    const QList<std::pair<QString, QString>> local = {{atta->localPath, QStringLiteral("/.ptt")},
                                                      {atta->previewPath, QStringLiteral("/.thumbnails")}};
    for (const auto& [path, folder] : local) {
        if (path.isEmpty())
            continue;
        QVERIFY2(isInside(path, media + folder) || isInside(path, media + QStringLiteral("/Viber Images")),
                 qPrintable(path));
        QVERIFY(!path.contains(QLatin1Char('\\')));
    }
    if (atta->message->type == ViberMsgType::Voice) {
        QCOMPARE(atta->localPath.isEmpty(), fileName.isEmpty());
        if (!fileName.isEmpty()) {
            QVERIFY(isInside(atta->sourceUri, QStringLiteral("/storage/emulated/0/viber/media/.ptt")));
            QVERIFY(isInside(atta->localPath, media + QStringLiteral("/.ptt")));
        }
    }
    // the person's number names the photo: it stays in "User photos" too
    const _ViberPerson* svc = m_data->persons.value(5);
    QVERIFY2(isInside(svc->photoPath, media + QStringLiteral("/User photos")), qPrintable(svc->photoPath));
}

void TestAndroidViberDb::damagedFilesThrow_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a database") << QByteArray(8192, 'x') << QStringLiteral("file is not a database");
    QTest::newRow("truncated") << QByteArray("truncate") << QStringLiteral("malformed");
    QTest::newRow("foreign database")
        << QByteArray("foreign") << QStringLiteral("no such table: conversations");
}

void TestAndroidViberDb::damagedFilesThrow()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    AndroidFixture fixture;
    QFile file(fixture.messagesPath());
    if (content == "truncate") {
        QVERIFY(file.open(QIODevice::ReadWrite));
        // keep the header and the schema page, lose the pages the rows live in
        QVERIFY(file.resize(file.size() / 3));
    } else if (content == "foreign") {
        QVERIFY(file.remove());
        Sqlite3DB other;
        other.openThrow(fixture.messagesPath(), Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        other.executeScriptThrow(
            QStringLiteral("create table ChatInfo(ChatID integer primary key, Name text);"));
    } else {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }
    file.close();

    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    try {
        db.load();
        QFAIL("load() succeeded on a damaged file");
    } catch (const Sqlite3Error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
    }
}

void TestAndroidViberDb::olderGenerationLoadsWhatItCan()
{
    AndroidFixture fixture;
    fixture.runOnMessages(QStringLiteral("ALTER TABLE messages DROP COLUMN deleted;"
                                         "ALTER TABLE messages DROP COLUMN extra_flags;"
                                         "ALTER TABLE messages DROP COLUMN description;"
                                         "ALTER TABLE conversations DROP COLUMN deleted;"));
    AndroidViberDb db(fixture.deviceRoot(), fixture.extractRoot());
    const ViberDataSetPtr data = db.load();
    // nothing can be marked deleted any more, so the rows 17 and 18 load too
    QVERIFY(data->messages.contains(17));
    QVERIFY(data->messages.contains(18));
    QCOMPARE(data->messages.value(3)->text, QString());
    QVERIFY(!data->messages.value(3)->extraMap().contains(QStringLiteral("extra_flags")));
    QCOMPARE(data->messages.value(3)->attachment->fileName, QStringLiteral("1400000003000.jpg"));
}

void TestAndroidViberDb::paths()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
    AndroidViberDb db(QStringLiteral("/storage/emulated/0/"), QStringLiteral("cache/phone"));
    QCOMPARE(db.messagesDbPath(),
             dir.path() + QStringLiteral("/cache/phone/ab-extract/apps/com.viber.voip/db/viber_messages"));
    QCOMPARE(db.dataDbPath(),
             dir.path() + QStringLiteral("/cache/phone/ab-extract/apps/com.viber.voip/db/viber_data"));
    QCOMPARE(db.mediaDir(), dir.path() + QStringLiteral("/cache/phone/ab-extract/sdcard/viber/media"));
    // a missing working copy is an error, never a new empty file
    QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.open());
    QVERIFY(!QFile::exists(db.messagesDbPath()));
    QVERIFY(!db.isOpen());
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // loadsAgreeAcrossProcesses starts this program again to load in a process of its own.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--describe-load")) {
        std::fputs(describeLoad(arguments.at(2)).toUtf8().constData(), stdout);
        return 0;
    }
    TestAndroidViberDb test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_androidviberdb.moc"
