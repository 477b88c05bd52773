#pragma once

#include "db/SearchIndex.h"

#include <QList>
#include <QString>

#include <atomic>
#include <future>

// Indexes the message rows a writer adds to a local database while the writer finishes
// its own transaction, instead of reading them back once it committed. Made before the
// writer's transaction (it brings the index up to date first and notes where it
// stood); add() takes every message row the writer inserts, build() starts indexing
// them on a thread of its own, and commit(), after the writer committed, keeps that
// work only when the database now holds exactly the rows it held plus those added.
// Whatever it does not keep, SearchIndex::update() makes right at the next chance.
class SearchIndexFeed
{
public:
    // Throws std::runtime_error as SearchIndex does.
    SearchIndexFeed(const QString& folder, const QString& databaseFile);
    // Stops and waits for the indexing; what was not committed is dropped.
    ~SearchIndexFeed();
    SearchIndexFeed(const SearchIndexFeed&) = delete;
    SearchIndexFeed& operator=(const SearchIndexFeed&) = delete;

    void add(qint64 rowId, double refSeconds, const QString& text);
    void build();
    // Whether the index now holds the added rows and is up to date with the database.
    bool commit();

private:
    struct Row
    {
        qint64 key = 0;
        qint64 rowId = 0;
        QString text;
    };
    void index();
    // Whether the database holds what it held plus the run's rows; if so, the index's
    // counts and stamp say so (not yet committed).
    bool databaseHoldsTheRun();

    SearchIndex m_index;
    SearchIndex::Counts m_indexed;  // the index's counts before the run
    SearchIndex::Counts m_expected; // the database's counts once the rows are in
    QList<Row> m_rows;              // those with a text
    std::atomic<bool> m_stop{false};
    bool m_overtaken = false; // the index changed before the feed took it
    std::future<void> m_built;
};
