#include "db/AndroidViberDb.h"
#include "db/IOSViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

QStringList participantNumbers(const _ViberChat& chat)
{
    QStringList numbers;
    for (const _ViberPerson* p : chat.participants)
        numbers.append(ViberText::canonicalNumber(p->number));
    numbers.sort();
    return numbers;
}

// A chat as the user sees it: its kind, its name and who is in it.
QString chatKey(const _ViberChat& chat)
{
    return QStringLiteral("%1|%2|%3")
        .arg(chat.isGroup() ? QStringLiteral("group") : QStringLiteral("single"), chat.name,
             participantNumbers(chat).join(QLatin1Char(',')));
}

// What a message carries across: kind, date, token, text, location and its chat. A
// position with one coordinate 0 is no location, so it is compared as none.
QString messageKey(const _ViberMsg& msg)
{
    const bool located = msg.hasLocation();
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
        .arg(msg.type)
        .arg(msg.date, 0, 'f', 3)
        .arg(msg.token)
        .arg(msg.text)
        .arg(located ? msg.location.latitude() : 0.0, 0, 'f', 6)
        .arg(located ? msg.location.longitude() : 0.0, 0, 'f', 6)
        .arg(ViberText::isOutgoing(msg))
        .arg(msg.chat ? chatKey(*msg.chat) : QString());
}

QString callKey(const _ViberCall& call)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(call.kind)
        .arg(call.date, 0, 'f', 3)
        .arg(call.duration)
        .arg(call.person ? ViberText::canonicalNumber(call.person->number) : QString());
}

template<typename T, typename Key> QStringList keys(const QList<T*>& records, Key key)
{
    QStringList result;
    for (const T* r : records)
        result.append(key(*r));
    result.sort();
    return result;
}

} // namespace

class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    // A phone's history written into a new local database reads back the same.
    void androidThroughLocalDatabase()
    {
        AndroidFixture phone;
        AndroidViberDb android(phone.deviceRoot(), phone.extractRoot());
        const ViberDataSetPtr source = android.load();

        QList<_ViberMsg*> messages;
        for (_ViberMsg* m : source->allMessages()) {
            if (m->type != ViberMsgType::Call)
                messages.append(m);
        }
        std::sort(messages.begin(), messages.end(), [](const _ViberMsg* a, const _ViberMsg* b) {
            return a->chat->id != b->chat->id ? a->chat->id < b->chat->id : a->date < b->date;
        });
        QVERIFY(messages.size() >= 10);
        QVERIFY(!source->calls.isEmpty());

        QTemporaryDir folder;
        {
            IOSViberDb writer(folder.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
            LocalDbFixture::writeAll(writer, messages, source->calls.values());
        }
        IOSViberDb reader(folder.path(), QString::fromLatin1(LocalDbFixture::ProgramFile),
                          IOSViberDb::OpenForBrowsing);
        const ViberDataSetPtr back = reader.load();

        QList<_ViberMsg*> backMessages;
        for (_ViberMsg* m : back->allMessages()) {
            if (m->type != ViberMsgType::Call)
                backMessages.append(m);
        }
        QCOMPARE(keys(backMessages, messageKey), keys(messages, messageKey));
        QCOMPARE(keys(back->calls.values(), callKey), keys(source->calls.values(), callKey));

        // every chat that has messages comes back with its name and participants
        QList<_ViberChat*> sourceChats;
        for (_ViberChat* c : source->allChats()) {
            if (std::any_of(c->messages.cbegin(), c->messages.cend(),
                            [](const _ViberMsg* m) { return m->type != ViberMsgType::Call; }))
                sourceChats.append(c);
        }
        QList<_ViberChat*> backChats;
        for (_ViberChat* c : back->allChats()) {
            if (std::any_of(c->messages.cbegin(), c->messages.cend(),
                            [](const _ViberMsg* m) { return m->type != ViberMsgType::Call; }))
                backChats.append(c);
        }
        QCOMPARE(keys(backChats, chatKey), keys(sourceChats, chatKey));
    }
};

QTEST_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
