#include "db/ViberCodes.h"
#include "db/ViberDataSet.h"

#include <QSet>
#include <QTest>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void statusTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("delivered") << QStringLiteral("delivered") << 1;
        QTest::newRow("sending upper") << QStringLiteral("SENDING") << 1;
        QTest::newRow("received") << QStringLiteral("Received") << 2;
        QTest::newRow("send") << QStringLiteral("send") << 3;
        QTest::newRow("pendingNotSent") << QStringLiteral("pendingnotsent") << 4;
        QTest::newRow("pending capital") << QStringLiteral("Pending") << 4;
        QTest::newRow("unknown") << QStringLiteral("seen") << 0;
        QTest::newRow("empty") << QString() << 0;
    }

    void statusTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, code);
        QCOMPARE(ViberCodes::parseStatus(text), code);
        if (code != 0)
            QCOMPARE(ViberCodes::parseStatus(ViberCodes::statusText(code)), code);
    }

    void writtenStatusTexts()
    {
        QCOMPARE(ViberCodes::statusText(1), QStringLiteral("delivered"));
        QCOMPARE(ViberCodes::statusText(3), QStringLiteral("send"));
        QCOMPARE(ViberCodes::statusText(4), QStringLiteral("pendingNotSent"));
        QVERIFY(ViberCodes::statusText(0).isEmpty());
    }

    void callKinds()
    {
        QCOMPARE(ViberCodes::callKindText(2), QStringLiteral("outgoing_viber"));
        QCOMPARE(ViberCodes::parseCallKind(QStringLiteral("outgoing_viber")), 2);
        QCOMPARE(ViberCodes::parseCallKind(QStringLiteral("INCOMING_with_video")), 1);
        QCOMPARE(ViberCodes::parseCallKind(QStringLiteral("missed_with_video")), 3);
        QCOMPARE(ViberCodes::parseCallKind(QStringLiteral("rejected")), 0);
    }

    void systemAndAttachmentWords()
    {
        QCOMPARE(ViberCodes::parseSystemType(ViberCodes::systemTypeText(1)), 1);
        QCOMPARE(ViberCodes::parseSystemType(QStringLiteral("SYSTEMMEMBERADDED")), 2);
        QCOMPARE(ViberCodes::parseSystemType(QStringLiteral("customLocation")), 0);
        for (int type = 1; type <= 8; ++type) {
            const QString word = ViberCodes::attachmentTypeWord(type);
            QCOMPARE(ViberCodes::msgTypeOfAttachmentWord(word), word.isEmpty() ? 0 : type);
        }
        QCOMPARE(ViberCodes::attachmentTypeWord(3), QStringLiteral("customLocation"));
    }

    void extraRoundTrip()
    {
        _ViberMsg msg;
        QVERIFY(msg.extraMap().isEmpty());
        msg.setExtra(
            {{QStringLiteral("flag"), 3}, {QStringLiteral("extra_uri"), QStringLiteral("file:///x")}});
        QCOMPARE(msg.extraMap().value(QStringLiteral("flag")).toInt(), 3);
        msg.extra = msg.extra.bytes().chopped(1); // damaged: the whole map is dropped, never half of it
        QVERIFY(msg.extraMap().isEmpty());
    }

    // Blobs up to the record's own room and beyond it: every length reads back as
    // given, through copies, moves and assignments, and a long blob copied is shared.
    void heldBlobAtEveryLength()
    {
        constexpr qsizetype room = HeldBlob::InlineCapacity;
        for (qsizetype length :
             {qsizetype(0), qsizetype(1), room - 1, room, room + 1, room + 2, qsizetype(300)}) {
            QByteArray bytes(length, Qt::Uninitialized);
            for (qsizetype i = 0; i < length; ++i)
                bytes[i] = char(i * 7 + length);
            HeldBlob held(bytes);
            QCOMPARE(held.size(), length);
            QCOMPARE(held.isEmpty(), length == 0);
            QCOMPARE(held.bytes(), bytes);
            HeldBlob copy(held);
            QCOMPARE(copy.sharesStorageWith(held), length > HeldBlob::InlineCapacity);
            HeldBlob moved(std::move(copy));
            QVERIFY(copy.isEmpty());
            QCOMPARE(moved.bytes(), bytes);
            HeldBlob assigned(QByteArray(40, 'x'));
            assigned = moved;
            QVERIFY(assigned == held);
            assigned = assigned; // NOLINT: the self-assignment keeps the blob
            QCOMPARE(assigned.bytes(), bytes);
            moved = HeldBlob(QByteArray(length + 1, 'y'));
            QVERIFY(!(moved == held));
            QCOMPARE(held.bytes(), bytes); // the copies' changes leave the first alone
        }
    }

    void locationNeedsBothCoordinates()
    {
        _ViberMsg msg;
        msg.location.setLongitude(11.5);
        QVERIFY(!msg.hasLocation());
        msg.location.setLatitude(48.1);
        QVERIFY(msg.hasLocation());
    }

    void tablesKeepOneRecordPerId()
    {
        ViberDataSet set;
        _ViberPerson* first = set.persons.obtain(5);
        QCOMPARE(set.persons.obtain(5), first);
        auto duplicate = std::make_unique<_ViberPerson>();
        duplicate->id = 5;
        duplicate->name = QStringLiteral("other");
        QCOMPARE(set.persons.insert(std::move(duplicate)), first);
        QCOMPARE(set.persons.size(), 1);
        QVERIFY(first->name.isEmpty());
        QVERIFY(!set.persons.value(6));
    }

    // The table is its own hash table: growth, removal by backward shift and the reuse
    // of removed slots must never lose or mix up a record.
    void tableSurvivesGrowthAndRemoval()
    {
        RecordTable<_ViberMsg> table;
        QList<qint64> ids;
        for (qint64 i = 1; i <= 3000; ++i)
            ids << i << -i << i * 1000003 << (qint64(1) << 40) + i;
        for (const qint64 id : ids)
            table.obtain(id)->token = id * 7;
        auto heap = std::make_unique<_ViberMsg>();
        heap->id = 424242424242;
        _ViberMsg* const kept = table.insert(std::move(heap));
        QCOMPARE(table.size(), ids.size() + 1);

        QSet<qint64> removed;
        for (qsizetype i = 0; i < ids.size(); i += 3) {
            table.remove(ids.at(i));
            removed.insert(ids.at(i));
        }
        table.remove(777777); // absent: nothing happens
        QCOMPARE(table.size(), ids.size() + 1 - removed.size());
        for (const qint64 id : ids) {
            const _ViberMsg* found = table.value(id);
            QCOMPARE(found == nullptr, removed.contains(id));
            if (found)
                QCOMPARE(found->token, id * 7);
        }

        // Removed slots are reused; the records still held keep their addresses.
        const _ViberMsg* before = table.value(ids.at(1));
        for (const qint64 id : removed)
            QCOMPARE(table.obtain(id)->token, 0);
        QCOMPARE(table.value(ids.at(1)), before);
        QCOMPARE(table.value(424242424242), kept);

        QSet<qint64> seen;
        for (const _ViberMsg* m : table)
            seen.insert(m->id);
        QCOMPARE(seen.size(), table.size());
        QCOMPARE(table.values().size(), table.size());
    }

    void linksBothWays()
    {
        ViberDataSet set;
        _ViberChat* chat = set.chats.obtain(1);
        _ViberMsg* msg = set.messages.obtain(10);
        _ViberAtta* atta = set.attachments.obtain(20);
        ViberDataSet::addToChat(chat, msg);
        ViberDataSet::attach(msg, atta);
        QCOMPARE(msg->chat, chat);
        QCOMPARE(chat->messages, QList<_ViberMsg*>({msg}));
        QCOMPARE(atta->message, msg);
        QCOMPARE(msg->attachment, atta);
        QCOMPARE(set.allChats().size(), 1);
        QCOMPARE(set.allMessages().size(), 1);
    }

    // The last holder's release deletes every record, synthesised ones included: a text
    // the records share is held by nobody else afterwards (run under AddressSanitizer to
    // see double deletes).
    void lastReleaseDeletesEverything()
    {
        const QString shared = QString::fromLatin1("held by the chats");
        {
            ViberDataSetPtr set = std::make_shared<ViberDataSet>();
            auto chat = std::make_unique<_ViberChat>();
            chat->id = -1; // synthesised
            chat->name = shared;
            _ViberChat* synthetic = set->chats.insert(std::move(chat));
            auto real = std::make_unique<_ViberChat>();
            real->id = 4;
            real->name = shared;
            set->chats.insert(std::move(real));
            _ViberCall* call = set->calls.obtain(17);
            _ViberMsg* callMsg = set->messages.obtain(-call->id);
            callMsg->call = call;
            callMsg->text = shared;
            ViberDataSet::addToChat(synthetic, callMsg);
            QCOMPARE(callMsg->id, -17);
            ViberDataSetPtr holder = set;
            set.reset();
            QVERIFY(!shared.isDetached());
        }
        QVERIFY(shared.isDetached());
    }

    // A message's location takes memory only once a coordinate or the address is set;
    // copies hold their own values, and a location set back to nothing gives the
    // memory back.
    void locationIsHeldOnlyWhenSet()
    {
        QVERIFY(sizeof(RareLocation) == sizeof(void*));
        _ViberMsg msg;
        QVERIFY(msg.location.isEmpty());
        msg.location.setLatitude(0);
        msg.location.setAddress(QString());
        QVERIFY(msg.location.isEmpty());
        QCOMPARE(msg.location.address(), QString());

        msg.location.setAddress(QStringLiteral("Marienplatz 1, M\u00fcnchen"));
        msg.location.setLatitude(48.137154);
        msg.location.setLongitude(11.576124);
        _ViberMsg copy;
        copy.location = msg.location;
        msg.location.setLatitude(0);
        QVERIFY(!msg.hasLocation());
        QVERIFY(!msg.location.isEmpty());
        msg.location.setLongitude(0);
        msg.location.setAddress(QString());
        QVERIFY(msg.location.isEmpty());

        QVERIFY(copy.hasLocation());
        QCOMPARE(copy.location.latitude(), 48.137154);
        QCOMPARE(copy.location.longitude(), 11.576124);
        QCOMPARE(copy.location.address(), QStringLiteral("Marienplatz 1, M\u00fcnchen"));
        const _ViberMsg copied(copy);
        RareLocation moved = std::move(copy.location);
        QCOMPARE(moved.address(), copied.location.address());
        QCOMPARE(moved.longitude(), copied.location.longitude());
        copy.location = moved;
        const RareLocation& same = copy.location;
        copy.location = same;
        QCOMPARE(copy.location.latitude(), 48.137154);
    }

    void messageListIsAMetaType()
    {
        const QMetaType type = QMetaType::fromType<ViberMsgList>();
        QVERIFY(type.isValid());
        QVariant v = QVariant::fromValue(ViberMsgList{nullptr});
        QCOMPARE(v.value<ViberMsgList>().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
