#include "app/Sqlite3DB.h"
#include "db/AndroidViberTransfer.h"
#include "db/ModernAndroidViberTransfer.h"
#include "db/ModernOrderKeys.h"
#include "db/ModernViberAppQueries.h"
#include "db/ViberCodes.h"
#include "db/ViberMsg.h"
#include "db/ViberSourceDetector.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/IOSMemberFixture.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/ModernViberCheck.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// The added rows of one kind, as "peer-or-group|send_type|sender|body".
QStringList addedLines(const QJsonObject& check)
{
    QStringList lines;
    for (const QJsonValue& value : check.value(QLatin1String("added")).toArray()) {
        const QJsonObject row = value.toObject();
        const QString chat = row.value(QLatin1String("conversation_type")).toInt() == 0
                                 ? row.value(QLatin1String("peer")).toString()
                                 : QString::number(row.value(QLatin1String("group_id")).toInteger());
        lines.append(QStringLiteral("%1|%2|%3|%4|%5")
                         .arg(chat)
                         .arg(row.value(QLatin1String("send_type")).toInt())
                         .arg(row.value(QLatin1String("sender")).toString())
                         .arg(row.value(QLatin1String("kind")).toInt())
                         .arg(row.value(QLatin1String("body")).toString()));
    }
    return lines;
}

} // namespace

// Merging into today's Viber: every phone row stays as it was, each added message is
// written once into the chat the app keys it by, and the app's own views (read by
// Python) list the added messages in date order, read, and findable.
class TestModernTransfer : public QObject
{
    Q_OBJECT

private slots:
    void mergesIntoThePhonesChatsOnce()
    {
        const AndroidFixture phone(AndroidFixture::Shape::Modern);
        QTemporaryDir keep;
        const QString messagesBefore = keep.filePath(QStringLiteral("messages-before"));
        const QString dataBefore = keep.filePath(QStringLiteral("data-before"));
        QVERIFY(QFile::copy(phone.messagesPath(), messagesBefore));
        QVERIFY(QFile::copy(phone.dataPath(), dataBefore));
        const QString picture = keep.filePath(QStringLiteral("beach.jpg"));
        QVERIFY(DataSetBuilder::writeImage(picture, 40, 30));

        DataSetBuilder b;
        // The phone knows Olena as +380671234567; the source writes her number its own way.
        _ViberPerson* olena = b.person(1, QStringLiteral("+380 67 123 45 67"), QStringLiteral("Olena"));
        _ViberPerson* anna = b.person(2, QStringLiteral("+4915110000002"), QStringLiteral("Anna"));
        _ViberPerson* kenji = b.person(3, QStringLiteral("+81901234567"), QStringLiteral("Kenji"));
        _ViberPerson* bohdan = b.person(4, QStringLiteral("+380931112233"), QStringLiteral("Bohdan"));
        _ViberPerson* max = b.person(5, QStringLiteral("+4915112345678"), QStringLiteral("Max"));
        _ViberPerson* nameless = b.person(6, QString(), QStringLiteral("No Number"));
        // She hides her number; the phone knows her by her member id, as the source does.
        _ViberPerson* sara = b.person(7, QString(), QStringLiteral("Sara"));
        sara->setExtra({{QStringLiteral("member_id"), QStringLiteral("em:c2FyYQ")}});
        _ViberChat* withOlena = b.chat(1, {olena});
        _ViberChat* withAnna = b.chat(2, {anna});
        _ViberChat* family = b.chat(3, {kenji, bohdan}, QStringLiteral("Родина"), QStringLiteral("7001"));
        _ViberChat* friends = b.chat(4, {anna}, QStringLiteral("Друзі"), QStringLiteral("5550001"));
        _ViberChat* withMax = b.chat(5, {max}); // the phone holds his chat deleted
        _ViberChat* withNobody = b.chat(6, {nameless});

        QList<_ViberMsg*> source;
        const auto add = [&](_ViberMsg* m, qint64 token) {
            m->token = token;
            source.append(m);
            return m;
        };
        add(b.message(withOlena, ViberMsgType::Text, at(1699990000000), QStringLiteral("Старе повідомлення")),
            0);
        add(b.message(withOlena, ViberMsgType::Text, at(1699990000000), QStringLiteral("Старе повідомлення")),
            0);
        add(b.message(withOlena, ViberMsgType::Text, at(1700000002500), QStringLiteral("Між рядками"), true),
            42);
        b.attach(
            add(b.message(withOlena, ViberMsgType::Picture, at(1700000003500), QStringLiteral("Море")), 43),
            picture);
        // The phone's own first message, its date a little off as another copy keeps it.
        add(b.message(withOlena, ViberMsgType::Text, at(1700000031000), QStringLiteral("Привіт! Як справи?")),
            7130000000000000001);
        add(b.message(withAnna, ViberMsgType::Text, at(1690000000000), QStringLiteral("Hallo Anna"), true),
            44);
        _ViberMsg* place = add(
            b.message(withAnna, ViberMsgType::Location, at(1690000001000), QStringLiteral("Alexanderplatz")),
            45);
        place->location.setLatitude(52.521918);
        place->location.setLongitude(13.413215);
        b.attach(
            add(b.message(withAnna, ViberMsgType::Text, at(1690000002000), QStringLiteral("[FILE] Plan.pdf")),
                46),
            picture, QString(), QStringLiteral("Plan.pdf"));
        add(b.callMessage(withAnna, anna, ViberCallKind::Incoming, 65, at(1690000003000)), 47);
        source.last()->call->token = 47;
        add(b.message(family, ViberMsgType::Text, at(1700000121500), QStringLiteral("Я теж тут"), false,
                      bohdan),
            48);
        add(b.message(friends, ViberMsgType::Text, at(1690000100000),
                      QStringLiteral("Wir sehen uns am Samstag um neun Uhr am😀"), false, anna),
            49);
        add(b.message(withMax, ViberMsgType::Text, at(1690000200000), QStringLiteral("Servus Max")), 50);
        add(b.message(family, ViberMsgType::Text, at(1700000121700), QStringLiteral("أنا هنا"), false, sara),
            52);
        add(b.message(withNobody, ViberMsgType::Text, at(1690000300000), QStringLiteral("ohne Nummer")), 51);

        const auto merge = [&] {
            ModernAndroidViberTransfer transfer(phone.messagesPath(), phone.dataPath());
            const ModernAndroidViberTransfer::Result result = transfer.mergeMessages(
                source, [](const _ViberMsg&, int) { return QString(); }, nullptr);
            if (result.written > 0)
                ModernViberAppQueries::check(phone.messagesPath(), result.lastPhoneId);
            QList<const _ViberCall*> calls;
            for (const _ViberCall& call : result.calls)
                calls.append(&call);
            AndroidViberTransfer::mergeCalls(phone.dataPath(), calls, nullptr);
            return result;
        };
        const ModernAndroidViberTransfer::Result first = merge();
        QCOMPARE(first.queued, 14);
        QCOMPARE(first.duplicates, 2);
        QCOMPARE(first.withoutIdentity, 1);
        QCOMPARE(first.written, 11);
        QCOMPARE(first.conversationsAdded, 3); // Anna, the new group, and Max anew

        const QJsonObject check =
            ModernViberCheck::run(messagesBefore, phone.messagesPath(), dataBefore, phone.dataPath());
        QVERIFY2(!check.contains(QLatin1String("error")),
                 qPrintable(check.value(QLatin1String("error")).toString()));
        QCOMPARE(check.value(QLatin1String("integrity")).toString(), QStringLiteral("ok"));
        QCOMPARE(check.value(QLatin1String("changed")).toArray(), QJsonArray());
        QCOMPARE(check.value(QLatin1String("data_changed")).toArray(), QJsonArray());
        const QStringList expected{
            QStringLiteral("+4915110000002|1|+380501112233|0|Hallo Anna"),
            QStringLiteral("+4915110000002|0|+4915110000002|5|Alexanderplatz"),
            QStringLiteral("+4915110000002|0|+4915110000002|10|"),
            QStringLiteral("+4915110000002|0|+4915110000002|1002|incoming_call"),
            QStringLiteral("5550001|0|+4915110000002|0|Wir sehen uns am Samstag um neun Uhr am😀"),
            QStringLiteral("+4915112345678|0|+4915112345678|0|Servus Max"),
            QStringLiteral("+380671234567|0|+380671234567|0|Старе повідомлення"),
            QStringLiteral("+380671234567|1|+380501112233|0|Між рядками"),
            QStringLiteral("+380671234567|0|+380671234567|1|Море"),
            QStringLiteral("7001|0|+380931112233|0|Я теж тут"),
            QStringLiteral("7001|0||0|أنا هنا"),
        };
        QCOMPARE(addedLines(check), expected);
        for (const QJsonValue& value : check.value(QLatin1String("added")).toArray()) {
            const QJsonObject row = value.toObject();
            QCOMPARE(row.value(QLatin1String("unread")).toInt(), 0);
            QVERIFY(row.value(QLatin1String("token")).toInteger() != 0);
            QVERIFY(!row.value(QLatin1String("user_id")).toString().isEmpty());
        }
        const QJsonObject views = check.value(QLatin1String("views")).toObject();
        QCOMPARE(views.value(QLatin1String("order_violations")).toInt(), 0);
        QCOMPARE(views.value(QLatin1String("unread")),
                 check.value(QLatin1String("views_before")).toObject().value(QLatin1String("unread")));
        QCOMPARE(views.value(QLatin1String("search_found")).toInt(),
                 views.value(QLatin1String("search_texts")).toInt());
        QCOMPARE(views.value(QLatin1String("conversation_list")).toArray().size(),
                 check.value(QLatin1String("views_before"))
                         .toObject()
                         .value(QLatin1String("conversation_list"))
                         .toArray()
                         .size() +
                     3);
        const QJsonArray calls = check.value(QLatin1String("calls")).toArray();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.at(0).toObject().value(QLatin1String("token")).toInteger(), 47);

        // A second transfer of the same source finds everything there and leaves the file as it is.
        const QByteArray merged = TestEnvironment::readFile(phone.messagesPath());
        const ModernAndroidViberTransfer::Result again = merge();
        QCOMPARE(again.written, 0);
        QCOMPARE(again.duplicates, 13);
        QCOMPARE(TestEnvironment::readFile(phone.messagesPath()), merged);
    }

    void everySourceMergesOnce_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"old Android", "today's Android", "local database", "iPhone", "old iPhone",
                                 "desktop by number", "desktop by contact"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }

    // Each reader's records go into today's phone by the one writer: the phone's rows stay,
    // the views hold, and the same source a second time writes nothing.
    void everySourceMergesOnce()
    {
        QFETCH(QString, kind);
        const AndroidFixture oldPhone(AndroidFixture::Shape::Version53);
        const AndroidFixture modernPhone(AndroidFixture::Shape::Modern);
        const DesktopFixture byNumber(DesktopFixture::Shape::NumberKeyed);
        const DesktopFixture byContact(DesktopFixture::Shape::ContactKeyed);
        const IOSMemberFixture iphone;
        QTemporaryDir stores;
        std::unique_ptr<AbsViberDb> reader;
        if (kind == QLatin1String("old Android"))
            reader = ViberSourceDetector::androidReader(oldPhone.deviceRoot(), oldPhone.extractRoot());
        else if (kind == QLatin1String("today's Android"))
            reader = ViberSourceDetector::androidReader(modernPhone.deviceRoot(), modernPhone.extractRoot());
        else if (kind == QLatin1String("local database"))
            reader = ViberSourceDetector::iosReader(
                stores.path(),
                QDir(stores.path()).relativeFilePath(LocalDbFixture::createProgramStore(stores.path())));
        else if (kind == QLatin1String("old iPhone"))
            reader = ViberSourceDetector::iosReader(
                stores.path(),
                QDir(stores.path()).relativeFilePath(LocalDbFixture::createGenuineStore(stores.path())));
        else if (kind == QLatin1String("iPhone"))
            reader = ViberSourceDetector::iosReader(iphone.folder(),
                                                    QLatin1String(IOSMemberFixture::DatabaseFile));
        else
            reader = ViberSourceDetector::desktopReader(
                (kind.endsWith(QLatin1String("number")) ? byNumber : byContact).dbPath());
        QVERIFY(reader);
        const ViberDataSetPtr data = reader->load();

        const AndroidFixture target(AndroidFixture::Shape::Modern);
        QTemporaryDir keep;
        const QString before = keep.filePath(QStringLiteral("before"));
        QVERIFY(QFile::copy(target.messagesPath(), before));
        const auto merge = [&] {
            const ModernAndroidViberTransfer::Result result =
                ModernAndroidViberTransfer(target.messagesPath(), target.dataPath())
                    .mergeMessages(data->allMessages(), nullptr, nullptr);
            if (result.written > 0)
                ModernViberAppQueries::check(target.messagesPath(), result.lastPhoneId);
            return result;
        };
        const ModernAndroidViberTransfer::Result first = merge();
        // The phone's own history is all there already.
        QCOMPARE(first.written == 0, kind == QLatin1String("today's Android"));
        const QJsonObject check = ModernViberCheck::run(before, target.messagesPath());
        QVERIFY2(!check.contains(QLatin1String("error")),
                 qPrintable(check.value(QLatin1String("error")).toString()));
        QCOMPARE(check.value(QLatin1String("integrity")).toString(), QStringLiteral("ok"));
        QCOMPARE(check.value(QLatin1String("changed")).toArray(), QJsonArray());
        QCOMPARE(check.value(QLatin1String("added")).toArray().size(), first.written);
        QCOMPARE(
            check.value(QLatin1String("views")).toObject().value(QLatin1String("order_violations")).toInt(),
            0);
        const QByteArray merged = TestEnvironment::readFile(target.messagesPath());
        QCOMPARE(merge().written, 0);
        QCOMPARE(TestEnvironment::readFile(target.messagesPath()), merged);
    }

    void checksRefuseWhatTheAppWouldShowWrongly()
    {
        const AndroidFixture phone(AndroidFixture::Shape::Modern);
        // Rows as a faulty writer would add them after the phone's last (_id 36), in
        // conversation 1 whose keys run 1..20.
        struct Case
        {
            const char* sql;
            const char* view;
        };
        const Case cases[] = {
            {"insert into messages (_id, conversation_id, order_key, msg_date, send_type, user_id, "
             "participant_id, "
             "extra_mime, body) values (37, 1, 99, 1690000000000, 0, 'x', 2, 0, 'old text, newest key')",
             "chat messages"},
            {"insert into messages (_id, conversation_id, order_key, msg_date, send_type, user_id, "
             "participant_id, "
             "extra_mime, body, unread) values (37, 1, 21, 1700000099000, 0, 'x', 2, 0, 'unread', 1)",
             "unread counts"},
            {"insert into messages (_id, conversation_id, order_key, msg_date, send_type, user_id, "
             "participant_id, extra_mime, body) values (37, 1, 0, 1700000099000, 0, 'x', 2, 0, 'newest text, "
             "lowest key')",
             "conversation list"},
            {"insert into messages (_id, conversation_id, order_key, msg_date, send_type, user_id, "
             "participant_id, "
             "extra_mime, body) values (37, 6, 2, 1700000334000, 0, 'x', 16, 0, 'into a deleted chat')",
             "conversation list"},
            {"insert into messages (_id, conversation_id, order_key, msg_date, send_type, user_id, "
             "participant_id, "
             "extra_mime, body) values (37, 1, 21, 1700000099000, 0, 'x', 99, 0, 'no sender')",
             "chat messages"},
        };
        for (const Case& c : cases) {
            phone.runOnMessages(QString::fromLatin1(c.sql));
            try {
                ModernViberAppQueries::check(phone.messagesPath(), 36);
                QFAIL(c.sql);
            } catch (const std::runtime_error& e) {
                QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String(c.view)), e.what());
            }
            phone.runOnMessages(QStringLiteral("delete from messages where _id = 37"));
        }
        ModernViberAppQueries::check(phone.messagesPath(), 36);
    }

    void orderKeysFollowThePhonesOwnRows()
    {
        // Dense counters: no room between keys 3 and 4, so the added row shares 3 and its
        // date orders it; with room it falls between.
        ModernOrderKeys dense;
        for (qint64 i = 1; i <= 5; ++i)
            dense.addPhoneRow(1, i * 1000, i);
        dense.addPhoneRow(2, 1000, 100);
        dense.addPhoneRow(2, 3000, 300);
        dense.prepare();
        QVERIFY(dense.keyFor(1, 500) <= 1);
        QCOMPARE(dense.keyFor(1, 3500), 3);
        QCOMPARE(dense.keyFor(2, 2000), 200);
        QVERIFY(dense.keyFor(1, 9000) >= 5);
        // A phone whose keys are its dates gives an added message its date, in every chat.
        ModernOrderKeys dated;
        dated.addPhoneRow(1, 1000, 1000);
        dated.addPhoneRow(1, 5000, 5000);
        dated.prepare();
        QCOMPARE(dated.keyFor(1, 2500), 2500);
        QCOMPARE(dated.keyFor(7, 9000), 9000);
        QCOMPARE(dated.keyFor(7, 8000), 9000); // a chat's keys never go back
    }
};

QTEST_GUILESS_MAIN(TestModernTransfer)
#include "tst_moderntransfer.moc"
