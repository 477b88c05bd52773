// Times the message workers on a loaded Android data set against a baseline of the
// same run, and prints the RESULT line of the benchmark.
//
//   velliport-bench-ops backup EXTRACT_ROOT OUT [MESSAGES]
//     BackupViberMsgThread into a new OUT/local, five times, then once more into the
//     last (that run finds every message already there). Baseline (baseline_s): the rows
//     of a backup made beforehand (untimed, into OUT/reference), read back untimed and
//     written into a new database of the same schema the bulk-loading way (one prepared
//     insert per table, indexes made after the rows, one transaction), then its search
//     index the same way: the backup makes both, so the floor of its work is both
//     (rows_baseline_s and rows_ratio: the database alone; index_baseline_s: the index
//     alone). For continuity (insert_s, insert_ratio): one row per message inserted into
//     ZVIBERMESSAGE of a new local database with its indexes live. The three take turns,
//     five times; the ratios are those of the medians; the peak is that of the last new
//     backup.
//   velliport-bench-ops html-export EXTRACT_ROOT OUT [MESSAGES]
//     ExportMessagesThread to HTML in OUT/html. Baseline (baseline_s): the file-system
//     floor, the bytes of an earlier export written into as many new files with plain
//     writes and one sync; for continuity (csv_s, csv_ratio): the CSV export of the same
//     messages to OUT/messages.csv. Five of each, taking turns; the ratios are those of
//     the medians, the peak that of the last HTML export alone.
//   velliport-bench-ops json-export EXTRACT_ROOT OUT [MESSAGES]
//     The same with ExportMessagesThread to JSON in OUT/json.
//
// MESSAGES (200000) caps the messages taken from the data set, in id order.
// Memory: the data set's memory is the resident size the load added; the peak is the
// highest resident size while the workers run (the load's own peak is cleared first),
// taken over the resident size before the load.

#include "bench/BenchBulkLoad.h"
#include "bench/BenchFileFloor.h"
#include "bench/BenchReceiver.h"

#include "app/BlobCodec.h"
#include "app/HugePageHeap.h"
#include "app/ProgressChannel.h"
#include "app/Sqlite3DB.h"
#include "db/AndroidViberDb.h"
#include "db/IOSViberDb.h"
#include "db/SearchIndex.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberPerson.h"
#include "ops/BackupViberMsgThread.h"
#include "ops/ExportMessagesThread.h"

#include "bench/BenchMemory.h"
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>

#include <QFile>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>

#include <unistd.h>

namespace {

QString seconds(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e9, 'f', 3);
}

QString ratio(double a, double b)
{
    return QString::number(b > 0 ? a / b : 0, 'f', 3);
}

qint64 countRows(const QString& folder, const QString& table)
{
    IOSViberDb db(folder, QLatin1String(BackupViberMsgThread::DatabaseFile), IOSViberDb::OpenForBrowsing);
    db.open();
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QLatin1String("select count(*) from ") + table));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

qint64 treeBytes(const QString& path, int* files = nullptr)
{
    qint64 bytes = 0;
    int count = 0;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        bytes += it.fileInfo().size();
        ++count;
    }
    if (files)
        *files = count;
    return bytes;
}

void checkSqlite(int code, sqlite3* db)
{
    if (code != SQLITE_OK && code != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// The backup's former baseline, kept for continuity: one row per message into the
// message table of a new local database with its indexes live, the columns a backup
// fills, bound straight to one prepared statement.
qint64 baselineInsert(const QString& folder, const QList<_ViberMsg*>& messages)
{
    IOSViberDb db(folder, QLatin1String(BackupViberMsgThread::DatabaseFile));
    db.open();
    QElapsedTimer timer;
    timer.start();
    db.beginTran();
    sqlite3* handle = db.handle();
    sqlite3_stmt* stmt = nullptr;
    checkSqlite(
        sqlite3_prepare_v2(handle,
                           "insert into ZVIBERMESSAGE (ZSEQ, ZTOKEN, ZCONVERSATION, ZPHONENUMINDEX, ZDATE, "
                           "ZSTATEDATE, ZSTATE, ZSYSTEMTYPE, ZTEXT, _other) values (?,?,?,?,?,?,?,?,?,?)",
                           -1, &stmt, nullptr),
        handle);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(stmt, sqlite3_finalize);
    for (const _ViberMsg* msg : messages) {
        const QByteArray state = ViberCodes::statusText(msg->status).toUtf8();
        const QByteArray system = ViberCodes::systemTypeText(msg->systemType).toUtf8();
        sqlite3_bind_int64(stmt, 1, msg->seq);
        sqlite3_bind_int64(stmt, 2, msg->token);
        sqlite3_bind_int64(stmt, 3, msg->chat ? msg->chat->id : 0);
        sqlite3_bind_int64(stmt, 4, msg->sender ? msg->sender->id : 0);
        sqlite3_bind_double(stmt, 5, msg->date);
        sqlite3_bind_double(stmt, 6, msg->stateDate);
        sqlite3_bind_text(stmt, 7, state.constData(), int(state.size()), SQLITE_TRANSIENT);
        if (system.isEmpty())
            sqlite3_bind_null(stmt, 8);
        else
            sqlite3_bind_text(stmt, 8, system.constData(), int(system.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text16(stmt, 9, msg->text.constData(), int(msg->text.size() * 2), SQLITE_STATIC);
        // the bytes a backup stores, not the shorter form the record holds
        const QByteArray extra = BlobCodec::stored(msg->extra.bytes());
        sqlite3_bind_blob(stmt, 10, extra.constData(), int(extra.size()), SQLITE_TRANSIENT);
        checkSqlite(sqlite3_step(stmt), handle);
        checkSqlite(sqlite3_reset(stmt), handle);
    }
    owner.reset();
    db.commitTran();
    return timer.nsecsElapsed();
}

QString timesText(const QList<qint64>& times)
{
    QStringList texts;
    for (const qint64 t : times)
        texts.append(seconds(t));
    return texts.join(QLatin1Char(','));
}

qint64 median(QList<qint64> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

QString benchBackup(const QList<_ViberMsg*>& messages, const QString& out, Memory& memory)
{
    // The sides take turns, each into a new database, so that a slow spell of a shared
    // machine falls on all; the median of five decides. The rows the bulk load writes
    // are read back from a backup made before the rounds and dropped again before each
    // backup runs, so that they are not part of its memory.
    constexpr int Rounds = 5;
    QList<qint64> bulks;
    QList<qint64> bulkIndexes;
    QList<qint64> inserts;
    QList<qint64> firsts;
    const QDir outDir(out);
    const QString reference = outDir.filePath(QStringLiteral("reference"));
    const QString bulkFolder = outDir.filePath(QStringLiteral("bulk"));
    const QString insertFolder = outDir.filePath(QStringLiteral("baseline"));
    const QString target = outDir.filePath(QStringLiteral("local"));
    const QString databaseFile = QLatin1String(BackupViberMsgThread::DatabaseFile);
    qint64 rows[2] = {0, 0};
    qint64 progress = 0;
    qint64 bulkRows = 0;
    qint64 indexRows = 0;
    QString outcome;
    const auto backupOnce = [&](const QString& folder, int run) {
        ProgressChannel channel;
        BenchReceiver receiver(&channel);
        BackupViberMsgThread worker(messages, folder, channel);
        const qint64 time = receiver.run(worker);
        rows[run] = countRows(folder, QStringLiteral("ZVIBERMESSAGE"));
        progress = receiver.progressCount;
        outcome = receiver.success;
        return time;
    };
    backupOnce(reference, 0);
    const QString referenceDb = QDir(reference).filePath(databaseFile);
    for (int round = 0; round < Rounds; ++round) {
        QDir(bulkFolder).removeRecursively();
        const QString bulkDb = QDir(bulkFolder).filePath(databaseFile);
        QDir().mkpath(QFileInfo(bulkDb).absolutePath());
        const QString bulkIndex = SearchIndex::indexPath(bulkFolder);
        {
            const BenchBulkLoad::Snapshot snapshot = BenchBulkLoad::read(referenceDb);
            bulkRows = snapshot.rows;
            bulks.append(BenchBulkLoad::write(snapshot, bulkDb));
        }
        {
            const BenchBulkLoad::Snapshot snapshot =
                BenchBulkLoad::read(SearchIndex::indexPath(reference), referenceDb);
            indexRows = snapshot.rows;
            bulkIndexes.append(BenchBulkLoad::write(snapshot, bulkIndex));
        }
        // Checked once: a bulk load that left rows out would flatter nothing but itself.
        if (round == 0 && (BenchBulkLoad::read(bulkDb).rows != bulkRows ||
                           BenchBulkLoad::read(bulkIndex, bulkDb).rows != indexRows))
            throw std::runtime_error("the bulk load wrote other rows than the backup");
        QDir(insertFolder).removeRecursively();
        inserts.append(baselineInsert(insertFolder, messages));
        QDir(target).removeRecursively();
        if (round == Rounds - 1)
            memory.peakReset = resetPeak();
        firsts.append(backupOnce(target, 0));
    }
    // The second run finds every message already there.
    const qint64 second = backupOnce(target, 1);
    const QString figures = memory.figures();
    const qint64 first = median(firsts);
    const qint64 bulkRowsOnly = median(bulks);
    const qint64 bulkIndex = median(bulkIndexes);
    QList<qint64> bulkBoth;
    for (qsizetype i = 0; i < bulks.size(); ++i)
        bulkBoth.append(bulks.at(i) + bulkIndexes.at(i));
    const qint64 bulk = median(bulkBoth);
    const qint64 insert = median(inserts);
    const double perSecond = double(messages.size()) / (double(first) / 1e9);
    return QStringLiteral(
               "RESULT backup ratio=%1 backup_s=%2 baseline_s=%3 baseline_rows=%4 rows_ratio=%20 "
               "rows_baseline_s=%21 index_baseline_s=%22 index_rows=%23 insert_ratio=%5 "
               "insert_s=%6 messages=%7 messages_per_s=%8 second_backup_s=%9 second_not_slower=%10 "
               "rows_first=%11 rows_second=%12 calls=%13 progress_posts=%14 %15 outcome=\"%16\" "
               "backups=%17 baselines=%18 inserts=%19")
        .arg(ratio(double(first), double(bulk)), seconds(first), seconds(bulk))
        .arg(bulkRows)
        .arg(ratio(double(first), double(insert)), seconds(insert))
        .arg(messages.size())
        .arg(QString::number(perSecond, 'f', 0), seconds(second),
             second <= first ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(rows[0])
        .arg(rows[1])
        .arg(countRows(target, QStringLiteral("ZRECENT")))
        .arg(progress)
        .arg(figures, outcome, timesText(firsts), timesText(bulkBoth), timesText(inserts))
        .arg(ratio(double(first), double(bulkRowsOnly)), seconds(bulkRowsOnly), seconds(bulkIndex))
        .arg(indexRows);
}

// An export takes turns with its baseline, the file-system floor (the bytes of an export
// made before, read back untimed, written into as many new files with plain writes and
// one sync, as BenchFileFloor does), and for continuity with the CSV export of the same
// messages, so that a slow spell of a shared machine falls on all; the median of five
// of each decides. Each run writes to names of its own and starts from a synced disk
// (untimed), so that no run waits on the data of the one before. Nothing is removed
// before the end: ext4 without a journal passes over recently freed inodes when it makes
// a file, so removing one run's 2,022 files before the next made every later run of the
// many-file exports pay for it. The floor of a round writes the export of the round
// before (the first round's export goes first), so that the last export runs last and
// its peak, the one reported, holds no copy of the files. The RESULT line describes the
// last export's output.
struct ExportTimes
{
    QList<qint64> exports;
    QList<qint64> floors;
    QList<qint64> csvs;
    QString outcome;
    int floorFiles = 0;
    qint64 floorBytes = 0;
};

ExportTimes timeExport(const QList<_ViberMsg*>& messages, const QString& out, const QString& name, int format,
                       Memory& memory)
{
    constexpr int Rounds = 5;
    ExportTimes times;
    const auto run = [&](const QString& target, int which) {
        ::sync();
        ProgressChannel channel;
        BenchReceiver receiver(&channel);
        ExportMessagesThread worker(messages, target, which, channel);
        const qint64 time = receiver.run(worker);
        times.outcome = receiver.success;
        return time;
    };
    const QDir outDir(out);
    const QString csv = outDir.filePath(QStringLiteral("messages.csv"));
    const QString path = outDir.filePath(name);
    QString previous;
    const auto writeFloor = [&](int round) {
        const BenchFileFloor::Tree tree = BenchFileFloor::read(previous);
        times.floorFiles = int(tree.files.size());
        times.floorBytes = tree.bytes;
        ::sync();
        const QString target = outDir.filePath(name + QStringLiteral("-floor-%1").arg(round));
        times.floors.append(BenchFileFloor::write(tree, target));
        int written = 0;
        if (treeBytes(target, &written) != tree.bytes || written != times.floorFiles)
            throw std::runtime_error("the file-system floor wrote other files than it read");
    };
    for (int round = 0; round < Rounds; ++round) {
        const bool last = round == Rounds - 1;
        const QString suffix = last ? QString() : QStringLiteral("-%1").arg(round);
        times.csvs.append(run(csv + suffix, ExportMessagesThread::Csv));
        if (round > 0)
            writeFloor(round);
        if (last)
            memory.peakReset = resetPeak();
        times.exports.append(run(path + suffix, format));
        previous = path + suffix;
        if (round == 0)
            writeFloor(round);
    }
    return times;
}

// format's RESULT line, its times and output named by name ("html", "json").
QString benchExport(const QList<_ViberMsg*>& messages, const QString& out, const QString& name, int format,
                    Memory& memory)
{
    const ExportTimes times = timeExport(messages, out, name, format, memory);
    const QString figures = memory.figures();
    const qint64 exportTime = median(times.exports);
    const qint64 floorTime = median(times.floors);
    const qint64 csvTime = median(times.csvs);
    int files = 0;
    const qint64 bytes = treeBytes(QDir(out).filePath(name), &files);
    return QStringLiteral("RESULT %1-export ratio=%2 %1_s=%3 baseline_s=%4 csv_ratio=%5 csv_s=%6 messages=%7 "
                          "%1_files=%8 %1_bytes=%9 baseline_files=%10 baseline_bytes=%11 csv_bytes=%12 %13 "
                          "outcome=\"%14\" exports=%15 baselines=%16 csvs=%17")
        .arg(name, ratio(double(exportTime), double(floorTime)), seconds(exportTime), seconds(floorTime),
             ratio(double(exportTime), double(csvTime)), seconds(csvTime))
        .arg(messages.size())
        .arg(files)
        .arg(bytes)
        .arg(times.floorFiles)
        .arg(times.floorBytes)
        .arg(QFileInfo(QDir(out).filePath(QStringLiteral("messages.csv"))).size())
        .arg(figures, times.outcome, timesText(times.exports), timesText(times.floors),
             timesText(times.csvs));
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    const QStringList modes = {QStringLiteral("backup"), QStringLiteral("html-export"),
                               QStringLiteral("json-export")};
    if (args.size() < 4 || !modes.contains(mode)) {
        QTextStream(stderr)
            << "usage: velliport-bench-ops backup|html-export|json-export EXTRACT_ROOT OUT [MESSAGES]\n";
        return 2;
    }
    const qsizetype cap = args.size() > 4 ? args.at(4).toLongLong() : 200000;
    const QString out = args.at(3);
    QTextStream stdOut(stdout);
    try {
        QDir().mkpath(out);
        Memory memory;
        memory.beforeLoadKb = statusKb("VmRSS:");
        AndroidViberDb source(QStringLiteral("/storage/emulated/0"), args.at(2));
        const ViberDataSetPtr data = source.load();
        memory.dataSetKb = statusKb("VmRSS:") - memory.beforeLoadKb;

        QList<_ViberMsg*> messages = data->allMessages();
        std::sort(messages.begin(), messages.end(),
                  [](const _ViberMsg* a, const _ViberMsg* b) { return a->id < b->id; });
        if (messages.size() > cap)
            messages.resize(cap);
        const QString result =
            mode == QLatin1String("backup") ? benchBackup(messages, out, memory)
            : mode == QLatin1String("html-export")
                ? benchExport(messages, out, QStringLiteral("html"), ExportMessagesThread::Html, memory)
                : benchExport(messages, out, QStringLiteral("json"), ExportMessagesThread::Json, memory);
        stdOut << result << " chats=" << data->chats.size() << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
