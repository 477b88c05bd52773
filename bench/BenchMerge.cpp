// Loads the messages of an extracted phone folder (SOURCE) and writes them, timed, in
// one of two ways, then prints the time and counts on one line:
//   merge:  into the phone database below TARGET with AndroidViberDb's merge operations,
//           called as the restore worker calls them (date order, one transaction,
//           createMergeIndexes first, fixConversations and dropMergeIndexes(true) last);
//   backup: into a new local database in the folder TARGET with IOSViberDb's write
//           operations, called as the backup worker calls them (its order, the message
//           table's indexes dropped and made again at the end; media files left out);
//   restore: into the phone databases below TARGET as the restore worker writes them,
//           AndroidViberTransfer's merge (phone rows renumbered in date order with the
//           added ones) and then its calls into the call log (no phone, no media);
//   transfer: the same merge without the calls;
//           with --modern, into a database of today's app with
//           ModernAndroidViberTransfer::mergeMessages alone, which reads TARGET's call log
//           (no checks of the app's views, no calls written, no phone, no media).
// SOURCE is read by the reader the program picks for its file; loading it is not part
// of the time.
//
//   velliport-bench-merge [--modern] merge|backup|restore|transfer SOURCE TARGET

#include "app/HugePageHeap.h"
#include "db/AndroidViberDb.h"
#include "db/AndroidViberTransfer.h"
#include "db/IOSViberDb.h"
#include "db/ModernAndroidViberTransfer.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberSourceDetector.h"
#include "ops/BackupViberMsgThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace {

QList<const _ViberMsg*> writeOrder(const ViberDataSet& data)
{
    QList<const _ViberMsg*> queue;
    for (const _ViberMsg* msg : data.messages) {
        if (msg->chat && msg->systemType == ViberSystemType::None)
            queue.append(msg);
    }
    std::stable_sort(queue.begin(), queue.end(),
                     [](const _ViberMsg* a, const _ViberMsg* b) { return a->date < b->date; });
    return queue;
}

// The phone-side file references the restore worker computes for media messages.
QString mediaUrl(const _ViberMsg& msg)
{
    return QStringLiteral("file:///storage/emulated/0/viber/media/Viber%20Images/%1").arg(msg.token);
}

qint64 merge(const QList<const _ViberMsg*>& queue, const QString& targetRoot)
{
    AndroidViberDb db(QStringLiteral("/storage/emulated/0"), targetRoot);
    db.open();
    db.createMergeIndexes();
    db.beginTran();
    qint64 ownerInfoId = 0;
    qint64 written = 0;
    for (const _ViberMsg* msg : queue) {
        qint64 conversationId = db.findConversation(msg->chat);
        if (conversationId == 0)
            conversationId = db.insertConversation(ownerInfoId, msg->chat);
        for (const _ViberPerson* person : msg->chat->participants)
            db.addParticipant(conversationId, person);
        if (db.findDuplicateMessage(ViberDates::refToUnixMs(msg->date), msg->token) != 0)
            continue;
        const QString uri = mediaUrl(*msg);
        if (db.insertMessage(conversationId, ownerInfoId, *msg, uri + QStringLiteral(".jpg"), uri) != 0)
            ++written;
    }
    db.fixConversations();
    db.commitTran();
    db.dropMergeIndexes(true);
    return written;
}

qint64 backup(QList<const _ViberMsg*> queue, const QString& folder)
{
    // The backup worker's order: chat by chat, each by date.
    std::stable_sort(queue.begin(), queue.end(), [](const _ViberMsg* a, const _ViberMsg* b) {
        return a->chat != b->chat ? a->chat->id < b->chat->id : a->date < b->date;
    });
    QDir().mkpath(QDir(folder).filePath(QStringLiteral("Documents")));
    IOSViberDb db(folder, QLatin1String(BackupViberMsgThread::DatabaseFile), IOSViberDb::OpenForWriting);
    db.open();
    db.beginTran();
    db.startMessageRun();
    LocalDbWriteContext context;
    const _ViberChat* previousChat = nullptr;
    qint64 conversationPk = 0;
    qint64 written = 0;
    for (const _ViberMsg* msg : queue) {
        if (msg->chat != previousChat) {
            previousChat = msg->chat;
            conversationPk = db.findConversation(*msg->chat);
            if (conversationPk == 0)
                conversationPk = db.insertConversation(context, *msg->chat);
            db.linkParticipants(context, conversationPk, msg->chat->participants.values());
        }
        if (msg->type == ViberMsgType::Call) {
            if (msg->call && db.insertCall(context, *msg->call) != 0)
                ++written;
            continue;
        }
        qint64 attachmentPk = 0;
        qint64 locationPk = 0;
        if (db.findDuplicateMessage(msg->token, msg->date, attachmentPk) == 0 &&
            db.insertMessage(context, conversationPk, *msg, attachmentPk, locationPk) != 0)
            ++written;
    }
    db.finishMessageRun();
    db.refreshRecentsLines();
    db.executeThrow(
        Sqlite3Sql(QStringLiteral("update ZCONVERSATION set ZDATE=(select max(ZDATE) from "
                                  "ZVIBERMESSAGE as m where m.ZCONVERSATION=ZCONVERSATION.Z_PK)")));
    db.commitTran();
    return written;
}

// Every message of the data set merged into the phone database, media named as the
// generator names them.
AndroidViberTransfer::Result mergeAll(AndroidViberDb& db, const ViberDataSet& data)
{
    QList<_ViberMsg*> messages;
    for (_ViberMsg* msg : data.messages)
        messages.append(msg);
    const auto media = [](const _ViberMsg& msg) {
        const QString uri = mediaUrl(msg);
        return AndroidViberTransfer::MediaTexts{uri + QStringLiteral(".jpg"), uri};
    };
    return AndroidViberTransfer(db).mergeMessages(messages, media, {});
}

qint64 transfer(const ViberDataSet& data, const QString& targetRoot)
{
    AndroidViberDb db(QStringLiteral("/storage/emulated/0"), targetRoot);
    return mergeAll(db, data).written;
}

// The restore worker's writes into its working copy: the messages, then their calls.
qint64 restore(const ViberDataSet& data, const QString& targetRoot)
{
    AndroidViberDb db(QStringLiteral("/storage/emulated/0"), targetRoot);
    const AndroidViberTransfer::Result result = mergeAll(db, data);
    db.close();
    if (result.calls.isEmpty() || !QFileInfo(db.dataDbPath()).isFile())
        return result.written;
    return result.written + AndroidViberTransfer::mergeCalls(db.dataDbPath(), result.calls, {});
}

qint64 transferModern(const ViberDataSet& data, const QString& targetRoot)
{
    const AndroidViberDb target(QStringLiteral("/storage/emulated/0"), targetRoot);
    QList<_ViberMsg*> messages;
    for (_ViberMsg* msg : data.messages)
        messages.append(msg);
    // The call log is read as the restore worker has it read (no call the phone logged
    // gets a bubble again). The worker names no media file that does not go to the
    // phone, and the synthetic phones have none.
    return ModernAndroidViberTransfer(target.messagesDbPath(), target.dataDbPath())
        .mergeMessages(messages, {}, {})
        .written;
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool modern = args.removeAll(QStringLiteral("--modern")) > 0;
    const QStringList modes = {QStringLiteral("merge"), QStringLiteral("backup"), QStringLiteral("restore"),
                               QStringLiteral("transfer")};
    if (args.size() != 4 || !modes.contains(args.at(1)) ||
        (modern && args.at(1) != QLatin1String("transfer"))) {
        QTextStream(stderr)
            << "usage: velliport-bench-merge [--modern] merge|backup|restore|transfer SOURCE TARGET"
               " (--modern with transfer only)\n";
        return 2;
    }
    try {
        const ViberDataSetPtr data =
            ViberSourceDetector::androidReader(QStringLiteral("/storage/emulated/0"), args.at(2))->load();
        const QList<const _ViberMsg*> queue = writeOrder(*data);
        QElapsedTimer timer;
        timer.start();
        qint64 written = 0;
        if (args.at(1) == QLatin1String("merge"))
            written = merge(queue, args.at(3));
        else if (args.at(1) == QLatin1String("backup"))
            written = backup(queue, args.at(3));
        else if (args.at(1) == QLatin1String("restore"))
            written = restore(*data, args.at(3));
        else if (modern)
            written = transferModern(*data, args.at(3));
        else
            written = transfer(*data, args.at(3));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        QTextStream(stdout) << args.at(1) << "_s=" << QString::number(seconds, 'f', 3)
                            << " queued=" << queue.size() << " written=" << written << "\n";
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    return 0;
}
