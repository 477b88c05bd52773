#include "db/LocalHistorySearch.h"

#include "app/AppDirs.h"

#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <functional>

LocalHistorySearch::Result LocalHistorySearch::search(const SearchIndex::Query& query)
{
    // Each database has an index and a connection of its own: they are searched side by
    // side, and what each found is merged in the order of the names.
    struct One
    {
        QList<Hit> hits;
        QString problem;
    };
    const std::function<One(const QString&)> searchOne = [&query](const QString& name) {
        One one;
        try {
            SearchIndex index(AppDirs::localDatabasePath(name), QLatin1String(AppDirs::LocalDatabaseFile));
            index.update();
            for (const SearchIndex::Hit& hit : index.search(query))
                one.hits.append({name, hit});
        } catch (const std::exception& e) {
            one.problem = QStringLiteral("%1: %2").arg(name, QString::fromUtf8(e.what()));
        }
        return one;
    };
    Result result;
    for (const One& one : QtConcurrent::blockingMapped(AppDirs::localDatabaseNames(), searchOne)) {
        result.hits += one.hits;
        if (!one.problem.isEmpty())
            result.problems.append(one.problem);
    }
    std::stable_sort(result.hits.begin(), result.hits.end(),
                     [](const Hit& a, const Hit& b) { return a.hit.date > b.hit.date; });
    if (result.hits.size() > query.limit)
        result.hits.resize(std::max(0, query.limit));
    return result;
}

QStringList LocalHistorySearch::wordsOf(const QString& query)
{
    QStringList words;
    static const QRegularExpression piece(QStringLiteral("\"([^\"]+)\"|([^\\s\"]+)"));
    for (const QRegularExpressionMatch& m : piece.globalMatch(query)) {
        QString word = m.captured(1).isNull() ? m.captured(2) : m.captured(1);
        if (word.endsWith(QLatin1Char('*')))
            word.chop(1);
        if (!word.trimmed().isEmpty())
            words.append(word.trimmed());
    }
    return words;
}
