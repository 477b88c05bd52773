#include "db/DesktopContactViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

// The desktop app's contact-keyed viber.db, read through the detector.
class TestDesktopContact : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        m_fixture = std::make_unique<DesktopFixture>(DesktopFixture::Shape::ContactKeyed);
        m_before = TestEnvironment::readFile(m_fixture->dbPath());
        std::unique_ptr<AbsViberDb> reader = ViberSourceDetector::desktopReader(m_fixture->dbPath());
        QVERIFY(dynamic_cast<DesktopContactViberDb*>(reader.get()));
        m_data = reader->load();
    }

    void fileIsOnlyRead() { QCOMPARE(TestEnvironment::readFile(m_fixture->dbPath()), m_before); }

    void chatsAndPeople()
    {
        QCOMPARE(m_data->chats.size(), 3);
        QVERIFY(!m_data->persons.contains(1));                                 // the owner
        QCOMPARE(m_data->persons.value(2)->name, QStringLiteral("Anna Berg")); // bidi isolates gone
        QCOMPARE(m_data->persons.value(3)->name, QStringLiteral("健二"));
        QCOMPARE(m_data->persons.value(4)->name, QStringLiteral("سارة"));

        const _ViberChat* direct = m_data->chats.value(1);
        QVERIFY(!direct->isGroup());
        QCOMPARE(direct->participants.keys(), QList<qint64>{2});
        const _ViberChat* group = m_data->chats.value(2);
        QCOMPARE(group->groupId, QStringLiteral("5555123456789"));
        QCOMPARE(group->participants.size(), 3);
        const _ViberChat* notes = m_data->chats.value(3);
        QVERIFY(!notes->isGroup());
        QCOMPARE(notes->name, QStringLiteral("My Notes"));
        QCOMPARE(ViberDates::refToUnixMs(notes->date), 1700000231000);
    }

    // The reaction helper, the edit's row and the event a reaction left are no messages.
    void rowsThatAreNoMessages()
    {
        QCOMPARE(m_data->messages.size(), 19);
        QVERIFY(!m_data->messages.contains(11));
        QVERIFY(!m_data->messages.contains(12));
        QCOMPARE(m_data->messages.value(2)->text, QStringLiteral("Hallo zurück 👋"));
    }

    void kinds_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("summary");
        QTest::newRow("text") << qint64(1) << int(ViberMsgType::Text) << false
                              << QStringLiteral("Hallo Anna! Grüße aus München");
        QTest::newRow("picture") << qint64(3) << int(ViberMsgType::Picture) << false
                                 << QStringLiteral("[IMAGE]");
        QTest::newRow("video") << qint64(4) << int(ViberMsgType::Video) << true << QStringLiteral("[VIDEO]");
        QTest::newRow("sticker") << qint64(5) << int(ViberMsgType::Sticker) << false
                                 << QStringLiteral("[STICKER-40123]");
        QTest::newRow("voice") << qint64(6) << int(ViberMsgType::Voice) << false << QStringLiteral("[AUDIO]");
        QTest::newRow("location") << qint64(7) << int(ViberMsgType::Location) << true
                                  << QStringLiteral("Marienplatz [LOCATION]");
        QTest::newRow("link") << qint64(8) << int(ViberMsgType::Text) << false
                              << QStringLiteral("https://example.org/b");
        QTest::newRow("contact") << qint64(9) << int(ViberMsgType::Text) << false
                                 << QStringLiteral("[CONTACT] Ben Kurz +491703333333");
        QTest::newRow("file") << qint64(10) << int(ViberMsgType::Text) << false
                              << QStringLiteral("[FILE] Plan.xlsx");
        QTest::newRow("deleted") << qint64(13) << int(ViberMsgType::System) << false
                                 << QStringLiteral("[MESSAGE DELETED]");
        QTest::newRow("gif") << qint64(14) << int(ViberMsgType::Picture) << false
                             << QStringLiteral("[IMAGE]");
        QTest::newRow("unknown") << qint64(15) << int(ViberMsgType::Text) << false
                                 << QStringLiteral("[type 99] neu");
        QTest::newRow("pin") << qint64(25) << int(ViberMsgType::System) << false
                             << QStringLiteral("Treffpunkt: Hütte");
        QTest::newRow("my notes") << qint64(31) << int(ViberMsgType::Text) << true
                                  << QStringLiteral("Notiz: Ersatzteile");
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

    void sendersAndMedia()
    {
        QCOMPARE(m_data->messages.value(21)->sender->id, 2);
        QCOMPARE(m_data->messages.value(22)->sender->id, 3);
        QCOMPARE(m_data->messages.value(23)->sender->id, 4);
        QVERIFY(!m_data->messages.value(24)->sender);

        const _ViberMsg* picture = m_data->messages.value(3);
        QCOMPARE(picture->text, QStringLiteral("Am See"));
        QCOMPARE(picture->attachment->localPath,
                 QStringLiteral("C:/Users/anna/Documents/ViberDownloads/IMG-1.jpg"));
        QCOMPARE(picture->attachment->fileSize, 120400);
        QCOMPARE(m_data->messages.value(4)->attachment->duration, 9.0);
        QCOMPARE(m_data->messages.value(6)->attachment->fileId, QStringLiteral("ptt-0001"));
        QCOMPARE(m_data->messages.value(10)->attachment->fileSize, 7777);
        const _ViberMsg* location = m_data->messages.value(7);
        QCOMPARE(location->location.latitude(), 52.52);
        QCOMPARE(location->location.longitude(), 13.5236);
        QCOMPARE(location->location.address(), QStringLiteral("Marienplatz 1, München"));
    }

    // Every text of the file, read by Python's sqlite3, reaches the records.
    void everyTextKept()
    {
        const QString json = TestEnvironment::pythonQuery(
            m_fixture->dbPath(),
            QStringLiteral(
                "select json_group_array(Body) from Messages where Type in (1, 9) and ClientFlag = 0"));
        QStringList texts;
        for (const _ViberMsg* m : m_data->allMessages())
            texts.append(m->text);
        const QJsonArray expected = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(expected.size(), 8);
        for (const QJsonValue& v : expected)
            QVERIFY2(texts.contains(v.toString()), qPrintable(v.toString()));
    }

private:
    std::unique_ptr<DesktopFixture> m_fixture;
    QByteArray m_before;
    ViberDataSetPtr m_data;
};

QTEST_GUILESS_MAIN(TestDesktopContact)
#include "tst_desktopcontact.moc"
