#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "ops/MessageFilter.h"
#include "tests/support/DataSetBuilder.h"

#include <QTest>
#include <QTimeZone>

class TestMessageFilter : public QObject
{
    Q_OBJECT
private slots:
    void parsesDates_data();
    void parsesDates();
    void rejectsWhatIsNoDate_data();
    void rejectsWhatIsNoDate();
    void keepsMillisecondsOfStoredDates();
    void selectsChatsAndCalls();
};

void TestMessageFilter::parsesDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("utc");
    QTest::addColumn<QDateTime>("expected");
    const QDate day(2024, 3, 1);
    QTest::newRow("date") << "2024-03-01" << false << QDateTime(day, QTime(0, 0));
    QTest::newRow("date utc") << "2024-03-01" << true << QDateTime(day, QTime(0, 0), QTimeZone::utc());
    QTest::newRow("minutes") << "2024-03-01T10:15" << false << QDateTime(day, QTime(10, 15));
    QTest::newRow("space") << "2024-03-01 10:15:30" << false << QDateTime(day, QTime(10, 15, 30));
    QTest::newRow("tenths") << "2024-03-01T10:15:30.5" << false << QDateTime(day, QTime(10, 15, 30, 500));
    QTest::newRow("millis") << "2024-03-01T10:15:30.007" << false << QDateTime(day, QTime(10, 15, 30, 7));
    QTest::newRow("zulu beats local")
        << "2024-03-01T10:15Z" << false << QDateTime(day, QTime(10, 15), QTimeZone::utc());
    QTest::newRow("offset beats utc")
        << "2024-03-01T10:15+01:30" << true << QDateTime(day, QTime(8, 45), QTimeZone::utc());
    QTest::newRow("negative offset") << "2024-03-01T10:15-0500" << false
                                     << QDateTime(day, QTime(15, 15), QTimeZone::utc());
}

void TestMessageFilter::parsesDates()
{
    QFETCH(QString, text);
    QFETCH(bool, utc);
    QFETCH(QDateTime, expected);
    const auto parsed = MessageFilter::parseDate(text, utc);
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
}

void TestMessageFilter::rejectsWhatIsNoDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("no day") << "2024-02-30";
    QTest::newRow("no hour") << "2024-03-01T25:00";
    QTest::newRow("words") << "yesterday";
    QTest::newRow("offset too far") << "2024-03-01T10:00+15:00";
    QTest::newRow("four decimals") << "2024-03-01T10:00:00.0001";
    QTest::newRow("trailing") << "2024-03-01x";
}

void TestMessageFilter::rejectsWhatIsNoDate()
{
    QFETCH(QString, text);
    QVERIFY(!MessageFilter::parseDate(text, false).has_value());
}

// Dates are seconds in a double: 0.001 is not exact, and truncating would put a message
// stored at a whole millisecond one millisecond early, before a range it belongs to.
void TestMessageFilter::keepsMillisecondsOfStoredDates()
{
    for (const qint64 ms : {qint64(1709287200000), qint64(1709287200001), qint64(1709287199999),
                            qint64(978307200000), qint64(1)}) {
        QCOMPARE(MessageFilter::unixMs(ViberDates::unixMsToRef(ms)), ms);
        MessageFilter filter;
        filter.setAfter(QDateTime::fromMSecsSinceEpoch(ms));
        filter.setBefore(QDateTime::fromMSecsSinceEpoch(ms + 1));
        QVERIFY(filter.acceptsDate(ViberDates::unixMsToRef(ms)));
        QVERIFY(!filter.acceptsDate(ViberDates::unixMsToRef(ms - 1)));
        QVERIFY(!filter.acceptsDate(ViberDates::unixMsToRef(ms + 1)));
    }
}

void TestMessageFilter::selectsChatsAndCalls()
{
    DataSetBuilder b;
    _ViberPerson* anna = b.person(1, QStringLiteral("+4917012345"), QStringLiteral("Anna"));
    _ViberPerson* ben = b.person(2, QStringLiteral("+4915198765"), QStringLiteral("Ben"));
    _ViberChat* annaChat = b.chat(10, {anna});
    _ViberChat* group = b.chat(11, {anna, ben}, QStringLiteral("Climbing"), QStringLiteral("77"));
    const QDateTime when(QDate(2024, 3, 1), QTime(10, 0));
    b.message(annaChat, ViberMsgType::Text, when, QStringLiteral("a"));
    b.message(group, ViberMsgType::Text, when, QStringLiteral("g"));
    b.callMessage(annaChat, anna, ViberCallKind::Incoming, 10, when);
    b.callMessage(annaChat, anna, ViberCallKind::Missed, 0, when.addDays(1));
    const QList<_ViberMsg*> all = b.set().allMessages();

    MessageFilter byNumber;
    byNumber.addChat(QStringLiteral("17012345"));
    QCOMPARE(byNumber.apply(all).size(), 3);
    QVERIFY(!byNumber.acceptsChat(*group));

    MessageFilter byId;
    byId.addChat(QStringLiteral("11"));
    QCOMPARE(byId.apply(all).size(), 1);
    QVERIFY(byId.unmatchedSelectors(b.set().allChats()).isEmpty());

    MessageFilter excluding;
    excluding.addExcludedChat(QStringLiteral("climbing"));
    excluding.addChat(QStringLiteral("Nobody"));
    QCOMPARE(excluding.unmatchedSelectors(b.set().allChats()), QStringList{QStringLiteral("Nobody")});

    MessageFilter callsBefore;
    callsBefore.setBefore(when.addSecs(1));
    const QList<_ViberCall*> calls = callsBefore.calls(all);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.constFirst()->kind, int(ViberCallKind::Incoming));
}

QTEST_GUILESS_MAIN(TestMessageFilter)
#include "tst_messagefilter.moc"
