#include "db/AndroidViberDb.h"
#include "db/IOSViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

const QDateTime Noon(QDate(2020, 3, 1), QTime(12, 0), Qt::UTC);
const QString AnnaNumber = QStringLiteral("+491702222222");
constexpr qint64 AnnaConversation = 1;
constexpr qint64 FamilyConversation = 2;
constexpr qint64 AnnaLinkInAnnaChat = 2;  // participants._id of Anna in conversation 1
constexpr qint64 OwnerLinkInAnnaChat = 1; // of the owner there
constexpr qint64 OwnerInfo = 1;

qint64 scalar(Sqlite3DB& db, const QString& sql)
{
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    return c.moveNext() ? c.getInt64(0) : -1;
}

QList<QVariantList> rows(Sqlite3DB& db, const QString& sql)
{
    QList<QVariantList> result;
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    while (c.moveNext()) {
        QVariantList row;
        for (int i = 0; i < c.columnCount(); ++i)
            row.append(c.getValue(i));
        result.append(row);
    }
    return result;
}

Sqlite3Row rowById(Sqlite3DB& db, const QString& table, qint64 id)
{
    Sqlite3Cursor c = db.queryThrow(
        Sqlite3Sql(QStringLiteral("select * from %1 where _id=?").arg(table)).addInt64Param(id));
    return c.moveNext() ? c.getRow() : Sqlite3Row();
}

QStringList indexes(Sqlite3DB& db)
{
    QStringList result;
    for (const QVariantList& row :
         rows(db,
              QStringLiteral("select name || ': ' || ifnull(sql, '') from sqlite_master where type='index' "
                             "order by name")))
        result.append(row.first().toString());
    return result;
}

// The restore worker's use of the operations: the chats' conversations and
// participants, duplicates skipped, all in date order and in one transaction.
// Returns the source message of every messages row written, by the new _id.
QHash<qint64, const _ViberMsg*> mergeLikeRestore(AndroidViberDb& db, const ViberDataSet& data)
{
    QList<const _ViberMsg*> queue;
    for (const _ViberMsg* msg : data.messages) {
        if (msg->chat && msg->systemType == ViberSystemType::None)
            queue.append(msg);
    }
    std::stable_sort(queue.begin(), queue.end(),
                     [](const _ViberMsg* a, const _ViberMsg* b) { return a->date < b->date; });
    QHash<qint64, const _ViberMsg*> written;
    db.createMergeIndexes();
    db.beginTran();
    qint64 ownerInfoId = 0;
    for (const _ViberMsg* msg : std::as_const(queue)) {
        qint64 conversationId = db.findConversation(msg->chat);
        if (conversationId == 0)
            conversationId = db.insertConversation(ownerInfoId, msg->chat);
        for (const _ViberPerson* person : msg->chat->participants)
            db.addParticipant(conversationId, person);
        if (db.findDuplicateMessage(ViberDates::refToUnixMs(msg->date), msg->token) != 0)
            continue;
        const QString uri = QStringLiteral("file:///storage/emulated/0/viber/media/%1").arg(msg->token);
        if (const qint64 id =
                db.insertMessage(conversationId, ownerInfoId, *msg, uri + QStringLiteral(".jpg"), uri))
            written.insert(id, msg);
    }
    db.fixConversations();
    db.commitTran();
    db.dropMergeIndexes(true);
    return written;
}

ViberDataSetPtr secondPhone(AndroidFixture& phone)
{
    phone.runOnMessages(LocalDbFixture::readDataFile(QStringLiteral("android/second_phone_rows.sql")));
    return AndroidViberDb(phone.deviceRoot(), phone.extractRoot()).load();
}

} // namespace

class TestAndroidMerge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void mergeIndexes_data();
    void mergeIndexes();
    void ownerRow();
    void participants();
    void findConversation_data();
    void findConversation();
    void insertConversation_data();
    void insertConversation();
    void duplicates_data();
    void duplicates();
    void messageKinds_data();
    void messageKinds();
    void locationsTakeThePhoneScale_data();
    void locationsTakeThePhoneScale();
    void calls_data();
    void calls();
    void groupMessageSender_data();
    void groupMessageSender();
    void fixConversations();
    void phoneRowsSurviveAMerge_data();
    void phoneRowsSurviveAMerge();
    void localizedIndexesRebuiltOnThePhone_data();
    void localizedIndexesRebuiltOnThePhone();
};

void TestAndroidMerge::mergeIndexes_data()
{
    QTest::addColumn<bool>("interrupted");
    QTest::addColumn<QString>("leftOver"); // an index an earlier version's merge left
    QTest::addColumn<bool>("phoneDateIndexes");
    QTest::newRow("clean phone") << false << QString() << true;
    QTest::newRow("indexes left by an interrupted merge") << true << QString() << true;
    QTest::newRow("an earlier version's token index left")
        << false << QStringLiteral("kestrune_messages_token_date ON messages(token, date)") << true;
    QTest::newRow("phone without date indexes") << false << QString() << false;
}

// The merge's indexes come and go whole, whatever a run before left; the look-up of
// duplicates never reads the whole messages table.
void TestAndroidMerge::mergeIndexes()
{
    QFETCH(bool, interrupted);
    QFETCH(QString, leftOver);
    QFETCH(bool, phoneDateIndexes);
    AndroidFixture phone;
    if (!phoneDateIndexes)
        phone.runOnMessages("drop index message_token_date_asc; drop index message_token_date_desc");
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    db.open();
    const QStringList before = indexes(db);
    if (interrupted) {
        AndroidViberDb earlier(phone.deviceRoot(), phone.extractRoot());
        earlier.createMergeIndexes();
    }
    if (!leftOver.isEmpty())
        db.executeThrow(Sqlite3Sql(QStringLiteral("CREATE INDEX ") + leftOver));
    db.createMergeIndexes();
    QCOMPARE(indexes(db).size(), before.size() + 5);
    QCOMPARE(scalar(db, "select count(*) from sqlite_master where type='index' and name like 'kestrune_%'"),
             5);
    QStringList plan;
    for (const QVariantList& step : rows(db, "explain query plan select _id from messages where token=1 and "
                                             "date >= 0 and date <= 120000 limit 1"))
        plan.append(step.last().toString());
    QVERIFY2(plan.size() == 1 && plan.first().contains(QLatin1String("INDEX")), qPrintable(plan.join(u'|')));
    db.dropMergeIndexes(false);
    QCOMPARE(indexes(db), before);
}

void TestAndroidMerge::ownerRow()
{
    AndroidFixture phone;
    phone.runOnMessages("delete from participants_info where participant_type=0");
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberPerson* nameless = b.person(1, QString());
    _ViberChat* chat = b.chat(1, {b.person(2, "+4930123")});
    _ViberMsg* out = b.message(chat, ViberMsgType::Text, Noon, "sent", true);

    qint64 ownerInfoId = 0;
    const qint64 owner = db.ownerParticipantInfo(ownerInfoId);
    QVERIFY(owner > 0);
    QCOMPARE(ownerInfoId, owner);
    const Sqlite3Row row = rowById(db, "participants_info", owner);
    QCOMPARE(row.val("participant_type").toInt(), 0);
    QCOMPARE(row.val("number").toString(), QString());

    const qint64 conversation = db.insertConversation(ownerInfoId, chat);
    const qint64 sent = db.insertMessage(conversation, ownerInfoId, *out, QString(), QString());
    const qint64 ownerLink = scalar(db, QString("select _id from participants where conversation_id=%1 and "
                                                "participant_info_id=%2")
                                            .arg(conversation)
                                            .arg(owner));
    QCOMPARE(rowById(db, "messages", sent).val("participant_id").toLongLong(), ownerLink);
    qint64 freshCache = 0;
    QCOMPARE(db.ownerParticipantInfo(freshCache), owner);
    QCOMPARE(ownerInfoId, owner);
    QCOMPARE(scalar(db, "select count(*) from participants_info where participant_type=0"), 1);
    // The made-up owner row has no number; a person without one is still not the owner.
    QCOMPARE(db.findParticipantInfo(nameless), 0);
    const qint64 namelessLink = db.addParticipant(conversation, nameless);
    QVERIFY(namelessLink > 0 && namelessLink != ownerLink);
    QCOMPARE(db.findParticipantInfo(nameless),
             rowById(db, "participants", namelessLink).val("participant_info_id"));
}

void TestAndroidMerge::participants()
{
    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberPerson* anna = b.person(1, AnnaNumber, "Anna");
    _ViberPerson* dora = b.person(2, "+491706666666", "Dora Feld");

    QCOMPARE(db.findParticipantInfo(nullptr), 0);
    QCOMPARE(db.addParticipant(AnnaConversation, nullptr), 0);
    QCOMPARE(db.findParticipantInfo(anna), 2);
    QCOMPARE(db.addParticipant(AnnaConversation, anna), AnnaLinkInAnnaChat);
    QCOMPARE(db.findParticipantInfo(dora), 0);

    const qint64 link = db.addParticipant(FamilyConversation, dora);
    const qint64 info = db.findParticipantInfo(dora);
    QVERIFY(link > 0 && info > 0);
    const Sqlite3Row row = rowById(db, "participants_info", info);
    QCOMPARE(row.val("number").toString(), "+491706666666");
    QCOMPARE(row.val("display_name").toString(), "Dora Feld");
    QCOMPARE(row.val("contact_name").toString(), "Dora Feld");
    QCOMPARE(row.val("participant_type").toInt(), 1);
    QCOMPARE(row.val("viber_image").toString(), QString());
    QCOMPARE(db.addParticipant(FamilyConversation, dora), link);
    QCOMPARE(db.ensureParticipant(FamilyConversation, info), link);
    QCOMPARE(db.ensureParticipant(FamilyConversation, 0), 0);
    QCOMPARE(scalar(db, "select count(*) from participants_info where number='+491706666666'"), 1);
    QCOMPARE(scalar(db, "select count(*) from participants where conversation_id=2"), 5);
}

void TestAndroidMerge::findConversation_data()
{
    QTest::addColumn<QString>("groupId");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("one-to-one with a number the phone knows")
        << QString() << QStringList{AnnaNumber} << qint64(1);
    QTest::newRow("one-to-one whose group id is NULL")
        << QString() << QStringList{"+49 170 3333333"} << qint64(3);
    QTest::newRow("the owner's own number") << QString() << QStringList{"+491701111111"} << qint64(0);
    QTest::newRow("unknown number") << QString() << QStringList{"+4930999"} << qint64(0);
    QTest::newRow("one-to-one of two persons")
        << QString() << QStringList{AnnaNumber, "+491704444444"} << qint64(0);
    QTest::newRow("group by its numeric id") << "5555123456789" << QStringList{"+4930999"} << qint64(2);
    QTest::newRow("group id with other characters") << "g-5555123456789" << QStringList() << qint64(2);
    QTest::newRow("group the app marked deleted") << "8888" << QStringList() << qint64(0);
    QTest::newRow("unknown group") << "4242" << QStringList{AnnaNumber} << qint64(0);
}

void TestAndroidMerge::findConversation()
{
    QFETCH(QString, groupId);
    QFETCH(QStringList, numbers);
    QFETCH(qint64, expected);
    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    QList<_ViberPerson*> persons;
    for (const QString& number : numbers)
        persons.append(b.person(persons.size() + 1, number));
    QCOMPARE(db.findConversation(b.chat(1, persons, QString(), groupId)), expected);
    QCOMPARE(db.findConversation(nullptr), 0);
}

void TestAndroidMerge::insertConversation_data()
{
    QTest::addColumn<QString>("groupId");
    QTest::addColumn<int>("persons");
    QTest::addColumn<int>("type");
    QTest::addColumn<qint64>("storedGroupId");
    QTest::addColumn<QVariant>("recipient");
    QTest::newRow("one-to-one") << QString() << 1 << 0 << qint64(0) << QVariant("+4930100");
    QTest::newRow("one-to-one without a person") << QString() << 0 << 0 << qint64(0) << QVariant();
    QTest::newRow("group") << "777001" << 3 << 1 << qint64(777001) << QVariant();
    QTest::newRow("group without a numeric id") << "grp" << 2 << 1 << qint64(0) << QVariant();
}

void TestAndroidMerge::insertConversation()
{
    QFETCH(QString, groupId);
    QFETCH(int, persons);
    QFETCH(int, type);
    QFETCH(qint64, storedGroupId);
    QFETCH(QVariant, recipient);
    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    QList<_ViberPerson*> members;
    for (int i = 0; i < persons; ++i)
        members.append(b.person(i + 1, QString("+49301%1").arg(i, 2, 10, QChar('0'))));
    const _ViberChat* chat = b.chat(1, members, "Neu", groupId);

    qint64 ownerInfoId = 0;
    const qint64 id = db.insertConversation(ownerInfoId, chat);
    QCOMPARE(ownerInfoId, OwnerInfo);
    const Sqlite3Row row = rowById(db, "conversations", id);
    QCOMPARE(row.val("conversation_type").toInt(), type);
    QCOMPARE(row.val("group_id").toLongLong(), storedGroupId);
    QCOMPARE(row.val("recipient_number"), recipient);
    QCOMPARE(row.val("smart_notification").toInt(), type);
    QCOMPARE(row.val("name").toString(), "Neu");
    QCOMPARE(row.val("deleted").toInt(), 0);
    QCOMPARE(
        scalar(db, QString("select participant_info_id from participants where conversation_id=%1").arg(id)),
        OwnerInfo);
    // Found again however little the rules could match it by: one conversation per chat.
    QCOMPARE(db.findConversation(chat), id);
    QCOMPARE(db.insertConversation(ownerInfoId, nullptr), 0);
}

void TestAndroidMerge::duplicates_data()
{
    QTest::addColumn<qint64>("token");
    QTest::addColumn<qint64>("otherToken");
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<bool>("duplicate");
    const qint64 t = 6000000000000000001;
    QTest::newRow("same token, same date") << t << t << qint64(0) << true;
    QTest::newRow("same token, a minute later") << t << t << qint64(60000) << true;
    QTest::newRow("same token, a minute earlier") << t << t << qint64(-60000) << true;
    QTest::newRow("same token, a minute and 1 ms later") << t << t << qint64(60001) << false;
    QTest::newRow("other token, same date") << t << t + 1 << qint64(0) << false;
    QTest::newRow("no token, 1 ms off") << qint64(0) << qint64(0) << qint64(-1) << true;
    QTest::newRow("no token, 30 s later") << qint64(0) << qint64(0) << qint64(30000) << false;
}

void TestAndroidMerge::duplicates()
{
    QFETCH(qint64, token);
    QFETCH(qint64, otherToken);
    QFETCH(qint64, offsetMs);
    QFETCH(bool, duplicate);
    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberChat* chat = b.chat(1, {b.person(1, AnnaNumber)});
    _ViberMsg* msg = b.message(chat, ViberMsgType::Text, Noon, "einmal");
    msg->token = token;
    const qint64 dateMs = ViberDates::refToUnixMs(msg->date);

    qint64 ownerInfoId = 0;
    QCOMPARE(db.findDuplicateMessage(dateMs, token), 0);
    const qint64 id = db.insertMessage(AnnaConversation, ownerInfoId, *msg, QString(), QString());
    QVERIFY(id > 0);
    QCOMPARE(db.findDuplicateMessage(dateMs + offsetMs, otherToken), duplicate ? id : 0);
}

void TestAndroidMerge::messageKinds_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("outgoing");
    QTest::addColumn<QVariantMap>("extra");
    QTest::addColumn<QVariantMap>("attachment"); // fileId, duration, bytes
    QTest::addColumn<QVariantMap>("expected");   // column → value; empty when skipped

    const QString body = "file:///storage/emulated/0/viber/media/.thumbnails/p.jpg";
    const QString uri = "file:///storage/emulated/0/viber/media/Viber%20Images/p.jpg";
    QTest::newRow("text received") << int(ViberMsgType::Text) << false << QVariantMap() << QVariantMap()
                                   << QVariantMap{{"extra_mime", "text"},
                                                  {"body", "Inhalt"},
                                                  {"type", 0},
                                                  {"address", AnnaNumber},
                                                  {"participant_id", AnnaLinkInAnnaChat},
                                                  {"status", 2},
                                                  {"extra_status", 3},
                                                  {"group_id", 0},
                                                  {"conversation_type", 0},
                                                  {"conversation_id", AnnaConversation},
                                                  {"deleted", 0},
                                                  {"count", 1}};
    QTest::newRow("text sent, values of the source row")
        << int(ViberMsgType::Text) << true
        << QVariantMap{{"status", 4},
                       {"extra_status", 5},
                       {"flag", 9},
                       {"extra_flags", 16},
                       {"message_global_id", qint64(1234567890123)},
                       {"thumbnail_x", 90}}
        << QVariantMap()
        << QVariantMap{{"type", 1},
                       {"participant_id", OwnerLinkInAnnaChat},
                       {"status", 4},
                       {"extra_status", 5},
                       {"flag", 9},
                       {"extra_flags", 16},
                       {"message_global_id", qint64(1234567890123)},
                       {"thumbnail_x", 90},
                       {"thumbnail_y", 0}};
    QTest::newRow("picture received") << int(ViberMsgType::Picture) << false << QVariantMap()
                                      << QVariantMap{{"fileId", "MF0x"}, {"bytes", 1234}}
                                      << QVariantMap{{"extra_mime", "image"},
                                                     {"body", body},
                                                     {"extra_uri", uri},
                                                     {"description", "Inhalt"},
                                                     {"extra_download_id", "MF0x"},
                                                     {"extra_upload_id", QVariant()},
                                                     {"extra_bucket_name", "Share2020-03-01"},
                                                     {"extra_duration", 1234},
                                                     {"thumbnail_x", 400},
                                                     {"thumbnail_y", 400}};
    QTest::newRow("picture sent, upload id beyond 32 bits and negative")
        << int(ViberMsgType::Picture) << true << QVariantMap() << QVariantMap{{"fileId", "-4455667788"}}
        << QVariantMap{{"extra_upload_id", qint64(-4455667788)},
                       {"extra_download_id", QVariant()},
                       {"extra_bucket_name", QVariant()},
                       {"extra_duration", 0}};
    QTest::newRow("location") << int(ViberMsgType::Location) << false << QVariantMap() << QVariantMap()
                              << QVariantMap{{"extra_mime", "location"},
                                             {"location_lat", qint64(31234567)},
                                             {"location_lng", qint64(121456789)},
                                             {"extra_bucket_name", "Nanjing Road"},
                                             {"description", ""}};
    QTest::newRow("voice")
        << int(ViberMsgType::Voice) << false
        << QVariantMap{{"extra_upload_id", qint64(777)}, {"extra_download_id", "4f3e"}}
        << QVariantMap{{"duration", 3.5}}
        << QVariantMap{{"extra_mime", "sound"},  {"extra_upload_id", 777}, {"extra_download_id", "4f3e"},
                       {"extra_duration", 3500}, {"extra_uri", uri},       {"body", QVariant()}};
    QTest::newRow("sticker") << int(ViberMsgType::Sticker) << false << QVariantMap()
                             << QVariantMap{{"fileId", "40123"}}
                             << QVariantMap{{"extra_mime", "sticker"},
                                            {"extra_upload_id", 40123},
                                            {"extra_download_id", QVariant()},
                                            {"body", ""}};
    QTest::newRow("video sent") << int(ViberMsgType::Video) << true << QVariantMap()
                                << QVariantMap{{"fileId", "998877"}, {"duration", 12.5}}
                                << QVariantMap{{"extra_mime", "video"},   {"extra_upload_id", 998877},
                                               {"extra_duration", 12500}, {"body", body},
                                               {"extra_uri", uri},        {"description", "Inhalt"}};
    QTest::newRow("notice is not written")
        << int(ViberMsgType::System) << false << QVariantMap() << QVariantMap() << QVariantMap();
}

void TestAndroidMerge::messageKinds()
{
    QFETCH(int, type);
    QFETCH(bool, outgoing);
    QFETCH(QVariantMap, extra);
    QFETCH(QVariantMap, attachment);
    QFETCH(QVariantMap, expected);
    AndroidFixture phone;
    QTemporaryDir files;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberChat* chat = b.chat(1, {b.person(1, AnnaNumber)});
    _ViberMsg* msg = b.message(chat, type, Noon, "Inhalt", outgoing);
    msg->setExtra(extra);
    if (type == ViberMsgType::System)
        msg->systemType = ViberSystemType::MemberAdded;
    if (type == ViberMsgType::Location) {
        msg->location.setLatitude(31.234567);
        msg->location.setLongitude(121.456789);
        msg->location.setAddress("Nanjing Road");
    }
    if (!attachment.isEmpty()) {
        const QString local = files.filePath("media.bin");
        QVERIFY(DataSetBuilder::writeFile(local, QByteArray(attachment.value("bytes").toInt(), 'x')));
        _ViberAtta* atta = b.attach(msg, local);
        atta->fileId = attachment.value("fileId").toString();
        atta->duration = attachment.value("duration").toDouble();
    }

    qint64 ownerInfoId = 0;
    db.open();
    const qint64 before = scalar(db, "select count(*) from messages");
    const qint64 id = db.insertMessage(AnnaConversation, ownerInfoId, *msg,
                                       "file:///storage/emulated/0/viber/media/.thumbnails/p.jpg",
                                       "file:///storage/emulated/0/viber/media/Viber%20Images/p.jpg");
    if (expected.isEmpty()) {
        QCOMPARE(id, 0);
        QCOMPARE(scalar(db, "select count(*) from messages"), before);
        return;
    }
    const Sqlite3Row row = rowById(db, "messages", id);
    QCOMPARE(row.val("date").toLongLong(), Noon.toMSecsSinceEpoch());
    QCOMPARE(row.val("date_real").toLongLong(), Noon.toMSecsSinceEpoch());
    QCOMPARE(row.val("token").toLongLong(), msg->token);
    if (type == ViberMsgType::Location)
        QCOMPARE(row.val("body").toString(), ViberText::mapImageUrl(*msg));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant actual = row.val(it.key());
        if (it.value().isNull())
            QVERIFY2(actual.isNull(), qPrintable(it.key() + " is " + actual.toString()));
        else
            QVERIFY2(actual.toString() == it.value().toString(),
                     qPrintable(it.key() + " is " + actual.toString() + ", not " + it.value().toString()));
    }
}

void TestAndroidMerge::locationsTakeThePhoneScale_data()
{
    QTest::addColumn<QString>("phoneRows");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<qint64>("storedLatitude");
    QTest::addColumn<qint64>("storedLongitude");
    // The sample phone's own locations are microdegrees: 31234567 is 31.234567.
    QTest::newRow("phone in microdegrees, south-west")
        << QString() << -34.603722 << -58.381592 << qint64(-34603722) << qint64(-58381592);
    QTest::newRow("phone in microdegrees, near the equator")
        << QString() << 0.5 << -0.25 << qint64(500000) << qint64(-250000);
    QTest::newRow("phone in tenths of microdegrees")
        << "update messages set location_lat=location_lat*10, location_lng=location_lng*10" << -34.603722
        << -58.381592 << qint64(-346037220) << qint64(-583815920);
    QTest::newRow("phone without locations")
        << "update messages set location_lat=0, location_lng=0" << 31.234567 << 121.456789 << qint64(31234567)
        << qint64(121456789);
}

void TestAndroidMerge::locationsTakeThePhoneScale()
{
    QFETCH(QString, phoneRows);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(qint64, storedLatitude);
    QFETCH(qint64, storedLongitude);
    AndroidFixture phone;
    if (!phoneRows.isEmpty())
        phone.runOnMessages(phoneRows);
    DataSetBuilder b;
    _ViberChat* chat = b.chat(1, {b.person(1, AnnaNumber)});
    _ViberMsg* msg = b.message(chat, ViberMsgType::Location, Noon, "Plaza", false);
    msg->location.setLatitude(latitude);
    msg->location.setLongitude(longitude);
    qint64 id = 0;
    {
        AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
        db.open();
        qint64 ownerInfoId = 0;
        id = db.insertMessage(AnnaConversation, ownerInfoId, *msg, QString(), QString());
        QVERIFY(id > 0);
        const Sqlite3Row row = rowById(db, "messages", id);
        QCOMPARE(row.val("location_lat").toLongLong(), storedLatitude);
        QCOMPARE(row.val("location_lng").toLongLong(), storedLongitude);
    }
    // The phone's rows and the merged one read back alike.
    const ViberDataSetPtr again = AndroidViberDb(phone.deviceRoot(), phone.extractRoot()).load();
    const _ViberMsg* read = again->messages.value(id);
    QVERIFY(read);
    QCOMPARE(read->location.latitude(), latitude);
    QCOMPARE(read->location.longitude(), longitude);
    QVERIFY(read->hasLocation());
    const _ViberMsg* own = again->messages.value(4);
    QCOMPARE(own->location.latitude(), phoneRows.contains("=0") ? 0.0 : 31.234567);
}

void TestAndroidMerge::calls_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("body"); // empty when not written
    QTest::addColumn<int>("messageType");
    QTest::addColumn<int>("callType");
    QTest::addColumn<int>("endReason");
    QTest::newRow("incoming") << int(ViberCallKind::Incoming) << "incoming_call" << 0 << 1 << 3;
    QTest::newRow("outgoing") << int(ViberCallKind::Outgoing) << "outgoing_call" << 1 << 2 << 3;
    QTest::newRow("missed") << int(ViberCallKind::Missed) << "missed_call" << 0 << 3 << 0;
    QTest::newRow("unknown kind") << 7 << QString() << 0 << 0 << 0;
}

void TestAndroidMerge::calls()
{
    QFETCH(int, kind);
    QFETCH(QString, body);
    QFETCH(int, messageType);
    QFETCH(int, callType);
    QFETCH(int, endReason);
    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberPerson* anna = b.person(1, "+49 170 2222222");
    _ViberMsg* msg = b.callMessage(b.chat(1, {anna}), anna, kind, 125, Noon);
    msg->call->token = 7000000000000000001;
    qint64 ownerInfoId = 0;
    db.open();
    const qint64 callsBefore = scalar(db, "select count(*) from messages_calls");

    const qint64 id = db.insertMessage(AnnaConversation, ownerInfoId, *msg, QString(), QString());
    if (body.isEmpty()) {
        QCOMPARE(id, 0);
        QCOMPARE(scalar(db, "select count(*) from messages_calls"), callsBefore);
        return;
    }
    const qint64 ms = Noon.toMSecsSinceEpoch();
    const Sqlite3Row row = rowById(db, "messages", id);
    QCOMPARE(row.val("extra_mime").toString(), "call");
    QCOMPARE(row.val("body").toString(), body);
    QCOMPARE(row.val("type").toInt(), messageType);
    QCOMPARE(row.val("address").toString(), "+49 170 2222222");
    QCOMPARE(row.val("date").toLongLong(), ms);
    QCOMPARE(row.val("date_real").toLongLong(), ms);
    QCOMPARE(row.val("token").toLongLong(), msg->call->token);
    QCOMPARE(row.val("extra_duration").toInt(), 125);
    QCOMPARE(row.val("extra_bucket_name").toString(), "has_description");
    QCOMPARE(row.val("seq").toLongLong(), qint64(msg->call->date / 1000));
    QCOMPARE(row.val("status").toInt(), 2);
    QCOMPARE(row.val("extra_status").toInt(), 3);
    const qint64 participant = row.val("participant_id").toLongLong();
    QCOMPARE(rowById(db, "participants", participant).val("conversation_id").toLongLong(), AnnaConversation);

    Sqlite3Cursor c =
        db.queryThrow(Sqlite3Sql("select * from messages_calls where message_id=?").addInt64Param(id));
    QVERIFY(c.moveNext());
    QCOMPARE(c.getInt64("conversation_id"), AnnaConversation);
    QCOMPARE(c.getText("canonized_number"), "491702222222");
    QCOMPARE(c.getInt("type"), callType);
    QCOMPARE(c.getInt("end_reason"), endReason);
    QCOMPARE(c.getInt("start_reason"), 0);
    QCOMPARE(c.getInt("viber_call_type"), 1);
    QCOMPARE(c.getInt64("date"), ms);
    QCOMPARE(c.getInt("duration"), 125);
    QCOMPARE(c.getInt64("token"), msg->call->token);
    QVERIFY(!c.moveNext());
}

void TestAndroidMerge::groupMessageSender_data()
{
    QTest::addColumn<bool>("withSender");
    QTest::addColumn<bool>("outgoing");
    QTest::addColumn<qint64>("participant"); // 0: skipped
    QTest::newRow("received from a member") << true << false << qint64(5);
    QTest::newRow("sent by the owner") << false << true << qint64(3);
    QTest::newRow("received from nobody") << false << false << qint64(0);
}

void TestAndroidMerge::groupMessageSender()
{
    QFETCH(bool, withSender);
    QFETCH(bool, outgoing);
    QFETCH(qint64, participant);
    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberPerson* ben = b.person(1, "+49 170 3333333");
    _ViberChat* family = b.chat(1, {ben, b.person(2, AnnaNumber)}, "Family", "5555123456789");
    _ViberMsg* msg =
        b.message(family, ViberMsgType::Text, Noon, "Wer bin ich?", outgoing, withSender ? ben : nullptr);
    if (participant == 0)
        QTest::ignoreMessage(QtDebugMsg, "skip group message without sender, msg text=Wer bin ich?");
    qint64 ownerInfoId = 0;
    db.open();
    const qint64 before = scalar(db, "select count(*) from messages");

    const qint64 id = db.insertMessage(FamilyConversation, ownerInfoId, *msg, QString(), QString());
    QCOMPARE(scalar(db, "select count(*) from messages"), before + (participant ? 1 : 0));
    if (participant == 0) {
        QCOMPARE(id, 0);
        return;
    }
    const Sqlite3Row row = rowById(db, "messages", id);
    QCOMPARE(row.val("participant_id").toLongLong(), participant);
    QCOMPARE(row.val("group_id").toLongLong(), 5555123456789);
    QCOMPARE(row.val("conversation_type").toInt(), 1);
}

void TestAndroidMerge::fixConversations()
{
    AndroidFixture phone;
    // A group without messages and nine other members, four of whom the phone knows
    // from other chats.
    phone.runOnMessages(
        "insert into conversations (_id, conversation_type, group_id, name, date, last_message_id) values "
        "(7, 1, 909, 'Neun', 1400000099000, 42);"
        "insert into participants_info (_id, number, participant_type) values (11, '+1', 1), (12, '+2', 1), "
        "(13, '+3', 1), (14, '+4', 1), (15, '+5', 1);"
        "insert into participants (conversation_id, participant_info_id) values (7, 2), (7, 3), (7, 1), (7, "
        "4), "
        "(7, 11), (7, 5), (7, 12), (7, 13), (7, 14), (7, 15);"
        "update participants set last_message_id = 0;");
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    db.fixConversations();

    Sqlite3Row nine = rowById(db, "conversations", 7);
    QCOMPARE(nine.val("date").toLongLong(), 1400000099000);
    QVERIFY(nine.val("last_message_id").isNull());
    QCOMPARE(nine.val("media_msg_count").toInt(), 0);
    const QList<int> expected = {2, 1, 3, 4, 11, 5, 12, 13};
    for (int n = 1; n <= 8; ++n)
        QCOMPARE(nine.val(QString("participant_id_%1").arg(n)).toInt(), expected.at(n - 1));

    // Anna's chat: its latest row is the one the reader cannot classify; one image, one video.
    const Sqlite3Row anna = rowById(db, "conversations", AnnaConversation);
    QCOMPARE(anna.val("date").toLongLong(), 1400000019000);
    QCOMPARE(anna.val("last_message_id").toLongLong(), 19);
    QCOMPARE(anna.val("media_msg_count").toInt(), 2);
    QCOMPARE(anna.val("participant_id_1").toInt(), 2);
    QCOMPARE(anna.val("participant_id_2").toInt(), 1);
    QCOMPARE(anna.val("participant_id_3").toInt(), 0);
    QCOMPARE(rowById(db, "participants", AnnaLinkInAnnaChat).val("last_message_id").toLongLong(), 19);
    QCOMPARE(rowById(db, "participants", OwnerLinkInAnnaChat).val("last_message_id").toLongLong(), 7);
    // Members without messages are not touched.
    QCOMPARE(scalar(db, "select last_message_id from participants where conversation_id=7 and "
                        "participant_info_id=11"),
             0);
}

void TestAndroidMerge::phoneRowsSurviveAMerge_data()
{
    QTest::addColumn<bool>("fromLocalDb");
    QTest::newRow("another phone") << false;
    QTest::newRow("a local database") << true;
}

void TestAndroidMerge::phoneRowsSurviveAMerge()
{
    QFETCH(bool, fromLocalDb);
    AndroidFixture source;
    QTemporaryDir localDb;
    ViberDataSetPtr data;
    if (fromLocalDb) {
        LocalDbFixture::createProgramStore(localDb.path());
        data = IOSViberDb(localDb.path(), LocalDbFixture::ProgramFile, IOSViberDb::OpenForBrowsing).load();
    } else {
        data = secondPhone(source);
    }

    AndroidFixture phone;
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    const ViberDataSetPtr before = db.load();
    // A load passes over the rows the app marked deleted; the merge's open removes them.
    db.open();
    const QList<QVariantList> phoneRows = rows(db, "select * from messages order by _id");
    const QList<QVariantList> phoneCalls = rows(db, "select * from messages_calls order by _id");
    const QStringList phoneIndexes = indexes(db);
    const qint64 conversationsBefore = scalar(db, "select count(*) from conversations");

    const QHash<qint64, const _ViberMsg*> written = mergeLikeRestore(db, *data);
    QVERIFY(written.size() >= 10);
    QCOMPARE(rows(db, QString("select * from messages where _id <= %1 order by _id")
                          .arg(phoneRows.last().first().toLongLong())),
             phoneRows);
    QCOMPARE(rows(db, QString("select * from messages_calls where _id <= %1 order by _id")
                          .arg(phoneCalls.last().first().toLongLong())),
             phoneCalls);
    QCOMPARE(rows(db, "PRAGMA integrity_check"), QList<QVariantList>{{"ok"}});
    QCOMPARE(rows(db, "PRAGMA foreign_key_check"), QList<QVariantList>());
    QCOMPARE(indexes(db), phoneIndexes);
    if (!fromLocalDb) {
        // Dora's chat and the hiking group are new; Anna's chat and the family group are the phone's.
        QCOMPARE(scalar(db, "select count(*) from conversations"), conversationsBefore + 2);
        QCOMPARE(scalar(db, "select count(*) from messages where token=5012345678901234001"), 1);
    }

    db.close();
    const ViberDataSetPtr after = AndroidViberDb(phone.deviceRoot(), phone.extractRoot()).load();
    QCOMPARE(after->messages.size(), before->messages.size() + written.size());
    for (const _ViberMsg* old : before->messages) {
        const _ViberMsg* now = after->messages.value(old->id);
        QVERIFY(now && now->chat);
        QCOMPARE(now->chat->id, old->chat->id);
        QCOMPARE(now->token, old->token);
        QCOMPARE(now->text, old->text);
    }
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const _ViberMsg* now = after->messages.value(it.key());
        const _ViberMsg* source = it.value();
        QVERIFY(now && now->chat);
        QCOMPARE(now->type, source->type);
        QCOMPARE(now->date, source->date);
        const _ViberChat* chat = source->chat;
        if (chat->isGroup()) {
            QCOMPARE(now->chat->groupId, QString::number(ViberText::groupIdNumber(*chat)));
        } else if (chat->participants.size() == 1) {
            const QString number = chat->participants.cbegin().value()->number;
            QVERIFY2(std::any_of(now->chat->participants.cbegin(), now->chat->participants.cend(),
                                 [&](const _ViberPerson* p) { return p->number == number; }),
                     qPrintable(number));
        }
        if (!fromLocalDb && chat->participants.size() == 1 &&
            chat->participants.cbegin().value()->number == AnnaNumber)
            QCOMPARE(now->chat->id, AnnaConversation);
    }

    AndroidViberDb again(phone.deviceRoot(), phone.extractRoot());
    again.open();
    const QStringList counts = {"messages", "messages_calls", "conversations", "participants",
                                "participants_info"};
    QList<qint64> countsBefore;
    for (const QString& table : counts)
        countsBefore.append(scalar(again, "select count(*) from " + table));
    QCOMPARE(mergeLikeRestore(again, *data).size(), 0);
    for (int i = 0; i < counts.size(); ++i)
        QCOMPARE(scalar(again, "select count(*) from " + counts.at(i)), countsBefore.at(i));
}

void TestAndroidMerge::localizedIndexesRebuiltOnThePhone_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("locale");
    QTest::newRow("the app's LOCALIZED indexes") << QString() << AndroidViberDb::ReindexLocale;
    QTest::newRow("no index uses LOCALIZED")
        << "drop index conversation_name_localized; drop index participants_info_display_name;"
        << "en_US";
}

void TestAndroidMerge::localizedIndexesRebuiltOnThePhone()
{
    QFETCH(QString, shape);
    QFETCH(QString, locale);
    AndroidFixture phone;
    if (!shape.isEmpty())
        phone.runOnMessages(shape);
    AndroidViberDb db(phone.deviceRoot(), phone.extractRoot());
    DataSetBuilder b;
    _ViberChat* chat = b.chat(1, {b.person(1, "+4930555", "Ölaf Zänker")}, "Über uns");
    b.message(chat, ViberMsgType::Text, Noon, "Hallo");
    mergeLikeRestore(db, b.set());
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select locale from android_metadata"));
    QVERIFY(c.moveNext());
    QCOMPARE(c.getText(0), locale);
    QVERIFY(!c.moveNext());
    QCOMPARE(rows(db, "PRAGMA integrity_check"), QList<QVariantList>{{"ok"}});
}

QTEST_GUILESS_MAIN(TestAndroidMerge)
#include "tst_androidmerge.moc"
