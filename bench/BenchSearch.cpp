// velliport-bench-search EXTRACT_ROOT DATABASES MESSAGES_PER_DATABASE
//
// The history search over several local databases. The phone under EXTRACT_ROOT is
// loaded once; its messages, in id order, are backed up in slices into DATABASES new
// local databases (each backup builds its search index, as every backup does). Then:
//   - the index's share of a backup: each database's index made again on its own
//     (the index file removed first) against that database's backup time without it
//     (backup_s - index_s): index_over_backup, target at most 0.5;
//   - query latency: a fixed set of queries (words, prefixes, phrases, diacritics,
//     chat and date filters) through LocalHistorySearch, every database searched, each
//     query repeated, in rounds so that a slow spell falls on all; p50, p95 and the
//     slowest, target p95 under 50 ms.
// The local databases go into the data folder of XDG_DATA_HOME, which the script
// points at a scratch folder.
#include "bench/BenchReceiver.h"

#include "app/AppDirs.h"
#include "app/HugePageHeap.h"
#include "app/ProgressChannel.h"
#include "db/AndroidViberDb.h"
#include "db/LocalHistorySearch.h"
#include "db/SearchIndex.h"
#include "ops/BackupViberMsgThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace {

QString seconds(qint64 ns)
{
    return QString::number(double(ns) / 1e9, 'f', 3);
}

QString millis(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 1);
}

qint64 percentile(QList<qint64> values, int percent)
{
    std::sort(values.begin(), values.end());
    const qsizetype at = std::min(values.size() - 1, (values.size() * percent + 99) / 100 - 1);
    return values.at(std::max<qsizetype>(0, at));
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        QTextStream(stderr) << "usage: velliport-bench-search EXTRACT_ROOT DATABASES MESSAGES_PER_DATABASE\n";
        return 2;
    }
    const int databases = args.at(2).toInt();
    const qsizetype perDatabase = args.at(3).toLongLong();
    QTextStream out(stdout);
    try {
        AndroidViberDb source(QStringLiteral("/storage/emulated/0"), args.at(1));
        const ViberDataSetPtr data = source.load();
        QList<_ViberMsg*> messages = data->allMessages();
        std::sort(messages.begin(), messages.end(),
                  [](const _ViberMsg* a, const _ViberMsg* b) { return a->id < b->id; });
        if (messages.size() < databases * perDatabase)
            throw std::runtime_error("the phone holds too few messages for the databases asked for");

        qint64 backupNs = 0;
        qint64 indexNs = 0;
        for (int i = 0; i < databases; ++i) {
            const QString folder = AppDirs::localDatabasePath(QStringLiteral("Search%1").arg(i));
            ProgressChannel channel;
            BenchReceiver receiver(&channel);
            BackupViberMsgThread worker(messages.mid(i * perDatabase, perDatabase), folder, channel);
            backupNs += receiver.run(worker);
            if (!receiver.succeeded)
                throw std::runtime_error(receiver.error.toStdString());
            QFile::remove(SearchIndex::indexPath(folder));
            QElapsedTimer timer;
            timer.start();
            SearchIndex(folder, QLatin1String(AppDirs::LocalDatabaseFile)).update();
            indexNs += timer.nsecsElapsed();
        }

        struct Named
        {
            QString name;
            SearchIndex::Query query;
        };
        const auto words = [](const QString& text) {
            SearchIndex::Query query;
            query.words = text;
            return query;
        };
        QList<Named> queries{{QStringLiteral("word"), words(QStringLiteral("Bahnhof"))},
                             {QStringLiteral("two-words"), words(QStringLiteral("treffen Bahnhof"))},
                             {QStringLiteral("prefix"), words(QStringLiteral("Bahn*"))},
                             {QStringLiteral("phrase"), words(QStringLiteral("\"see you soon\""))},
                             {QStringLiteral("diacritics"), words(QStringLiteral("grusse spater"))},
                             {QStringLiteral("rare"), words(QStringLiteral("\"soon hallo danke acht\""))},
                             {QStringLiteral("none"), words(QStringLiteral("Zugspitze"))}};
        Named chat{QStringLiteral("chat"), words(QStringLiteral("morgen"))};
        chat.query.chats = {QStringLiteral("Chat 7")};
        queries.append(chat);
        Named dated{QStringLiteral("dated"), words(QStringLiteral("danke"))};
        const double firstDate = messages.constFirst()->date;
        dated.query.after =
            QDateTime::fromSecsSinceEpoch(qint64(firstDate) + 978307200 + 86400 * 30, Qt::UTC);
        dated.query.before = dated.query.after->addDays(60);
        queries.append(dated);

        // The first search brings nothing up to date (the backups did) but warms the
        // caches, as the window's first search does.
        LocalHistorySearch::search(queries.constFirst().query);
        constexpr int Rounds = 11;
        QList<qint64> all;
        QStringList perQuery;
        QHash<QString, QList<qint64>> times;
        qsizetype problems = 0;
        for (int round = 0; round < Rounds; ++round) {
            for (const Named& named : std::as_const(queries)) {
                QElapsedTimer timer;
                timer.start();
                const LocalHistorySearch::Result result = LocalHistorySearch::search(named.query);
                const qint64 ns = timer.nsecsElapsed();
                problems += result.problems.size();
                times[named.name].append(ns);
                all.append(ns);
            }
        }
        for (const Named& named : std::as_const(queries))
            perQuery.append(named.name + QLatin1Char(':') + millis(percentile(times.value(named.name), 50)));
        if (problems > 0)
            throw std::runtime_error("a database could not be searched");
        const double backupOnly = double(backupNs - indexNs);
        out << "RESULT search p95_ms=" << millis(percentile(all, 95))
            << " p50_ms=" << millis(percentile(all, 50))
            << " max_ms=" << millis(*std::max_element(all.begin(), all.end()))
            << " index_over_backup=" << QString::number(double(indexNs) / backupOnly, 'f', 3)
            << " backup_s=" << seconds(backupNs) << " index_s=" << seconds(indexNs)
            << " databases=" << databases << " messages=" << databases * perDatabase
            << " queries=" << all.size() << " medians_ms=" << perQuery.join(QLatin1Char(',')) << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
