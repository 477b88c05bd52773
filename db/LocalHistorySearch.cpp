#include "db/LocalHistorySearch.h"

#include "app/AppDirs.h"

#include <QRegularExpression>

#include <algorithm>

LocalHistorySearch::Result LocalHistorySearch::search(const SearchIndex::Query& query)
{
    Result result;
    for (const QString& name : AppDirs::localDatabaseNames()) {
        try {
            SearchIndex index(AppDirs::localDatabasePath(name), QLatin1String(AppDirs::LocalDatabaseFile));
            index.update();
            for (const SearchIndex::Hit& hit : index.search(query))
                result.hits.append({name, hit});
        } catch (const std::exception& e) {
            result.problems.append(QStringLiteral("%1: %2").arg(name, QString::fromUtf8(e.what())));
        }
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
