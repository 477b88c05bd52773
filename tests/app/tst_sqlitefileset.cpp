#include "app/PrivateWorkFolder.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Sql.h"
#include "app/SqliteFileSet.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <sys/file.h>

namespace {

using TestEnvironment::pythonQuery;

bool exists(const QString& path)
{
    return QFileInfo::exists(path);
}

// A database in write-ahead-log mode whose last rows live only in the log, as a running
// app leaves it: the main file and the log are copied while the writer still holds them.
void makeLoggedDatabase(const QString& path, int rowsInMain, int rowsInLog)
{
    QTemporaryDir scratch;
    const QString live = scratch.filePath(QStringLiteral("live.db"));
    {
        Sqlite3DB db;
        db.openThrow(live, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        QString error;
        db.exec(QStringLiteral("PRAGMA journal_mode=WAL"), error);
        db.executeThrow(Sqlite3Sql(QStringLiteral("CREATE TABLE t (v INTEGER)")));
        for (int i = 0; i < rowsInMain; ++i)
            db.executeThrow(Sqlite3Sql(QStringLiteral("INSERT INTO t VALUES (%1)").arg(i)));
        db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), error);
        db.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"), error);
        for (int i = 0; i < rowsInLog; ++i)
            db.executeThrow(Sqlite3Sql(QStringLiteral("INSERT INTO t VALUES (%1)").arg(1000 + i)));
        QFile::copy(live, path);
        QFile::copy(live + QStringLiteral("-wal"), path + QStringLiteral("-wal"));
    }
}

} // namespace

class TestSqliteFileSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnvironment::requireScratchDataHome(); }

    void checkpointFoldsTheLogIntoTheMainFile()
    {
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("viber_messages"));
        makeLoggedDatabase(db, 3, 4);
        QVERIFY(exists(db + QStringLiteral("-wal")));
        // the main file alone lacks the logged rows
        QTemporaryDir alone;
        QVERIFY(QFile::copy(db, alone.filePath(QStringLiteral("main"))));
        QCOMPARE(
            pythonQuery(alone.filePath(QStringLiteral("main")), QStringLiteral("SELECT count(*) FROM t")),
            QStringLiteral("3"));

        SqliteFileSet::checkpoint(db);
        QCOMPARE(SqliteFileSet::existingCompanions(db), QStringList());
        QVERIFY(QFile::copy(db, alone.filePath(QStringLiteral("after"))));
        QCOMPARE(
            pythonQuery(alone.filePath(QStringLiteral("after")), QStringLiteral("SELECT count(*) FROM t")),
            QStringLiteral("7"));
        QCOMPARE(pythonQuery(db, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    void checkpointOfAMissingFileFails()
    {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 SqliteFileSet::checkpoint(dir.filePath(QStringLiteral("none"))));
        QVERIFY(!exists(dir.filePath(QStringLiteral("none"))));
    }

    void copySetCarriesTheLogAndDropsStaleCompanions()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source"));
        const QString target = dir.filePath(QStringLiteral("out/target"));
        makeLoggedDatabase(source, 2, 5);
        QDir().mkpath(dir.filePath(QStringLiteral("out")));
        QFile stale(target + QStringLiteral("-journal"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray(512, 'j'));
        stale.close();

        SqliteFileSet::copySet(source, target);
        QVERIFY(exists(target + QStringLiteral("-wal")));
        QVERIFY(!exists(target + QStringLiteral("-journal")));
        QCOMPARE(pythonQuery(target, QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("7"));
    }

    void replaceSetRemovesTheCompanionsOfTheReplacedFile()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source"));
        const QString target = dir.filePath(QStringLiteral("target"));
        makeLoggedDatabase(source, 1, 2);
        // the file being replaced has a log of its own, which must not be applied to the
        // new main file
        makeLoggedDatabase(target, 10, 10);
        QVERIFY(exists(target + QStringLiteral("-wal")));

        SqliteFileSet::replaceSet(source, target);
        QCOMPARE(SqliteFileSet::existingCompanions(target), QStringList());
        QCOMPARE(SqliteFileSet::existingCompanions(source), QStringList());
        QCOMPARE(pythonQuery(target, QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("3"));
        QCOMPARE(pythonQuery(target, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));

        // Moved instead: the logged rows arrive, the source is gone, and a move that
        // cannot reach its place leaves the source where it was.
        QVERIFY(QFile::remove(source));
        makeLoggedDatabase(source, 20, 5);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 SqliteFileSet::moveSet(source, dir.filePath(QStringLiteral("none/target"))));
        QCOMPARE(pythonQuery(source, QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("25"));
        SqliteFileSet::moveSet(source, target);
        QVERIFY(!exists(source));
        QCOMPARE(SqliteFileSet::existingCompanions(target), QStringList());
        QCOMPARE(pythonQuery(target, QStringLiteral("SELECT count(*) FROM t")), QStringLiteral("25"));
    }

    void privateWorkFolderIsOwnerOnlyAndGoesWithTheRun()
    {
        QString path;
        QString file;
        {
            PrivateWorkFolder folder;
            path = folder.path();
            QCOMPARE(QFileInfo(path).permissions() & 0x0777,
                     QFile::Permissions(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser) & 0x0777);
            file = folder.filePath(QStringLiteral("history.ab"));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("secret");
            out.close();
            QVERIFY(PrivateWorkFolder::restrictToOwner(file));
            QCOMPARE(QFileInfo(file).permissions() & 0x0777,
                     QFile::Permissions(QFile::ReadUser | QFile::WriteUser) & 0x0777);
        }
        QVERIFY(!exists(file));
        QVERIFY(!exists(path));

        // What a killed run left goes when the next run makes its first folder there; a
        // folder whose owner still runs stays.
        QTemporaryDir parent;
        const QDir root(parent.path());
        for (const char* name : {"velliport-left01", "velliport-alive1"}) {
            QVERIFY(root.mkdir(QLatin1String(name)));
            QVERIFY(TestEnvironment::writeFile(
                root.filePath(QLatin1String(name) + QStringLiteral("/.velliport-owner")), QByteArray()));
            QVERIFY(TestEnvironment::writeFile(
                root.filePath(QLatin1String(name) + QStringLiteral("/Manifest.db")),
                QByteArray("decrypted")));
        }
        QFile owner(root.filePath(QStringLiteral("velliport-alive1/.velliport-owner")));
        QVERIFY(owner.open(QIODevice::ReadWrite));
        QCOMPARE(::flock(owner.handle(), LOCK_EX | LOCK_NB), 0);
        const PrivateWorkFolder next(parent.path());
        QVERIFY(!exists(root.filePath(QStringLiteral("velliport-left01"))));
        QVERIFY(exists(root.filePath(QStringLiteral("velliport-alive1/Manifest.db"))));
        QVERIFY(exists(next.path()));
    }
};

QTEST_GUILESS_MAIN(TestSqliteFileSet)
#include "tst_sqlitefileset.moc"
