#include "app/BlobCodec.h"
#include "app/Sqlite3Error.h"
#include "db/Emoticons.h"
#include "db/IOSViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace {

qint64 scalar(Sqlite3DB& db, const QString& sql)
{
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    return cursor.moveNext() ? cursor.getInt64(0) : -1;
}

QVariant value(Sqlite3DB& db, const QString& sql)
{
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    return cursor.moveNext() ? cursor.getValue(0) : QVariant();
}

// A small hand-built data set; everything points into it.
struct Sample
{
    ViberDataSet set;

    _ViberPerson* person(qint64 id, const QString& number, const QString& name)
    {
        _ViberPerson* p = set.persons.obtain(id);
        p->number = number;
        p->name = name;
        return p;
    }

    _ViberChat* chat(qint64 id, const QString& groupId, const QString& name, QList<_ViberPerson*> members)
    {
        _ViberChat* c = set.chats.obtain(id);
        c->groupId = groupId;
        c->name = name;
        for (_ViberPerson* p : members)
            c->participants.insert(p->id, p);
        return c;
    }

    _ViberMsg* message(qint64 id, _ViberChat* chat, int type, int status, double date, qint64 token,
                       const QString& text = {}, _ViberPerson* sender = nullptr)
    {
        _ViberMsg* m = set.messages.obtain(id);
        m->type = type;
        m->status = status;
        m->date = date;
        m->stateDate = date + 1;
        m->token = token;
        m->seq = id;
        m->text = text;
        m->sender = sender;
        ViberDataSet::addToChat(chat, m);
        return m;
    }

    _ViberAtta* attachment(_ViberMsg* msg, const QString& fileName, const QString& fileId = {})
    {
        _ViberAtta* a = set.attachments.obtain(msg->id);
        a->fileName = fileName;
        a->fileId = fileId;
        a->fileSize = 1000 + msg->id;
        a->seq = msg->seq;
        ViberDataSet::attach(msg, a);
        return a;
    }

    _ViberCall* call(qint64 id, _ViberPerson* person, int kind, double date, int duration, qint64 token)
    {
        _ViberCall* c = set.calls.obtain(id);
        c->person = person;
        c->kind = kind;
        c->date = date;
        c->duration = duration;
        c->token = token;
        return c;
    }
};

const _ViberChat* chatWithTitle(const ViberDataSet& set, const QString& title)
{
    for (const _ViberChat* chat : set.chats) {
        if (ViberText::chatTitle(*chat) == title)
            return chat;
    }
    return nullptr;
}

} // namespace

class TestIOSViberDbWrite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void personsAreFoundByCanonicalNumber();
    void conversationsAreFoundAgain();
    void duplicateMessages_data();
    void duplicateMessages();
    void declinedMessages();
    void attachmentsAndLocations();
    void recentsLines();
    void callsWithoutToken();
    void repeatedCallBackupChangesNothing();
    void programSchemaGetsOnlyItsColumns();
    void genuineStoreGetsItsColumnsAndUids();
    void roundTrip();
    void writerKeepsPaceWithPlainInserts();
};

void TestIOSViberDbWrite::personsAreFoundByCanonicalNumber()
{
    QTemporaryDir dir;
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbWriteContext context;
    Sample s;
    _ViberPerson* anna = s.person(1, "+49 (170) 12345", "Anna");
    anna->setExtra({{"ZLASTSEEN", 42}});

    QCOMPARE(db.findPerson(nullptr), 0);
    QCOMPARE(db.insertPerson(context, nullptr), 0);
    QCOMPARE(db.findPerson(anna), 0);
    const qint64 pk = db.insertPerson(context, anna);
    QVERIFY(pk > 0);
    _ViberPerson* sameNumber = s.person(2, "4917012345", "");
    QCOMPARE(db.findPerson(sameNumber), pk);
    QCOMPARE(value(db, "select ZCANONIZEDPHONENUM from ZPHONENUMBERINDEX").toString(),
             QStringLiteral("4917012345"));
    QCOMPARE(value(db, "select ZPHONENUM from ZPHONENUMBERINDEX").toString(),
             QStringLiteral("+49 (170) 12345"));
    QCOMPARE(value(db, "select ZNAME from ZPHONENUMBERINDEX").toString(), QStringLiteral("Anna"));
    QCOMPARE(BlobCodec::decodeMap(value(db, "select _other from ZPHONENUMBERINDEX").toByteArray()),
             anna->extraMap());
}

void TestIOSViberDbWrite::conversationsAreFoundAgain()
{
    QTemporaryDir dir;
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbWriteContext context;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberPerson* ben = s.person(2, "+4915198765", "Ben");
    _ViberChat* withAnna = s.chat(1, {}, {}, {anna});
    _ViberChat* group = s.chat(2, "5123456789", "Club", {anna, ben});
    _ViberChat* nobody = s.chat(3, {}, {}, {});

    QCOMPARE(db.findConversation(*withAnna), 0);
    const qint64 onePk = db.insertConversation(context, *withAnna);
    db.linkParticipants(context, onePk, withAnna->participants.values());
    const qint64 groupPk = db.insertConversation(context, *group);
    db.linkParticipants(context, groupPk, group->participants.values());
    // Linking twice adds no second row.
    db.linkParticipants(context, groupPk, group->participants.values());
    QCOMPARE(scalar(db, "select count(*) from Z_4PHONENUMINDEXES"), 3);
    QCOMPARE(scalar(db, "select count(*) from ZPHONENUMBERINDEX"), 2);

    Sample other; // the same people as another source numbers them
    _ViberChat* again = other.chat(50, {}, {}, {other.person(70, "+49 170-12345", "Anna B.")});
    QCOMPARE(db.findConversation(*again), onePk);
    QCOMPARE(db.findConversation(*other.chat(51, "5123456789", {}, {})), groupPk);
    QCOMPARE(db.findConversation(*nobody), 0);
    // The group with Anna in it is not her one-to-one chat.
    db.execute("delete from ZCONVERSATION where Z_PK=" + QString::number(onePk));
    QCOMPARE(db.findConversation(*again), 0);
    QVERIFY(value(db, "select ZGROUPID from ZCONVERSATION where Z_PK=" + QString::number(groupPk)).isValid());
}

void TestIOSViberDbWrite::duplicateMessages_data()
{
    QTest::addColumn<qint64>("storedToken");
    QTest::addColumn<double>("storedDate");
    QTest::addColumn<qint64>("token");
    QTest::addColumn<double>("date");
    QTest::addColumn<bool>("duplicate");

    const double d = 600000000.25;
    QTest::newRow("same message") << qint64(77) << d << qint64(77) << d << true;
    QTest::newRow("60 s later") << qint64(77) << d << qint64(77) << d + 60 << true;
    QTest::newRow("60 s earlier") << qint64(77) << d << qint64(77) << d - 60 << true;
    QTest::newRow("61 s later") << qint64(77) << d << qint64(77) << d + 61 << false;
    QTest::newRow("61 s earlier") << qint64(77) << d << qint64(77) << d - 61 << false;
    QTest::newRow("other token") << qint64(77) << d << qint64(78) << d << false;
    QTest::newRow("no token, same date") << qint64(0) << d << qint64(0) << d << true;
    QTest::newRow("no token, 5 s apart") << qint64(0) << d << qint64(0) << d + 5 << false;
}

void TestIOSViberDbWrite::duplicateMessages()
{
    QFETCH(qint64, storedToken);
    QFETCH(double, storedDate);
    QFETCH(qint64, token);
    QFETCH(double, date);
    QFETCH(bool, duplicate);

    QTemporaryDir dir;
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    Sample s;
    _ViberChat* chat = s.chat(1, {}, {}, {s.person(1, "+4917012345", "Anna")});
    _ViberMsg* stored = s.message(1, chat, ViberMsgType::Picture, ViberStatus::Sent, storedDate, storedToken);
    s.attachment(stored, "a.jpg");
    _ViberMsg* again = s.message(2, chat, ViberMsgType::Picture, ViberStatus::Sent, date, token);
    s.attachment(again, "a.jpg");

    LocalDbFixture::writeAll(db, {stored}, {});
    LocalDbFixture::writeAll(db, {again}, {});
    QCOMPARE(scalar(db, "select count(*) from ZVIBERMESSAGE"), duplicate ? 1 : 2);
    QCOMPARE(scalar(db, "select count(*) from ZATTACHMENT"), duplicate ? 1 : 2);

    qint64 attachmentPk = -1;
    const qint64 found = db.findDuplicateMessage(token, date, attachmentPk);
    if (duplicate) {
        QCOMPARE(found, 1);
        QCOMPARE(attachmentPk, scalar(db, "select Z_PK from ZATTACHMENT where ZMESSAGE=1"));
    } else {
        QCOMPARE(found, 2);
    }
}

void TestIOSViberDbWrite::declinedMessages()
{
    QTemporaryDir dir;
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbWriteContext context;
    Sample s;
    _ViberChat* group = s.chat(1, "99", "Group", {s.person(1, "+1", "A")});
    qint64 atta = -1;
    qint64 loc = -1;

    QCOMPARE(db.insertMessage(context, 1,
                              *s.message(1, group, ViberMsgType::Text, ViberStatus::Unknown, 1, 1, "x"), atta,
                              loc),
             0);
    QCOMPARE(atta, 0);
    QCOMPARE(loc, 0);
    // An incoming group message must name its sender.
    QCOMPARE(db.insertMessage(context, 1,
                              *s.message(2, group, ViberMsgType::Text, ViberStatus::Received, 2, 2, "y"),
                              atta, loc),
             0);
    // Own messages and group events need none.
    QVERIFY(db.insertMessage(context, 1,
                             *s.message(3, group, ViberMsgType::Text, ViberStatus::Sent, 3, 3, "z"), atta,
                             loc) > 0);
    _ViberMsg* event = s.message(4, group, ViberMsgType::System, ViberStatus::Received, 4, 4, "New name");
    event->systemType = ViberSystemType::NameChanged;
    QVERIFY(db.insertMessage(context, 1, *event, atta, loc) > 0);
    QCOMPARE(value(db, "select ZSYSTEMTYPE from ZVIBERMESSAGE where ZTOKEN=4").toString(),
             QStringLiteral("systemNameChanged"));
    QCOMPARE(scalar(db, "select count(*) from ZVIBERMESSAGE"), 2);

    _ViberCall* strange = s.call(1, s.person(1, "+1", "A"), 9, 5, 5, 5);
    QCOMPARE(db.insertCall(context, *strange), 0);
    QCOMPARE(scalar(db, "select count(*) from ZRECENT"), 0);
}

void TestIOSViberDbWrite::attachmentsAndLocations()
{
    QTemporaryDir dir;
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbWriteContext context;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberChat* chat = s.chat(1, {}, {}, {anna});
    const qint64 conversation = db.insertConversation(context, *chat);

    // 2020-01-06 12:00 local time: the bucket is named after the local day.
    const QDateTime noon(QDate(2020, 1, 6), QTime(12, 0));
    const double noonRef = ViberDates::unixSecondsToRef(noon.toSecsSinceEpoch());
    _ViberMsg* picture =
        s.message(1, chat, ViberMsgType::Picture, ViberStatus::Received, noonRef, 11, {}, anna);
    s.attachment(picture, "IMG_1.jpg", "fid1");
    _ViberMsg* voice = s.message(2, chat, ViberMsgType::Voice, ViberStatus::Sent, noonRef + 10, 12);
    s.attachment(voice, "original-name.m4a", "original-id")->duration = 3.5;
    _ViberMsg* place =
        s.message(3, chat, ViberMsgType::Location, ViberStatus::Sent, noonRef + 20, 13, "Home");
    place->location.setLatitude(48.1);
    place->location.setLongitude(11.58);
    place->location.setAddress("Marienplatz");
    s.attachment(place, {});
    _ViberMsg* sticker = s.message(4, chat, ViberMsgType::Sticker, ViberStatus::Sent, noonRef + 30, 14);
    s.attachment(sticker, {}, "12345");

    qint64 atta = 0;
    qint64 loc = 0;
    const qint64 picturePk = db.insertMessage(context, conversation, *picture, atta, loc);
    QCOMPARE(loc, 0);
    QCOMPARE(value(db, "select ZBUCKET from ZATTACHMENT where Z_PK=" + QString::number(atta)).toString(),
             QStringLiteral("Share2020-01-06"));
    QCOMPARE(scalar(db, "select ZATTACHMENT from ZVIBERMESSAGE where Z_PK=" + QString::number(picturePk)),
             atta);
    QCOMPARE(scalar(db, "select ZPHONENUMINDEX from ZVIBERMESSAGE where Z_PK=" + QString::number(picturePk)),
             db.findPerson(anna));

    db.insertMessage(context, conversation, *voice, atta, loc);
    const QString voicePk = QString::number(atta);
    QCOMPARE(value(db, "select ZNAME from ZATTACHMENT where Z_PK=" + voicePk).toString(), voicePk);
    QCOMPARE(value(db, "select ZID from ZATTACHMENT where Z_PK=" + voicePk).toString(), voicePk);
    QCOMPARE(value(db, "select ZDURATION from ZATTACHMENT where Z_PK=" + voicePk).toDouble(), 3.5);
    QCOMPARE(value(db, "select ZTYPE from ZATTACHMENT where Z_PK=" + voicePk).toString(),
             QStringLiteral("audio"));

    const qint64 placePk = db.insertMessage(context, conversation, *place, atta, loc);
    QVERIFY(loc > 0);
    QCOMPARE(scalar(db, "select ZLOCATION from ZVIBERMESSAGE where Z_PK=" + QString::number(placePk)), loc);
    QCOMPARE(scalar(db, "select ZATTACHMENT from ZVIBERMESSAGE where Z_PK=" + QString::number(placePk)),
             atta);
    QCOMPARE(
        value(db, "select ZSYSTEMTYPE from ZVIBERMESSAGE where Z_PK=" + QString::number(placePk)).toString(),
        QStringLiteral("customLocation"));
    QCOMPARE(value(db, "select ZADDRESS from ZVIBERLOCATION where Z_PK=" + QString::number(loc)).toString(),
             QStringLiteral("Marienplatz"));
    QVERIFY(!value(db, "select ZBUCKET from ZATTACHMENT where Z_PK=" + QString::number(atta)).isValid());

    db.insertMessage(context, conversation, *sticker, atta, loc);
    QCOMPARE(value(db, "select ZID from ZATTACHMENT where Z_PK=" + QString::number(atta)).toString(),
             QStringLiteral("12345"));
    QVERIFY(!value(db, "select ZNAME from ZATTACHMENT where Z_PK=" + QString::number(atta)).isValid());
}

void TestIOSViberDbWrite::recentsLines()
{
    QTemporaryDir dir;
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbWriteContext context;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberPerson* ben = s.person(2, "+4915198765", "Ben");
    QList<_ViberCall*> calls = {
        s.call(1, anna, ViberCallKind::Incoming, 1000, 60, 501),
        s.call(2, anna, ViberCallKind::Missed, 3000, 0, 502),
        s.call(3, anna, ViberCallKind::Outgoing, 2000, 10, 503),
        s.call(4, ben, ViberCallKind::Outgoing, 1500, 5, 504),
        s.call(5, nullptr, ViberCallKind::Incoming, 1600, 5, 505),
    };
    QList<qint64> pks;
    for (const _ViberCall* call : std::as_const(calls))
        pks.append(db.insertCall(context, *call));
    // The same call again is found by token and type.
    QCOMPARE(db.insertCall(context, *calls.at(1)), pks.at(1));
    db.refreshRecentsLines();

    QCOMPARE(scalar(db, "select count(*) from ZRECENT"), 5);
    QCOMPARE(scalar(db, "select count(*) from ZRECENTSLINE"), 2);
    QCOMPARE(scalar(db, "select ZRECENTSLINE from ZRECENT where ZCALLTOKEN=505"), 0);
    const QString annaLine =
        "select %1 from ZRECENTSLINE where ZPHONENUMINDEX=" + QString::number(db.findPerson(anna));
    QCOMPARE(scalar(db, annaLine.arg("ZCOUNT")), 3);
    QCOMPARE(value(db, annaLine.arg("ZDATE")).toDouble(), 3000.0);
    QCOMPARE(value(db, annaLine.arg("ZCALLTYPE")).toString(), QStringLiteral("missed"));
    const QString benLine =
        "select %1 from ZRECENTSLINE where ZPHONENUMINDEX=" + QString::number(db.findPerson(ben));
    QCOMPARE(scalar(db, benLine.arg("ZCOUNT")), 1);
    QCOMPARE(value(db, benLine.arg("ZCALLTYPE")).toString(), QStringLiteral("outgoing_viber"));
    QCOMPARE(scalar(db, "select ZREAD from ZRECENT where ZCALLTOKEN=504"), 1);
    QCOMPARE(scalar(db, "select Z_ENT from ZRECENT limit 1"), 8);
}

void TestIOSViberDbWrite::programSchemaGetsOnlyItsColumns()
{
    QTemporaryDir dir;
    LocalDbFixture::createEmptyProgramStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbWriteContext context;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberChat* chat = s.chat(1, {}, "Named", {anna});
    chat->setExtra({{"Z_OPT", 9}, {"ZCONTEXT", 5}});
    _ViberMsg* msg = s.message(1, chat, ViberMsgType::Text, ViberStatus::Sent, 100, 1, "hi (smiley)");
    msg->setExtra({{"Z_OPT", 3}, {"ZDELIVEREDCOUNT", 2}});
    LocalDbFixture::writeAll(db, {msg}, {s.call(1, anna, ViberCallKind::Incoming, 50, 1, 9)});

    // The writer's rows fit the schema it was given; the catalogue stays the schema
    // script's, and the extras travel in "_other".
    QCOMPARE(db.nextUid(context, false), -1);
    QCOMPARE(db.catalogue().hasColumn("ZCONVERSATION", "Z_OPT"), false);
    QCOMPARE(value(db, "select ZNAME from ZCONVERSATION").toString(), QStringLiteral("Named"));
    QVERIFY(!value(db, "select ZGROUPID from ZCONVERSATION").isValid());
    QCOMPARE(BlobCodec::decodeMap(value(db, "select _other from ZCONVERSATION").toByteArray()),
             chat->extraMap());
    QCOMPARE(BlobCodec::decodeMap(value(db, "select _other from ZVIBERMESSAGE").toByteArray()),
             msg->extraMap());
    QCOMPARE(value(db, "select ZDATE from ZCONVERSATION").toDouble(), 100.0);
}

void TestIOSViberDbWrite::genuineStoreGetsItsColumnsAndUids()
{
    QTemporaryDir dir;
    LocalDbFixture::createGenuineStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::GenuineFile));
    LocalDbWriteContext context;
    QCOMPARE(db.nextUid(context, false), 5000); // the largest ZUID of any table

    Sample s;
    _ViberPerson* emil = s.person(1, "+420 601 111 222", "Emil");
    _ViberPerson* gus = s.person(2, "+4369912345", "Gus");
    _ViberChat* withGus = s.chat(1, {}, {}, {gus});
    withGus->setExtra({{"ZCONTEXT", 7}, {"ZSMARTSTATE", 3}});
    _ViberMsg* text =
        s.message(1, withGus, ViberMsgType::Text, ViberStatus::Received, 510000000, 8001, "Hi (smiley)", gus);
    _ViberMsg* picture = s.message(2, withGus, ViberMsgType::Picture, ViberStatus::Sent, 510000100, 8002);
    s.attachment(picture, "IMG_9.jpg", "pic9")
        ->setExtra({{"ZURL", "assets-library://asset/asset.JPG?id=AAAA-BBBB&ext=JPG"}, {"ZRANGE", 4}});
    LocalDbFixture::writeAll(db, {text, picture},
                             {s.call(1, emil, ViberCallKind::Outgoing, 510000200, 20, 9100)});

    // A new one-to-one conversation (Gus had none), with Core Data's bookkeeping.
    const qint64 conv = scalar(db, "select max(Z_PK) from ZCONVERSATION");
    QCOMPARE(conv, 3);
    const QString c = " from ZCONVERSATION where Z_PK=3";
    QCOMPARE(scalar(db, "select Z_ENT" + c), 3);
    QCOMPARE(scalar(db, "select Z_OPT" + c), 2);
    QCOMPARE(scalar(db, "select ZCONTEXT" + c), 7);
    QCOMPARE(scalar(db, "select ZSMARTSTATE" + c), 3);
    QCOMPARE(scalar(db, "select ZUNREADCOUNT" + c), 0);
    QCOMPARE(scalar(db, "select count(*) from Z_3PHONENUMINDEXES where Z_3CONVERSATIONS=3"), 1);

    const QString p = " from ZPHONENUMBERINDEX where ZCANONIZEDPHONENUM='4369912345'";
    QCOMPARE(scalar(db, "select Z_ENT" + p), 5);
    QCOMPARE(scalar(db, "select ZISVIBER" + p), 1);
    QCOMPARE(value(db, "select ZPHONETYPE" + p).toString(), QStringLiteral("mobile"));
    // Emil was already there; he gets no second row.
    QCOMPARE(scalar(db, "select count(*) from ZPHONENUMBERINDEX where ZCANONIZEDPHONENUM='420601111222'"), 1);

    const QString m = " from ZVIBERMESSAGE where ZTOKEN=8001";
    QCOMPARE(scalar(db, "select Z_ENT" + m), 10);
    QCOMPARE(scalar(db, "select Z3_CONVERSATION" + m), 3);
    QCOMPARE(scalar(db, "select ZDELIVEREDCOUNT" + m), 0);
    QCOMPARE(value(db, "select ZEMOTICONSRANGES" + m).toByteArray(),
             Emoticons::emoticonRanges("Hi (smiley)"));
    QVERIFY(!value(db, "select ZRANGES" + m).isValid());

    const QString a = " from ZATTACHMENT where ZNAME='IMG_9.jpg'";
    QCOMPARE(value(db, "select ZSTATE" + a).toString(), QStringLiteral("complite"));
    QCOMPARE(value(db, "select ZURL" + a).toString(),
             QStringLiteral("assets-library://asset/asset.JPG?id=AAAA-BBBB&ext=JPG"));
    QCOMPARE(scalar(db, "select ZRANGE" + a), 4);
    QCOMPARE(scalar(db, "select Z_ENT" + a), 2);

    // Every new row's ZUID continues after the largest one of the file, without repeats.
    QList<qint64> uids;
    for (const char* table : {"ZCONVERSATION", "ZPHONENUMBERINDEX", "ZVIBERMESSAGE", "ZATTACHMENT"}) {
        Sqlite3Cursor cursor = db.queryThrow(
            Sqlite3Sql(QStringLiteral("select ZUID from %1 where ZUID > 5000").arg(QLatin1String(table))));
        while (cursor.moveNext())
            uids.append(cursor.getInt64(0));
    }
    std::sort(uids.begin(), uids.end());
    QCOMPARE(uids, QList<qint64>({5001, 5002, 5003, 5004, 5005}));

    // The store still reads, with what was written.
    IOSViberDb reader(dir.path(), QString::fromLatin1(LocalDbFixture::GenuineFile),
                      IOSViberDb::OpenForBrowsing);
    const ViberDataSetPtr data = reader.load();
    const _ViberChat* gusChat = data->chats.value(3);
    QVERIFY(gusChat);
    QCOMPARE(gusChat->messages.size(), 2);
    QCOMPARE(gusChat->messages.first()->text, QStringLiteral("Hi (smiley)"));
    QCOMPARE(data->calls.size(), 3);
}

void TestIOSViberDbWrite::callsWithoutToken()
{
    // Sources without call tokens tell calls apart by their date alone: three missed
    // calls of one person are three calls, and the same one again is none.
    QTemporaryDir dir;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberPerson* ben = s.person(2, "+4915198765", "Ben");
    const QList<_ViberCall*> calls = {
        s.call(1, anna, ViberCallKind::Missed, 1000.5, 0, 0),
        s.call(2, anna, ViberCallKind::Missed, 2000.25, 0, 0),
        s.call(3, ben, ViberCallKind::Missed, 3000, 0, 0),
        s.call(4, anna, ViberCallKind::Incoming, 1000.5, 30, 0),
    };
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbFixture::writeAll(db, {}, calls);
    LocalDbFixture::writeAll(db, {}, calls);
    const QString path = QDir(dir.path()).filePath(QString::fromLatin1(LocalDbFixture::ProgramFile));
    QCOMPARE(TestEnvironment::pythonQuery(path, "select count(*) from ZRECENT"), QStringLiteral("4"));
    QCOMPARE(TestEnvironment::pythonQuery(path, "select group_concat(ZDATE, ' ') from (select ZDATE from "
                                                "ZRECENT where ZCALLTYPE='missed' order by ZDATE)"),
             QStringLiteral("1000.5 2000.25 3000"));
}

void TestIOSViberDbWrite::repeatedCallBackupChangesNothing()
{
    // A second backup of a call, even one whose source names another person for it
    // (a group chat's call), finds the call and writes nothing: no person, no line.
    QTemporaryDir dir;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberPerson* ben = s.person(2, "+4915198765", "Ben");
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    LocalDbFixture::writeAll(db, {}, {s.call(1, anna, ViberCallKind::Outgoing, 5000, 12, 8801)});
    const QString path = QDir(dir.path()).filePath(QString::fromLatin1(LocalDbFixture::ProgramFile));
    const QString before = TestEnvironment::pythonDump(path);
    QVERIFY(before.contains("INSERT INTO \"ZRECENTSLINE\""));
    LocalDbFixture::writeAll(db, {}, {s.call(2, ben, ViberCallKind::Outgoing, 5000, 12, 8801)});
    QCOMPARE(TestEnvironment::pythonDump(path), before);
}

void TestIOSViberDbWrite::roundTrip()
{
    Sample s;
    _ViberPerson* anna = s.person(11, "+4917012345", "Anna Berg");
    _ViberPerson* ben = s.person(12, "+4915198765", "Ben Kraus");
    _ViberPerson* carla = s.person(13, "+4930555000", "Carla Diaz");
    _ViberChat* withAnna = s.chat(21, {}, {}, {anna});
    _ViberChat* club = s.chat(22, "5123456789", "Climbing Club", {anna, ben});

    QList<_ViberMsg*> messages;
    messages << s.message(31, withAnna, ViberMsgType::Text, ViberStatus::Sent, 600000000.125, 9001,
                          "Hi \U0001F600")
             << s.message(32, withAnna, ViberMsgType::Text, ViberStatus::Received, 600000050.5, 9002, "Hello",
                          anna)
             << s.message(33, withAnna, ViberMsgType::Picture, ViberStatus::Delivered, 600000100, 9003);
    s.attachment(messages.last(), "IMG_0033.jpg", "f33");
    messages << s.message(34, withAnna, ViberMsgType::Location, ViberStatus::Received, 600000200, 9004,
                          "Here", anna);
    messages.last()->location.setLatitude(48.137154);
    messages.last()->location.setLongitude(11.576124);
    messages.last()->location.setAddress("Marienplatz");
    s.attachment(messages.last(), {});
    messages << s.message(35, withAnna, ViberMsgType::Video, ViberStatus::PendingNotSent, 600000300, 9005);
    s.attachment(messages.last(), "clip.mp4", "v35")->duration = 12.5;
    messages << s.message(36, club, ViberMsgType::System, ViberStatus::Received, 600000400, 9006,
                          "Climbing Club", ben);
    messages.last()->systemType = ViberSystemType::NameChanged;
    messages << s.message(37, club, ViberMsgType::System, ViberStatus::Received, 600000410, 9007,
                          "Carla Diaz");
    messages.last()->systemType = ViberSystemType::MemberAdded;
    messages << s.message(38, club, ViberMsgType::Voice, ViberStatus::Received, 600000500, 9008, {}, ben);
    s.attachment(messages.last(), "voice.m4a")->duration = 4;
    messages << s.message(39, club, ViberMsgType::Sticker, ViberStatus::Sent, 600000600, 9009);
    s.attachment(messages.last(), {}, "40133");
    const QList<_ViberCall*> calls = {s.call(41, anna, ViberCallKind::Incoming, 600000700, 125, 7001),
                                      s.call(42, carla, ViberCallKind::Missed, 600000800, 0, 7002),
                                      s.call(43, carla, ViberCallKind::Outgoing, 600000900, 42, 7003)};

    QTemporaryDir dir;
    {
        IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
        LocalDbFixture::writeAll(db, messages, calls);
        // A second backup of the same selection adds nothing.
        LocalDbFixture::writeAll(db, messages, calls);
        QCOMPARE(scalar(db, "select count(*) from ZVIBERMESSAGE"), 9);
        QCOMPARE(scalar(db, "select count(*) from ZRECENT"), 3);
    }

    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile), IOSViberDb::OpenForBrowsing);
    const ViberDataSetPtr data = db.load();
    const _ViberChat* anna2 = chatWithTitle(*data, "Anna Berg");
    const _ViberChat* club2 = chatWithTitle(*data, "Climbing Club");
    const _ViberChat* carla2 = chatWithTitle(*data, "Carla Diaz");
    QVERIFY(anna2 && club2 && carla2);
    QVERIFY(carla2->id < 0);
    QCOMPARE(club2->groupId, QStringLiteral("5123456789"));
    QCOMPARE(ViberText::chatMembersText(*club2),
             QStringLiteral("Ben Kraus(+4915198765), Anna Berg(+4917012345)"));
    QCOMPARE(anna2->date, 600000700.0); // the call is its latest activity

    QHash<qint64, const _ViberMsg*> byToken;
    for (const _ViberMsg* msg : data->messages) {
        if (msg->type != ViberMsgType::Call)
            byToken.insert(msg->token, msg);
    }
    QCOMPARE(byToken.size(), messages.size());
    for (const _ViberMsg* original : std::as_const(messages)) {
        const _ViberMsg* read = byToken.value(original->token);
        QVERIFY2(read, qPrintable(QString::number(original->token)));
        QCOMPARE(read->type, original->type);
        QCOMPARE(read->status, original->status);
        QCOMPARE(read->systemType, original->systemType);
        QCOMPARE(read->date, original->date);
        QCOMPARE(read->stateDate, original->stateDate);
        QCOMPARE(read->text, original->text);
        QCOMPARE(read->location.latitude(), original->location.latitude());
        QCOMPARE(read->location.longitude(), original->location.longitude());
        QCOMPARE(read->location.address(), original->location.address());
        QCOMPARE(read->chat->name, original->chat->name);
        QCOMPARE(read->sender ? read->sender->number : QString(),
                 original->sender ? original->sender->number : QString());
        QCOMPARE(bool(read->attachment), bool(original->attachment));
        if (original->attachment && original->type != ViberMsgType::Voice) {
            QCOMPARE(read->attachment->fileName, original->attachment->fileName);
            QCOMPARE(read->attachment->fileId, original->attachment->fileId);
            QCOMPARE(read->attachment->duration, original->attachment->duration);
        }
    }
    const _ViberMsg* voice = byToken.value(9008);
    QCOMPARE(voice->attachment->fileName, QString::number(voice->attachment->id));
    QCOMPARE(voice->attachment->localPath,
             QDir(dir.path())
                 .absoluteFilePath("Documents/VoiceMessages/" + QString::number(voice->attachment->id)));

    QStringList callTexts;
    for (const _ViberMsg* msg : carla2->messages)
        callTexts.append(ViberText::summaryText(*msg));
    callTexts.sort();
    QCOMPARE(callTexts, QStringList({"Missed Call", "Outgoing Call (0' 42'')"}));
    QCOMPARE(anna2->messages.last()->call->token, 7001);
    QCOMPARE(anna2->messages.last()->call->duration, 125);
}

void TestIOSViberDbWrite::writerKeepsPaceWithPlainInserts()
{
    // A coarse guard against a writer that slows down with the database's size (a
    // look-up without an index, a statement prepared per row); the real benchmark
    // runs elsewhere with 200,000 messages.
    constexpr int Count = 20000;
    Sample s;
    _ViberPerson* anna = s.person(1, "+4917012345", "Anna");
    _ViberChat* chat = s.chat(1, {}, {}, {anna});
    QList<_ViberMsg*> messages;
    for (int i = 0; i < Count; ++i)
        messages.append(s.message(i + 1, chat, ViberMsgType::Text,
                                  i % 2 ? ViberStatus::Received : ViberStatus::Sent, 600000000 + i * 3,
                                  100000 + i, QStringLiteral("message number %1").arg(i),
                                  i % 2 ? anna : nullptr));

    QTemporaryDir dir;
    QElapsedTimer timer;
    qint64 plainMs = 0;
    {
        LocalDbFixture::createEmptyProgramStore(dir.filePath("plain"));
        Sqlite3DB plain;
        plain.openThrow(dir.filePath("plain/Documents/Contacts-kestrune.data"), Sqlite3DB::OpenReadWrite);
        timer.start();
        plain.beginTran();
        const QString sql = "insert into ZVIBERMESSAGE (ZSEQ, ZTOKEN, ZCONVERSATION, ZPHONENUMINDEX, ZDATE, "
                            "ZSTATEDATE, ZSTATE, ZTEXT, _other) values (?, ?, ?, ?, ?, ?, ?, ?, ?)";
        for (const _ViberMsg* msg : std::as_const(messages))
            plain.executeThrow(Sqlite3Sql(sql)
                                   .addInt64Param(msg->seq)
                                   .addInt64Param(msg->token)
                                   .addInt64Param(1)
                                   .addInt64Param(msg->sender ? 1 : 0)
                                   .addDoubleParam(msg->date)
                                   .addDoubleParam(msg->stateDate)
                                   .addTextParam(ViberCodes::statusText(msg->status))
                                   .addTextParam(msg->text)
                                   .addBlobParam(BlobCodec::stored(msg->extra.bytes())));
        plain.commitTran();
        plainMs = qMax<qint64>(1, timer.elapsed());
    }
    IOSViberDb db(dir.filePath("writer"), QString::fromLatin1(LocalDbFixture::ProgramFile));
    db.open();
    timer.start();
    LocalDbFixture::writeAll(db, messages, {});
    const qint64 writerMs = timer.elapsed();
    QCOMPARE(scalar(db, "select count(*) from ZVIBERMESSAGE"), Count);
    qInfo("%d messages: plain inserts %lld ms, writer %lld ms (%.2fx)", Count, plainMs, writerMs,
          double(writerMs) / plainMs);
    // Generous: a busy machine may slow one side alone by several times, while a look-up
    // that grows with the table makes 20,000 rows take minutes.
    QVERIFY2(writerMs < plainMs * 25 + 5000, "the writer is far slower than plain inserts");
}

QTEST_GUILESS_MAIN(TestIOSViberDbWrite)
#include "tst_iosviberdb_write.moc"
