#include "db/SearchIndexFeed.h"

#include "app/Sqlite3Cursor.h"

#include <QtGlobal>

#include <algorithm>
#include <system_error>

SearchIndexFeed::SearchIndexFeed(const QString& folder, const QString& databaseFile)
    : m_index(folder, databaseFile)
{
    m_index.update();
    m_indexed = m_index.indexedCounts();
    m_expected = m_indexed;
    // Until the writer committed, the index reads nothing of the database: a read lock
    // held on it meanwhile would keep the writer from committing.
    m_index.m_db.executeThrow(Sqlite3Sql(QStringLiteral("detach database h")));
}

SearchIndexFeed::~SearchIndexFeed()
{
    m_stop = true;
    if (m_built.valid())
        m_built.wait();
}

void SearchIndexFeed::add(qint64 rowId, double refSeconds, const QString& text)
{
    ++m_expected.count;
    m_expected.idSum += rowId;
    m_expected.maxId = std::max(m_expected.maxId, rowId);
    if (!text.isEmpty())
        m_rows.append(
            {SearchIndex::keyOf(refSeconds, false) + (rowId & ((qint64(1) << SearchIndex::KeyShift) - 1)),
             rowId, text});
}

void SearchIndexFeed::build()
{
    if (m_expected.layout != SearchIndex::Layout)
        return;
    try {
        m_built = std::async(std::launch::async, [this] { index(); });
    } catch (const std::system_error& e) {
        qWarning("the search index is brought up to date later: %s", e.what());
    }
}

void SearchIndexFeed::index()
{
    // Keys go in in ascending order, as SearchIndex::index() puts them.
    std::sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) { return a.key < b.key; });
    Sqlite3DB& db = m_index.m_db;
    // The index is taken at once: a search's update() between the backup's commit and
    // here would index the same rows, and they would go in a second time.
    db.executeThrow(Sqlite3Sql(QStringLiteral("begin immediate")));
    m_overtaken = !(m_index.indexedCounts() == m_indexed);
    if (m_overtaken)
        return;
    static const QString place = QStringLiteral("insert or ignore into docs(key, pk) values (?, ?)");
    static const QString word = QStringLiteral("insert into words(rowid, text) values (?, ?)");
    static const QString gram = QStringLiteral("insert into grams(rowid, text) values (?, ?)");
    for (const Row& row : std::as_const(m_rows)) {
        if (m_stop.load(std::memory_order_relaxed))
            return;
        // A message of the same second whose row id agrees in the low bits holds the
        // key already: this one takes the next free key, which still sorts by its date.
        qint64 key = row.key;
        for (;; ++key) {
            db.executeThrow(Sqlite3Sql(place).addInt64Param(key).addInt64Param(row.rowId));
            if (db.changes() > 0)
                break;
        }
        db.executeThrow(Sqlite3Sql(word).addInt64Param(key).addTextParam(row.text));
        if (SearchIndex::isSpaceless(row.text))
            db.executeThrow(Sqlite3Sql(gram).addInt64Param(key).addTextParam(row.text));
    }
}

bool SearchIndexFeed::commit()
{
    if (!m_built.valid())
        return false;
    Sqlite3DB& db = m_index.m_db;
    try {
        m_built.get();
        if (!m_overtaken && databaseHoldsTheRun()) {
            db.commitTran();
            return true;
        }
    } catch (const std::exception& e) {
        qWarning("the search index of %s is brought up to date later: %s", qUtf8Printable(m_index.m_folder),
                 e.what());
    }
    // Another writer came in meanwhile, or the work failed: update() takes over, and must
    // find no transaction of ours in its way. The backup itself stands either way.
    try {
        db.rollbackTran();
    } catch (const std::exception& e) {
        qWarning("the search index of %s is brought up to date later: %s", qUtf8Printable(m_index.m_folder),
                 e.what());
    }
    return false;
}

bool SearchIndexFeed::databaseHoldsTheRun()
{
    // Taken before the rows are counted: a write after the count makes the stamp differ,
    // and update() then looks again.
    const QString stamp = m_index.databaseStamp();
    Sqlite3DB database;
    database.openThrow(m_index.m_database, Sqlite3DB::OpenReadOnly);
    Sqlite3Cursor counted = database.queryThrow(Sqlite3Sql(
        QStringLiteral("select count(*), ifnull(max(Z_PK), 0), ifnull(sum(Z_PK), 0) from ZVIBERMESSAGE")));
    counted.moveNext();
    const SearchIndex::Counts now{counted.getInt64(0), counted.getInt64(1), counted.getInt64(2)};
    if (!(now == m_expected))
        return false;
    m_index.saveCounts(now);
    m_index.saveStamp(stamp);
    return true;
}
