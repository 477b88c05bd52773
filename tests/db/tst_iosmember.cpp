#include "db/IOSMemberViberDb.h"
#include "db/IOSViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "tests/support/IOSMemberFixture.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString DatabaseFile = QLatin1String(IOSMemberFixture::DatabaseFile);

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

private:
    IOSMemberFixture m_fixture;
    QByteArray m_before;
    ViberDataSetPtr m_data;
};

QTEST_GUILESS_MAIN(TestIOSMember)
#include "tst_iosmember.moc"
