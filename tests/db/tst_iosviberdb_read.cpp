#include "app/BlobCodec.h"
#include "app/Sqlite3Error.h"
#include "db/IOSViberDb.h"
#include "db/LocalDbPaths.h"
#include "db/ViberCodes.h"
#include "db/ViberText.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

int countRows(Sqlite3DB& db, const QString& sql)
{
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    return cursor.moveNext() ? cursor.getInt(0) : -1;
}

QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QStringList messageTexts(const _ViberChat* chat)
{
    QStringList texts;
    for (const _ViberMsg* msg : chat->messages)
        texts.append(QString::number(msg->id));
    return texts;
}

// A PNG whose header claims a picture far larger than anyone would decode.
QByteArray hugePngHeader()
{
    QByteArray ihdr("IHDR");
    quint32 side = qToBigEndian<quint32>(60000);
    ihdr.append(reinterpret_cast<const char*>(&side), 4);
    ihdr.append(reinterpret_cast<const char*>(&side), 4);
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    const quint32 length = qToBigEndian<quint32>(13);
    png.append(reinterpret_cast<const char*>(&length), 4);
    png.append(ihdr);
    // zlib's CRC-32 is what PNG uses; a wrong one would make the reader stop earlier.
    quint32 crc = 0xffffffffu;
    for (char ch : ihdr) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    const quint32 crcBig = qToBigEndian<quint32>(~crc);
    png.append(reinterpret_cast<const char*>(&crcBig), 4);
    png.append(QByteArray(64, '\0'));
    return png;
}

} // namespace

class TestIOSViberDbRead : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void newDatabaseHasSchema_data();
    void newDatabaseHasSchema();
    void browsingNeverCreatesOrWrites();
    void orphansRemovedAtEveryWritingOpen();
    void loadsChatsAndParticipants();
    void loadsMessagesAndSkipsUnreadableRows();
    void loadsAttachmentPaths();
    void callsGoToOneToOneOrSynthesisedChats();
    void callsWithoutAnyChat();
    void mapImageName_data();
    void mapImageName();
    void previews_data();
    void previews();
    void fileNamesFromDataStayInTheirFolder_data();
    void fileNamesFromDataStayInTheirFolder();
    void genuineStore();
    void damagedOrForeignFiles_data();
    void damagedOrForeignFiles();
};

void TestIOSViberDbRead::newDatabaseHasSchema_data()
{
    QTest::addColumn<bool>("emptyFileFirst");
    QTest::newRow("no file") << false;
    // An interrupted creation leaves an empty file; it is a new database, not a foreign one.
    QTest::newRow("empty file") << true;
}

void TestIOSViberDbRead::newDatabaseHasSchema()
{
    QFETCH(bool, emptyFileFirst);
    QTemporaryDir dir;
    if (emptyFileFirst) {
        QDir().mkpath(dir.filePath("Documents"));
        QFile empty(dir.filePath(QString::fromLatin1(LocalDbFixture::ProgramFile)));
        QVERIFY(empty.open(QIODevice::WriteOnly));
    }
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    db.open();
    QVERIFY(QFile::exists(dir.filePath(QString::fromLatin1(LocalDbFixture::ProgramFile))));

    QStringList tables;
    for (const SchemaCatalogue::Table& t : db.catalogue().tables())
        tables.append(t.name);
    tables.sort();
    QCOMPARE(tables,
             QStringList({"ZATTACHMENT", "ZCONVERSATION", "ZPHONENUMBERINDEX", "ZRECENT", "ZRECENTSLINE",
                          "ZVIBERLOCATION", "ZVIBERMESSAGE", "Z_4PHONENUMINDEXES", "Z_PRIMARYKEY"}));
    QCOMPARE(countRows(db, "select count(*) from Z_PRIMARYKEY where Z_SUPER=0 and Z_MAX=0"), 15);
    QCOMPARE(db.entityNumber("Conversation"), 4);
    QCOMPARE(db.entityNumber("PhoneNumberIndex"), 7);
    QCOMPARE(db.entityNumber("ViberMessage"), 15);
    QCOMPARE(db.joinTable(), QStringLiteral("Z_4PHONENUMINDEXES"));
    QCOMPARE(db.joinConversationColumn(), QStringLiteral("Z_4CONVERSATIONS"));
    QCOMPARE(db.joinPhoneColumn(), QStringLiteral("Z_7PHONENUMINDEXES"));

    QCOMPARE(countRows(db, "select count(*) from sqlite_master where type='index' and name like '%INDEX'"),
             17);
    QCOMPARE(countRows(db, "select count(*) from sqlite_master where name='ZRECENT_DATE_INDEX'"), 1);
    QCOMPARE(
        countRows(db, "select count(*) from sqlite_master where name='ZVIBERMESSAGE_ZPHONENUMINDEX_INDEX'"),
        1);
    const QStringList columns = [&] {
        QStringList names;
        for (const _SqliteCol& c : db.tbCols("ZVIBERMESSAGE"))
            names.append(c.name);
        return names;
    }();
    QCOMPARE(columns, QStringList({"Z_PK", "ZSEQ", "ZTOKEN", "ZATTACHMENT", "ZCONVERSATION", "ZLOCATION",
                                   "ZPHONENUMINDEX", "ZDATE", "ZSTATEDATE", "ZSTATE", "ZSYSTEMTYPE", "ZTEXT",
                                   "_other"}));

    const ViberDataSetPtr data = db.load();
    QVERIFY(data->chats.isEmpty());
    QVERIFY(data->messages.isEmpty());
}

void TestIOSViberDbRead::browsingNeverCreatesOrWrites()
{
    QTemporaryDir dir;
    {
        IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile),
                      IOSViberDb::OpenForBrowsing);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.open());
        QVERIFY(LocalDbFixture::filesBelow(dir.path()).isEmpty());
    }

    const QString path = LocalDbFixture::createProgramStore(dir.path());
    // A picture without previews, which opening for writing would preview.
    LocalDbFixture::writeImage(QDir(dir.path()).absoluteFilePath("Documents/Attachments/IMG_0001.jpg"),
                               QSize(80, 60));
    const QByteArray before = fileDigest(path);
    const QStringList filesBefore = LocalDbFixture::filesBelow(dir.path());
    {
        IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile),
                      IOSViberDb::OpenForBrowsing);
        const ViberDataSetPtr data = db.load();
        QCOMPARE(data->chats.size(), 7); // five stored, two made for calls
        QCOMPARE(countRows(db, "select count(*) from ZATTACHMENT where ZMESSAGE=99"), 1);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.execute("delete from ZVIBERMESSAGE"));
    }
    QCOMPARE(fileDigest(path), before);
    // Not even a missing preview is made while browsing.
    QCOMPARE(LocalDbFixture::filesBelow(dir.path()), filesBefore);
}

void TestIOSViberDbRead::orphansRemovedAtEveryWritingOpen()
{
    QTemporaryDir dir;
    LocalDbFixture::createProgramStore(dir.path());
    for (int round = 0; round < 2; ++round) {
        IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
        db.open();
        QCOMPARE(countRows(db, "select count(*) from Z_4PHONENUMINDEXES where Z_4CONVERSATIONS=9"), 0);
        QCOMPARE(countRows(db, "select count(*) from Z_4PHONENUMINDEXES"), 7);
        QCOMPARE(countRows(db, "select count(*) from ZVIBERLOCATION where ZMESSAGE=99"), 0);
        QCOMPARE(countRows(db, "select count(*) from ZVIBERLOCATION"), 1);
        QCOMPARE(countRows(db, "select count(*) from ZATTACHMENT where ZMESSAGE=99"), 0);
        QCOMPARE(countRows(db, "select count(*) from ZATTACHMENT"), 5);
        // New orphans, as a deletion that removed only the parent rows would leave them.
        db.execute("delete from ZVIBERMESSAGE where Z_PK=8");
        db.execute("delete from ZCONVERSATION where Z_PK=3");
        db.execute("insert into ZVIBERLOCATION (ZMESSAGE, ZLATITUDE, ZLONGITUDE) values (8, 1.5, 2.5)");
        db.close();
        db.open();
        QCOMPARE(countRows(db, "select count(*) from ZATTACHMENT where ZMESSAGE=8"), 0);
        QCOMPARE(countRows(db, "select count(*) from ZVIBERLOCATION where ZMESSAGE=8"), 0);
        QCOMPARE(countRows(db, "select count(*) from Z_4PHONENUMINDEXES where Z_4CONVERSATIONS=3"), 0);
        if (round == 0) {
            // Put the sample back for the second round.
            db.close();
            QFile::remove(dir.filePath(QString::fromLatin1(LocalDbFixture::ProgramFile)));
            LocalDbFixture::createProgramStore(dir.path());
        }
    }
}

void TestIOSViberDbRead::loadsChatsAndParticipants()
{
    QTemporaryDir dir;
    LocalDbFixture::createProgramStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    const ViberDataSetPtr data = db.load();

    QCOMPARE(data->persons.size(), 5);
    const _ViberPerson* anna = data->persons.value(1);
    QVERIFY(anna);
    QCOMPARE(anna->name, QStringLiteral("Anna Berg"));
    QCOMPARE(anna->number, QStringLiteral("+4917012345"));
    QCOMPARE(anna->avatarRef, QStringLiteral("/Documents/ViberIcons/anna01.jpg"));
    QCOMPARE(anna->photoPath, QDir(dir.path()).absoluteFilePath("Documents/ContactIcons/4917012345.jpg"));
    QVERIFY(data->persons.value(2)->avatarRef.isEmpty());
    // A service id with letters is kept as stored.
    QCOMPARE(data->persons.value(3)->number, QStringLiteral("ViberService"));

    const _ViberChat* one = data->chats.value(1);
    QVERIFY(one);
    QCOMPARE(one->participants.keys(), QList<qint64>({1}));
    QVERIFY(!one->isGroup());
    const _ViberChat* group = data->chats.value(2);
    QCOMPARE(group->groupId, QStringLiteral("5123456789"));
    QCOMPARE(group->name, QStringLiteral("Climbing Club"));
    QCOMPARE(group->date, 600001000.0);
    QList<qint64> members = group->participants.keys();
    std::sort(members.begin(), members.end());
    QCOMPARE(members, QList<qint64>({1, 2, 5}));
    QCOMPARE(ViberText::chatTitle(*data->chats.value(3)), QStringLiteral("Ben Kraus"));
    // The join row of the deleted conversation adds no chat.
    QVERIFY(!data->chats.contains(9));
}

void TestIOSViberDbRead::loadsMessagesAndSkipsUnreadableRows()
{
    QTemporaryDir dir;
    LocalDbFixture::createProgramStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    const ViberDataSetPtr data = db.load();

    // Unknown state (11), unknown system kind (12), unknown chat (13) and a member event
    // without a name (7) are skipped.
    for (qint64 skipped : {7, 11, 12, 13})
        QVERIFY2(!data->messages.contains(skipped), qPrintable(QString::number(skipped)));
    QCOMPARE(messageTexts(data->chats.value(1)), QStringList({"1", "2", "3", "4", "14", "-1"}));

    const _ViberMsg* first = data->messages.value(1);
    QCOMPARE(first->text, QStringLiteral("Hi Anna (smiley)"));
    QCOMPARE(first->status, int(ViberStatus::Sent));
    QCOMPARE(first->type, int(ViberMsgType::Text));
    QCOMPARE(first->token, 1001);
    QCOMPARE(first->date, 600000000.0);
    QCOMPARE(first->stateDate, 600000001.0);
    QVERIFY(!first->sender);
    const _ViberMsg* reply = data->messages.value(2);
    QCOMPARE(reply->sender, data->persons.value(1));
    QCOMPARE(reply->status, int(ViberStatus::Received));
    QCOMPARE(reply->date, 600000060.5);
    QCOMPARE(data->messages.value(14)->status, int(ViberStatus::PendingNotSent));

    const _ViberMsg* location = data->messages.value(4);
    QCOMPARE(location->type, int(ViberMsgType::Location));
    QCOMPARE(location->location.latitude(), 48.1);
    QCOMPARE(location->location.longitude(), 11.58);
    QCOMPARE(location->location.address(), QStringLiteral("Marienplatz 1, München"));
    QCOMPARE(ViberText::summaryText(*location), QStringLiteral("Marienplatz [LOCATION]"));

    const _ViberMsg* renamed = data->messages.value(5);
    QCOMPARE(renamed->type, int(ViberMsgType::System));
    QCOMPARE(renamed->systemType, int(ViberSystemType::NameChanged));
    QCOMPARE(ViberText::summaryText(*renamed),
             QStringLiteral("Ben Kraus changed the group name to \"Climbing Club\""));
    const _ViberMsg* joined = data->messages.value(6);
    QCOMPARE(joined->systemType, int(ViberSystemType::MemberAdded));
    QCOMPARE(ViberText::summaryText(*joined), QStringLiteral("Dora Lind joined"));
    // Rows of the program's schema carry their "_other" blob as it is (NULL here).
    QVERIFY(first->extra.isEmpty());
}

void TestIOSViberDbRead::loadsAttachmentPaths()
{
    QTemporaryDir dir;
    LocalDbFixture::createProgramStore(dir.path());
    const QDir root(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    const ViberDataSetPtr data = db.load();

    QCOMPARE(data->attachments.size(), 5);
    QVERIFY(!data->attachments.contains(5)); // orphan

    const _ViberMsg* picture = data->messages.value(3);
    QCOMPARE(picture->type, int(ViberMsgType::Picture));
    QVERIFY(picture->attachment);
    QCOMPARE(picture->attachment->message, picture);
    QCOMPARE(picture->attachment->fileName, QStringLiteral("IMG_0001.jpg"));
    QCOMPARE(picture->attachment->bucket, QStringLiteral("Share2020-01-06"));
    QCOMPARE(picture->attachment->fileSize, 20480);
    QCOMPARE(picture->attachment->localPath, root.absoluteFilePath("Documents/Attachments/IMG_0001.jpg"));
    QCOMPARE(picture->attachment->previewPath,
             root.absoluteFilePath("Documents/AttachmentsPreview/IMG_0001.jpg"));

    const _ViberMsg* voice = data->messages.value(8);
    QCOMPARE(voice->type, int(ViberMsgType::Voice));
    QCOMPARE(voice->attachment->duration, 4.5);
    QCOMPARE(voice->attachment->localPath, root.absoluteFilePath("Documents/VoiceMessages/2"));

    const _ViberMsg* sticker = data->messages.value(9);
    QCOMPARE(sticker->type, int(ViberMsgType::Sticker));
    QCOMPARE(sticker->attachment->previewPath,
             root.absoluteFilePath("Documents/stickers/12300/100/00012345.png"));
    QCOMPARE(ViberText::summaryText(*sticker), QStringLiteral("[STICKER-12345]"));

    const _ViberMsg* video = data->messages.value(10);
    QCOMPARE(video->type, int(ViberMsgType::Video));
    QCOMPARE(video->attachment->localPath, root.absoluteFilePath("Documents/Attachments/clip.2020.mp4"));
    QCOMPARE(video->attachment->previewPath,
             root.absoluteFilePath("Documents/BigAttachmentsPreview/clip.jpg"));

    const _ViberMsg* location = data->messages.value(4);
    QCOMPARE(location->attachment->previewPath,
             root.absoluteFilePath("Documents/CustomLocationImage/48.100000_11.jpg"));
}

void TestIOSViberDbRead::callsGoToOneToOneOrSynthesisedChats()
{
    QTemporaryDir dir;
    LocalDbFixture::createProgramStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    const ViberDataSetPtr data = db.load();

    // The call of unknown type (5) is skipped; the rest become call messages.
    QCOMPARE(data->calls.size(), 5);
    QVERIFY(!data->messages.contains(-5));
    const _ViberMsg* annaCall = data->messages.value(-1);
    QVERIFY(annaCall);
    QCOMPARE(annaCall->type, int(ViberMsgType::Call));
    QCOMPARE(annaCall->chat, data->chats.value(1));
    QCOMPARE(annaCall->call->kind, int(ViberCallKind::Incoming));
    QCOMPARE(annaCall->call->duration, 125);
    QCOMPARE(annaCall->call->token, 5001);
    QCOMPARE(annaCall->date, annaCall->call->date);
    QCOMPARE(annaCall->call->person, data->persons.value(1));
    QCOMPARE(ViberText::summaryText(*annaCall), QStringLiteral("Incoming Call (2' 5'')"));
    QCOMPARE(data->chats.value(1)->date, 600005000.0); // moved forward by the call

    // Carla has no chat: one is made for her, numbered minus the five chats before it,
    // and both her calls go there.
    const _ViberChat* carla = data->chats.value(-5);
    QVERIFY(carla);
    QCOMPARE(carla->name, QStringLiteral("Carla Diaz"));
    QCOMPARE(carla->participants.keys(), QList<qint64>({4}));
    QCOMPARE(messageTexts(carla), QStringList({"-2", "-3"}));
    QCOMPARE(data->messages.value(-2)->call->kind, int(ViberCallKind::Outgoing));
    QCOMPARE(data->messages.value(-3)->call->kind, int(ViberCallKind::Missed));
    QCOMPARE(carla->date, 600006000.0);

    // Ben's video call goes to his one-to-one chat, not to the group he is in.
    QCOMPARE(data->messages.value(-4)->chat, data->chats.value(3));
    QCOMPARE(data->messages.value(-4)->call->kind, int(ViberCallKind::Incoming));

    // Dora is the only other member of the group "Duo"; her call is not shown there
    // but in a chat of her own.
    const _ViberChat* dora = data->messages.value(-6)->chat;
    QCOMPARE(dora->id, -6);
    QCOMPARE(dora->participants.keys(), QList<qint64>({5}));
    QCOMPARE(data->chats.value(5)->messages.size(), 0);
    QCOMPARE(data->chats.size(), 7);
}

void TestIOSViberDbRead::callsWithoutAnyChat()
{
    QTemporaryDir dir;
    LocalDbFixture::createProgramStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    db.execute("delete from ZCONVERSATION");
    const ViberDataSetPtr data = db.load();

    // With no chat before them the first made chat cannot be numbered 0 ("no chat"):
    // every call still lands in a chat of its own person, each with its own negative id.
    QList<qint64> ids;
    for (const _ViberChat* chat : data->chats)
        ids.append(chat->id);
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, QList<qint64>({-4, -3, -2, -1}));
    for (const _ViberMsg* msg : data->messages) {
        QCOMPARE(msg->type, int(ViberMsgType::Call));
        QCOMPARE(msg->chat->participants.keys(), QList<qint64>({msg->call->person->id}));
    }
    QCOMPARE(data->messages.size(), 5);
}

void TestIOSViberDbRead::mapImageName_data()
{
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<QString>("name");
    QTest::newRow("short latitude padded") << 48.1 << 11.58 << "48.100000_11.jpg";
    QTest::newRow("eight significant digits") << 52.52001234 << 13.4049 << "52.520012_13.jpg";
    QTest::newRow("south and west") << -33.8688 << -70.9 << "-33.868800_-70.jpg";
    QTest::newRow("whole latitude") << 45.0 << 7.9 << "450000_7.jpg";
}

void TestIOSViberDbRead::mapImageName()
{
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(QString, name);
    QCOMPARE(LocalDbPaths::mapImageName(latitude, longitude), name);
}

void TestIOSViberDbRead::previews_data()
{
    QTest::addColumn<QString>("existing");  // preview file present before loading, if any
    QTest::addColumn<QString>("picture");   // "wide", "tall", "corrupt", "huge"
    QTest::addColumn<QString>("preview");   // expected preview path, relative
    QTest::addColumn<QSize>("previewSize"); // of a made preview; invalid when none is made

    QTest::newRow("wide made") << ""
                               << "wide"
                               << "Documents/AttachmentsPreview/IMG_0001.jpg" << QSize(400, 300);
    QTest::newRow("tall made") << ""
                               << "tall"
                               << "Documents/AttachmentsPreview/IMG_0001.jpg" << QSize(200, 400);
    QTest::newRow("small preview kept") << "Documents/AttachmentsPreview/IMG_0001.jpg"
                                        << "wide"
                                        << "Documents/AttachmentsPreview/IMG_0001.jpg" << QSize();
    QTest::newRow("big preview used") << "Documents/BigAttachmentsPreview/IMG_0001.jpg"
                                      << "wide"
                                      << "Documents/BigAttachmentsPreview/IMG_0001.jpg" << QSize();
    QTest::newRow("corrupt picture") << ""
                                     << "corrupt"
                                     << "Documents/AttachmentsPreview/IMG_0001.jpg" << QSize();
    QTest::newRow("enormous picture") << ""
                                      << "huge"
                                      << "Documents/AttachmentsPreview/IMG_0001.jpg" << QSize();
}

void TestIOSViberDbRead::previews()
{
    QFETCH(QString, existing);
    QFETCH(QString, picture);
    QFETCH(QString, preview);
    QFETCH(QSize, previewSize);

    QTemporaryDir dir;
    const QDir root(dir.path());
    LocalDbFixture::createProgramStore(dir.path());
    const QString source = root.absoluteFilePath("Documents/Attachments/IMG_0001.jpg");
    if (picture == u"wide") {
        LocalDbFixture::writeImage(source, QSize(800, 600));
    } else if (picture == u"tall") {
        LocalDbFixture::writeImage(source, QSize(300, 600));
    } else {
        QDir().mkpath(root.absoluteFilePath("Documents/Attachments"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(picture == u"huge" ? hugePngHeader()
                                      : QByteArray("\xff\xd8\xff\xe0 not really a jpeg", 22));
    }
    QByteArray existingDigest;
    if (!existing.isEmpty()) {
        LocalDbFixture::writeImage(root.absoluteFilePath(existing), QSize(40, 30));
        existingDigest = fileDigest(root.absoluteFilePath(existing));
    }

    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
    const ViberDataSetPtr data = db.load();
    const _ViberAtta* atta = data->attachments.value(1);
    QVERIFY(atta);
    QCOMPARE(atta->previewPath, root.absoluteFilePath(preview));

    if (!existing.isEmpty()) {
        QCOMPARE(fileDigest(root.absoluteFilePath(existing)), existingDigest);
    } else if (previewSize.isValid()) {
        QImageReader reader(atta->previewPath);
        QCOMPARE(reader.size(), previewSize);
    } else {
        QVERIFY(!QFile::exists(atta->previewPath));
        QVERIFY(!QFile::exists(root.absoluteFilePath("Documents/BigAttachmentsPreview/IMG_0001.jpg")));
    }
}

void TestIOSViberDbRead::fileNamesFromDataStayInTheirFolder_data()
{
    QTest::addColumn<QString>("column"); // "name", "sticker" or "number"
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("type");

    QTest::newRow("picture name climbing up") << "name"
                                              << "../../../escaped.jpg"
                                              << "picture";
    QTest::newRow("picture name absolute") << "name"
                                           << "/tmp/escaped.jpg"
                                           << "picture";
    QTest::newRow("picture name backslashes") << "name"
                                              << "..\\..\\escaped.jpg"
                                              << "picture";
    QTest::newRow("picture name dot dot") << "name"
                                          << ".."
                                          << "picture";
    QTest::newRow("voice name climbing up") << "name"
                                            << "../../escaped"
                                            << "audio";
    QTest::newRow("video name climbing up") << "name"
                                            << "../../escaped.mp4"
                                            << "video";
    QTest::newRow("sticker id climbing up") << "sticker"
                                            << "../../../../escaped"
                                            << "sticker";
    QTest::newRow("sticker id absolute") << "sticker"
                                         << "/etc/passwd"
                                         << "sticker";
    QTest::newRow("number with letters") << "number"
                                         << "a/../../../escaped"
                                         << "";
}

void TestIOSViberDbRead::fileNamesFromDataStayInTheirFolder()
{
    QFETCH(QString, column);
    QFETCH(QString, value);
    QFETCH(QString, type);

    // The database folder sits two levels deep so that an escape would land in the
    // temporary folder, where the test looks for it.
    QTemporaryDir outer;
    const QString folder = outer.filePath("a/b");
    const QString dbPath = LocalDbFixture::createProgramStore(folder);
    Sqlite3DB raw;
    raw.openThrow(dbPath, Sqlite3DB::OpenReadWrite);
    if (column == u"number") {
        raw.executeThrow(
            Sqlite3Sql("update ZPHONENUMBERINDEX set ZCANONIZEDPHONENUM=? where Z_PK=1").addTextParam(value));
    } else {
        raw.executeThrow(Sqlite3Sql(column == u"sticker"
                                        ? "update ZATTACHMENT set ZID=?, ZTYPE=? where Z_PK=1"
                                        : "update ZATTACHMENT set ZNAME=?, ZTYPE=? where Z_PK=1")
                             .addTextParam(value)
                             .addTextParam(type));
    }
    raw.close();
    // A picture that would be found and previewed if the name were followed.
    LocalDbFixture::writeImage(outer.filePath("escaped.jpg"), QSize(100, 100));
    LocalDbFixture::writeImage(outer.filePath("a/escaped.jpg"), QSize(100, 100));
    const auto outside = [&] {
        QStringList files = LocalDbFixture::filesBelow(outer.path());
        files.removeIf([](const QString& f) { return f.startsWith(QLatin1String("a/b/")); });
        return files;
    };
    const QStringList outerBefore = outside();

    IOSViberDb db(folder, QString::fromLatin1(LocalDbFixture::ProgramFile));
    const ViberDataSetPtr data = db.load();
    const QString documents = QDir(folder).absoluteFilePath("Documents") + QLatin1Char('/');
    QStringList paths;
    for (const _ViberAtta* atta : data->attachments)
        paths << atta->localPath << atta->previewPath;
    for (const _ViberPerson* person : data->persons)
        paths << person->photoPath;
    for (const QString& path : std::as_const(paths)) {
        if (path.isEmpty())
            continue;
        QVERIFY2(QDir::cleanPath(path).startsWith(documents), qPrintable(path));
        QVERIFY2(!path.contains(QLatin1String("..")) || QDir::cleanPath(path) == path, qPrintable(path));
    }
    // Nothing was written outside the database folder.
    QCOMPARE(outside(), outerBefore);
}

void TestIOSViberDbRead::genuineStore()
{
    QTemporaryDir dir;
    const QString path = LocalDbFixture::createGenuineStore(dir.path());
    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::GenuineFile));
    const ViberDataSetPtr data = db.load();

    QCOMPARE(db.joinTable(), QStringLiteral("Z_3PHONENUMINDEXES"));
    QCOMPARE(db.joinConversationColumn(), QStringLiteral("Z_3CONVERSATIONS"));
    QCOMPARE(db.joinPhoneColumn(), QStringLiteral("Z_5PHONENUMINDEXES"));

    // Names come from the address book only.
    const _ViberPerson* emil = data->persons.value(1);
    QCOMPARE(emil->name, QStringLiteral("Emil Novak"));
    QCOMPARE(emil->number, QStringLiteral("+420601111222"));
    QCOMPARE(emil->abPhotoPath, QStringLiteral("/Documents/ContactIcons/41.jpg"));
    QCOMPARE(emil->extraMap().value("Z_OPT").toInt(), 4);
    QVERIFY(data->persons.value(3)->name.isEmpty());
    QVERIFY(data->persons.value(3)->abPhotoPath.isEmpty());

    const _ViberChat* group = data->chats.value(2);
    QCOMPARE(group->participants.size(), 3);
    const QVariantMap chatExtra = group->extraMap();
    QCOMPARE(chatExtra.value("Z_OPT").toInt(), 5);
    QCOMPARE(chatExtra.value("ZCONTEXT").toLongLong(), 88);
    QCOMPARE(chatExtra.value("ZSMARTNOTIFICATIONSHOWN").toInt(), 1);
    QVERIFY(!data->chats.value(1)->extraMap().contains("ZSMARTNOTIFICATIONSHOWN")); // NULL there

    const _ViberMsg* hej = data->messages.value(2);
    QCOMPARE(hej->sender, emil);
    QCOMPARE(hej->extraMap().value("ZEMOTICONSRANGES").toByteArray(),
             QByteArray::fromHex("0400000006000000470000"));
    QVERIFY(!hej->extraMap().contains("ZRANGES"));

    const _ViberAtta* picture = data->attachments.value(1);
    QCOMPARE(picture->message->type, int(ViberMsgType::Picture));
    QCOMPARE(ViberText::assetId(*picture), QStringLiteral("1F3A2B4C-1111-2222-3333-444455556666"));
    QCOMPARE(picture->extraMap().value("ZSTATE").toString(), QStringLiteral("complite"));

    // Frida has calls but no one-to-one chat.
    const _ViberChat* frida = data->chats.value(-2);
    QVERIFY(frida);
    QCOMPARE(frida->name, QStringLiteral("Frida Holm"));
    QCOMPARE(messageTexts(frida), QStringList({"-1", "-2"}));
}

void TestIOSViberDbRead::damagedOrForeignFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a truncated copy of a real store
    QTest::addColumn<QString>("foreignSql");
    QTest::addColumn<int>("flag");

    const QByteArray garbage = QByteArray("this is not a database\n").repeated(200);
    QTest::newRow("garbage, writing") << garbage << "" << int(IOSViberDb::OpenForWriting);
    QTest::newRow("garbage, browsing") << garbage << "" << int(IOSViberDb::OpenForBrowsing);
    QTest::newRow("truncated, writing") << QByteArray() << "" << int(IOSViberDb::OpenForWriting);
    QTest::newRow("truncated, browsing") << QByteArray() << "" << int(IOSViberDb::OpenForBrowsing);
    QTest::newRow("android database, writing")
        << QByteArray() << "CREATE TABLE messages (_id INTEGER PRIMARY KEY, body TEXT);"
        << int(IOSViberDb::OpenForWriting);
    QTest::newRow("store without messages, writing")
        << QByteArray()
        << "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX "
           "INTEGER);"
        << int(IOSViberDb::OpenForWriting);
}

void TestIOSViberDbRead::damagedOrForeignFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, foreignSql);
    QFETCH(int, flag);

    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(LocalDbFixture::ProgramFile));
    if (!foreignSql.isEmpty()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        LocalDbFixture::runScript(path, foreignSql);
    } else {
        if (content.isEmpty()) {
            QTemporaryDir source;
            QFile real(LocalDbFixture::createProgramStore(source.path()));
            QVERIFY(real.open(QIODevice::ReadOnly));
            content = real.readAll();
            // Keep the header and the schema page, lose the pages with the tables.
            content.truncate(4096 + 1024);
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QByteArray before = fileDigest(path);

    IOSViberDb db(dir.path(), QString::fromLatin1(LocalDbFixture::ProgramFile), flag);
    QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.load());
    QVERIFY(!db.isOpen());
    // A second attempt fails the same way instead of working on a half-prepared handle.
    QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.load());
    QCOMPARE(fileDigest(path), before);
}

QTEST_GUILESS_MAIN(TestIOSViberDbRead)
#include "tst_iosviberdb_read.moc"
