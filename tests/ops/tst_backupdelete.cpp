#include "app/ProgressChannel.h"
#include "db/IOSViberDb.h"
#include "db/SearchIndex.h"
#include "db/SearchIndexFeed.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "ops/BackupViberMsgThread.h"
#include "ops/DeleteViberMsgThread.h"
#include "tests/support/DataSetBuilder.h"
#include "tests/support/RecordingReceiver.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime Day1(QDate(2024, 3, 5), QTime(9, 15, 7));
const QString DatabaseFile = QLatin1String(BackupViberMsgThread::DatabaseFile);

// Every row of a table in row order, as text.
QStringList dumpTable(const QString& path, const QString& table)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadOnly);
    Sqlite3Cursor c =
        db.queryThrow(Sqlite3Sql(QStringLiteral("select * from \"%1\" order by rowid").arg(table)));
    QStringList rows;
    while (c.moveNext()) {
        QStringList fields{table};
        for (int i = 0; i < c.columnCount(); ++i)
            fields.append(c.getValue(i).toString());
        rows.append(fields.join(QLatin1Char('|')));
    }
    return rows;
}

// Every row of every table, as text, to compare a database before and after a run.
QStringList dumpDatabase(const QString& path)
{
    QStringList tables;
    {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql(QStringLiteral("select name from sqlite_master where type='table' order by name")));
        while (c.moveNext())
            tables.append(c.getText(0));
    }
    QStringList rows;
    for (const QString& table : std::as_const(tables))
        rows << dumpTable(path, table);
    return rows;
}

qint64 scalar(const QString& path, const QString& sql)
{
    Sqlite3DB db;
    db.openThrow(path, 2);
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    return c.moveNext() ? c.getInt64(0) : -1;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A phone-like source: two chats with texts and a picture, and a calls-only chat.
struct Source
{
    QTemporaryDir media;
    DataSetBuilder b;
    QList<_ViberMsg*> messages;
    _ViberChat* anna = nullptr;
    _ViberChat* calls = nullptr;
    QString photo;
    QString thumb;

    Source()
    {
        photo = media.filePath(QStringLiteral("Viber Images/IMG-1.jpg"));
        thumb = media.filePath(QStringLiteral(".thumbnails/IMG-1.jpg"));
        DataSetBuilder::writeImage(photo, 64, 48);
        DataSetBuilder::writeImage(thumb, 16, 12);
        _ViberPerson* pa = b.person(1, QStringLiteral("+4917011"), QStringLiteral("Anna"));
        _ViberPerson* pb = b.person(2, QStringLiteral("+4917022"), QStringLiteral("Ben"));
        _ViberPerson* pc = b.person(3, QStringLiteral("+4917033"), QStringLiteral("Cy"));
        anna = b.chat(10, {pa});
        _ViberChat* group = b.chat(20, {pa, pb}, QStringLiteral("Climbers"), QStringLiteral("4455"));
        calls = b.chat(30, {pc});
        messages << b.message(anna, ViberMsgType::Text, Day1, QStringLiteral("hello"), true);
        messages << b.message(anna, ViberMsgType::Text, Day1.addSecs(300), QStringLiteral("hi back"));
        _ViberMsg* pic =
            b.message(anna, ViberMsgType::Picture, Day1.addSecs(600), QStringLiteral("look"), true);
        b.attach(pic, photo, thumb);
        messages << pic;
        messages << b.message(group, ViberMsgType::Text, Day1.addDays(1), QStringLiteral("group hi"), false,
                              pb);
        messages << b.callMessage(calls, pc, ViberCallKind::Incoming, 125, Day1.addDays(2));
        messages << b.callMessage(calls, pc, ViberCallKind::Missed, 0, Day1.addDays(3));
        messages << b.message(nullptr, ViberMsgType::Text, Day1, QStringLiteral("no chat"));
    }
};

struct Outcome
{
    QStringList successes;
    QStringList errors;
};

Outcome backup(const QList<_ViberMsg*>& messages, const QString& folder, int cancelAtProgress = -1)
{
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    receiver.cancelAtProgress = cancelAtProgress;
    BackupViberMsgThread worker(messages, folder, channel);
    receiver.runInWorkerThread(worker);
    return {receiver.successes, receiver.errors};
}

Outcome deleteMessages(IOSViberDb& db, const QList<_ViberMsg*>& messages, int cancelAtProgress = -1)
{
    ProgressChannel channel;
    RecordingReceiver receiver(&channel);
    receiver.cancelAtProgress = cancelAtProgress;
    DeleteViberMsgThread worker(db, messages, channel);
    receiver.runInWorkerThread(worker);
    return {receiver.successes, receiver.errors};
}

_ViberChat* chatWithText(const ViberDataSet& set, const QString& text)
{
    for (const _ViberMsg* m : set.allMessages()) {
        if (m->text == text)
            return m->chat;
    }
    return nullptr;
}

} // namespace

class TestBackupDelete : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        TestEnvironment::requireScratchDataHome();
        TestEnvironment::installTranslation();
    }

    void backupTwiceWritesOnce()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("twice"));
        const QString db = QDir(folder).filePath(DatabaseFile);
        const Outcome first = backup(source.messages, folder);
        QCOMPARE(first.errors, QStringList());
        // calls count as messages; the chat-less one is named as left out
        const QString leftOut = QStringLiteral(
            " Left out: 1 (no chat, no sender in a group, or a call of a type a backup cannot keep).");
        QCOMPARE(first.successes,
                 QStringList(
                     {QStringLiteral("Successfully backed up 6 new messages; 0 were already in the backup.") +
                      leftOut}));
        QVERIFY(QFileInfo(db).isFile());
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 4);
        const QStringList afterFirst = dumpDatabase(db);

        const QString copied = QDir(folder).filePath(QStringLiteral("Documents/Attachments/IMG-1.jpg"));
        const QString preview =
            QDir(folder).filePath(QStringLiteral("Documents/AttachmentsPreview/IMG-1.jpg"));
        QCOMPARE(contents(copied), contents(source.photo));
        // a lost file is filled in by the next backup; a file that is there is never replaced
        QVERIFY(QFile::remove(copied));
        QVERIFY(DataSetBuilder::writeFile(preview, "edited by the user"));
        const Outcome second = backup(source.messages, folder);
        QCOMPARE(second.successes,
                 QStringList(
                     {QStringLiteral("Successfully backed up 0 new messages; 6 were already in the backup.") +
                      leftOut}));
        QCOMPARE(dumpDatabase(db), afterFirst);
        QCOMPARE(contents(copied), contents(source.photo));
        QCOMPARE(contents(preview), QByteArray("edited by the user"));
    }

    // A backup indexes its texts for search as it writes them; the index holds what one
    // made afresh from the database holds. Rows another writer adds meanwhile keep that
    // work from being kept, and the next update takes them all.
    void backupIndexesItsTextsForSearch()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("search index")));
        Source source;
        source.messages << source.b.message(source.anna, ViberMsgType::Text, Day1.addSecs(900),
                                            QStringLiteral("我们明天去北京吧"));
        const QString folder = m_dir.filePath(QStringLiteral("searchable"));
        QCOMPARE(backup(source.messages, folder).errors, QStringList());
        const QString indexFile = SearchIndex::indexPath(folder);
        const auto indexRows = [&] {
            QStringList rows;
            for (const char* table : {"docs", "words_docsize", "grams_docsize", "state"})
                rows << dumpTable(indexFile, QLatin1String(table));
            return rows;
        };
        const QStringList fed = indexRows();
        QVERIFY(QFile::remove(indexFile));
        QVERIFY(SearchIndex(folder, DatabaseFile).update() > 0);
        QCOMPARE(fed, indexRows());
        const auto found = [&](const QString& words) {
            QStringList texts;
            for (const SearchIndex::Hit& hit :
                 SearchIndex(folder, DatabaseFile).search({words, {}, {}, {}, 50}))
                texts << hit.text;
            return texts;
        };
        QCOMPARE(found(QStringLiteral("HELLO")), QStringList{QStringLiteral("hello")});
        QCOMPARE(found(QStringLiteral("明天去")), QStringList{QStringLiteral("我们明天去北京吧")});

        const QString db = QDir(folder).filePath(DatabaseFile);
        {
            SearchIndexFeed feed(folder, DatabaseFile);
            Sqlite3DB writer;
            writer.openThrow(db, Sqlite3DB::OpenReadWrite);
            writer.beginTran();
            for (const char* text : {"fed rhubarb", "unfed rhubarb"})
                writer.executeThrow(
                    Sqlite3Sql(QStringLiteral("insert into ZVIBERMESSAGE (ZCONVERSATION, ZDATE, "
                                              "ZTEXT, ZSTATE) values (1, 800000000, ?, 'received')"))
                        .addTextParam(QLatin1String(text)));
            feed.add(writer.lastInsertId() - 1, 800000000, QStringLiteral("fed rhubarb"));
            feed.build();
            writer.commitTran();
            QVERIFY(!feed.commit());
        }
        QCOMPARE(SearchIndex(folder, DatabaseFile).update(), 2);
        QCOMPARE(found(QStringLiteral("rhubarb")).size(), 2);

        // A search that indexes the run's rows before the feed starts leaves the feed
        // nothing to add: no row goes in twice.
        {
            SearchIndexFeed feed(folder, DatabaseFile);
            QVERIFY(TestEnvironment::pythonExecute(
                db, QStringLiteral("insert into ZVIBERMESSAGE (ZCONVERSATION, ZDATE, ZTEXT, ZSTATE) values "
                                   "(1, 800000100, 'early quince', 'received')")));
            feed.add(scalar(db, QStringLiteral("select max(Z_PK) from ZVIBERMESSAGE")), 800000100,
                     QStringLiteral("early quince"));
            QCOMPARE(SearchIndex(folder, DatabaseFile).update(), 1);
            feed.build();
            QVERIFY(!feed.commit());
        }
        QCOMPARE(scalar(indexFile, QStringLiteral("select count(*) - count(distinct pk) from docs")), 0);
        QCOMPARE(found(QStringLiteral("quince")).size(), 1);
    }

    // A stored key of a type the duplicate queries never match (a fractional token) is
    // no duplicate either when the stored keys are read at once.
    void oddStoredKeysAreNoDuplicates()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("odd-keys"));
        _ViberMsg* message = source.messages.first();
        message->token = 5;
        QVERIFY(backup({message}, folder).errors.isEmpty());
        const QString db = QDir(folder).filePath(DatabaseFile);
        QVERIFY(TestEnvironment::pythonExecute(db, QStringLiteral("update ZVIBERMESSAGE set ZTOKEN = 5.5")));
        QVERIFY(backup({message}, folder).errors.isEmpty());
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 2);
    }

    // A message the source holds twice (the same token within a minute, or no token and
    // the same date) is written once, whether the database is new, when the run
    // remembers its own rows, or already holds messages and is asked row by row.
    void duplicatesInOneRunAreWrittenOnce()
    {
        Source source;
        const auto text = [&](const QDateTime& when, qint64 token, const QString& body) {
            _ViberMsg* m = source.b.message(source.anna, ViberMsgType::Text, when, body, true);
            m->token = token;
            return m;
        };
        const QDateTime base = Day1.addDays(10);
        const QList<_ViberMsg*> run = {
            text(base, 77, QStringLiteral("first")),
            text(base.addSecs(30), 77, QStringLiteral("same token, 30 s later")),
            text(base.addSecs(61), 77, QStringLiteral("same token, 61 s later")),
            text(base.addSecs(5), 78, QStringLiteral("other token")),
            text(base.addSecs(400), 0, QStringLiteral("tokenless")),
            text(base.addSecs(400), 0, QStringLiteral("tokenless, same date")),
            text(base.addSecs(401), 0, QStringLiteral("tokenless, a second later")),
        };
        // in date order, as they are stored
        const QString kept =
            QStringLiteral("first|other token|same token, 61 s later|tokenless|tokenless, a second later");
        const QString fresh = m_dir.filePath(QStringLiteral("dup-new"));
        QVERIFY(backup(run, fresh).errors.isEmpty());
        const QString older = m_dir.filePath(QStringLiteral("dup-old"));
        QVERIFY(backup({source.messages.first()}, older).errors.isEmpty());
        QVERIFY(backup(run, older).errors.isEmpty());
        // A database that holds many more messages than the run brings is asked row by
        // row; one about as large has its keys read at once.
        const QString larger = m_dir.filePath(QStringLiteral("dup-larger"));
        QList<_ViberMsg*> earlier;
        for (int i = 0; i < 40; ++i)
            earlier << text(Day1.addDays(-1).addSecs(i * 90), 1000 + i, QStringLiteral("earlier %1").arg(i));
        QVERIFY(backup(earlier, larger).errors.isEmpty());
        QVERIFY(backup(run, larger).errors.isEmpty());

        const QString query =
            QStringLiteral("select group_concat(ZTEXT, '|') from (select ZTEXT from ZVIBERMESSAGE where "
                           "ZDATE >= %1 order by ZDATE, Z_PK)")
                .arg(ViberDates::unixMsToRef(base.addSecs(-120).toMSecsSinceEpoch()), 0, 'f', 3);
        QCOMPARE(TestEnvironment::pythonQuery(QDir(fresh).filePath(DatabaseFile), query).trimmed(), kept);
        QCOMPARE(TestEnvironment::pythonQuery(QDir(older).filePath(DatabaseFile), query).trimmed(), kept);
        QCOMPARE(TestEnvironment::pythonQuery(QDir(larger).filePath(DatabaseFile), query).trimmed(), kept);
        QCOMPARE(
            scalar(QDir(older).filePath(DatabaseFile), QStringLiteral("select count(*) from ZVIBERMESSAGE")),
            6);

        // A run into a new database builds the message indexes after its inserts: they
        // are all there again, as the schema makes them.
        QFile script(QString::fromLatin1(IOSViberDb::SchemaScript));
        QVERIFY(script.open(QIODevice::ReadOnly));
        QStringList made;
        for (const QByteArray& line : script.readAll().split('\n')) {
            if (line.startsWith("CREATE INDEX ZVIBERMESSAGE_"))
                made.append(QString::fromUtf8(line.trimmed().chopped(1)));
        }
        made.sort();
        QCOMPARE(made.size(), 7);
        const QString indexes = QStringLiteral(
            "select group_concat(sql, '|') from (select sql from sqlite_master where type='index' and "
            "tbl_name='ZVIBERMESSAGE' order by name)");
        QCOMPARE(TestEnvironment::pythonQuery(QDir(fresh).filePath(DatabaseFile), indexes).trimmed(),
                 made.join(QLatin1Char('|')));
    }

    // Voice files are named by attachment row id, which SQLite reuses: a file left under
    // that name by an earlier, rolled-back run is replaced by the new message's own.
    void voiceFilesBelongToTheirMessage()
    {
        Source source;
        const QString voice = source.media.filePath(QStringLiteral("voice.m4a"));
        QVERIFY(DataSetBuilder::writeFile(voice, "the real recording"));
        _ViberMsg* sound =
            source.b.message(source.anna, ViberMsgType::Voice, Day1.addSecs(900), QString(), true);
        source.b.attach(sound, voice);
        const QString folder = m_dir.filePath(QStringLiteral("voice"));
        const QString stale = QDir(folder).filePath(QStringLiteral("Documents/VoiceMessages/1"));
        QVERIFY(DataSetBuilder::writeFile(stale, "left by a cancelled run"));
        QVERIFY(backup({sound}, folder).errors.isEmpty());
        QCOMPARE(
            scalar(QDir(folder).filePath(DatabaseFile), QStringLiteral("select max(Z_PK) from ZATTACHMENT")),
            1);
        QCOMPARE(contents(stale), QByteArray("the real recording"));
        // the message is stored now: a second backup keeps the file as it is
        QVERIFY(DataSetBuilder::writeFile(stale, "kept"));
        QVERIFY(backup({sound}, folder).errors.isEmpty());
        QCOMPARE(contents(stale), QByteArray("kept"));
    }

    void callsAndConversationDates()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("calls"));
        QCOMPARE(backup(source.messages, folder).errors, QStringList());
        const QString db = QDir(folder).filePath(DatabaseFile);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from ZRECENT")), 2);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from ZRECENTSLINE")), 1);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from ZVIBERMESSAGE where ZTEXT like '%Call%'")),
                 0);
        // each conversation's date is its newest message; a calls-only one has none
        const double annaNewest = DataSetBuilder::ref(Day1.addSecs(600));
        Sqlite3DB check;
        check.openThrow(db, 2);
        Sqlite3Cursor c = check.queryThrow(
            Sqlite3Sql(QStringLiteral("select c.ZDATE as d, (select max(ZDATE) from ZVIBERMESSAGE m where "
                                      "m.ZCONVERSATION=c.Z_PK) as newest, "
                                      "(select count(*) from ZVIBERMESSAGE m where m.ZCONVERSATION=c.Z_PK) "
                                      "as n from ZCONVERSATION c")));
        int conversations = 0;
        int callsOnly = 0;
        bool sawAnna = false;
        while (c.moveNext()) {
            ++conversations;
            if (c.getInt(QStringLiteral("n")) == 0) {
                ++callsOnly;
                QVERIFY(c.isNull(QStringLiteral("d")));
            } else {
                QCOMPARE(c.getDouble(QStringLiteral("d")), c.getDouble(QStringLiteral("newest")));
                sawAnna = sawAnna || qFuzzyCompare(c.getDouble(QStringLiteral("d")), annaNewest);
            }
        }
        QVERIFY(conversations >= 3);
        QCOMPARE(callsOnly, 1);
        QVERIFY(sawAnna);

        IOSViberDb reader(folder, DatabaseFile, IOSViberDb::OpenForBrowsing);
        const ViberDataSetPtr set = reader.load();
        QCOMPARE(set->calls.size(), 2);
    }

    void cancelledBackupLeavesTheDatabaseAsItWas()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("cancel-existing"));
        QVERIFY(backup(source.messages.mid(0, 2), folder).errors.isEmpty());
        const QString db = QDir(folder).filePath(DatabaseFile);
        const QStringList before = dumpDatabase(db);
        // the title, then three messages: the run stops before the fourth
        const Outcome cancelled = backup(source.messages, folder, 4);
        QCOMPARE(cancelled.successes.size() + cancelled.errors.size(), 0);
        QCOMPARE(dumpDatabase(db), before);
    }

    void cancelledNewDatabaseLeavesNothing()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("cancel-new"));
        backup(source.messages, folder, 3);
        QVERIFY(!QFileInfo::exists(folder));
    }

    void failedBackupReportsAndKeepsTheFile()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("broken"));
        const QString db = QDir(folder).filePath(DatabaseFile);
        QVERIFY(DataSetBuilder::writeFile(db, QByteArray("SQLite format 3\0", 16) + QByteArray(2000, 'x')));
        const QByteArray before = contents(db);
        const Outcome outcome = backup(source.messages, folder);
        QCOMPARE(outcome.errors.size(), 1);
        QVERIFY(outcome.successes.isEmpty());
        QCOMPARE(contents(db), before);
    }

    void databaseNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("blank");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << QStringLiteral("Phone 2024") << false << true;
        QTest::newRow("colon") << QStringLiteral("a:b") << false << false;
        QTest::newRow("slash") << QStringLiteral("a/b") << false << false;
        QTest::newRow("tab") << QStringLiteral("a\tb") << false << false;
        QTest::newRow("blank") << QStringLiteral("   ") << true << false;
        QTest::newRow("empty") << QString() << true << false;
        QTest::newRow("parent") << QStringLiteral("..") << false << false;
    }

    void databaseNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, blank);
        QFETCH(bool, valid);
        QCOMPARE(BackupViberMsgThread::isBlankName(name), blank);
        QCOMPARE(BackupViberMsgThread::isValidName(name), valid);
    }

    void deletingEveryMessageOfAConversationRemovesIt()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("delete-all"));
        QVERIFY(backup(source.messages, folder).errors.isEmpty());
        IOSViberDb db(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        const ViberDataSetPtr set = db.load();
        _ViberChat* anna = chatWithText(*set, QStringLiteral("hello"));
        _ViberChat* group = chatWithText(*set, QStringLiteral("group hi"));
        QVERIFY(anna && group);
        const Outcome outcome = deleteMessages(db, anna->messages);
        QCOMPARE(outcome.successes, QStringList({QStringLiteral("Successfully deleted 3 messages.")}));
        db.close();
        const QString path = QDir(folder).filePath(DatabaseFile);
        QCOMPARE(
            scalar(path, QStringLiteral("select count(*) from ZCONVERSATION where Z_PK=%1").arg(anna->id)),
            0);
        QCOMPARE(
            scalar(path, QStringLiteral("select count(*) from ZCONVERSATION where Z_PK=%1").arg(group->id)),
            1);
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZATTACHMENT")), 0);
    }

    void deletingSomeMovesTheDate()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("delete-some"));
        QVERIFY(backup(source.messages, folder).errors.isEmpty());
        IOSViberDb db(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        const ViberDataSetPtr set = db.load();
        _ViberChat* anna = chatWithText(*set, QStringLiteral("hello"));
        QList<_ViberMsg*> newest;
        for (_ViberMsg* m : anna->messages) {
            if (m->text != QLatin1String("hello"))
                newest.append(m);
        }
        QCOMPARE(newest.size(), 2);
        QVERIFY(deleteMessages(db, newest).errors.isEmpty());
        db.close();
        const QString path = QDir(folder).filePath(DatabaseFile);
        Sqlite3DB check;
        check.openThrow(path, 2);
        Sqlite3Cursor c =
            check.queryThrow(Sqlite3Sql(QStringLiteral("select ZDATE from ZCONVERSATION where Z_PK=?"))
                                 .addInt64Param(anna->id));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getDouble(0), DataSetBuilder::ref(Day1));
    }

    // Calls are ZRECENT rows grouped per person by ZRECENTSLINE: deleting one person's
    // calls removes exactly those and their line, never another person's.
    void deletingCallsOnly()
    {
        Source source;
        _ViberPerson* anna = source.b.set().persons.value(1);
        source.messages << source.b.callMessage(source.anna, anna, ViberCallKind::Outgoing, 30,
                                                Day1.addDays(4));
        const QString folder = m_dir.filePath(QStringLiteral("delete-calls"));
        QVERIFY(backup(source.messages, folder).errors.isEmpty());
        const QString path = QDir(folder).filePath(DatabaseFile);
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZRECENT")), 3);
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZRECENTSLINE")), 2);
        IOSViberDb db(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        const ViberDataSetPtr set = db.load();
        QList<_ViberMsg*> cyCalls;
        for (_ViberMsg* m : set->allMessages()) {
            if (m->type == ViberMsgType::Call && m->call->person->number == QLatin1String("+4917033"))
                cyCalls.append(m);
        }
        QCOMPARE(cyCalls.size(), 2);
        const qint64 conversationsBefore =
            scalar(path, QStringLiteral("select count(*) from ZCONVERSATION where "
                                        "exists (select 1 from ZVIBERMESSAGE m where "
                                        "m.ZCONVERSATION=ZCONVERSATION.Z_PK)"));
        QVERIFY(deleteMessages(db, cyCalls).errors.isEmpty());
        db.close();
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZRECENT")), 1);
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZRECENTSLINE")), 1);
        QCOMPARE(scalar(path, QStringLiteral("select ZCOUNT from ZRECENTSLINE")), 1);
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZVIBERMESSAGE")), 4);
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from ZCONVERSATION")), conversationsBefore);
        IOSViberDb reader(folder, DatabaseFile, IOSViberDb::OpenForBrowsing);
        const ViberDataSetPtr after = reader.load();
        QCOMPARE(after->calls.size(), 1);
        QCOMPARE(after->calls.values().first()->person->number, QStringLiteral("+4917011"));
    }

    void cancelledDeletionLeavesTheDatabaseAsItWas()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("delete-cancel"));
        QVERIFY(backup(source.messages, folder).errors.isEmpty());
        const QString path = QDir(folder).filePath(DatabaseFile);
        IOSViberDb db(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        const ViberDataSetPtr set = db.load();
        const QStringList before = dumpDatabase(path);
        const Outcome outcome = deleteMessages(db, set->allMessages(), 3);
        QCOMPARE(outcome.successes.size() + outcome.errors.size(), 0);
        db.close();
        QCOMPARE(dumpDatabase(path), before);
    }

    // VACUUM only compacts the file after the commit: when it cannot run, the messages
    // are deleted all the same and the run reports that.
    void failedVacuumStillReportsTheDeletion()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("delete-no-vacuum"));
        QVERIFY(backup(source.messages, folder).errors.isEmpty());
        const QString path = QDir(folder).filePath(DatabaseFile);
        IOSViberDb db(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        const ViberDataSetPtr set = db.load();
        _ViberChat* anna = chatWithText(*set, QStringLiteral("hello"));
        QVERIFY(anna);
        // a statement still reading on the connection makes VACUUM fail
        Sqlite3Cursor reading =
            db.queryThrow(Sqlite3Sql(QStringLiteral("select Z_PK from ZPHONENUMBERINDEX")));
        QVERIFY(reading.moveNext());
        const Outcome outcome = deleteMessages(db, anna->messages);
        QCOMPARE(outcome.errors, QStringList());
        QCOMPARE(outcome.successes, QStringList({QStringLiteral("Successfully deleted 3 messages.")}));
        QCOMPARE(TestEnvironment::pythonQuery(path, QStringLiteral("select count(*) from ZVIBERMESSAGE")),
                 QStringLiteral("1"));
    }

    void deletionErrorIsReportedAndRolledBack()
    {
        Source source;
        const QString folder = m_dir.filePath(QStringLiteral("delete-error"));
        QVERIFY(backup(source.messages, folder).errors.isEmpty());
        const QString path = QDir(folder).filePath(DatabaseFile);
        IOSViberDb db(folder, DatabaseFile, IOSViberDb::OpenForWriting);
        const ViberDataSetPtr set = db.load();
        const QStringList before = dumpDatabase(path);
        // a table the statements need is gone: the run fails halfway through
        db.executeThrow(Sqlite3Sql(QStringLiteral("drop table ZVIBERLOCATION")));
        const QStringList withoutTable = dumpDatabase(path);
        const Outcome outcome = deleteMessages(db, set->allMessages());
        QCOMPARE(outcome.errors.size(), 1);
        QVERIFY(outcome.errors.first().startsWith(QLatin1String("DeleteViberMsgThread, ")));
        db.close();
        QCOMPARE(dumpDatabase(path), withoutTable);
        QVERIFY(before.size() >= withoutTable.size());
    }
};

QTEST_MAIN(TestBackupDelete)
#include "tst_backupdelete.moc"
