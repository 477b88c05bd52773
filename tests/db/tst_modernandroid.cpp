#include "app/AppDirs.h"
#include "app/ProgressChannel.h"
#include "app/Sqlite3DB.h"
#include "db/AndroidViberDb.h"
#include "db/ModernAndroidViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberSourceDetector.h"
#include "db/ViberText.h"
#include "ops/BackupViberMsgThread.h"
#include "ops/ExportMessagesThread.h"
#include "ops/ExportViberCallsThread.h"
#include "ops/ExtractMediaFilesThread.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DesktopFixture.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Files = QStringLiteral("/ab-extract/sdcard/Android/data/com.viber.voip/files/");

QStringList jsonStrings(const QString& json)
{
    QStringList out;
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array())
        out.append(v.toString());
    return out;
}

// The texts a reader must keep, read by Python's sqlite3 from the fixture: every plain
// text and link of a chat not deleted, without the rows that are no messages.
QStringList fixtureTexts(const QString& messagesPath)
{
    return jsonStrings(TestEnvironment::pythonQuery(
        messagesPath, QStringLiteral("select json_group_array(body) from messages m join conversations c on "
                                     "c._id = m.conversation_id where c.deleted = 0 and m.deleted = 0 and "
                                     "m.extra_mime in (0, 8) and m.msg_info not like '%\"edit\"%'")));
}

// Rows a real phone showed, as the app writes them: a location sent as a rich message
// (1006, its place in msg_info), a bot's message that is only its keyboard, an outgoing
// picture sent from the gallery (no copy in Viber's folders, its name in msg_info), and a
// call whose bubble the user deleted, left in viber_data's log.
void addRealPhoneRows(const AndroidFixture& fixture)
{
    fixture.runOnMessages(QStringLiteral(
        "INSERT INTO participants_info (_id, number, display_name, viber_name, participant_type, member_id) "
        "VALUES (7, 'pa:5577', 'Піца Бот', 'Піца Бот', 1, 'pa:5577');"
        "INSERT INTO conversations (_id, conversation_type, group_id, name, deleted, date, participant_id_1) "
        "VALUES (8, 2, 9200, 'Піца Бот', 0, 1700000052000, 7);"
        "INSERT INTO participants (_id, conversation_id, participant_info_id, active) VALUES "
        "(19, 8, 1, 1), (20, 8, 7, 1);"
        "INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, conversation_type, "
        "participant_id, send_type, extra_mime, user_id, deleted, body, msg_info, extra_uri, seq, status) "
        "VALUES "
        "(50, 1, 30, 1700000050000, 7130000000000000050, 0, 2, 0, 1006, '+380671234567', 0, '', "
        "'{\"locationInfo\":{\"name\":\"Кав''ярня Львівська\",\"address\":\"вул. Хрещатик, 15, "
        "Київ\",\"lat\":50.447731,\"lon\":30.522447}}', NULL, 150, 0),"
        "(51, 1, 31, 1700000051000, 7130000000000000051, 0, 1, 1, 1, '+380501112233', 0, '', "
        "'{\"fileInfo\":{\"FileName\":\"IMG_20231114_221051.png\",\"FileExt\":\"png\","
        "\"FileSize\":35123,\"ContentType\":\"image\"}}', 'content://media/external/images/media/4711', "
        "151, 3),"
        "(52, 8, 1, 1700000052000, 7130000000000000052, 2, 20, 0, 0, 'pa:5577', 0, '', "
        "'{\"pa_message_data\":{\"keyboard\":{\"Type\":\"keyboard\",\"Buttons\":["
        "{\"ActionType\":\"reply\",\"ActionBody\":\"menu\",\"Text\":\"<font "
        "color=\\\"#ffffff\\\">Меню</font>\"},"
        "{\"ActionType\":\"reply\",\"ActionBody\":\"orders\",\"Text\":\"Мої замовлення\"}]}}}', "
        "NULL, 152, 0);"));
    Sqlite3DB data;
    data.openThrow(fixture.dataPath(), Sqlite3DB::OpenReadWrite);
    data.executeScriptThrow(QStringLiteral(
        "INSERT INTO calls (_id, call_id, aggregate_hash, number, canonized_number, viber_call, "
        "viber_call_type, date, duration, type, token, group_id) VALUES (6, 506, 9006, '+81901234567', "
        "'81901234567', 1, 1, 1700000800000, 95, 1, 7130000000000000043, 0);"));
}

// Every message line of a JSON export, from every chat file.
QList<QJsonObject> exportedJson(const QList<_ViberMsg*>& messages, const QString& folder)
{
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    ExportMessagesThread worker(messages, folder, ExportMessagesThread::Json, channel);
    receiver.runInWorkerThread(worker);
    QList<QJsonObject> lines;
    QDirIterator files(folder, {QStringLiteral("*.json")}, QDir::Files);
    while (files.hasNext()) {
        const QJsonArray chat = QJsonDocument::fromJson(TestEnvironment::readFile(files.next()))
                                    .object()
                                    .value(QStringLiteral("messages"))
                                    .toArray();
        for (const QJsonValue& line : chat)
            lines.append(line.toObject());
    }
    return lines;
}

// "kind direction sender duration" of each call line with a known kind, sorted.
QStringList callLines(const QList<QJsonObject>& lines)
{
    QStringList calls;
    for (const QJsonObject& line : lines) {
        const QJsonObject call = line.value(QStringLiteral("call")).toObject();
        if (call.isEmpty() || call.value(QStringLiteral("kind")).toString() == QLatin1String("unknown"))
            continue;
        calls.append(QStringLiteral("%1 %2 %3 %4")
                         .arg(call.value(QStringLiteral("kind")).toString(),
                              line.value(QStringLiteral("direction")).toString(),
                              line.value(QStringLiteral("sender"))[QStringLiteral("name")].toString())
                         .arg(call.value(QStringLiteral("duration")).toInteger()));
    }
    calls.sort();
    return calls;
}

QJsonObject lineWithSummary(const QList<QJsonObject>& lines, const QString& start)
{
    for (const QJsonObject& line : lines) {
        if (line.value(QStringLiteral("summary")).toString().startsWith(start))
            return line;
    }
    return {};
}

// What each step said and wrote: the phone with addRealPhoneRows() read, exported as JSON
// and CSV, its call log exported, its media extracted, backed up twice, and the backup
// read and exported as JSON again. The checks look at it in one test each.
struct RealPhoneFlow
{
    AndroidFixture fixture{AndroidFixture::Shape::Modern};
    QTemporaryDir dir;
    ViberDataSetPtr phone;
    QList<QJsonObject> fromPhone;
    QString csv;
    QString callLog;
    QStringList callLogSaid;
    QStringList extractSaid;
    QStringList backupSaid;
    QString database;
    ViberDataSetPtr local;
    QList<QJsonObject> fromBackup;

    RealPhoneFlow()
    {
        addRealPhoneRows(fixture);
        phone = ViberSourceDetector::androidReader(fixture.deviceRoot(), fixture.extractRoot())->load();
        fromPhone = exportedJson(phone->allMessages(), dir.filePath(QStringLiteral("p")));
        const QString csvPath = dir.filePath(QStringLiteral("all.csv"));
        run([&](ProgressChannel& channel) {
            return std::make_unique<ExportMessagesThread>(phone->allMessages(), csvPath,
                                                          ExportMessagesThread::Csv, channel);
        });
        csv = QString::fromUtf8(TestEnvironment::readFile(csvPath));
        // The call log as the window and the tool gather it: the calls of the messages.
        QList<_ViberCall*> calls;
        for (const _ViberMsg* msg : phone->allMessages()) {
            if (msg->call)
                calls.append(msg->call);
        }
        const QString callPath = dir.filePath(QStringLiteral("calls.txt"));
        callLogSaid = run([&](ProgressChannel& channel) {
            return std::make_unique<ExportViberCallsThread>(calls, callPath, channel);
        });
        callLog = QString::fromUtf8(TestEnvironment::readFile(callPath));
        extractSaid = run([&](ProgressChannel& channel) {
            return std::make_unique<ExtractMediaFilesThread>(phone->allMessages(),
                                                             dir.filePath(QStringLiteral("media")), channel);
        });
        const QString folder = dir.filePath(QStringLiteral("Backup"));
        for (int i = 0; i < 2; ++i)
            backupSaid += run([&](ProgressChannel& channel) {
                return std::make_unique<BackupViberMsgThread>(phone->allMessages(), folder, channel);
            });
        database = folder + u'/' + QLatin1String(BackupViberMsgThread::DatabaseFile);
        local =
            ViberSourceDetector::iosReader(folder, QLatin1String(BackupViberMsgThread::DatabaseFile))->load();
        fromBackup = exportedJson(local->allMessages(), dir.filePath(QStringLiteral("b")));
    }

    // Runs a worker; its successes and errors, in order.
    template<typename Make> static QStringList run(Make make)
    {
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        const auto worker = make(channel);
        receiver.runInWorkerThread(*worker);
        return receiver.successes + receiver.errors;
    }
};

QList<int> kindsOf(const _ViberChat* chat)
{
    QList<int> kinds;
    for (const _ViberMsg* m : chat->messages)
        kinds.append(m->type);
    return kinds;
}

} // namespace

class TestModernAndroid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
        AppDirs::setAssetFolder(QStringLiteral(VELLIPORT_BIN_DIR));
        m_fixture = std::make_unique<AndroidFixture>(AndroidFixture::Shape::Modern);
        m_before = TestEnvironment::readFile(m_fixture->messagesPath());
        std::unique_ptr<AbsViberDb> reader =
            ViberSourceDetector::androidReader(m_fixture->deviceRoot(), m_fixture->extractRoot());
        QVERIFY(dynamic_cast<ModernAndroidViberDb*>(reader.get()));
        m_data = reader->load();
        m_flow = std::make_unique<RealPhoneFlow>();
    }

    void detection()
    {
        using G = ViberSourceDetector::Generation;
        QCOMPARE(ViberSourceDetector::detect(m_fixture->messagesPath()), G::AndroidModern);
        const AndroidFixture old;
        QCOMPARE(ViberSourceDetector::detect(old.messagesPath()), G::AndroidVersion53);
        QVERIFY(dynamic_cast<AndroidViberDb*>(
            ViberSourceDetector::androidReader(old.deviceRoot(), old.extractRoot()).get()));
        const DesktopFixture desktop;
        QCOMPARE(ViberSourceDetector::detect(desktop.dbPath()), G::DesktopNumberKeyed);

        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("none"));
        QCOMPARE(ViberSourceDetector::detect(missing), G::Missing);
        const QString plain = dir.filePath(QStringLiteral("plain.db"));
        {
            Sqlite3DB db;
            db.openThrow(plain, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            db.executeScriptThrow(QStringLiteral("create table kv (k, v);"));
        }
        QCOMPARE(ViberSourceDetector::detect(plain), G::Unknown);
        const QString contactKeyed = dir.filePath(QStringLiteral("contact.db"));
        {
            Sqlite3DB db;
            db.openThrow(contactKeyed, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            db.executeScriptThrow(QStringLiteral("create table Events (EventID integer primary key, "
                                                 "TimeStamp longint not null, ContactID integer);"));
        }
        QCOMPARE(ViberSourceDetector::detect(contactKeyed), G::DesktopContactKeyed);
    }

    // Today's desktop app encrypts viber.db: SQLite sees no database at all.
    void encryptedDesktopFileIsExplained()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("viber.db"));
        QByteArray noise(8192, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 131 + 7) % 251);
        QVERIFY(TestEnvironment::writeFile(path, noise));
        QCOMPARE(ViberSourceDetector::detect(path), ViberSourceDetector::Generation::NotReadable);
        try {
            ViberSourceDetector::desktopReader(path);
            QFAIL("an encrypted file was taken");
        } catch (const std::runtime_error& e) {
            QCOMPARE(
                QString::fromUtf8(e.what()),
                QStringLiteral("This Viber desktop version encrypts its message history, so the history in "
                               "this viber.db cannot be read."));
        }
        QCOMPARE(TestEnvironment::readFile(path), noise);
    }

    void readingLeavesTheFileAsItWas()
    {
        QCOMPARE(TestEnvironment::readFile(m_fixture->messagesPath()), m_before);
    }

    void chats()
    {
        // The deleted conversation is gone; the others keep their kinds. Two more hold
        // calls of the log that no chat holds (Max's chat was deleted; one caller has none).
        QCOMPARE(m_data->chats.size(), 8);
        QVERIFY(!m_data->chats.contains(6));
        const _ViberChat* direct = m_data->chats.value(1);
        QVERIFY(!direct->isGroup());
        QCOMPARE(direct->participants.keys(), QList<qint64>{2});
        QCOMPARE(ViberText::chatTitle(*direct), QStringLiteral("Олена Коваль"));

        const _ViberChat* group = m_data->chats.value(2);
        QCOMPARE(group->groupId, QStringLiteral("7001"));
        QCOMPARE(group->name, QStringLiteral("Родина"));
        QList<qint64> members = group->participants.keys();
        std::sort(members.begin(), members.end());
        QCOMPARE(members, (QList<qint64>{2, 4, 5})); // two cards of Olena, one person

        const _ViberChat* community = m_data->chats.value(3);
        QCOMPARE(community->groupId, QStringLiteral("9001"));
        QCOMPARE(community->name, QStringLiteral("Tokyo Runners"));

        const _ViberChat* broadcast = m_data->chats.value(4);
        QVERIFY(!broadcast->isGroup());
        QCOMPARE(broadcast->name, QStringLiteral("Newsletter"));
        QCOMPARE(broadcast->participants.size(), 2);

        const _ViberChat* notes = m_data->chats.value(5);
        QVERIFY(!notes->isGroup());
        QVERIFY(notes->participants.isEmpty());
        QCOMPARE(notes->name, QStringLiteral("My Notes"));
        QCOMPARE(ViberDates::refToUnixMs(m_data->chats.value(7)->date), 1700000436000);
    }

    void people()
    {
        // The owner is no person; the encrypted card folds into the real one.
        QVERIFY(!m_data->persons.contains(1));
        QVERIFY(!m_data->persons.contains(3));
        const _ViberPerson* olena = m_data->persons.value(2);
        QCOMPARE(olena->number, QStringLiteral("+380671234567"));
        QCOMPARE(olena->name, QStringLiteral("Олена Коваль"));
        QCOMPARE(m_data->persons.value(4)->name, QStringLiteral("健二"));
        const _ViberPerson* sara = m_data->persons.value(5);
        QVERIFY(sara->number.isEmpty());
        QCOMPARE(ViberText::personLabel(*sara), QStringLiteral("سارة"));
        QCOMPARE(m_data->persons.value(6)->name, QStringLiteral("Max Müller"));
    }

    // Reaction helpers, the edit's history row, a row marked deleted and the rows of a
    // deleted chat are never messages.
    void rowsThatAreNoMessages()
    {
        QCOMPARE(m_data->messages.size(), 31 + 3); // and the log's three calls without a bubble
        for (qint64 id : {14, 17, 18, 27, 33})
            QVERIFY2(!m_data->messages.contains(id), qPrintable(QString::number(id)));
        QCOMPARE(m_data->messages.value(1)->text, QStringLiteral("Привіт! Як справи?"));
    }

    void kindsInChatOrder()
    {
        const _ViberChat* direct = m_data->chats.value(1);
        // By date: the restored row 20 (a later id) sits between 1 and 2.
        QCOMPARE(direct->messages.at(1)->id, 20);
        QCOMPARE(
            kindsOf(direct),
            (QList<int>{ViberMsgType::Text, ViberMsgType::Text, ViberMsgType::Text, ViberMsgType::Picture,
                        ViberMsgType::Video, ViberMsgType::Sticker, ViberMsgType::Voice,
                        ViberMsgType::Location, ViberMsgType::Text, ViberMsgType::Picture, ViberMsgType::Text,
                        ViberMsgType::Text, ViberMsgType::Video, ViberMsgType::Call, ViberMsgType::System,
                        ViberMsgType::Text, ViberMsgType::Text}));
    }

    // Within one date, order_key decides (a NULL first, as SQLite sorts it), then _id.
    void sameDateFollowsOrderKeyThenId()
    {
        const AndroidFixture fixture(AndroidFixture::Shape::Modern);
        fixture.runOnMessages(QStringLiteral(
            "INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, "
            "participant_id, send_type, "
            "extra_mime, user_id, deleted, body, msg_info) VALUES "
            "(9001, 1, 5, 1800000000000, 1, 1, 1, 0, '+380501112233', 0, 'five', '{}'), "
            "(9002, 1, NULL, 1800000000000, 2, 1, 1, 0, '+380501112233', 0, 'none', '{}'), "
            "(9003, 1, 2, 1800000000000, 3, 1, 1, 0, '+380501112233', 0, 'two', '{}'), "
            "(9005, 1, 9, 1800000000000, 5, 1, 1, 0, '+380501112233', 0, 'nine, later id', '{}'), "
            "(9004, 1, 9, 1800000000000, 4, 1, 1, 0, '+380501112233', 0, 'nine', '{}'), "
            "(9000, 1, 1, 1800000000001, 6, 1, 1, 0, '+380501112233', 0, 'a millisecond later', '{}');"));
        const ViberDataSetPtr data =
            ViberSourceDetector::androidReader(fixture.deviceRoot(), fixture.extractRoot())->load();
        QStringList tail;
        for (const _ViberMsg* m :
             data->chats.value(1)->messages.sliced(data->chats.value(1)->messages.size() - 6))
            tail.append(m->text);
        QCOMPARE(tail, (QStringList{QStringLiteral("none"), QStringLiteral("two"), QStringLiteral("five"),
                                    QStringLiteral("nine"), QStringLiteral("nine, later id"),
                                    QStringLiteral("a millisecond later")}));
    }

    // Messages whose extras hold no text of their own hold the same blob: a short one
    // inside each record, a long one (large counts) in one allocation they share; one with
    // its own URI keeps its own, and every map reads as written.
    void alikeExtrasHeldAlike()
    {
        const AndroidFixture fixture(AndroidFixture::Shape::Modern);
        fixture.runOnMessages(QStringLiteral(
            "INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, participant_id, "
            "send_type, "
            "extra_mime, extra_uri, user_id, deleted, body, msg_info) VALUES "
            "(9101, 1, 1, 1800000000000, 1, 1, 1, 0, NULL, '+380501112233', 0, 'one', '{}'), "
            "(9102, 1, 2, 1800000000001, 2, 1, 1, 0, '', '+380501112233', 0, 'two', '{}'), "
            "(9103, 1, 3, 1800000000002, 3, 1, 1, 0, 'content://media/9103', '+380501112233', 0, 'three', "
            "'{}');"));
        fixture.runOnMessages(QStringLiteral(
            "INSERT INTO messages (_id, conversation_id, order_key, msg_date, token, participant_id, "
            "send_type, extra_mime, user_id, deleted, body, msg_info, likes_count, status) VALUES "
            "(9104, 1, 4, 1800000000003, 4, 1, 1, 0, '+380501112233', 0, 'four', '{}', 9000000000000000001, "
            "9000000000000000002), "
            "(9105, 1, 5, 1800000000004, 5, 1, 1, 0, '+380501112233', 0, 'five', '{}', 9000000000000000001, "
            "9000000000000000002);"));
        const ViberDataSetPtr data =
            ViberSourceDetector::androidReader(fixture.deviceRoot(), fixture.extractRoot())->load();
        const _ViberMsg* one = data->messages.value(9101);
        const _ViberMsg* two = data->messages.value(9102);
        const _ViberMsg* three = data->messages.value(9103);
        QVERIFY(one && two && three);
        QVERIFY(one->extra == two->extra);
        QVERIFY(one->extra.size() <= HeldBlob::InlineCapacity);
        QVERIFY(!(three->extra == one->extra));
        const _ViberMsg* four = data->messages.value(9104);
        const _ViberMsg* five = data->messages.value(9105);
        QVERIFY(four && five);
        QVERIFY(four->extra.size() > HeldBlob::InlineCapacity);
        QVERIFY(four->extra.sharesStorageWith(five->extra));
        QCOMPARE(five->extraMap().value(QStringLiteral("likes_count")).toLongLong(), 9000000000000000001LL);
        QCOMPARE(one->extraMap().value(QStringLiteral("extra_mime")), QVariant(0));
        QVERIFY(!one->extraMap().contains(QStringLiteral("extra_uri")));
        QCOMPARE(three->extraMap().value(QStringLiteral("extra_uri")).toString(),
                 QStringLiteral("content://media/9103"));
        QCOMPARE(three->extraMap().value(QStringLiteral("extra_mime")), QVariant(0));
    }

    void texts_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<QString>("summary");
        QTest::newRow("text with emoji") << qint64(2) << true << QStringLiteral("Добре, дякую [EMOJI]");
        QTest::newRow("picture caption") << qint64(3) << false << QStringLiteral("[IMAGE]");
        QTest::newRow("location") << qint64(7) << true << QStringLiteral("Хрещатик, Київ [LOCATION]");
        QTest::newRow("file") << qint64(8) << false << QStringLiteral("[FILE] Звіт 2024.pdf");
        QTest::newRow("link") << qint64(10) << false << QStringLiteral("Дивись https://example.org/article");
        QTest::newRow("contact card")
            << qint64(11) << false << QStringLiteral("[CONTACT] Max Müller +4915112345678");
        QTest::newRow("call") << qint64(13) << false << QStringLiteral("Incoming Call (2' 5'')");
        QTest::newRow("deleted by sender") << qint64(15) << false << QStringLiteral("[MESSAGE DELETED]");
        QTest::newRow("unknown kind") << qint64(16) << false << QStringLiteral("[type 1011] щось нове");
        QTest::newRow("formatted") << qint64(19) << false
                                   << QStringLiteral("Вітаємо у нашому магазині\nКаталог");
        QTest::newRow("notice as stored")
            << qint64(26) << false << QStringLiteral("group_icon_changed_with_icon/7001/icon-abc");
        QTest::newRow("my notes") << qint64(32) << true << QStringLiteral("Купити молоко");
        QTest::newRow("broadcast") << qint64(31) << true << QStringLiteral("Weekly news: ελληνικά νέα");
    }

    void texts()
    {
        QFETCH(qint64, id);
        QFETCH(bool, outgoing);
        QFETCH(QString, summary);
        const _ViberMsg* msg = m_data->messages.value(id);
        QVERIFY(msg);
        QCOMPARE(ViberText::isOutgoing(*msg), outgoing);
        QCOMPARE(ViberText::summaryText(*msg), summary);
    }

    void sendersInGroups()
    {
        const auto sender = [this](qint64 id) {
            const _ViberPerson* p = m_data->messages.value(id)->sender;
            return p ? p->id : 0;
        };
        QCOMPARE(sender(21), 2);
        QCOMPARE(sender(22), 2); // written from Olena's second card
        QCOMPARE(sender(23), 4);
        QCOMPARE(sender(24), 5);
        QCOMPARE(sender(25), 0);
        QVERIFY(ViberText::isOutgoing(*m_data->messages.value(25)));
        QCOMPARE(sender(29), 4);
        QCOMPARE(sender(30), 5);
        QCOMPARE(sender(1), 2);
    }

    void media()
    {
        const QString root = m_fixture->extractRoot() + Files;
        const _ViberAtta* picture = m_data->messages.value(3)->attachment;
        QCOMPARE(picture->localPath,
                 root + QStringLiteral(".image/IMG-0123456789abcdef0123456789abcdef-V.jpg"));
        QCOMPARE(picture->sourceUri,
                 QStringLiteral("file:///storage/emulated/0/Android/data/com.viber.voip/files/"
                                ".image/IMG-0123456789abcdef0123456789abcdef-V.jpg"));
        QCOMPARE(picture->fileSize, 183422);
        QCOMPARE(m_data->messages.value(3)->text, QStringLiteral("На пляжі"));

        const _ViberAtta* video = m_data->messages.value(4)->attachment;
        QCOMPARE(video->fileSize, 2048000); // a number sent as a string
        QCOMPARE(video->duration, 12.0);
        QVERIFY(video->fileName.endsWith(QLatin1String(".mp4")));

        QCOMPARE(m_data->messages.value(5)->attachment->fileId, QStringLiteral("40123"));
        const _ViberAtta* voice = m_data->messages.value(6)->attachment;
        QCOMPARE(voice->duration, 4.5);
        QCOMPARE(voice->localPath, root + QStringLiteral(".ptt/11112222333344445555666677778888.ptt"));

        const _ViberMsg* location = m_data->messages.value(7);
        QCOMPARE(location->location.latitude(), 50.450123);
        QCOMPARE(location->location.longitude(), 30.523456);

        const _ViberAtta* file = m_data->messages.value(8)->attachment;
        QCOMPARE(file->fileName, QStringLiteral("Звіт 2024.pdf"));
        QCOMPARE(file->fileSize, 52311);
        QCOMPARE(file->localPath, root + QStringLiteral(".import/report-2024.pdf"));

        QCOMPARE(m_data->messages.value(9)->attachment->localPath,
                 root + QStringLiteral(".gif/aaaabbbbccccddddeeeeffff00001111.gif"));
        QCOMPARE(m_data->messages.value(12)->attachment->localPath,
                 root + QStringLiteral(".vptt/99998888777766665555444433332222.vptt"));
        // No stored path: the app's name is the MD5 of the download id.
        QCOMPARE(m_data->messages.value(28)->attachment->localPath,
                 root + QStringLiteral(".image/IMG-44066cdbd9b2a3705485481cb543996c-V.jpg"));
    }

    void mediaPathsStayInViberFolder_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("relative");
        QTest::newRow("sdcard path") << QStringLiteral(
                                            "/sdcard/Android/data/com.viber.voip/files/.image/a.jpg")
                                     << QStringLiteral(".image/a.jpg");
        QTest::newRow("encoded space")
            << QStringLiteral("file:///storage/emulated/0/Android/data/com.viber.voip/"
                              "files/.import/a%20b.pdf")
            << QStringLiteral(".import/a b.pdf");
        QTest::newRow("climbing") << QStringLiteral("file:///storage/emulated/0/Android/data/com.viber.voip/"
                                                    "files/../../../../../etc/passwd")
                                  << QString();
        QTest::newRow("encoded climbing") << QStringLiteral("file:///storage/emulated/0/Android/data/"
                                                            "com.viber.voip/files/.image/%2e%2e/%2e%2e/x")
                                          << QString();
        QTest::newRow("other app") << QStringLiteral("file:///storage/emulated/0/DCIM/a.jpg") << QString();
        QTest::newRow("content uri") << QStringLiteral("content://media/external/images/1") << QString();
        QTest::newRow("newline") << QStringLiteral("/sdcard/Android/data/com.viber.voip/files/.image/a\n.jpg")
                                 << QString();
        QTest::newRow("folder only") << QStringLiteral("/sdcard/Android/data/com.viber.voip/files/")
                                     << QString();
    }

    void mediaPathsStayInViberFolder()
    {
        QFETCH(QString, uri);
        QFETCH(QString, relative);
        const ModernAndroidViberDb db(m_fixture->deviceRoot(), m_fixture->extractRoot());
        const QString expected = relative.isEmpty() ? QString() : m_fixture->extractRoot() + Files + relative;
        QCOMPARE(db.localMediaPath(uri), expected);
    }

    void calls()
    {
        // The call log's five calls and the bubble whose call the log lost.
        QCOMPARE(m_data->calls.size(), 6);
        const _ViberCall* incoming = m_data->messages.value(13)->call;
        QCOMPARE(incoming->id, 1);
        QCOMPARE(incoming->kind, int(ViberCallKind::Incoming));
        QCOMPARE(incoming->duration, 125);
        QCOMPARE(incoming->person->id, 2);
        const _ViberCall* video = m_data->messages.value(34)->call;
        QCOMPARE(video->id, 2);
        QCOMPARE(video->kind, int(ViberCallKind::Outgoing));
        QCOMPARE(video->extraMap().value(QStringLiteral("viber_call_type")).toInt(), 4);
        const _ViberCall* missed = m_data->messages.value(35)->call;
        QCOMPARE(missed->kind, int(ViberCallKind::Missed));
        QCOMPARE(missed->person->id, 4);
        QCOMPARE(m_data->calls.value(3)->person->id, 6); // no bubble, a known person
        const _ViberCall* odd = m_data->calls.value(4);
        QCOMPARE(odd->kind, 7); // as stored
        QCOMPARE(ViberText::callText(*odd), QStringLiteral("Unknown Call"));
        QCOMPARE(odd->person->number, QStringLiteral("15550001111"));
        QCOMPARE(m_data->calls.value(5)->extraMap().value(QStringLiteral("group_id")).toLongLong(), 7001);
    }

    // Later app versions add columns; the reader asks for what it knows by name.
    void newerColumnsAreIgnored()
    {
        const AndroidFixture fixture(AndroidFixture::Shape::Modern);
        fixture.runOnMessages(
            QStringLiteral("alter table messages add column reaction_summary TEXT; alter table participants "
                           "add column alias_name "
                           "TEXT; alter table conversations add column future_flags INTEGER DEFAULT 0;"));
        const ViberDataSetPtr data =
            ViberSourceDetector::androidReader(fixture.deviceRoot(), fixture.extractRoot())->load();
        QCOMPARE(data->messages.size(), m_data->messages.size());
        QCOMPARE(data->chats.size(), m_data->chats.size());
    }

    // A running app leaves new rows in the log beside the file; they are read too.
    void rowsOnlyInTheLogAreRead()
    {
        const AndroidFixture fixture(AndroidFixture::Shape::Modern);
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import os, shutil, sqlite3, sys\n"
                                     "path = sys.argv[1]\n"
                                     "db = sqlite3.connect(path, isolation_level=None)\n"
                                     "db.execute('PRAGMA journal_mode=WAL')\n"
                                     "db.execute('PRAGMA wal_autocheckpoint=0')\n"
                                     "db.execute(\"INSERT INTO messages (conversation_id, msg_date, token, "
                                     "participant_id, send_type, extra_mime, user_id, body) VALUES (1, "
                                     "1700000900000, 7130000000000000099, 2, 0, 0, '+380671234567', 'nur im "
                                     "Log')\")\n"
                                     "shutil.copy(path, path + '.main')\n"
                                     "shutil.copy(path + '-wal', path + '.log')\n"
                                     "db.close()\n"
                                     "for suffix in ('-wal', '-shm'):\n"
                                     "    if os.path.exists(path + suffix): os.remove(path + suffix)\n"
                                     "os.replace(path + '.main', path)\n"
                                     "os.replace(path + '.log', path + '-wal')\n"),
                      fixture.messagesPath()});
        QVERIFY(python.waitForFinished(30000));
        QCOMPARE(python.exitCode(), 0);
        QVERIFY(QFileInfo(fixture.messagesPath() + QStringLiteral("-wal")).size() > 0);
        const ViberDataSetPtr data =
            ViberSourceDetector::androidReader(fixture.deviceRoot(), fixture.extractRoot())->load();
        QCOMPARE(data->messages.size(), m_data->messages.size() + 1);
        QCOMPARE(data->chats.value(1)->messages.last()->text, QStringLiteral("nur im Log"));
    }

    void csvExportKeepsEveryText()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("all.csv"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        ExportMessagesThread worker(m_data->allMessages(), out, ExportMessagesThread::Csv, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        const QString csv = QString::fromUtf8(TestEnvironment::readFile(out));
        const QStringList expected = fixtureTexts(m_fixture->messagesPath());
        QCOMPARE(expected.size(), 14);
        for (const QString& text : expected) {
            const QString shown =
                ViberText::replaceEmoji(text, [](const QString&) { return QStringLiteral("[EMOJI]"); });
            QVERIFY2(csv.contains(shown), qPrintable(shown));
        }
        QVERIFY(csv.contains(QStringLiteral("[MESSAGE DELETED]")));
        QVERIFY(csv.contains(QStringLiteral("group_icon_changed_with_icon/7001/icon-abc")));
        QVERIFY(!csv.contains(QStringLiteral("Привіт! Як справи??")));
    }

    void backupKeepsEveryText()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("Modern"));
        ProgressChannel channel;
        RecordingReceiver receiver(&channel);
        BackupViberMsgThread worker(m_data->allMessages(), folder, channel);
        receiver.runInWorkerThread(worker);
        QCOMPARE(receiver.errors, QStringList());
        const QString database = folder + u'/' + QLatin1String(BackupViberMsgThread::DatabaseFile);
        const QStringList stored = jsonStrings(TestEnvironment::pythonQuery(
            database, QStringLiteral("select json_group_array(ZTEXT) from ZVIBERMESSAGE")));
        for (const QString& text : fixtureTexts(m_fixture->messagesPath()))
            QVERIFY2(stored.contains(text), qPrintable(text));
        QVERIFY(!stored.contains(QStringLiteral("Привіт! Як справи??")));
        QCOMPARE(
            TestEnvironment::pythonQuery(database, QStringLiteral("select count(*) from ZVIBERMESSAGE where "
                                                                  "ZTEXT = 'こんにちは、皆さん'")),
            QStringLiteral("1"));
    }

    // The real phone's cases, each through read, export and backup (see RealPhoneFlow).
    void realPhoneCallsWithoutBubbleAreKept()
    {
        const RealPhoneFlow& f = *m_flow;
        const _ViberMsg* kept = f.phone->messages.value(-6);
        QVERIFY(kept && kept->call);
        QCOMPARE(kept->chat->id, 7); // the caller's chat
        QCOMPARE(kept->sender->id, 4);
        QCOMPARE(f.phone->messages.value(-5)->chat->id, 2); // the group call, in its group
        const _ViberMsg* max = f.phone->messages.value(-3); // his chat was deleted
        QVERIFY(max && max->chat->participants.keys() == QList<qint64>{6});
        QCOMPARE(f.callLogSaid, QStringList{QStringLiteral("Successfully extracted 7 call history.")});
        QVERIFY(f.callLog.contains(QStringLiteral("Max Müller(+4915112345678)")));
        QCOMPARE(
            TestEnvironment::pythonQuery(f.database, QStringLiteral("select count(*) from ZRECENT where "
                                                                    "ZCALLTOKEN in (7130000000000000040, "
                                                                    "7130000000000000042, "
                                                                    "7130000000000000043)")),
            QStringLiteral("3"));
    }

    void realPhoneCallsKeepTheirDirectionInTheBackup()
    {
        const QStringList calls = callLines(m_flow->fromPhone);
        QVERIFY2(calls.contains(QStringLiteral("incoming incoming Олена Коваль 125")),
                 qPrintable(calls.join(u',')));
        QVERIFY(calls.contains(QStringLiteral("outgoing outgoing  60")));
        QCOMPARE(callLines(m_flow->fromBackup), calls);
    }

    void realPhoneRichPlaceIsALocation()
    {
        const QJsonObject place = lineWithSummary(m_flow->fromPhone, QStringLiteral("Кав'ярня Львівська"));
        QCOMPARE(place.value(QStringLiteral("kind")).toString(), QStringLiteral("location"));
        const QJsonObject where = place.value(QStringLiteral("location")).toObject();
        QCOMPARE(where.value(QStringLiteral("address")).toString(),
                 QStringLiteral("вул. Хрещатик, 15, Київ"));
        QCOMPARE(where.value(QStringLiteral("latitude")).toDouble(), 50.447731);
        QCOMPARE(where.value(QStringLiteral("longitude")).toDouble(), 30.522447);
        QCOMPARE(lineWithSummary(m_flow->fromBackup, QStringLiteral("Кав'ярня Львівська"))
                     .value(QStringLiteral("location")),
                 QJsonValue(where));
    }

    // A bot's message that is only a keyboard reads as its buttons, in every export.
    void realPhoneKeyboardReadsAsItsButtons()
    {
        const QString shown = QStringLiteral("[KEYBOARD] Меню | Мої замовлення");
        QCOMPARE(m_flow->phone->messages.value(52)->text, shown);
        QVERIFY(m_flow->csv.contains(QStringLiteral(",0,Піца Бот,pa:5577,") + shown));
        QCOMPARE(
            lineWithSummary(m_flow->fromBackup, QStringLiteral("[KEYBOARD]")).value(QStringLiteral("text")),
            QJsonValue(shown));
    }

    void realPhoneCsvCallRowsNameThePerson()
    {
        QVERIFY2(m_flow->csv.contains(QStringLiteral(",0,Олена Коваль,+380671234567,Incoming Call (2' 5'')")),
                 qPrintable(m_flow->csv));
        QVERIFY(m_flow->csv.contains(QStringLiteral(",1,健二,+81901234567,Outgoing Call (1' 0'')")));
    }

    void realPhonePictureKeepsItsExtension()
    {
        QCOMPARE(m_flow->phone->messages.value(51)->attachment->fileName,
                 QStringLiteral("7130000000000000051.png"));
        bool kept = false;
        for (const QJsonObject& line : m_flow->fromBackup)
            kept = kept || line.value(QStringLiteral("attachment"))[QStringLiteral("name")] ==
                               QJsonValue(QStringLiteral("7130000000000000051.png"));
        QVERIFY(kept);
    }

    // Media that stayed on the phone: nothing is written, and the text says so.
    void realPhoneExtractSaysNothingWasWritten()
    {
        QCOMPARE(m_flow->extractSaid.size(), 1);
        QVERIFY2(m_flow->extractSaid.constFirst().startsWith(QLatin1String("No file was written")),
                 qPrintable(m_flow->extractSaid.constFirst()));
        QVERIFY(QDir(m_flow->dir.filePath(QStringLiteral("media"))).isEmpty());
    }

    void realPhoneRepeatedBackupAddsNothing()
    {
        const QString stored = TestEnvironment::pythonQuery(
            m_flow->database,
            QStringLiteral("select (select count(*) from ZVIBERMESSAGE) + (select count(*) from ZRECENT)"));
        const QString leftOut = QStringLiteral(
            " Left out: 1 (no chat, no sender in a group, or a call of a type a backup cannot keep).");
        QCOMPARE(m_flow->backupSaid,
                 (QStringList{
                     QStringLiteral("Successfully backed up %1 new messages; 0 were already in the backup.")
                             .arg(stored) +
                         leftOut,
                     QStringLiteral("Successfully backed up 0 new messages; %1 were already in the backup.")
                             .arg(stored) +
                         leftOut}));
    }

private:
    std::unique_ptr<AndroidFixture> m_fixture;
    QByteArray m_before;
    ViberDataSetPtr m_data;
    std::unique_ptr<RealPhoneFlow> m_flow;
};

QTEST_GUILESS_MAIN(TestModernAndroid)
#include "tst_modernandroid.moc"
