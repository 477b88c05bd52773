#pragma once

#include "db/SearchIndex.h"

#include <QList>
#include <QString>
#include <QStringList>

// One search over every local database, each index brought up to date first: the hits
// of all of them, newest first, at most the query's limit. A database that cannot be
// searched is named in problems and passed over.
class LocalHistorySearch
{
public:
    struct Hit
    {
        QString database; // the local database's name
        SearchIndex::Hit hit;
    };
    struct Result
    {
        QList<Hit> hits;
        QStringList problems; // "NAME: why"
    };

    static Result search(const SearchIndex::Query& query);
    // The plain words of a query (quotes and prefix stars taken off), for showing where
    // a hit matched.
    static QStringList wordsOf(const QString& query);
};
