#include "android/AndroidRestoreViberThread.h"

#include "android/AdbLongCommand.h"
#include "android/AdbTool.h"
#include "android/AgentSession.h"
#include "android/AndroidLoadViberThread.h"
#include "android/BackupArchive.h"
#include "android/PhoneDatabaseInstaller.h"
#include "android/RestoreSafetyCopies.h"
#include "android/SimpleProtocol.h"
#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/FreedMemory.h"
#include "app/KeyTranslator.h"
#include "app/OnDemandFiles.h"
#include "app/OperationCancelled.h"
#include "app/PrivateWorkFolder.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Error.h"
#include "app/Sqlite3Sql.h"
#include "app/SqliteFileSet.h"
#include "db/AndroidViberDb.h"
#include "db/AndroidViberTransfer.h"
#include "db/ModernAndroidViberTransfer.h"
#include "db/ModernMessageRow.h"
#include "db/ModernViberAppQueries.h"
#include "db/PhoneMediaPaths.h"
#include "db/ViberAtta.h"
#include "db/ViberSourceDetector.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTcpSocket>
#include <QtDebug>

#include <stdexcept>

using namespace simpleprotocol;

namespace {

void throwIfCancelled(const ProgressChannel& progress)
{
    if (progress.isCancelled())
        throw OperationCancelled();
}

bool isDatabaseCompanion(const QString& name)
{
    for (const QString& suffix : SqliteFileSet::companionSuffixes()) {
        if (name.endsWith(suffix))
            return true;
    }
    return false;
}

// Copies Viber's folder of the cache without database companions (every database there
// is a self-contained file), then puts the merged databases in place of the cached ones.
void stageAppFolder(const QString& cacheViber, const QString& target)
{
    QDirIterator it(cacheViber, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        if (isDatabaseCompanion(it.fileName()))
            continue;
        const QString copy = QDir(target).filePath(QDir(cacheViber).relativeFilePath(source));
        QDir().mkpath(QFileInfo(copy).absolutePath());
        if (!QFile::copy(source, copy))
            fail(QStringLiteral("cant copy %1 to %2.").arg(source, copy));
    }
}

} // namespace

AndroidRestoreViberThread::AndroidRestoreViberThread(const AndroidDevice& device, QList<_ViberMsg*> messages,
                                                     ProgressChannel& progress, QObject* parent)
    : QThread(parent), m_device(device), m_messages(std::move(messages)), m_progress(progress)
{}

AndroidRestoreViberThread::~AndroidRestoreViberThread() = default;

void AndroidRestoreViberThread::run()
{
    try {
        transfer();
    } catch (const OperationCancelled&) {
    } catch (const std::exception& e) {
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
    m_progress.enableCancel(true);
    m_workFolder.reset();
}

QString AndroidRestoreViberThread::manifestPath() const
{
    return QDir(AndroidLoadViberThread::viberFolder(m_cacheDir)).filePath(QStringLiteral("_manifest"));
}

bool AndroidRestoreViberThread::restoreRoutePossible() const
{
    return !m_device.viaWifi && m_device.sdkLevel >= FirstSdkWithRestore &&
           m_device.sdkLevel < FirstSdkWithoutViberRestore && QFileInfo(manifestPath()).size() > 0;
}

QString AndroidRestoreViberThread::missingRouteReason() const
{
    if (m_device.rooted && !m_device.storage.isEmpty())
        return QString();
    if (restoreRoutePossible())
        return QString();
    if (m_device.rooted)
        return KeyTranslator::text("IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE");
    if (m_device.sdkLevel < FirstSdkWithRestore)
        return KeyTranslator::text("IDS_NOT_SUPPORT_ANDROID_40_BELOW");
    if (m_device.viaWifi)
        return KeyTranslator::text("IDS_ANDROID_40_ABOVE_USB_MUST");
    if (m_device.sdkLevel >= FirstSdkWithoutViberRestore)
        return KeyTranslator::text("IDS_ANDROID_12_RESTORE_NEEDS_ROOT");
    return KeyTranslator::text("IDS_RESTORE_NEEDS_BACKUP_OF_THIS_PHONE");
}

void AndroidRestoreViberThread::transfer()
{
    m_progress.postProgress(KeyTranslator::text("IDS_ANDROID_RESTORING_VIBER_MESSAGES"), -1);
    m_cacheDir = m_device.cacheDir();
    // Nothing is merged or uploaded for a phone that cannot take the result back.
    const QString noRoute = missingRouteReason();
    if (!noRoute.isEmpty())
        fail(noRoute);

    const AndroidViberDb current(m_device.storage, m_cacheDir);
    if (!QFileInfo(current.messagesDbPath()).isFile())
        fail(QStringLiteral(
            "Can't read Viber data from Android device. Please make sure you have installed and "
            "verified Viber on Android device."));
    const bool modern = writesModernViber(m_device);
    m_workFolder = std::make_unique<PrivateWorkFolder>();
    const QString workRoot = m_workFolder->filePath(QStringLiteral("work"));
    const AndroidViberDb work(m_device.storage, workRoot);
    // A database travels only as a consistent set: whatever is still in a log is
    // folded into the main file first.
    SqliteFileSet::checkpoint(current.messagesDbPath());
    SqliteFileSet::copySet(current.messagesDbPath(), work.messagesDbPath());
    const bool haveData = QFileInfo(current.dataDbPath()).isFile();
    if (haveData) {
        SqliteFileSet::checkpoint(current.dataDbPath());
        SqliteFileSet::copySet(current.dataDbPath(), work.dataDbPath());
    }

    bool callsChanged = false;
    std::future<void> viewsChecked;
    if (modern)
        viewsChecked = mergeModernInto(workRoot, callsChanged);
    else
        mergeInto(workRoot, callsChanged);
    throwIfCancelled(m_progress);
    // What goes to the phone is the main file alone; a phone database in WAL mode keeps
    // that mode, so the log of the merge must be folded in first.
    if (haveData)
        SqliteFileSet::checkpoint(work.dataDbPath());

    if (m_written > 0 || callsChanged) {
        // A fresh session: one held across the merge may have been dropped by the phone.
        std::unique_ptr<QTcpSocket> socket;
        const bool rootRoute = m_device.rooted && !m_device.storage.isEmpty();
        if (!m_uploads.isEmpty() || rootRoute)
            socket = openUploadSession();
        awaitCheckedCopy(viewsChecked, work.messagesDbPath(), socket);
        if (socket)
            uploadMedia(*socket);
        bool written = false;
        if (rootRoute) {
            QString error;
            written = rootWrite(*socket, work.messagesDbPath(), callsChanged, error);
            if (!written) {
                endSession(std::move(socket));
                // A phone that may hold part of the transfer gets no second write; without
                // a second route the failure is the outcome, never a success.
                if (!m_phoneUnchanged || !restoreRoutePossible())
                    fail(error);
                m_progress.postTipsWait(UserText::plain(error + QLatin1Char(' ') +
                                                        tr("IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP")));
                while (m_progress.isWaitingTips()) {
                    throwIfCancelled(m_progress);
                    QThread::msleep(ulong(m_timing.rootTipsPoll.count()));
                }
            }
        }
        if (socket && !written)
            endSession(std::move(socket));
        socket.reset();
        if (!written)
            restoreRoute(work.messagesDbPath());
        replaceCache(work.messagesDbPath(), callsChanged);
        // The kept copy is what an undo puts back.
        if (!m_keptCopy.isEmpty())
            RestoreSafetyCopies::markTransferred(m_keptCopy, m_device, QDateTime::currentDateTimeUtc(),
                                                 m_written);
    }

    QString success = KeyTranslator::text("IDS_SUC_RESTORE_%1_MESSAGES_TO_ANDROID").arg(m_queued);
    if (m_missingFiles > 0)
        success += QStringLiteral("<br/><br/>") +
                   KeyTranslator::text("IDS_RESTORE_SKIPPED_MISSING_FILES_%1").arg(m_missingFiles);
    if (m_withoutIdentity > 0)
        success += QStringLiteral("<br/><br/>") +
                   KeyTranslator::text("IDS_TRANSFER_LEFT_OUT_WITHOUT_NUMBER_%1").arg(m_withoutIdentity);
    m_progress.postSucceed(UserText::rich(success));
}

void AndroidRestoreViberThread::mergeInto(const QString& workRoot, bool& callsChanged)
{
    AndroidViberDb work(m_device.storage, workRoot);
    const auto media = [this](const _ViberMsg& message) {
        const PhoneMediaPaths::Media files = PhoneMediaPaths::forMessage(message);
        AndroidViberTransfer::MediaTexts texts;
        if (files.mediaRelative.isEmpty())
            return texts;
        texts.uriText = phoneReference(files.mediaRelative, files.bareName);
        planUpload(files.mediaLocal, files.mediaRelative);
        if (!files.previewRelative.isEmpty()) {
            texts.bodyText = phoneReference(files.previewRelative, false);
            planUpload(files.previewLocal, files.previewRelative);
        }
        return texts;
    };
    const QString merging = KeyTranslator::text("IDS_MERGING_VIBER_MESSAGES");
    const auto progress = [&](qint64 done, qint64 total) {
        throwIfCancelled(m_progress);
        m_progress.postProgress(merging, int(done * 99 / total));
    };
    const AndroidViberTransfer::Result result =
        AndroidViberTransfer(work).mergeMessages(m_messages, media, progress);
    work.close();
    m_queued = result.queued;
    m_written = result.written;
    mergeCalls(work.dataDbPath(), result.calls, callsChanged);
}

bool AndroidRestoreViberThread::writesModernViber(const AndroidDevice& device)
{
    const AndroidViberDb cached(device.storage, device.cacheDir());
    return QFileInfo(cached.messagesDbPath()).isFile() &&
           ViberSourceDetector::detect(cached.messagesDbPath()) ==
               ViberSourceDetector::Generation::AndroidModern;
}

std::future<void> AndroidRestoreViberThread::mergeModernInto(const QString& workRoot, bool& callsChanged)
{
    const AndroidViberDb work(m_device.storage, workRoot);
    // A message names its media file only when the file goes to the phone with it.
    // A missing file (media never downloaded, often) is known before the phone's name for
    // it, which takes a digest, is made.
    const auto media = [this](const _ViberMsg& message, int kind) {
        if (!message.attachment || m_device.storage.isEmpty() ||
            !localFileReady(message.attachment->localPath))
            return QString();
        const QString relative = ModernMessageRow::mediaRelativePath(message, kind);
        if (relative.isEmpty())
            return QString();
        addUpload(message.attachment->localPath, relative);
        return phoneReference(relative, false);
    };
    const QString merging = KeyTranslator::text("IDS_MERGING_VIBER_MESSAGES");
    // A post per message is a wake-up of the window's thread per message.
    ProgressThrottle throttle;
    const ModernAndroidViberTransfer::Result result =
        ModernAndroidViberTransfer(work.messagesDbPath(), work.dataDbPath())
            .mergeMessages(m_messages, media, [&](qint64 done, qint64 total) {
                throwIfCancelled(m_progress);
                const int percent = int(done * 99 / total);
                if (throttle.due(percent, done == total))
                    m_progress.postProgress(merging, percent);
            });
    m_queued = result.queued;
    m_written = result.written;
    m_withoutIdentity = result.withoutIdentity;
    // The merge's look-up tables are gone; the pages they held would otherwise stay with
    // the process while the check and the upload take fresh ones.
    FreedMemory::giveBack();
    // Nothing reaches the phone unless the app's own views show the added rows as they
    // show the phone's. The check only reads the messages database: the call log is
    // merged meanwhile.
    std::future<void> viewsChecked;
    if (result.written > 0)
        viewsChecked = std::async(std::launch::async, ModernViberAppQueries::check, work.messagesDbPath(),
                                  result.lastPhoneId);
    QList<const _ViberCall*> calls;
    for (const _ViberCall& call : result.calls)
        calls.append(&call);
    mergeCalls(work.dataDbPath(), calls, callsChanged);
    return viewsChecked;
}

void AndroidRestoreViberThread::awaitCheckedCopy(std::future<void>& viewsChecked, const QString& messagesDb,
                                                 std::unique_ptr<QTcpSocket>& socket)
{
    try {
        if (viewsChecked.valid())
            viewsChecked.get();
        // Folded in only now: the check reads the file until it ends.
        SqliteFileSet::checkpoint(messagesDb);
    } catch (...) {
        if (socket)
            endSession(std::move(socket));
        throw;
    }
}

void AndroidRestoreViberThread::mergeCalls(const QString& dataDbPath, const QList<const _ViberCall*>& calls,
                                           bool& callsChanged)
{
    if (calls.isEmpty() || !QFileInfo(dataDbPath).isFile())
        return;
    const QString mergingCalls = KeyTranslator::text("IDS_MERGING_VIBER_CALLS");
    m_progress.postProgress(mergingCalls, 0);
    ProgressThrottle throttle;
    callsChanged = AndroidViberTransfer::mergeCalls(dataDbPath, calls, [&](qint64 done, qint64 total) {
                       throwIfCancelled(m_progress);
                       const int percent = int(done * 99 / total);
                       if (throttle.due(percent, done == total))
                           m_progress.postProgress(mergingCalls, percent);
                   }) > 0;
}

QString AndroidRestoreViberThread::phoneReference(const QString& relativePath, bool bareName) const
{
    if (bareName)
        return QFileInfo(relativePath).fileName();
    return QString::fromUtf8(m_device.storageUrl(relativePath).toEncoded());
}

bool AndroidRestoreViberThread::planUpload(const QString& localPath, const QString& relativePath)
{
    // The user was told attachments are skipped on a phone without external storage.
    if (m_device.storage.isEmpty() || relativePath.isEmpty() || !localFileReady(localPath))
        return false;
    addUpload(localPath, relativePath);
    return true;
}

void AndroidRestoreViberThread::addUpload(const QString& localPath, const QString& relativePath)
{
    m_uploads.append({localPath, m_device.storageUrl(relativePath).toLocalFile()});
}

bool AndroidRestoreViberThread::localFileReady(const QString& localPath)
{
    // A missing or empty file cannot be sent and would end the whole transfer.
    OnDemandFiles::prepare(localPath);
    if (localPath.isEmpty() || QFileInfo(localPath).size() <= 0) {
        ++m_missingFiles;
        return false;
    }
    return true;
}

void AndroidRestoreViberThread::uploadMedia(QTcpSocket& socket)
{
    const int waitMs = int(m_timing.sessionBudget.count());
    for (const Upload& upload : std::as_const(m_uploads)) {
        throwIfCancelled(m_progress);
        // A file already there is the user's and stays; an empty one is what a cut
        // upload leaves once cleared, and holds nothing.
        const RemoteFileInfo info = remoteFileInfo(socket, upload.phonePath, waitMs, &m_progress);
        if (info.isFile && info.size != 0)
            continue;
        try {
            uploadFile(socket, upload.localPath, upload.phonePath, &m_progress);
        } catch (...) {
            clearPartialUpload(upload.phonePath);
            throw;
        }
    }
}

void AndroidRestoreViberThread::clearPartialUpload(const QString& phonePath)
{
    // The agent keeps what arrived of a broken upload: a picture cut in half at the path
    // the message names would pass for the whole file in every later transfer. The
    // session that broke may be in the middle of the upload; a fresh one is not.
    try {
        const QString url = QString::fromLatin1(UploadUrl).arg(nextSessionPort());
        const auto socket = openSession(m_device.endpoint(), url, int(m_timing.sessionBudget.count()));
        const int waitMs = int(m_timing.sessionBudget.count());
        const bool removed = m_device.rooted && isShellSafePath(phonePath) &&
                             suCommand(*socket, QStringLiteral("rm -f \"%1\"").arg(phonePath), waitMs) == 0;
        if (!removed)
            uploadFile(*socket, emptyFile(), phonePath);
        sendBye(*socket);
    } catch (const std::exception& e) {
        qWarning("the partial upload %s could not be cleared: %s", qUtf8Printable(phonePath), e.what());
    }
}

QString AndroidRestoreViberThread::emptyFile() const
{
    const QString empty = m_workFolder->filePath(QStringLiteral("empty"));
    QFile(empty).open(QIODevice::WriteOnly);
    return empty;
}

void AndroidRestoreViberThread::endSession(std::unique_ptr<QTcpSocket> socket)
{
    // A session that failed in the middle of a transfer may not take the goodbye.
    try {
        sendBye(*socket);
    } catch (const std::exception& e) {
        qDebug("ending the upload session: %s", e.what());
    }
}

QString AndroidRestoreViberThread::freshUploadUrl()
{
    return QString::fromLatin1(UploadUrl).arg(nextSessionPort());
}

int AndroidRestoreViberThread::sessionWaitMs() const
{
    return int(m_timing.sessionBudget.count());
}

std::unique_ptr<QTcpSocket> AndroidRestoreViberThread::openUploadSession()
{
    return openSession(m_device.endpoint(), freshUploadUrl(), sessionWaitMs(), &m_progress);
}

bool AndroidRestoreViberThread::rootWrite(QTcpSocket& socket, const QString& workDb, bool withData,
                                          QString& error)
{
    PhoneDatabaseInstaller installer(
        m_device, m_progress,
        [this] { return openSession(m_device.endpoint(), freshUploadUrl(), sessionWaitMs()); },
        int(m_timing.rootCommandWait.count()));
    QList<PhoneDatabaseInstaller::File> files{{QStringLiteral("viber_messages"), workDb}};
    const QString dataFile = QFileInfo(workDb).absolutePath() + QStringLiteral("/viber_data");
    if (withData && QFileInfo(dataFile).size() > 0)
        files.append({QStringLiteral("viber_data"), dataFile});
    try {
        // The new files go to the phone's shared storage first; nothing of Viber's own
        // is touched until both are there and checked.
        installer.stage(socket, files);
        throwIfCancelled(m_progress);
        // From here on the phone's files change: the steps run to their end, or back.
        m_progress.enableCancel(false);
        installer.install(socket);
        m_progress.enableCancel(true);
        return true;
    } catch (const OperationCancelled&) {
        throw;
    } catch (const std::exception& e) {
        m_progress.enableCancel(true);
        error = QString::fromUtf8(e.what());
        m_phoneUnchanged = installer.phoneUnchanged();
        return false;
    }
}

void AndroidRestoreViberThread::restoreRoute(const QString& workDb)
{
    if (m_device.sdkLevel < FirstSdkWithRestore)
        fail(KeyTranslator::text("IDS_NOT_SUPPORT_ANDROID_40_BELOW"));
    if (m_device.viaWifi)
        fail(KeyTranslator::text("IDS_ANDROID_40_ABOVE_USB_MUST"));
    if (m_device.sdkLevel >= FirstSdkWithoutViberRestore)
        fail(KeyTranslator::text("IDS_ANDROID_12_RESTORE_NEEDS_ROOT"));
    if (QFileInfo(manifestPath()).size() <= 0)
        fail(KeyTranslator::text("IDS_RESTORE_NEEDS_BACKUP_OF_THIS_PHONE"));

    // Only the app's own folder goes into the archive: shared storage is not the app's
    // data, and can exceed what an archive may hold.
    const QString stageRoot = m_workFolder->filePath(QStringLiteral("restore"));
    const QString stageViber = QDir(stageRoot).filePath(QStringLiteral("apps/com.viber.voip"));
    stageAppFolder(AndroidLoadViberThread::viberFolder(m_cacheDir), stageViber);
    for (const QString& name : {QStringLiteral("viber_messages"), QStringLiteral("viber_data")}) {
        const QString merged = QFileInfo(workDb).absolutePath() + u'/' + name;
        if (!QFileInfo(merged).isFile())
            continue;
        const QString staged = QDir(stageViber).filePath(QStringLiteral("db/") + name);
        QDir().mkpath(QFileInfo(staged).absolutePath());
        QFile::remove(staged);
        if (!QFile::copy(merged, staged))
            fail(QStringLiteral("cant copy %1 to %2.").arg(merged, staged));
    }
    const QString archive = m_workFolder->filePath(
        QStringLiteral("%1-%2.ab").arg(m_device.uidFileName()).arg(QDateTime::currentMSecsSinceEpoch()));
    buildBackupArchive(stageRoot, archive);
    PrivateWorkFolder::restrictToOwner(archive);
    throwIfCancelled(m_progress);

    m_progress.postTipsWait(UserText::plain(KeyTranslator::text("IDS_ADB_RESTORE_TIPS")) +
                            UserText::rich(QStringLiteral("<br/><img src=\":res/adb_restore.png\" />")));
    AdbTool().forceStop(m_device.serial, QLatin1String(AndroidLoadViberThread::ViberPackage));
    const AdbLongCommand::Result result =
        AdbLongCommand(m_timing.toolStart, m_timing.restoreTool)
            .run(
                {QStringLiteral("-s"), m_device.serial, QStringLiteral("restore"), archive}, m_progress,
                QStringLiteral(
                    "Adb backup failed. Please stop viber from running on your Android Phone to try again."));
    while (m_progress.isWaitingTips()) {
        throwIfCancelled(m_progress);
        QThread::msleep(ulong(m_timing.tipsPoll.count()));
    }
    if (!result.finished || result.exitCode != 0) {
        qDebug("adb restore: %s", qUtf8Printable(result.output.left(500)));
        fail(KeyTranslator::text("IDS_RESTORE_NOT_FINISHED"));
    }
    checkRestored(workDb);
}

void AndroidRestoreViberThread::checkRestored(const QString& workDb)
{
    // The tool ends alike whether the user restored or tapped "Do not restore", and
    // without root the phone's databases can only be read through a backup: the transfer
    // counts as done only when that backup holds the file that was sent.
    const QString archive = m_workFolder->filePath(QStringLiteral("check.ab"));
    m_progress.postTipsWait(UserText::plain(KeyTranslator::text("IDS_ADB_BACKUP_TIPS")) +
                            UserText::rich(QStringLiteral("<br/><img src=\":res/adb_backup.png\" />")));
    AdbTool().forceStop(m_device.serial, QStringLiteral("com.android.backupconfirm"));
    const AdbLongCommand::Result result =
        AdbLongCommand(m_timing.toolStart, m_timing.restoreTool)
            .run({QStringLiteral("-s"), m_device.serial, QStringLiteral("backup"), QStringLiteral("-f"),
                  archive, QLatin1String(AndroidLoadViberThread::ViberPackage)},
                 m_progress, KeyTranslator::text("IDS_RESTORE_NOT_FINISHED"));
    while (m_progress.isWaitingTips()) {
        throwIfCancelled(m_progress);
        QThread::msleep(ulong(m_timing.tipsPoll.count()));
    }
    if (!result.finished || QFileInfo(archive).size() <= 0)
        fail(KeyTranslator::text("IDS_RESTORE_NOT_FINISHED"));
    const QString checkRoot = m_workFolder->filePath(QStringLiteral("check"));
    extractBackupArchive(archive, checkRoot, KeyTranslator::text("IDS_RESTORE_NOT_FINISHED"));
    QFile::remove(archive);
    const QString onPhone = QDir(checkRoot).filePath(QStringLiteral("apps/com.viber.voip/db/viber_messages"));
    // Viber starts again after a restore and may rewrite pages of its file, or receive
    // messages, before the check backup: what counts is that every message sent is there.
    try {
        if (!messageTokens(workDb).subtract(messageTokens(onPhone)).isEmpty())
            fail(KeyTranslator::text("IDS_RESTORE_NOT_FINISHED"));
    } catch (const Sqlite3Error&) {
        fail(KeyTranslator::text("IDS_RESTORE_NOT_FINISHED"));
    }
}

QSet<qint64> AndroidRestoreViberThread::messageTokens(const QString& databasePath)
{
    Sqlite3DB db;
    db.openThrow(databasePath, Sqlite3DB::OpenReadOnly);
    QSet<qint64> tokens;
    Sqlite3Cursor rows = db.queryThrow(Sqlite3Sql(QStringLiteral("select token from messages")));
    while (rows.moveNext())
        tokens.insert(rows.getInt64(0));
    return tokens;
}

void AndroidRestoreViberThread::replaceCache(const QString& workDb, bool withData)
{
    const AndroidViberDb current(m_device.storage, m_cacheDir);
    try {
        SqliteFileSet::moveSet(workDb, current.messagesDbPath());
    } catch (const std::exception& e) {
        fail(KeyTranslator::text("IDS_CANNOT_SAVE_VIBER_DB_TRY_AGAIN_%1").arg(QString::fromUtf8(e.what())));
    }
    if (!withData)
        return;
    try {
        SqliteFileSet::moveSet(QFileInfo(workDb).absolutePath() + QStringLiteral("/viber_data"),
                               current.dataDbPath());
    } catch (const std::exception&) {
        fail(KeyTranslator::text("IDS_CANNOT_SAVE_VIBER_CALLS_DB_TRY_AGAIN"));
    }
}
