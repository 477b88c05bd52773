#include "app/Sqlite3DB.h"
#include "app/Sqlite3Error.h"

#include <QTemporaryDir>
#include <QTest>

#include <limits>

class TestSqlite : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void versionIsSix() { QCOMPARE(sqlite_qt_version(), 6); }

    void openFlags()
    {
        Sqlite3DB db;
        // 2 = read-write on an existing file: a missing file is an error with SQLite's message
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.openThrow(path(QStringLiteral("missing.db")), 2));
        QVERIFY(!db.isOpen());
        db.openThrow(path(QStringLiteral("created.db")), 6);
        QVERIFY(db.isOpen());
    }

    void bindAndReadTypes()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("types.db")), 6);
        db.executeThrow(
            Sqlite3Sql(QStringLiteral("create table t (i INTEGER, l INTEGER, d REAL, s TEXT, b BLOB, n)")));
        const QByteArray blob("\x00\x01\xff", 3);
        const qint64 big = std::numeric_limits<qint64>::max() - 1;
        db.executeThrow(Sqlite3Sql(QStringLiteral("insert into t values (?, ?, ?, ?, ?, ?)"))
                            .addIntParam(-7)
                            .addInt64Param(big)
                            .addDoubleParam(2.5)
                            .addTextParam(QStringLiteral("grüße 😀"))
                            .addBlobParam(blob)
                            .addNullParam());
        QCOMPARE(db.lastInsertId(), 1);
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral("select * from t")));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(QStringLiteral("i")), -7);
        QCOMPARE(c.getInt64(QStringLiteral("l")), big);
        QCOMPARE(c.getDouble(QStringLiteral("d")), 2.5);
        QCOMPARE(c.getText(QStringLiteral("s")), QStringLiteral("grüße 😀"));
        QCOMPARE(c.getBlob(QStringLiteral("b")), blob);
        QVERIFY(c.isNull(QStringLiteral("n")));
        QVERIFY(!c.isNull(QStringLiteral("i")));
        // column names match without regard to case, as in SQL
        QCOMPARE(c.getInt(QStringLiteral("I")), -7);
        QVERIFY(!c.moveNext());
    }

    void emptyTextAndBlobAreNotNull()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("empty.db")), 6);
        db.executeThrow(Sqlite3Sql(QStringLiteral("create table t (s TEXT, b BLOB)")));
        db.executeThrow(Sqlite3Sql(QStringLiteral("insert into t values (?, ?)"))
                            .addTextParam(QString())
                            .addBlobParam(QByteArray()));
        Sqlite3Cursor c =
            db.queryThrow(Sqlite3Sql(QStringLiteral("select s is null, b is null, typeof(b) from t")));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(0), 0);
        QCOMPARE(c.getInt(1), 0);
        QCOMPARE(c.getText(2), QStringLiteral("blob"));
    }

    // Readers serve files of several app versions with one query: a column the query
    // lacks reads like a NULL.
    void missingColumnReadsEmpty()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("missing-col.db")), 6);
        db.executeThrow(Sqlite3Sql(QStringLiteral("create table t (a INTEGER)")));
        db.executeThrow(Sqlite3Sql(QStringLiteral("insert into t values (5)")));
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral("select * from t")));
        QVERIFY(c.moveNext());
        QVERIFY(!c.containsCol(QStringLiteral("thumbnail_x")));
        QCOMPARE(c.getInt(QStringLiteral("thumbnail_x")), 0);
        QCOMPARE(c.getInt64(QStringLiteral("thumbnail_x")), 0);
        QCOMPARE(c.getDouble(QStringLiteral("thumbnail_x")), 0.0);
        QVERIFY(c.getText(QStringLiteral("thumbnail_x")).isEmpty());
        QVERIFY(c.getBlob(QStringLiteral("thumbnail_x")).isEmpty());
        QVERIFY(c.isNull(QStringLiteral("thumbnail_x")));
    }

    void errorsCarrySqliteMessage()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("errors.db")), 6);
        try {
            db.queryThrow(Sqlite3Sql(QStringLiteral("select * from nowhere")));
            QFAIL("expected an exception");
        } catch (const Sqlite3Error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String("no such table: nowhere")), e.what());
        }
        QString error;
        QVERIFY(db.exec(QStringLiteral("create tabel x"), error) != 0);
        QVERIFY(error.contains(QLatin1String("syntax error")));
        QCOMPARE(db.exec(QStringLiteral("create table x (a)"), error), 0);
    }

    void transactionsCommitAndRollBack()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("tran.db")), 6);
        db.executeThrow(Sqlite3Sql(QStringLiteral("create table t (a)")));
        db.beginTran();
        QVERIFY(db.inTransaction());
        db.executeThrow(Sqlite3Sql(QStringLiteral("insert into t values (1)")));
        db.rollbackTran();
        db.beginTran();
        db.executeThrow(Sqlite3Sql(QStringLiteral("insert into t values (2)")));
        db.commitTran();
        QVERIFY(!db.inTransaction());
        db.rollbackTran(); // outside a transaction: nothing to undo, no error
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral("select group_concat(a) as v from t")));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText(QStringLiteral("v")), QStringLiteral("2"));
    }

    // The same statement text is reused from the cache; a nested query of the same
    // text while the first cursor is still reading must not disturb it.
    void reusedStatementsAndNestedCursors()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("cache.db")), 6);
        db.executeThrow(Sqlite3Sql(QStringLiteral("create table t (a)")));
        const Sqlite3Sql insert(QStringLiteral("insert into t values (?)"));
        for (int i = 1; i <= 3; ++i)
            db.executeThrow(Sqlite3Sql(insert.text()).addIntParam(i));
        const QString select = QStringLiteral("select a from t where a >= ? order by a");
        Sqlite3Cursor outer = db.queryThrow(Sqlite3Sql(select).addIntParam(1));
        QStringList seen;
        while (outer.moveNext()) {
            Sqlite3Cursor inner = db.queryThrow(Sqlite3Sql(select).addIntParam(outer.getInt(0)));
            int count = 0;
            while (inner.moveNext())
                ++count;
            seen.append(QStringLiteral("%1:%2").arg(outer.getInt(0)).arg(count));
        }
        QCOMPARE(seen, QStringList({QStringLiteral("1:3"), QStringLiteral("2:2"), QStringLiteral("3:1")}));
        // an abandoned cursor leaves the statement ready for the next run
        {
            Sqlite3Cursor partial = db.queryThrow(Sqlite3Sql(select).addIntParam(1));
            QVERIFY(partial.moveNext());
        }
        Sqlite3Cursor again = db.queryThrow(Sqlite3Sql(select).addIntParam(3));
        QVERIFY(again.moveNext());
        QCOMPARE(again.getInt(0), 3);
        QVERIFY(!again.moveNext());
        // The same text in a buffer of its own, and another text of the same length.
        const QString copied(select.constData(), select.size());
        QVERIFY(copied.constData() != select.constData());
        QString other = select;
        other.replace(QStringLiteral(">="), QStringLiteral("<="));
        QCOMPARE(other.size(), select.size());
        QCOMPARE(db.queryThrow(Sqlite3Sql(copied).addIntParam(2)).moveNext(), true);
        Sqlite3Cursor below = db.queryThrow(Sqlite3Sql(other).addIntParam(2));
        QVERIFY(below.moveNext());
        QCOMPARE(below.getInt(0), 1);
    }

    void rowsBuildInserts()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("rows.db")), 6);
        db.executeScriptThrow(
            QStringLiteral("create table src (_id INTEGER PRIMARY KEY, \"name\" TEXT, v REAL, b BLOB);"
                           "create table dst (_id INTEGER PRIMARY KEY, \"name\" TEXT, v REAL, b BLOB);"
                           "insert into src values (7, 'x''y', 1.5, x'00ff');"));
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral("select * from src")));
        QVERIFY(c.moveNext());
        Sqlite3Row row = c.getRow();
        QCOMPARE(row.names(), QStringList({QStringLiteral("_id"), QStringLiteral("name"), QStringLiteral("v"),
                                           QStringLiteral("b")}));
        QCOMPARE(row.val(QStringLiteral("NAME")).toString(), QStringLiteral("x'y"));
        row[QStringLiteral("v")] = 2.5;
        const Sqlite3Sql insert = row.insertSql(QStringLiteral("dst"), {QStringLiteral("_ID")});
        QCOMPARE(insert.params().size(), 3);
        db.executeThrow(insert);
        Sqlite3Cursor d = db.queryThrow(Sqlite3Sql(QStringLiteral("select * from dst")));
        QVERIFY(d.moveNext());
        QCOMPARE(d.getInt64(QStringLiteral("_id")), 1); // excluded, so SQLite assigned it
        QCOMPARE(d.getText(QStringLiteral("name")), QStringLiteral("x'y"));
        QCOMPARE(d.getDouble(QStringLiteral("v")), 2.5);
        QCOMPARE(d.getBlob(QStringLiteral("b")), QByteArray("\x00\xff", 2));
    }

    void tableColumns()
    {
        Sqlite3DB db;
        db.openThrow(path(QStringLiteral("cols.db")), 6);
        db.executeThrow(Sqlite3Sql(QStringLiteral(
            "create table t (_id INTEGER PRIMARY KEY AUTOINCREMENT, date LONG NOT NULL, k DEFAULT 0)")));
        const QList<_SqliteCol> cols = db.tbCols(QStringLiteral("t"));
        QCOMPARE(cols.size(), 3);
        QCOMPARE(cols.at(0).name, QStringLiteral("_id"));
        QVERIFY(cols.at(0).primaryKey);
        QCOMPARE(cols.at(1).type, QStringLiteral("LONG"));
        QVERIFY(cols.at(1).notNull);
        QVERIFY(cols.at(2).type.isEmpty());
        QCOMPARE(cols.at(2).defaultValue, QStringLiteral("0"));
        QVERIFY(db.tbCols(QStringLiteral("nothing")).isEmpty());
    }

    void damagedFileThrows()
    {
        const QString file = path(QStringLiteral("damaged.db"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xAB'));
        f.close();
        Sqlite3DB db;
        db.openThrow(file, 2); // SQLite reads nothing until the first statement
        QVERIFY_THROWS_EXCEPTION(
            Sqlite3Error, db.applyDefensiveSettings();
            db.queryThrow(Sqlite3Sql(QStringLiteral("select * from sqlite_master"))).moveNext());
    }

    // Android files name collations only Android has; a stand-in lets them be read.
    void fallbackCollation()
    {
        const QString file = path(QStringLiteral("collate.db"));
        {
            Sqlite3DB writer;
            writer.openThrow(file, 6);
            writer.registerFallbackCollation(QStringLiteral("LOCALIZED"));
            writer.executeScriptThrow(QStringLiteral("create table t (s TEXT COLLATE LOCALIZED);"
                                                     "insert into t values ('b'), ('A'), ('c');"));
        }
        Sqlite3DB db;
        db.openThrow(file, 2);
        const Sqlite3Sql ordered(
            QStringLiteral("select group_concat(s, '') as v from (select s from t order by s)"));
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.queryThrow(ordered).moveNext());
        db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
        Sqlite3Cursor c = db.queryThrow(ordered);
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText(QStringLiteral("v")), QStringLiteral("Abc"));
    }
};

QTEST_GUILESS_MAIN(TestSqlite)
#include "tst_sqlite.moc"
