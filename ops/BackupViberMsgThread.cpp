#include "ops/BackupViberMsgThread.h"

#include "app/AppDirs.h"
#include "app/LocalFileIndex.h"
#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "db/IOSViberDb.h"
#include "db/LocalDbPaths.h"
#include "db/LocalDbWriteContext.h"
#include "db/SearchIndex.h"
#include "db/SearchIndexFeed.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberPerson.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"
#include "ops/OperationError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Copies a file unless the target exists; a failed copy is passed over, as a later
// backup can still fill it in.
void copyIfMissing(const QString& source, const QString& target)
{
    if (target.isEmpty() || QFileInfo::exists(target))
        return;
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::copy(source, target);
}

// Copies a file over whatever the target holds, keeping the old file until the new
// one is complete.
void copyReplacing(const QString& source, const QString& target)
{
    if (target.isEmpty())
        return;
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QString part = target + QLatin1String(".part");
    QFile::remove(part);
    if (!QFile::copy(source, part))
        return;
    QFile::remove(target);
    if (!QFile::rename(part, target))
        QFile::remove(part);
}

} // namespace

BackupViberMsgThread::BackupViberMsgThread(const QList<_ViberMsg*>& messages, const QString& targetFolder,
                                           ProgressChannel& progress, QObject* parent)
    : QThread(parent), m_messages(messages), m_target(targetFolder), m_progress(progress)
{
    sortForBackup(m_messages);
}

void BackupViberMsgThread::setRunSource(const QString& source, bool complete)
{
    m_source = source;
    m_complete = complete;
}

void BackupViberMsgThread::sortForBackup(QList<_ViberMsg*>& messages)
{
    // Messages without a chat are passed over by the run, so where they sort does not
    // change what is written.
    ViberSort::sortByChatThenDate(messages);
}

bool BackupViberMsgThread::isBlankName(const QString& name)
{
    return name.trimmed().isEmpty();
}

bool BackupViberMsgThread::isValidName(const QString& name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]+"));
    return !isBlankName(name) && !name.contains(forbidden) && name.trimmed() != QLatin1String("..") &&
           name.trimmed() != QLatin1String(".");
}

void BackupViberMsgThread::run()
{
    const QString databasePath = QDir(m_target).filePath(QLatin1String(DatabaseFile));
    const bool folderExisted = QFileInfo::exists(m_target);
    const bool databaseExisted = QFileInfo(databasePath).isFile();
    m_started = QDateTime::currentDateTimeUtc();
    try {
        backup();
        recordRun(BackupRuns::Outcome::Succeeded, QString());
        if (!m_searchIndexed)
            updateSearchIndex();
        // A repeated backup adds only what is new; saying all were backed up would
        // hide that nothing changed.
        QString text = tr("IDS_SUC_BACKUP_%1_NEW_%2_ALREADY_THERE").arg(m_added).arg(m_present);
        const int passedOver = m_processed - m_added - m_present;
        if (passedOver > 0)
            text += QLatin1Char(' ') + tr("IDS_BACKUP_%1_PASSED_OVER").arg(passedOver);
        if (m_gone > 0)
            text += QLatin1Char(' ') + tr("IDS_BACKUP_%1_GONE_FROM_SOURCE").arg(m_gone);
        m_progress.postSucceed(UserText::plain(text));
        return;
    } catch (const OperationCancelled&) {
        if (databaseExisted)
            recordRun(BackupRuns::Outcome::Cancelled, QString());
    } catch (const std::exception& e) {
        if (databaseExisted)
            recordRun(BackupRuns::Outcome::Failed, QString::fromUtf8(e.what()));
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
    // A run that made a new database and did not finish leaves nothing behind, so no
    // empty database appears among the user's backups.
    if (!folderExisted)
        AppDirs::removeTree(m_target);
    else if (!databaseExisted) {
        QFile::remove(databasePath);
        QFile::remove(SearchIndex::indexPath(m_target));
    }
}

void BackupViberMsgThread::recordRun(BackupRuns::Outcome outcome, const QString& message)
{
    // The record is beside the backup, not part of it: a backup stands even when its
    // record cannot be written, and the next complete run sets the marks right.
    try {
        BackupRuns::Run run;
        run.source = m_source;
        run.started = m_started;
        run.ended = QDateTime::currentDateTimeUtc();
        run.complete = m_complete && !m_source.isEmpty();
        run.outcome = outcome;
        run.message = message;
        run.added = m_added;
        run.present = m_present;
        const bool succeeded = run.outcome == BackupRuns::Outcome::Succeeded;
        m_gone = BackupRuns(m_target).record(run, succeeded ? m_seen : QList<qint64>()).gone;
    } catch (const std::exception& e) {
        qWarning("the run could not be recorded beside %s: %s", qUtf8Printable(m_target), e.what());
    }
}

void BackupViberMsgThread::updateSearchIndex()
{
    // The index is a copy beside the database: one that cannot be brought up to date now
    // is at the next search, and the backup stands either way.
    try {
        m_progress.postProgress(tr("IDS_UPDATING_SEARCH_INDEX"), -1, QString());
        SearchIndex(m_target, QLatin1String(DatabaseFile)).update();
    } catch (const std::exception& e) {
        qWarning("the search index of %s lags: %s", qUtf8Printable(m_target), e.what());
    }
}

void BackupViberMsgThread::backup()
{
    m_progress.postProgress(tr("IDS_BACKING_UP_VIBER_MESSAGES"), 0, QString());
    QDir().mkpath(QDir(m_target).filePath(QStringLiteral("Documents")));
    IOSViberDb db(m_target, QLatin1String(DatabaseFile), IOSViberDb::OpenForWriting);
    db.open();
    std::optional<SearchIndexFeed> searchFeed = startSearchFeed();
    db.beginTran(); // closing the database without a commit discards the run's rows
    db.startMessageRun(m_messages.size());
    LocalDbWriteContext context;
    const int total = int(m_messages.size());
    // Made once: the run posts this text many times.
    const QString countText = tr("Messages: %1/%2");
    const QString totalText = QString::number(total);
    ProgressThrottle throttle;
    const _ViberChat* previousChat = nullptr;
    qint64 conversationPk = 0;
    for (const _ViberMsg* msg : std::as_const(m_messages)) {
        if (m_progress.isCancelled())
            throw OperationCancelled();
        ++m_processed;
        const int percent = int(qint64(m_processed) * 100 / total);
        if (throttle.due(percent, m_processed == total))
            m_progress.postProgress(QString(), percent,
                                    countText.arg(QString::number(m_processed), totalText));
        if (!msg->chat)
            continue;
        if (msg->chat != previousChat) {
            previousChat = msg->chat;
            conversationPk = db.findConversation(*msg->chat);
            if (conversationPk == 0)
                conversationPk = db.insertConversation(context, *msg->chat);
            db.linkParticipants(context, conversationPk, msg->chat->participants.values());
            copyContactPhotos(*msg->chat);
        }
        if (msg->type == ViberMsgType::Call) {
            bool added = false;
            if (msg->call && db.insertCall(context, *msg->call, &added) != 0)
                ++(added ? m_added : m_present);
            continue;
        }
        qint64 attachmentPk = 0;
        qint64 locationPk = 0;
        // Only a message with media needs its stored attachment, to fill in missing files.
        qint64 messagePk = msg->attachment ? db.findDuplicateMessage(msg->token, msg->date, attachmentPk)
                                           : db.findDuplicateMessage(msg->token, msg->date);
        const bool stored = messagePk != 0;
        if (stored)
            ++m_present;
        else if ((messagePk = db.insertMessage(context, conversationPk, *msg, attachmentPk, locationPk)) !=
                 0) {
            ++m_added;
            if (searchFeed)
                searchFeed->add(messagePk, msg->date, msg->text);
        }
        if (messagePk != 0)
            m_seen.append(messagePk);
        copyMedia(*msg, attachmentPk, !stored);
    }
    if (m_progress.isCancelled())
        throw OperationCancelled();
    // The new rows' texts are indexed on another thread while the database's own
    // indexes are made and the run commits.
    if (searchFeed)
        searchFeed->build();
    db.finishMessageRun();
    db.refreshRecentsLines();
    db.executeThrow(
        Sqlite3Sql(QStringLiteral("update ZCONVERSATION set ZDATE=(select max(ZDATE) from ZVIBERMESSAGE "
                                  "as m where m.ZCONVERSATION=ZCONVERSATION.Z_PK)")));
    db.commitTran();
    m_searchIndexed = searchFeed && searchFeed->commit();
}

std::optional<SearchIndexFeed> BackupViberMsgThread::startSearchFeed()
{
    // Without a feed the index is brought up to date after the run, as after any other
    // change of the database; the backup stands either way.
    try {
        return std::optional<SearchIndexFeed>(std::in_place, m_target, QLatin1String(DatabaseFile));
    } catch (const std::exception& e) {
        qWarning("the search index of %s is brought up to date after the backup: %s",
                 qUtf8Printable(m_target), e.what());
        return std::nullopt;
    }
}

void BackupViberMsgThread::copyContactPhotos(const _ViberChat& chat)
{
    for (const _ViberPerson* person : chat.participants) {
        const QFileInfo source(person->photoPath);
        if (person->photoPath.isEmpty() || !source.isFile())
            continue;
        const QString target = LocalDbPaths::contactIconPath(m_target, person->number);
        if (target.isEmpty())
            continue;
        const QFileInfo existing(target);
        if (existing.exists() && existing.lastModified() >= source.lastModified())
            continue;
        QDir().mkpath(existing.absolutePath());
        QFile::remove(target);
        QFile::copy(source.absoluteFilePath(), target);
    }
}

void BackupViberMsgThread::copyMedia(const _ViberMsg& msg, qint64 attachmentPk, bool newAttachment)
{
    const _ViberAtta* atta = msg.attachment;
    if (!atta)
        return;
    // Sources are looked up in their folder's listing, and only then is a target named:
    // most media a history names were never fetched.
    const bool file = !atta->localPath.isEmpty() && m_sources.hasFile(atta->localPath);
    const bool preview = !atta->previewPath.isEmpty() && m_sources.hasFile(atta->previewPath);
    if (!file && !preview)
        return;
    switch (msg.type) {
    case ViberMsgType::Picture:
        if (file)
            copyIfMissing(atta->localPath, LocalDbPaths::attachmentPath(m_target, atta->fileName));
        if (preview)
            copyIfMissing(atta->previewPath, LocalDbPaths::previewPath(m_target, atta->fileName));
        break;
    case ViberMsgType::Location:
        if (preview)
            copyIfMissing(atta->previewPath, LocalDbPaths::mapImagePath(m_target, msg.location.latitude(),
                                                                        msg.location.longitude()));
        break;
    case ViberMsgType::Voice:
        if (file && attachmentPk > 0) {
            // Voice files are named by the attachment's row id, which SQLite hands out
            // again after rows were deleted or a run was rolled back: a file left under
            // that name belongs to another message, so a new attachment replaces it.
            const QString target = LocalDbPaths::voicePath(m_target, QString::number(attachmentPk));
            if (newAttachment)
                copyReplacing(atta->localPath, target);
            else
                copyIfMissing(atta->localPath, target);
        }
        break;
    case ViberMsgType::Sticker:
        if (preview)
            copyIfMissing(atta->previewPath, LocalDbPaths::stickerPath(m_target, atta->fileId));
        break;
    case ViberMsgType::Video:
        if (file)
            copyIfMissing(atta->localPath, LocalDbPaths::attachmentPath(m_target, atta->fileName));
        if (preview)
            copyIfMissing(atta->previewPath, LocalDbPaths::bigPreviewPath(
                                                 m_target, LocalDbPaths::videoPreviewName(atta->fileName)));
        break;
    default:
        break;
    }
}
