// Times the HTML export with its archive (index.html and its search files) against
// the same export without them, on a loaded Android data set, and prints
//   EXPORT ratio=R archive_s=A plain_s=P ... folder=PATH
// with R = A / P, the medians of five of each, taking turns so that a slow spell of a
// shared machine falls on both; each run writes a folder of its own from a synced disk.
// PATH is the last archive written, which html-archive.sh opens in a browser.
//
//   velliport-bench-archive EXTRACT_ROOT OUT [MESSAGES]
//
// MESSAGES (200000) caps the messages taken from the data set, in id order.

#include "bench/BenchReceiver.h"

#include "app/HugePageHeap.h"
#include "app/ProgressChannel.h"
#include "db/AndroidViberDb.h"
#include "ops/ExportMessagesThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

#include <unistd.h>

namespace {

QString seconds(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e9, 'f', 3);
}

qint64 median(QList<qint64> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

QString timesText(const QList<qint64>& times)
{
    QStringList texts;
    for (const qint64 t : times)
        texts.append(seconds(t));
    return texts.join(QLatin1Char(','));
}

int htmlFiles(const QString& folder)
{
    int count = 0;
    for (QDirIterator it(folder, {QStringLiteral("*.html"), QStringLiteral("*.js")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: velliport-bench-archive EXTRACT_ROOT OUT [MESSAGES]\n";
        return 2;
    }
    const qsizetype cap = args.size() > 3 ? args.at(3).toLongLong() : 200000;
    const QDir out(args.at(2));
    QTextStream stdOut(stdout);
    try {
        QDir().mkpath(out.path());
        AndroidViberDb source(QStringLiteral("/storage/emulated/0"), args.at(1));
        const ViberDataSetPtr data = source.load();
        QList<_ViberMsg*> messages = data->allMessages();
        std::sort(messages.begin(), messages.end(),
                  [](const _ViberMsg* a, const _ViberMsg* b) { return a->id < b->id; });
        if (messages.size() > cap)
            messages.resize(cap);

        constexpr int Rounds = 5;
        QList<qint64> archives;
        QList<qint64> plains;
        QString outcome;
        const auto run = [&](const QString& target, bool archive) {
            ::sync();
            ProgressChannel channel;
            BenchReceiver receiver(&channel);
            ExportMessagesThread worker(messages, target, ExportMessagesThread::Html, channel);
            worker.setArchive(archive);
            const qint64 time = receiver.run(worker);
            outcome = receiver.success;
            if (outcome.isEmpty())
                throw std::runtime_error("an export did not succeed");
            return time;
        };
        QString folder;
        for (int round = 0; round < Rounds; ++round) {
            // Which goes first changes each round.
            const bool archiveFirst = round % 2 == 0;
            for (const bool archive : {archiveFirst, !archiveFirst}) {
                const QString target =
                    out.filePath(QStringLiteral("%1-%2")
                                     .arg(archive ? QLatin1String("archive") : QLatin1String("plain"))
                                     .arg(round));
                (archive ? archives : plains).append(run(target, archive));
                if (archive)
                    folder = target;
            }
        }
        const qint64 archive = median(archives);
        const qint64 plain = median(plains);
        if (!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("index.html"))) ||
            QFileInfo::exists(out.filePath(QStringLiteral("plain-0/index.html"))))
            throw std::runtime_error("the archive was not where it should be");
        stdOut << "EXPORT ratio=" << QString::number(double(archive) / double(plain), 'f', 3)
               << " archive_s=" << seconds(archive) << " plain_s=" << seconds(plain)
               << " messages=" << messages.size() << " chats=" << data->chats.size()
               << " archive_html_js_files=" << htmlFiles(folder)
               << " plain_html_js_files=" << htmlFiles(out.filePath(QStringLiteral("plain-0")))
               << " archives=" << timesText(archives) << " plains=" << timesText(plains) << " outcome=\""
               << outcome << "\" folder=" << folder << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
