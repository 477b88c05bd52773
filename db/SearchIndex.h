#pragma once

#include "app/Sqlite3DB.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The full-text index of one local database, kept in a file of its own beside it so
// that the database keeps the schema the app knows. Text in scripts that separate words
// (Latin with or without diacritics, Cyrillic, Greek, Korean…) is found by word, phrase
// and word prefix; text in scripts written without spaces (Chinese, Japanese, Thai) by
// any run of three characters or more, shorter runs by a scan. The index is only ever a
// copy: a missing, damaged or lagging one is made again from the database.
class SearchIndex
{
public:
    static constexpr auto FileName = "search-index.sqlite";

    struct Hit
    {
        qint64 id = 0;     // the message's row in the local database
        qint64 chatId = 0; // its conversation's row
        QString chat;      // the chat's title, as the window shows it
        QString sender;    // who wrote it; empty for the owner
        QString senderNumber;
        double date = 0; // seconds since 2001 (UTC), as the databases keep it
        QDateTime time;  // the same, UTC
        QString text;
        bool outgoing = false;
    };
    struct Query
    {
        QString words;                   // words, "a phrase", prefix*
        QStringList chats;               // chat ids or pieces of titles; empty for every chat
        std::optional<QDateTime> after;  // from (inclusive)
        std::optional<QDateTime> before; // until (exclusive)
        int limit = 50;
    };

    // Opens (or makes) the index of the local database in folder, whose database file is
    // databaseFile (relative to the folder). Throws std::runtime_error when the database
    // cannot be read.
    SearchIndex(const QString& folder, const QString& databaseFile);

    // Indexes what the database gained since the last update, or everything again when
    // rows went or changed; returns the rows indexed.
    qint64 update();
    // The newest hits first. Throws std::runtime_error for a query with nothing to search.
    QList<Hit> search(const Query& query);

    static QString indexPath(const QString& folder);
    // The messages the index of folder holds, read without making or updating it; none
    // when there is no readable index.
    static std::optional<qint64> indexedMessagesIn(const QString& folder);

private:
    friend class SearchIndexFeed;
    // How the index keys its rows; an index of another layout is made anew.
    static constexpr qint64 Layout = 3;
    static constexpr int KeyShift = 12;
    static constexpr qint64 MaxKeySecond = qint64(1) << 40;
    struct Counts
    {
        qint64 count = 0;
        qint64 maxId = 0;
        qint64 idSum = 0;
        qint64 layout = Layout;
        bool operator==(const Counts&) const = default;
    };
    struct Filter
    {
        QStringList conditions; // on m (the message) and d (its index key)
        QList<QVariant> parameters;
    };
    void open();
    Counts databaseCounts();
    Counts indexedCounts();
    QString databaseStamp() const;
    QString indexedStamp();
    void saveStamp(const QString& stamp);
    void saveCounts(const Counts& counts);
    // Whether text holds a script written without spaces, which goes to the trigram table.
    static bool isSpaceless(const QString& text);
    void index(qint64 afterId);
    void placeCollidingKeys(qint64 afterId);
    // The first key of the second of refSeconds (seconds since 2001), or of the next
    // second when roundUp and refSeconds is not whole.
    static qint64 keyOf(double refSeconds, bool roundUp);
    QList<Hit> matchNewestFirst(const QString& table, const QString& match, const Query& query,
                                const Filter& filter, int limit);
    QList<Hit> scanNewestFirst(const Filter& filter, int limit);
    QList<Hit> readHits(const QString& from, const QString& order, const Filter& filter, int limit);
    QString chatTitle(qint64 chatId);
    QStringList chatPeople(qint64 chatId);
    QList<qint64> chatsMatching(const QStringList& selectors);

    QString m_folder;
    QString m_database;
    Sqlite3DB m_db;
};
