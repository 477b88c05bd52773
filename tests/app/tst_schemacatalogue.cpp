#include "app/SchemaCatalogue.h"
#include "app/Sqlite3DB.h"

#include <QTemporaryDir>
#include <QTest>

class TestSchemaCatalogue : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void lookupsIgnoreCase()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath(QStringLiteral("a.db")), 6);
        db.executeScriptThrow(
            QStringLiteral("CREATE TABLE ZVIBERMESSAGE (Z_PK INTEGER PRIMARY KEY, ZTEXT VARCHAR);"
                           "CREATE INDEX ZVIBERMESSAGE_ZTEXT ON ZVIBERMESSAGE (ZTEXT);"));
        SchemaCatalogue catalogue;
        catalogue.readCatalogue(db);
        QVERIFY(catalogue.hasTable(QStringLiteral("zvibermessage")));
        QVERIFY(catalogue.hasTable(QStringLiteral("ZViberMessage")));
        QVERIFY(catalogue.hasColumn(QStringLiteral("zViberMessage"), QStringLiteral("zText")));
        QVERIFY(!catalogue.hasColumn(QStringLiteral("ZVIBERMESSAGE"), QStringLiteral("ZDELIVEREDCOUNT")));
        QVERIFY(!catalogue.hasColumn(QStringLiteral("NOTABLE"), QStringLiteral("ZTEXT")));
        QVERIFY(!catalogue.hasTable(QStringLiteral("ZVIBERMESSAGE_ZTEXT"))); // indexes are not tables
        QCOMPARE(catalogue.column(QStringLiteral("zvibermessage"), QStringLiteral("ztext")).type,
                 QStringLiteral("VARCHAR"));
        QVERIFY(catalogue.column(QStringLiteral("zvibermessage"), QStringLiteral("nothing")).name.isEmpty());
        const SchemaCatalogue::Table* table = catalogue.table(QStringLiteral("ZVIBERMESSAGE"));
        QVERIFY(table);
        QCOMPARE(table->name, QStringLiteral("ZVIBERMESSAGE"));
        QVERIFY(table->sql.startsWith(QLatin1String("CREATE TABLE ZVIBERMESSAGE")));
    }

    void storeWithMoreColumns()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath(QStringLiteral("b.db")), 6);
        db.executeScriptThrow(
            QStringLiteral("CREATE TABLE ZVIBERMESSAGE (Z_PK INTEGER PRIMARY KEY, ZTEXT VARCHAR,"
                           " ZDELIVEREDCOUNT INTEGER)"));
        SchemaCatalogue catalogue;
        catalogue.readCatalogue(db);
        QVERIFY(catalogue.hasColumn(QStringLiteral("ZVIBERMESSAGE"), QStringLiteral("zdeliveredcount")));
    }

    // The catalogue is a snapshot: a table made afterwards is unknown until it is read again.
    void snapshotUntilReadAgain()
    {
        Sqlite3DB db;
        db.openThrow(m_dir.filePath(QStringLiteral("c.db")), 6);
        SchemaCatalogue catalogue;
        catalogue.readCatalogue(db);
        db.executeThrow(Sqlite3Sql(QStringLiteral("create table later (a)")));
        QVERIFY(!catalogue.hasTable(QStringLiteral("later")));
        catalogue.readCatalogue(db);
        QVERIFY(catalogue.hasTable(QStringLiteral("LATER")));
        QCOMPARE(catalogue.tables().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSchemaCatalogue)
#include "tst_schemacatalogue.moc"
