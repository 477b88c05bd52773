#include "app/Sqlite3DB.h"
#include "db/IOSMemberViberDb.h"
#include "db/IOSViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/ViberCodes.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "tests/support/IOSMemberFixture.h"
#include "tests/support/IPhoneBackupFixture.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString DatabaseFile = QLatin1String(IOSMemberFixture::DatabaseFile);

// Turns the backup's Contacts.data into a file of 2017, keeping the -wal a running app
// leaves (the message only there stays only there).
void reshapeBackupTo2017(const IPhoneBackupFixture& backup)
{
    const QString group = QLatin1String(IPhoneBackup::ViberGroupDomain);
    const QString database = QLatin1String(IPhoneBackup::ViberDatabase);
    const QStringList suffixes{QString(), QStringLiteral("-wal"), QStringLiteral("-shm")};
    QTemporaryDir work;
    const QString path = work.filePath(QStringLiteral("Contacts.data"));
    for (const QString& suffix : suffixes) {
        if (!QFile::copy(backup.storedPath(group, database + suffix), path + suffix))
            throw std::runtime_error("cannot copy the backup's database");
    }
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadWrite);
    db.executeScriptThrow(QStringLiteral("PRAGMA wal_autocheckpoint=0;"));
    IOSMemberFixture::reshape(db, IOSMemberFixture::Shape::Of2017);
    // Taken while the connection is open, before closing folds the log into the file.
    for (const QString& suffix : suffixes) {
        if (!TestEnvironment::writeFile(backup.storedPath(group, database + suffix),
                                        TestEnvironment::readFile(path + suffix)))
            throw std::runtime_error("cannot write the backup's database");
    }
}

// What both shapes hold alike: chats, one-to-one persons, attachments and places.
void compareWithToday(const ViberDataSet& today, const ViberDataSet& other)
{
    QCOMPARE(other.chats.size(), today.chats.size());
    for (const _ViberChat* chat : today.chats) {
        const _ViberChat* same = other.chats.value(chat->id);
        QVERIFY2(same, qPrintable(QString::number(chat->id)));
        QCOMPARE(same->participants.keys(), chat->participants.keys());
    }
    for (const _ViberMsg* msg : today.messages) {
        const _ViberMsg* same = other.messages.value(msg->id);
        QVERIFY2(same, qPrintable(QString::number(msg->id)));
        QCOMPARE(same->type, msg->type);
        QCOMPARE(ViberText::summaryText(*same), ViberText::summaryText(*msg));
        QCOMPARE(bool(same->attachment), bool(msg->attachment));
        if (msg->attachment)
            QCOMPARE(same->attachment->fileId, msg->attachment->fileId);
        QCOMPARE(same->location.address(), msg->location.address());
    }
}

} // namespace

// The iPhone app's Contacts.data of the ZMEMBER generation, read through the detector.
class TestIOSMember : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        m_before = TestEnvironment::readFile(m_fixture.dbPath());
        std::unique_ptr<AbsViberDb> reader = ViberSourceDetector::iosReader(m_fixture.folder(), DatabaseFile);
        QVERIFY(dynamic_cast<IOSMemberViberDb*>(reader.get()));
        m_data = reader->load();
    }

    void detection()
    {
        QCOMPARE(ViberSourceDetector::detect(m_fixture.dbPath()), ViberSourceDetector::Generation::IOSMember);
        QTemporaryDir local;
        const QString store = LocalDbFixture::createProgramStore(local.path());
        QCOMPARE(ViberSourceDetector::detect(store), ViberSourceDetector::Generation::IOSPhoneNumberIndex);
        QVERIFY(dynamic_cast<IOSViberDb*>(
            ViberSourceDetector::iosReader(local.path(), QDir(local.path()).relativeFilePath(store)).get()));
        // The older generation's reader joins attachments by ZATTACHMENT.ZMESSAGE, which
        // this generation lacks: it must refuse such a file before any query.
        IOSViberDb older(m_fixture.folder(), DatabaseFile, IOSViberDb::OpenForBrowsing);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, older.open());
    }

    void fileIsOnlyRead() { QCOMPARE(TestEnvironment::readFile(m_fixture.dbPath()), m_before); }

    void chatsAndPeople()
    {
        QCOMPARE(m_data->chats.size(), 3); // the chat being deleted is left out
        QCOMPARE(m_data->persons.value(1)->name, QStringLiteral("Lucía Fernández"));
        QCOMPARE(m_data->persons.value(1)->number, QStringLiteral("+34 612 345 678"));
        QCOMPARE(m_data->persons.value(2)->name, QStringLiteral("Dmitri"));
        QCOMPARE(m_data->chats.value(1)->participants.keys(), QList<qint64>{1});
        const _ViberChat* group = m_data->chats.value(2);
        QCOMPARE(group->groupId, QStringLiteral("4242"));
        QCOMPARE(group->participants.size(), 3);
        const _ViberChat* notes = m_data->chats.value(3);
        QCOMPARE(notes->name, QStringLiteral("My Notes"));
        QVERIFY(notes->participants.isEmpty());
    }

    void kinds_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("summary");
        QTest::newRow("text") << qint64(1) << int(ViberMsgType::Text) << false
                              << QStringLiteral("¡Hola! ¿Qué tal?");
        QTest::newRow("own") << qint64(2) << int(ViberMsgType::Text) << true
                             << QStringLiteral("Muy bien [EMOJI]");
        QTest::newRow("url") << qint64(3) << int(ViberMsgType::Text) << false
                             << QStringLiteral("https://example.org/es");
        QTest::newRow("picture") << qint64(4) << int(ViberMsgType::Picture) << false
                                 << QStringLiteral("[IMAGE]");
        QTest::newRow("voice") << qint64(5) << int(ViberMsgType::Voice) << true << QStringLiteral("[AUDIO]");
        QTest::newRow("location") << qint64(6) << int(ViberMsgType::Location) << false
                                  << QStringLiteral("Puerta del Sol [LOCATION]");
        QTest::newRow("call") << qint64(7) << int(ViberMsgType::Call) << false
                              << QStringLiteral("Incoming Call (1' 35'')");
        QTest::newRow("removed") << qint64(8) << int(ViberMsgType::System) << false
                                 << QStringLiteral("[MESSAGE DELETED]");
        QTest::newRow("unknown system line")
            << qint64(11) << int(ViberMsgType::System) << false << QStringLiteral("x");
        QTest::newRow("file") << qint64(12) << int(ViberMsgType::Text) << false
                              << QStringLiteral("[FILE] Informe.pdf");
        QTest::newRow("group member")
            << qint64(22) << int(ViberMsgType::Text) << false << QStringLiteral("Γεια σας");
        QTest::newRow("formatted") << qint64(23) << int(ViberMsgType::Text) << true
                                   << QStringLiteral("¡Hola a todos!");
        QTest::newRow("my notes") << qint64(31) << int(ViberMsgType::Text) << true
                                  << QStringLiteral("Comprar pan");
    }

    void kinds()
    {
        QFETCH(qint64, id);
        QFETCH(int, type);
        QFETCH(bool, outgoing);
        QFETCH(QString, summary);
        const _ViberMsg* msg = m_data->messages.value(id);
        QVERIFY(msg);
        QCOMPARE(msg->type, type);
        QCOMPARE(ViberText::isOutgoing(*msg), outgoing);
        QCOMPARE(ViberText::summaryText(*msg), summary);
    }

    // A vote, a message being deleted and the rows of a chat being deleted are no lines.
    void rowsThatAreNoMessages()
    {
        QCOMPARE(m_data->messages.size(), 14);
        for (qint64 id : {9, 10, 41})
            QVERIFY(!m_data->messages.contains(id));
        QCOMPARE(m_data->messages.value(22)->sender->id, 3);
        QCOMPARE(m_data->messages.value(6)->location.longitude(), -3.70379);
        QVERIFY(m_data->messages.value(6)->attachment); // the map and address are drawn from it
        QCOMPARE(m_data->messages.value(4)->attachment->fileId, QStringLiteral("0-02-05-aaaa"));
    }

    void calls()
    {
        QCOMPARE(m_data->calls.size(), 2);
        const _ViberCall* withBubble = m_data->messages.value(7)->call;
        QCOMPARE(withBubble->id, 1);
        QCOMPARE(withBubble->person->id, 1);
        const _ViberCall* withoutBubble = m_data->calls.value(2);
        QCOMPARE(withoutBubble->kind, int(ViberCallKind::Missed));
        QCOMPARE(withoutBubble->person->id, 2);
    }

    void everyTextKept()
    {
        const QString json = TestEnvironment::pythonQuery(
            m_fixture.dbPath(),
            QStringLiteral(
                "select json_group_array(m.ZTEXT) from ZVIBERMESSAGE m join ZCONVERSATION c on c.Z_PK = "
                "m.ZCONVERSATION where coalesce(c.ZBEINGDELETED, 0) = 0 and coalesce(m.ZBEINGDELETED, "
                "0) = 0 and m.ZTEXT is not null"));
        QStringList texts;
        for (const _ViberMsg* m : m_data->allMessages())
            texts.append(m->text);
        const QJsonArray expected = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(expected.size(), 10);
        for (const QJsonValue& v : expected)
            QVERIFY2(std::any_of(texts.cbegin(), texts.cend(),
                                 [&](const QString& t) { return t.contains(v.toString()); }),
                     qPrintable(v.toString()));
    }

    // A file of 2017 links attachments through Core Data's join table and names no
    // interlocutor: it reads as today's file does.
    void fileOf2017()
    {
        const IOSMemberFixture old(IOSMemberFixture::Shape::Of2017);
        const ViberDataSetPtr data = ViberSourceDetector::iosReader(old.folder(), DatabaseFile)->load();
        compareWithToday(*m_data, *data);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(data->chats.value(1)->participants.keys(), QList<qint64>{1}); // from the join table
        QCOMPARE(data->messages.value(4)->attachment->fileName, QStringLiteral("IMG_0001.jpg"));
        QCOMPARE(data->messages.value(6)->location.address(), QStringLiteral("Puerta del Sol, Madrid"));

        // Without the join table nor ZVIBERMESSAGE.ZLOCATION, messages come without
        // attachments and places are found from their side.
        Sqlite3DB db;
        db.openThrow(old.dbPath(), Sqlite3DB::OpenReadWrite);
        db.executeScriptThrow(
            QStringLiteral("DROP TABLE Z_4MESSAGES; ALTER TABLE ZVIBERMESSAGE DROP COLUMN ZLOCATION;"));
        db.close();
        const ViberDataSetPtr bare = ViberSourceDetector::iosReader(old.folder(), DatabaseFile)->load();
        QCOMPARE(bare->messages.size(), m_data->messages.size());
        QCOMPARE(bare->messages.value(4)->type, int(ViberMsgType::Text));
        QVERIFY(!bare->messages.value(4)->attachment);
        QCOMPARE(bare->messages.value(6)->location.longitude(), -3.70379);
    }

    // An iPhone backup holding a file of 2017: the picture is found through the manifest.
    void backupOf2017()
    {
        const IPhoneBackupFixture backup;
        reshapeBackupTo2017(backup);
        const ViberDataSetPtr data = ViberSourceDetector::iosBackupReader(backup.folder())->load();
        QCOMPARE(data->messages.size(), m_data->messages.size() + 1); // and the one only in the -wal
        QCOMPARE(data->messages.value(13)->text, QLatin1String(IPhoneBackupFixture::WalOnlyText));
        compareWithToday(*m_data, *data);
        if (QTest::currentTestFailed())
            return;
        const _ViberAtta* picture = data->messages.value(4)->attachment;
        QVERIFY(picture);
        QCOMPARE(TestEnvironment::readFile(picture->localPath), IPhoneBackupFixture::pictureBytes());
    }

private:
    IOSMemberFixture m_fixture;
    QByteArray m_before;
    ViberDataSetPtr m_data;
};

QTEST_GUILESS_MAIN(TestIOSMember)
#include "tst_iosmember.moc"
