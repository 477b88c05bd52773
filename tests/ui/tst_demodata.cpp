#include "db/IOSViberDb.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "ops/BackupViberMsgThread.h"
#include "tests/support/LocalDbFixture.h"
#include "tests/support/TestEnvironment.h"
#include "tools/demodata/DemoHistory.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

namespace {

QByteArray head(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

// The first frame of a motion-JPEG AVI file, found by its chunk tag.
QImage firstVideoFrame(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray avi = file.readAll();
    const qsizetype chunk = avi.indexOf("00dc");
    if (chunk < 0 || chunk + 8 > avi.size())
        return {};
    const quint32 size = qFromLittleEndian<quint32>(avi.constData() + chunk + 4);
    return QImage::fromData(avi.mid(chunk + 8, size), "JPG");
}

} // namespace

class TestDemoData : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void historyReadsBackFromTheLocalDatabase();
    void historyEndsNowAndNeverLater_data();
    void historyEndsNowAndNeverLater();
    void anExistingFolderIsRefused();
    void programWritesIntoTheNamedFolder();

private:
    QTemporaryDir m_dir;
    QString m_database;
};

void TestDemoData::initTestCase()
{
    TestEnvironment::requireScratchDataHome();
    QVERIFY(m_dir.isValid());
    QTemporaryDir media;
    m_database = m_dir.filePath(QStringLiteral("Demo"));
    DemoHistory(media.path()).writeLocalDatabase(m_database);
}

void TestDemoData::historyReadsBackFromTheLocalDatabase()
{
    IOSViberDb db(m_database, QLatin1String(BackupViberMsgThread::DatabaseFile), IOSViberDb::OpenForBrowsing);
    const ViberDataSetPtr set = db.load();
    const QList<_ViberChat*> chats = set->allChats();
    QCOMPARE(chats.size(), 7);

    QList<_ViberChat*> groups;
    for (_ViberChat* chat : chats) {
        if (chat->isGroup())
            groups.append(chat);
        // Every chat holds a conversation, not a single line.
        QVERIFY2(chat->messages.size() >= 3, qPrintable(chat->name));
    }
    QCOMPARE(groups.size(), 1);
    const _ViberChat* group = groups.first();
    QCOMPARE(group->name, QStringLiteral("Weekend hike ⛰️"));
    QVERIFY(group->participants.size() >= 4);
    QSet<qint64> senders;
    QSet<QDate> groupDays;
    for (const _ViberMsg* msg : group->messages) {
        if (msg->sender)
            senders.insert(msg->sender->id);
        groupDays.insert(ViberDates::refToLocal(msg->date).date());
    }
    QVERIFY(senders.size() >= 4);
    QVERIFY(groupDays.size() >= 3);

    QHash<int, int> kinds;
    bool emoticon = false;
    bool emoji = false;
    for (const _ViberMsg* msg : set->allMessages()) {
        ++kinds[msg->type];
        emoticon = emoticon || msg->text.contains(QLatin1String("(smiley)"));
        emoji = emoji || msg->text.contains(QStringLiteral("🎉"));
        const _ViberAtta* atta = msg->attachment;
        switch (msg->type) {
        case ViberMsgType::Picture:
            QVERIFY(atta);
            QVERIFY(!QImage(atta->localPath).isNull());
            QVERIFY2(QFileInfo(atta->previewPath).isFile(), qPrintable(atta->previewPath));
            QVERIFY(QImage(atta->previewPath).width() < QImage(atta->localPath).width());
            break;
        case ViberMsgType::Voice:
            QVERIFY(atta);
            QCOMPARE(head(atta->localPath, 12).mid(8), QByteArray("WAVE"));
            QVERIFY(atta->duration > 0);
            break;
        case ViberMsgType::Video:
            QVERIFY(atta);
            QCOMPARE(head(atta->localPath, 12).mid(8), QByteArray("AVI "));
            QCOMPARE(firstVideoFrame(atta->localPath).size(), QSize(320, 240));
            QVERIFY(!QImage(atta->previewPath).isNull());
            break;
        case ViberMsgType::Sticker:
            QVERIFY(atta);
            QVERIFY(QImage(atta->previewPath).hasAlphaChannel());
            break;
        case ViberMsgType::Location:
            QVERIFY(msg->hasLocation());
            QVERIFY(atta);
            QVERIFY(!QImage(atta->previewPath).isNull());
            break;
        default:
            break;
        }
    }
    QVERIFY(emoticon);
    QVERIFY(emoji);
    QVERIFY(kinds.value(ViberMsgType::Text) >= 40);
    QCOMPARE(kinds.value(ViberMsgType::Picture), 6);
    QCOMPARE(kinds.value(ViberMsgType::Voice), 1);
    QCOMPARE(kinds.value(ViberMsgType::Video), 1);
    QCOMPARE(kinds.value(ViberMsgType::Sticker), 4);
    QCOMPARE(kinds.value(ViberMsgType::Location), 1);
    QCOMPARE(set->calls.size(), 6);

    int photos = 0;
    for (const _ViberPerson* person : set->persons.values()) {
        if (QImage(person->photoPath).width() > 0)
            ++photos;
    }
    QCOMPARE(photos, 5);
}

void TestDemoData::historyEndsNowAndNeverLater_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDate>("lastDay");
    const QDate day(2026, 3, 10);
    QTest::newRow("early morning") << QDateTime(day, QTime(6, 0)) << day.addDays(-1);
    QTest::newRow("morning") << QDateTime(day, QTime(9, 30)) << day;
    QTest::newRow("late evening") << QDateTime(day, QTime(23, 59)) << day;
}

void TestDemoData::historyEndsNowAndNeverLater()
{
    QFETCH(QDateTime, now);
    QFETCH(QDate, lastDay);
    QTemporaryDir media;
    const DemoHistory history(media.path(), now);
    double latest = 0;
    for (const _ViberMsg* msg : history.dataSet()->allMessages())
        latest = std::max(latest, msg->date);
    const QDateTime last = ViberDates::refToLocal(latest);
    QVERIFY2(last <= now, qPrintable(last.toString(Qt::ISODate)));
    QCOMPARE(last.date(), lastDay);
}

void TestDemoData::anExistingFolderIsRefused()
{
    const QStringList before = LocalDbFixture::filesBelow(m_database);
    QTemporaryDir media;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, DemoHistory(media.path()).writeLocalDatabase(m_database));
    QCOMPARE(LocalDbFixture::filesBelow(m_database), before);
}

void TestDemoData::programWritesIntoTheNamedFolder()
{
    const QString program = TestEnvironment::binDir() + QStringLiteral("/demodata");
    QTemporaryDir root;
    QProcess run;
    run.start(program, {root.path(), QStringLiteral("--name"), QStringLiteral("Sample chats")});
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 0);
    const QString folder = QDir(root.path()).filePath(QStringLiteral("Sample chats"));
    QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()).trimmed(), folder);
    QVERIFY(QFileInfo(QDir(folder).filePath(QLatin1String(BackupViberMsgThread::DatabaseFile))).isFile());

    // A name that would step out of the local-database folder is refused before anything is written.
    run.start(program, {root.path(), QStringLiteral("--name"), QStringLiteral("..")});
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 2);
    QCOMPARE(QDir(root.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("Sample chats")});
}

QTEST_MAIN(TestDemoData)
#include "tst_demodata.moc"
