#include "app/Sqlite3Error.h"
#include "db/PCViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestPCViberDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void chatsAndMembers();
    void desktopFileIsOnlyRead();
    void contactWithoutChats();
    void messageKinds_data();
    void messageKinds();
    void attachments();
    void calls_data();
    void calls();
    void durations_data();
    void durations();
    void voiceIdStaysInItsFolder();
    void extremeTimesMeanNoTime();
    void damagedFileThrows_data();
    void damagedFileThrows();

private:
    std::unique_ptr<DesktopFixture> m_fixture;
    std::unique_ptr<PCViberDb> m_db;
    ViberDataSetPtr m_data;
};

void TestPCViberDb::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    m_fixture = std::make_unique<DesktopFixture>();
    m_db = std::make_unique<PCViberDb>(m_fixture->dbPath());
    m_data = m_db->load();
}

void TestPCViberDb::chatsAndMembers()
{
    QCOMPARE(m_data->chats.size(), 3);
    const _ViberChat* anna = m_data->chats.value(1);
    QVERIFY(!anna->isGroup());
    QVERIFY(anna->name.isEmpty());
    QCOMPARE(anna->date, ViberDates::unixSecondsToRef(1400000300));
    // one-to-one: exactly its one person from the chat row, ChatRelation adds nothing
    QCOMPARE(anna->participants.size(), 1);
    const _ViberPerson* annaPerson = anna->participants.cbegin().value();
    QCOMPARE(annaPerson->number, QStringLiteral("+491702222222"));
    QCOMPARE(annaPerson->name, QStringLiteral("Anna Berg"));
    QCOMPARE(annaPerson->photoPath,
             QStringLiteral("C:/Users/me/AppData/Roaming/ViberPC/491701111111/Avatars/anna.jpg"));

    const _ViberChat* team = m_data->chats.value(2);
    QVERIFY(team->isGroup());
    QCOMPARE(team->groupId, QStringLiteral("7777000011112222"));
    QCOMPARE(team->name, QStringLiteral("Team"));
    QStringList members;
    for (const _ViberPerson* p : team->participants)
        members.append(p->number);
    members.sort();
    QCOMPARE(members, (QStringList{QStringLiteral("+491703333333"), QStringLiteral("+491704444444")}));
    // the group's member Ben is the same record as the peer of the one-to-one chat 3
    QCOMPARE(m_data->chats.value(3)->participants.cbegin().value()->number, QStringLiteral("+491703333333"));
    QVERIFY(team->participants.contains(m_data->chats.value(3)->participants.cbegin().key()));
}

void TestPCViberDb::contactWithoutChats()
{
    QCOMPARE(m_data->persons.size(), 4);
    bool found = false;
    for (const _ViberPerson* p : m_data->persons) {
        if (p->number == QLatin1String("+491705555555")) {
            found = true;
            QCOMPARE(p->name, QStringLiteral("Dora Ohnechat"));
        }
    }
    QVERIFY(found);
}

void TestPCViberDb::messageKinds_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("senderNumber");
    QTest::newRow("text in") << qint64(101) << int(ViberMsgType::Text) << int(ViberStatus::Received)
                             << QStringLiteral("Hi Anna") << QStringLiteral("+491702222222");
    QTest::newRow("0x40 and 0x80 read as text")
        << qint64(102) << int(ViberMsgType::Text) << int(ViberStatus::Delivered)
        << QStringLiteral("Text und Bild") << QString();
    QTest::newRow("image") << qint64(103) << int(ViberMsgType::Picture) << int(ViberStatus::Received)
                           << QStringLiteral("Urlaub") << QStringLiteral("+491702222222");
    QTest::newRow("voice in a group") << qint64(104) << int(ViberMsgType::Voice) << int(ViberStatus::Received)
                                      << QString() << QStringLiteral("+491704444444");
    QTest::newRow("video out") << qint64(105) << int(ViberMsgType::Video) << int(ViberStatus::Delivered)
                               << QString() << QString();
    QTest::newRow("location") << qint64(106) << int(ViberMsgType::Location) << int(ViberStatus::Received)
                              << QString() << QStringLiteral("+491702222222");
    QTest::newRow("sticker out") << qint64(107) << int(ViberMsgType::Sticker) << int(ViberStatus::Delivered)
                                 << QString() << QString();
}

void TestPCViberDb::messageKinds()
{
    QFETCH(qint64, id);
    QFETCH(int, type);
    QFETCH(int, status);
    QFETCH(QString, text);
    QFETCH(QString, senderNumber);
    const _ViberMsg* msg = m_data->messages.value(id);
    QVERIFY(msg);
    QCOMPARE(msg->type, type);
    QCOMPARE(msg->status, status);
    QCOMPARE(msg->text, text);
    QCOMPARE(msg->sender ? msg->sender->number : QString(), senderNumber);
    QCOMPARE(msg->date, ViberDates::unixSecondsToRef(1400000000 + id));
    QCOMPARE(msg->stateDate, msg->date);
    QCOMPARE(msg->seq, msg->token);
    QVERIFY(msg->chat && msg->chat->messages.contains(const_cast<_ViberMsg*>(msg)));
    QCOMPARE(msg->attachment != nullptr, type != ViberMsgType::Text);
    if (msg->attachment) {
        QCOMPARE(msg->attachment->message, msg);
        QCOMPARE(msg->attachment->seq, msg->token);
    }
    // an unknown Type and an unknown chat are passed over
    QVERIFY(!m_data->messages.contains(108));
    QVERIFY(!m_data->messages.contains(109));
}

void TestPCViberDb::attachments()
{
    const _ViberAtta* image = m_data->attachments.value(103);
    QCOMPARE(image->fileId, QStringLiteral("6003"));
    QCOMPARE(image->fileName, QStringLiteral("6003.jpg"));
    QCOMPARE(image->localPath, QStringLiteral("C:/Users/me/Documents/ViberDownloads/0-6003.jpg"));
    QCOMPARE(image->previewPath,
             QStringLiteral("C:/Users/me/AppData/Roaming/ViberPC/491701111111/Thumbnails/6003.jpg"));

    // token 0: the key is the time in milliseconds
    QCOMPARE(m_data->attachments.value(105)->fileName, QStringLiteral("1400000105000.mp4"));

    const _ViberMsg* location = m_data->messages.value(106);
    QCOMPARE(location->location.latitude(), 31.230416);
    QCOMPARE(location->location.longitude(), 121.473701);
    QCOMPARE(location->attachment->fileName, QStringLiteral("6006"));

    QCOMPARE(m_data->attachments.value(107)->fileId, QStringLiteral("12345"));
    QCOMPARE(m_data->attachments.value(107)->fileName, QStringLiteral("6007"));

    const _ViberAtta* voice = m_data->attachments.value(104);
    QCOMPARE(voice->fileId, QStringLiteral("ptt-6004.amr"));
    QCOMPARE(voice->fileName, QStringLiteral("ptt-6004.amr"));
    QCOMPARE(voice->localPath,
             QDir::homePath() + QStringLiteral("/Documents/ViberDownloads/PTT/ptt-6004.amr"));
}

void TestPCViberDb::calls_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("duration");
    QTest::newRow("received with duration 0 is missed") << qint64(201) << int(ViberCallKind::Missed) << 0;
    QTest::newRow("outgoing with duration 0 stays outgoing")
        << qint64(202) << int(ViberCallKind::Outgoing) << 0;
    QTest::newRow("received") << qint64(203) << int(ViberCallKind::Incoming) << 65;
}

void TestPCViberDb::calls()
{
    QFETCH(qint64, id);
    QFETCH(int, kind);
    QFETCH(int, duration);
    const _ViberCall* call = m_data->calls.value(id);
    QVERIFY(call);
    QCOMPARE(call->kind, kind);
    QCOMPARE(call->duration, duration);
    const _ViberMsg* msg = m_data->messages.value(id);
    QCOMPARE(msg->type, int(ViberMsgType::Call));
    QCOMPARE(msg->call, call);
    QCOMPARE(call->date, msg->date);
    QCOMPARE(call->token, msg->token);
    QVERIFY(call->person);
    QVERIFY(msg->chat->messages.contains(const_cast<_ViberMsg*>(msg)));
    // a call with a number that no person has is not loaded
    QVERIFY(!m_data->calls.contains(204));
    QVERIFY(!m_data->messages.contains(204));
}

void TestPCViberDb::durations_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<double>("voice");
    QTest::addColumn<double>("video");
    QTest::newRow("PttDuration only") << int(DesktopFixture::Shape::NumberKeyed) << 7.0 << 0.0;
    QTest::newRow("Duration wins") << int(DesktopFixture::Shape::WithDuration) << 9.0 << 9.0;
    QTest::newRow("neither column") << int(DesktopFixture::Shape::WithoutDurations) << 0.0 << 0.0;
}

void TestPCViberDb::durations()
{
    QFETCH(int, shape);
    QFETCH(double, voice);
    QFETCH(double, video);
    DesktopFixture fixture(static_cast<DesktopFixture::Shape>(shape));
    PCViberDb db(fixture.dbPath());
    const ViberDataSetPtr data = db.load();
    QCOMPARE(data->attachments.value(104)->duration, voice);
    QCOMPARE(data->attachments.value(105)->duration, video);
    QCOMPARE(data->messages.size(), m_data->messages.size());
}

void TestPCViberDb::voiceIdStaysInItsFolder()
{
    const _ViberAtta* voice = m_data->attachments.value(110);
    QVERIFY(voice);
    QCOMPARE(voice->fileId, QStringLiteral("..\\..\\..\\evil"));
    const QString folder = QDir::homePath() + QStringLiteral("/Documents/ViberDownloads/PTT");
    QCOMPARE(QFileInfo(QDir::cleanPath(voice->localPath)).absolutePath(), folder);
    QVERIFY(!voice->fileName.contains(QLatin1Char('\\')));
    QVERIFY(!voice->fileName.contains(QLatin1Char('/')));
}

void TestPCViberDb::extremeTimesMeanNoTime()
{
    // A time stamp whose milliseconds no 64-bit integer holds names no file, and one the
    // 2001 reference would carry past the limit is no date.
    DesktopFixture fixture;
    {
        Sqlite3DB db;
        db.openThrow(fixture.dbPath(), Sqlite3DB::OpenReadWrite);
        db.executeScriptThrow(
            QStringLiteral("UPDATE Events SET TimeStamp = 9223372036854776, Token = 0 WHERE EventID = 105;"
                           "UPDATE Events SET TimeStamp = -9223372036854775807 WHERE EventID = 101;"));
    }
    PCViberDb db(fixture.dbPath());
    const ViberDataSetPtr data = db.load();
    QCOMPARE(data->attachments.value(105)->fileName, QString());
    QCOMPARE(data->messages.value(101)->date, 0.0);
}

void TestPCViberDb::damagedFileThrows_data()
{
    QTest::addColumn<bool>("sqliteFile");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a database") << false << QStringLiteral("file is not a database");
    QTest::newRow("another app's database") << true << QStringLiteral("no such table: ChatInfo");
}

void TestPCViberDb::damagedFileThrows()
{
    QFETCH(bool, sqliteFile);
    QFETCH(QString, message);
    DesktopFixture fixture;
    QVERIFY(QFile::remove(fixture.dbPath()));
    if (sqliteFile) {
        Sqlite3DB other;
        other.openThrow(fixture.dbPath(), Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        other.executeScriptThrow(
            QStringLiteral("create table conversations(_id integer primary key, name text);"));
    } else {
        QFile file(fixture.dbPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(QByteArray(4096, '\x5a')), qint64(4096));
    }
    PCViberDb db(fixture.dbPath());
    try {
        db.load();
        QFAIL("load() succeeded on a file that is not the desktop app's");
    } catch (const Sqlite3Error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
    }
}

// The desktop app's own database is read in place: loading it changes nothing there.
void TestPCViberDb::desktopFileIsOnlyRead()
{
    DesktopFixture fixture;
    QFile before(fixture.dbPath());
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();
    {
        PCViberDb db(fixture.dbPath());
        QVERIFY(db.load()->messages.size() > 0);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.execute(QStringLiteral("delete from Events")));
    }
    QFile after(fixture.dbPath());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
    const QStringList companions =
        QFileInfo(fixture.dbPath()).dir().entryList({QStringLiteral("*-wal"), QStringLiteral("*-journal")});
    QVERIFY(companions.isEmpty());
}

QTEST_GUILESS_MAIN(TestPCViberDb)
#include "tst_pcviberdb.moc"
