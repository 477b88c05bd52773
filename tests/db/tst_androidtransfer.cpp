#include "app/OperationCancelled.h"
#include "app/Sqlite3Cursor.h"
#include "db/AndroidViberDb.h"
#include "db/AndroidViberTransfer.h"
#include "db/IOSViberDb.h"
#include "db/PhoneMediaPaths.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "tests/support/AndroidFixture.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Between the phone's rows (1400000001000 ... 1400000025000 ms) and after them.
QDateTime phoneTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString python()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// Runs a Python check; returns what it printed, empty when it passed.
QString runPython(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python(), arguments);
    if (!process.waitForFinished(60000))
        return QStringLiteral("python did not finish");
    const QString output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return output.isEmpty() ? QStringLiteral("python failed") : output;
    return QString();
}

QString checkTransfer(const QString& before, const QString& after, const QList<qint64>& tokens,
                      qint64 addedCount)
{
    QJsonArray list;
    for (qint64 token : tokens)
        list.append(token);
    QJsonObject expect{{QStringLiteral("added_tokens"), list}};
    if (addedCount >= 0)
        expect.insert(QStringLiteral("added_count"), addedCount);
    return runPython({TestEnvironment::dataDir() + QStringLiteral("/android/check_transfer.py"), before,
                      after, QString::fromUtf8(QJsonDocument(expect).toJson(QJsonDocument::Compact))});
}

qint64 count(Sqlite3DB& db, const QString& sql)
{
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    return c.moveNext() ? c.getInt64(0) : -1;
}

// What the restore worker writes as media texts: the phone path of the media file.
AndroidViberTransfer::MediaTexts mediaTexts(const _ViberMsg& message)
{
    const PhoneMediaPaths::Media media = PhoneMediaPaths::forMessage(message);
    return {media.previewRelative, media.mediaRelative};
}

// Messages that interleave with the phone's rows, repeat some of them and each other.
struct Source
{
    DataSetBuilder b;
    QList<_ViberMsg*> messages;
    QList<qint64> newTokens;
};

void fillSource(Source& s)
{
    DataSetBuilder& b = s.b;
    _ViberPerson* anna = b.person(1, QStringLiteral("+491702222222"), QStringLiteral("Anna"));
    _ViberPerson* dora = b.person(2, QStringLiteral("+491705555555"), QStringLiteral("Dora"));
    _ViberChat* annaChat = b.chat(1, {anna});
    _ViberChat* doraChat = b.chat(2, {dora});
    auto text = [&](_ViberChat* chat, qint64 ms, qint64 token, const QString& body) {
        _ViberMsg* m = b.message(chat, ViberMsgType::Text, phoneTime(ms), body);
        m->token = token;
        s.messages.append(m);
        return m;
    };
    // Between phone rows, and at the very date of phone row 3 (which must stay first).
    s.newTokens << 7001 << 7002 << 7003 << 7004;
    text(annaChat, 1400000002500, 7001, QStringLiteral("dazwischen"));
    text(annaChat, 1400000003000, 7002, QStringLiteral("gleiche Zeit wie Zeile 3"));
    text(doraChat, 1400000019999, 7003, QStringLiteral("neu bei Dora"));
    text(doraChat, 1400000090000, 7004, QStringLiteral("nach allem"));
    // A phone row again (same token, 30 s later) and a message queued twice.
    text(annaChat, 1400000031000, 5012345678901234001, QStringLiteral("Hallo nochmal"));
    text(doraChat, 1400000019999 + 59000, 7003, QStringLiteral("neu bei Dora, zweite Kopie"));
    // A call between the phone's rows, with its own token.
    _ViberMsg* call = b.callMessage(annaChat, anna, ViberCallKind::Incoming, 42, phoneTime(1400000009500));
    call->call->token = 7005;
    s.messages.append(call);
    s.newTokens << 7005;
    // A system message is neither written nor counted.
    _ViberMsg* notice =
        b.message(annaChat, ViberMsgType::System, phoneTime(1400000004500), QStringLiteral("x"));
    notice->systemType = ViberSystemType::NameChanged;
    s.messages.append(notice);
}

} // namespace

class TestAndroidTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        if (python().isEmpty())
            QSKIP("python3 is needed to check the files");
    }

    void mediaRelativePath_data();
    void mediaRelativePath();
    void phonePathsFromData();
    void numberHash();
    void phoneRowsKeptInDateOrder();
    void oneTokenAtSeveralDates();
    void mergingThePhonesOwnHistoryChangesNothing();
    void declinedMessagesLeaveNoConversation();
    void failedMergeLeavesCopy_data();
    void failedMergeLeavesCopy();
    void callLog();
};

void TestAndroidTransfer::mediaRelativePath_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("relative");
    QTest::newRow("encoded file URI") << "file:///storage/emulated/0/viber/media/Viber%20Images/IMG-1.jpg"
                                      << "viber/media/Viber Images/IMG-1.jpg";
    QTest::newRow("plain path") << "/storage/emulated/0/viber/media/.thumbnails/a.jpg"
                                << "viber/media/.thumbnails/a.jpg";
    QTest::newRow("dot segments and double slashes")
        << "file:///storage/emulated/0/./viber//media/./Viber%20Images/x.jpg"
        << "viber/media/Viber Images/x.jpg";
    QTest::newRow("dot-dot") << "file:///storage/emulated/0/viber/media/../../../data/data/x"
                             << "";
    QTest::newRow("dot-dot after the prefix") << "/sdcard/viber/media/a/../../viber/media/b"
                                              << "";
    QTest::newRow("encoded dot-dot") << "file:///storage/emulated/0/viber/media/%2E%2E/%2E%2E/x"
                                     << "";
    QTest::newRow("backslashes") << "file:///sdcard/evil.jpg\\..\\..\\x"
                                 << "";
    QTest::newRow("content scheme") << "content://com.viber.voip/storage/viber/media/x.jpg"
                                    << "";
    QTest::newRow("web address") << "https://example.com/viber/media/x.jpg"
                                 << "";
    QTest::newRow("relative name") << "viber/media/x.jpg"
                                   << "";
    QTest::newRow("outside the media folder") << "file:///sdcard/evil.jpg"
                                              << "";
    QTest::newRow("the folder alone") << "file:///storage/emulated/0/viber/media/"
                                      << "";
    QTest::newRow("line feed") << "/storage/emulated/0/viber/media/a\n$sucmd:rm -rf /"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestAndroidTransfer::mediaRelativePath()
{
    QFETCH(QString, uri);
    QFETCH(QString, relative);
    QCOMPARE(PhoneMediaPaths::mediaRelativePath(uri), relative);
}

void TestAndroidTransfer::phonePathsFromData()
{
    DataSetBuilder b;
    _ViberChat* chat = b.chat(1, {b.person(1, QStringLiteral("+4930"))});
    const QDateTime when(QDate(2020, 5, 1), QTime(10, 0), Qt::UTC);

    _ViberMsg* image = b.message(chat, ViberMsgType::Picture, when);
    b.attach(image, QStringLiteral("/local/a.jpg"), QStringLiteral("/local/t.jpg"),
             QStringLiteral("../../../data/data/com.viber.voip/databases/viber_messages"));
    PhoneMediaPaths::Media media = PhoneMediaPaths::forMessage(*image);
    QVERIFY(media.mediaRelative.startsWith(QStringLiteral("viber/media/Viber Images/")));
    QVERIFY(!media.mediaRelative.mid(25).contains(u'/'));
    QVERIFY(media.previewRelative.startsWith(QStringLiteral("viber/media/.thumbnails/")));
    QCOMPARE(media.mediaLocal, QStringLiteral("/local/a.jpg"));
    QCOMPARE(media.previewLocal, QStringLiteral("/local/t.jpg"));

    // A usable extra_uri names the place; a hostile one falls back to the folder.
    image->setExtra(
        {{QStringLiteral("extra_uri"),
          QStringLiteral("file:///storage/emulated/0/viber/media/Viber%20Images/IMG-7.jpg")},
         {QStringLiteral("body"), QStringLiteral("/storage/emulated/0/viber/media/.thumbnails/t7.jpg")}});
    media = PhoneMediaPaths::forMessage(*image);
    QCOMPARE(media.mediaRelative, QStringLiteral("viber/media/Viber Images/IMG-7.jpg"));
    QCOMPARE(media.previewRelative, QStringLiteral("viber/media/.thumbnails/t7.jpg"));
    image->setExtra({{QStringLiteral("extra_uri"), QStringLiteral("file:///data/data/com.viber.voip/x")}});
    image->attachment->fileName = QStringLiteral("..");
    QCOMPARE(PhoneMediaPaths::forMessage(*image).mediaRelative,
             QStringLiteral("viber/media/Viber Images/%1").arg(image->token));

    _ViberMsg* video = b.message(chat, ViberMsgType::Video, when);
    b.attach(video, QStringLiteral("/local/v.mp4"), QString(), QStringLiteral("v.mp4"));
    media = PhoneMediaPaths::forMessage(*video);
    QCOMPARE(media.mediaRelative, QStringLiteral("viber/media/Viber Videos/v.mp4"));
    QCOMPARE(media.previewRelative, QStringLiteral("viber/media/.thumbnails/v.mp4.jpg"));

    _ViberMsg* voice = b.message(chat, ViberMsgType::Voice, when);
    b.attach(voice, QStringLiteral("/local/p"));
    voice->setExtra({{QStringLiteral("extra_uri"), QStringLiteral("2c6e4b0f9a1d4e7c")}});
    media = PhoneMediaPaths::forMessage(*voice);
    QCOMPARE(media.mediaRelative, QStringLiteral("viber/media/.ptt/2c6e4b0f9a1d4e7c"));
    QVERIFY(media.bareName);
    QVERIFY(media.previewRelative.isEmpty());
    voice->setExtra({{QStringLiteral("extra_uri"), QStringLiteral("../../../.ssh/authorized_keys")}});
    voice->token = 0;
    QCOMPARE(PhoneMediaPaths::forMessage(*voice).mediaRelative,
             QStringLiteral("viber/media/.ptt/%1").arg(ViberDates::refToUnixMs(voice->date)));

    _ViberMsg* text = b.message(chat, ViberMsgType::Text, when);
    QVERIFY(PhoneMediaPaths::forMessage(*text).mediaRelative.isEmpty());
}

void TestAndroidTransfer::numberHash()
{
    const QStringList numbers = {QStringLiteral("+491702222222"), QStringLiteral(""),
                                 QStringLiteral("+7 (900) 123-45-67"), QStringLiteral("Ünïcödé")};
    QStringList ours;
    for (const QString& number : numbers)
        ours.append(QString::number(AndroidViberTransfer::numberHash(number)));
    QStringList arguments = {QStringLiteral("-c"),
                             QStringLiteral("import hashlib, struct, sys\n"
                                            "for n, want in zip(sys.argv[1::2], sys.argv[2::2]):\n"
                                            "    w = struct.unpack('<4i', hashlib.md5(n.encode()).digest())\n"
                                            "    got = w[0] ^ w[1] ^ w[2] ^ w[3]\n"
                                            "    if str(got) != want: print(n, got, want)\n"
                                            "    if str(got) != want: sys.exit(1)\n")};
    for (int i = 0; i < numbers.size(); ++i)
        arguments << numbers.at(i) << ours.at(i);
    QCOMPARE(runPython(arguments), QString());
}

void TestAndroidTransfer::phoneRowsKeptInDateOrder()
{
    AndroidFixture phone;
    // References beyond messages_calls, rows of the message the app marked deleted, and a
    // trigger of the app that must neither fire nor vanish.
    phone.runOnMessages(QStringLiteral(
        "INSERT INTO public_messages_extras (message_id, group_id, message_token, like_count) VALUES "
        "(22, 5555123456789, 5012345678901234022, 3), (17, 0, 5012345678901234017, 1);"
        "INSERT INTO messages_calls (conversation_id, message_id, canonized_number, date, duration, type, "
        "token) "
        "VALUES (1, 17, '491702222222', 1400000017000, 5, 1, 5012345678901234017);"
        "UPDATE participants SET last_message_id = 25 WHERE _id = 13;"
        "UPDATE sqlite_sequence SET seq = 40 WHERE name = 'messages';"
        "CREATE TRIGGER kv_on_delete AFTER DELETE ON messages BEGIN "
        "INSERT INTO kvdata (category, key, value) VALUES ('trigger', old._id, 'fired'); END;"));
    Source source;
    fillSource(source);
    AndroidViberDb work(phone.deviceRoot(), phone.extractRoot());
    // Opening purges the row the app marked deleted, with the rows that belong to it, which
    // is the app's own kind of change; the merge is compared with what is left.
    work.open();
    QTemporaryDir scratch;
    const QString before = scratch.filePath(QStringLiteral("before"));
    QVERIFY(QFile::copy(phone.messagesPath(), before));
    const qint64 fired = count(work, "select count(*) from kvdata where category='trigger'");
    QList<const _ViberMsg*> resolved;
    const auto media = [&](const _ViberMsg& m) {
        resolved.append(&m);
        return mediaTexts(m);
    };
    qint64 reports = 0;
    const AndroidViberTransfer::Result result =
        AndroidViberTransfer(work).mergeMessages(source.messages, media, [&](qint64 done, qint64 total) {
            QVERIFY(done >= 1 && done <= total);
            ++reports;
        });
    QCOMPARE(result.queued, 7);
    QCOMPARE(result.duplicates, 2);
    QCOMPARE(result.written, 5);
    QCOMPARE(result.calls.size(), 1);
    QCOMPARE(resolved.size(), 5);
    QCOMPARE(reports, 5);
    QCOMPARE(count(work, "select count(*) from kvdata where category='trigger'"), fired);
    QCOMPARE(count(work, "select count(*) from sqlite_master where type='trigger' and name='kv_on_delete'"),
             1);
    QCOMPARE(count(work, "select count(*) from sqlite_master where name like 'kestrune_%'"), 0);
    work.close();
    QCOMPARE(checkTransfer(before, phone.messagesPath(), source.newTokens, 5), QString());

    // The same messages again add nothing and change nothing.
    const QString first = TestEnvironment::pythonDump(phone.messagesPath());
    QVERIFY(first.contains(QStringLiteral("INSERT INTO \"messages\"")));
    AndroidViberDb again(phone.deviceRoot(), phone.extractRoot());
    const AndroidViberTransfer::Result second =
        AndroidViberTransfer(again).mergeMessages(source.messages, mediaTexts, {});
    QCOMPARE(second.written, 0);
    QCOMPARE(second.duplicates, 7);
    again.close();
    QCOMPARE(TestEnvironment::pythonDump(phone.messagesPath()), first);
}

void TestAndroidTransfer::oneTokenAtSeveralDates()
{
    // One token days apart is two messages, and a copy near the later date is still a
    // copy of that one, however many dates the token already has.
    AndroidFixture phone;
    DataSetBuilder b;
    _ViberPerson* anna = b.person(1, QStringLiteral("+491702222222"), QStringLiteral("Anna"));
    _ViberChat* chat = b.chat(1, {anna});
    QList<_ViberMsg*> messages;
    const qint64 first = 1400000002500;
    const qint64 day = 86400000;
    for (qint64 ms :
         {first, first + 10 * day, first + 10 * day + 1000, first + 20 * day, first + 20 * day - 2000}) {
        _ViberMsg* m = b.message(chat, ViberMsgType::Text, phoneTime(ms), QStringLiteral("wieder"));
        m->token = 7100;
        messages.append(m);
    }
    AndroidViberDb work(phone.deviceRoot(), phone.extractRoot());
    const AndroidViberTransfer::Result result =
        AndroidViberTransfer(work).mergeMessages(messages, mediaTexts, {});
    work.close();
    QCOMPARE(result.written, 3);
    QCOMPARE(result.duplicates, 2);
    QCOMPARE(
        runPython({QStringLiteral("-c"),
                   QStringLiteral(
                       "import sqlite3, sys\n"
                       "c = sqlite3.connect(sys.argv[1])\n"
                       "n = c.execute('select count(*) from messages where token = 7100').fetchone()[0]\n"
                       "sys.exit(0 if n == 3 else 'rows: %d' % n)\n"),
                   phone.messagesPath()}),
        QString());
}

void TestAndroidTransfer::mergingThePhonesOwnHistoryChangesNothing()
{
    // The phone's history, backed up into a local database and merged back: every
    // message is there already, so no conversation, participant or row is added.
    AndroidFixture phone;
    QTemporaryDir backup;
    {
        AndroidViberDb loaded(phone.deviceRoot(), phone.extractRoot());
        const ViberDataSetPtr data = loaded.load();
        QList<_ViberMsg*> messages = data->allMessages();
        std::sort(messages.begin(), messages.end(), [](const _ViberMsg* a, const _ViberMsg* b) {
            return a->chat->id != b->chat->id ? a->chat->id < b->chat->id : a->id < b->id;
        });
        const QList<_ViberCall*> calls = data->calls.values();
        IOSViberDb local(backup.path(), QString::fromLatin1(LocalDbFixture::ProgramFile));
        LocalDbFixture::writeAll(local, messages, calls);
        // The merge's open removes the rows the app marked deleted; the rest must stay.
        loaded.open();
    }
    const QString before = TestEnvironment::pythonDump(phone.messagesPath());
    IOSViberDb local(backup.path(), QString::fromLatin1(LocalDbFixture::ProgramFile),
                     IOSViberDb::OpenForBrowsing);
    const ViberDataSetPtr backedUp = local.load();
    QVERIFY(backedUp->messages.size() > 10);
    AndroidViberDb work(phone.deviceRoot(), phone.extractRoot());
    const AndroidViberTransfer::Result result =
        AndroidViberTransfer(work).mergeMessages(backedUp->allMessages(), mediaTexts, {});
    work.close();
    QCOMPARE(result.written, 0);
    QCOMPARE(TestEnvironment::pythonDump(phone.messagesPath()), before);
}

void TestAndroidTransfer::declinedMessagesLeaveNoConversation()
{
    // Messages the phone cannot take (a group message nobody sent, a call of no kind the
    // phone knows) are new, yet nothing of their chats may be written without them.
    AndroidFixture phone;
    {
        AndroidViberDb opened(phone.deviceRoot(), phone.extractRoot());
        opened.open();
    }
    const QString before = TestEnvironment::pythonDump(phone.messagesPath());
    DataSetBuilder b;
    _ViberPerson* eva = b.person(1, QStringLiteral("+491707777777"), QStringLiteral("Eva"));
    _ViberPerson* finn = b.person(2, QStringLiteral("+491708888888"), QStringLiteral("Finn"));
    _ViberChat* group = b.chat(1, {eva, finn}, QStringLiteral("Neue Gruppe"), QStringLiteral("4242"));
    _ViberChat* withFinn = b.chat(2, {finn});
    _ViberMsg* anonymous =
        b.message(group, ViberMsgType::Text, phoneTime(1400000050000), QStringLiteral("?"));
    anonymous->token = 7301;
    _ViberMsg* call = b.callMessage(withFinn, finn, 9, 10, phoneTime(1400000060000));
    call->call->token = 7302;
    AndroidViberDb work(phone.deviceRoot(), phone.extractRoot());
    const AndroidViberTransfer::Result result =
        AndroidViberTransfer(work).mergeMessages({anonymous, call}, mediaTexts, {});
    work.close();
    QCOMPARE(result.written, 0);
    QCOMPARE(TestEnvironment::pythonDump(phone.messagesPath()), before);
}

void TestAndroidTransfer::failedMergeLeavesCopy_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << true;
    QTest::newRow("failed") << false;
}

void TestAndroidTransfer::failedMergeLeavesCopy()
{
    QFETCH(bool, cancel);
    AndroidFixture phone;
    {
        // Opening removes the rows the app marked deleted; what is compared is the rest.
        AndroidViberDb opened(phone.deviceRoot(), phone.extractRoot());
        opened.open();
    }
    const QString before = TestEnvironment::pythonDump(phone.messagesPath());
    QVERIFY(!before.isEmpty());

    Source source;
    fillSource(source);
    AndroidViberDb work(phone.deviceRoot(), phone.extractRoot());
    int seen = 0;
    const auto media = [&](const _ViberMsg& m) {
        if (++seen == 3) {
            if (cancel)
                throw OperationCancelled();
            throw std::runtime_error("upload failed");
        }
        return mediaTexts(m);
    };
    bool stopped = false;
    try {
        AndroidViberTransfer(work).mergeMessages(source.messages, media, {});
    } catch (const OperationCancelled&) {
        stopped = cancel;
    } catch (const std::runtime_error&) {
        stopped = !cancel;
    }
    QVERIFY(stopped);
    work.close();
    QCOMPARE(TestEnvironment::pythonDump(phone.messagesPath()), before);
}

void TestAndroidTransfer::callLog()
{
    AndroidFixture phone;
    DataSetBuilder b;
    _ViberPerson* anna = b.person(1, QStringLiteral("+491702222222"));
    _ViberPerson* ben = b.person(2, QStringLiteral("+49 170 3333333"));
    _ViberChat* chat = b.chat(1, {anna});
    QList<const _ViberCall*> calls;
    auto call = [&](_ViberPerson* who, int kind, qint64 ms, qint64 token) {
        _ViberMsg* m = b.callMessage(chat, who, kind, 61, phoneTime(ms));
        m->call->token = token;
        calls.append(m->call);
    };
    call(anna, ViberCallKind::Incoming, 1400000009000 + 30000, 5012345678901234009); // the phone's own
    call(ben, ViberCallKind::Outgoing, 1400000050000, 8001);
    call(ben, ViberCallKind::Outgoing, 1400000050000 + 1000, 8001); // queued twice
    call(anna, ViberCallKind::Missed, 1400000060000, 8002);
    call(anna, 9, 1400000070000, 8003); // no kind the log knows

    QCOMPARE(AndroidViberTransfer::mergeCalls(phone.dataPath(), calls, {}), 2);
    QCOMPARE(AndroidViberTransfer::mergeCalls(phone.dataPath(), calls, {}), 0);
    const QString check = runPython(
        {QStringLiteral("-c"),
         QStringLiteral(
             "import hashlib, sqlite3, struct, sys\n"
             "db = sqlite3.connect(sys.argv[1])\n"
             "db.create_collation('LOCALIZED', lambda a, b: (a > b) - (a < b))\n"
             "assert db.execute('PRAGMA integrity_check').fetchall() == [('ok',)]\n"
             "rows = db.execute('select number, aggregate_hash, call_id, canonized_number, viber_call, "
             "viber_call_type, duration, start_reason, type, end_reason, date, token from calls order by "
             "_id').fetchall()\n"
             "def h(n):\n"
             "    w = struct.unpack('<4i', hashlib.md5(n.encode()).digest())\n"
             "    return w[0] ^ w[1] ^ w[2] ^ w[3]\n"
             "want = [('+491702222222', -1480283710, 1400000009, '491702222222', 1, 1, 125, 0, 1, 3, "
             "1400000009000, 5012345678901234009),\n"
             "        ('+491703333333', 903121452, 1400000010, '491703333333', 1, 4, 0, 0, 3, 0, "
             "1400000010000, 5012345678901234010),\n"
             "        ('+49 170 3333333', h('+49 170 3333333'), 1400000050, '491703333333', 1, 1, 61, 0, 2, "
             "3, "
             "1400000050000, 8001),\n"
             "        ('+491702222222', h('+491702222222'), 1400000060, '491702222222', 1, 1, 61, 0, 3, 0, "
             "1400000060000, 8002)]\n"
             "if rows != want: print(rows); sys.exit(1)\n"),
         phone.dataPath()});
    QCOMPARE(check, QString());
}

QTEST_GUILESS_MAIN(TestAndroidTransfer)
#include "tst_androidtransfer.moc"
