#include "android/AndroidLoadViberThread.h"

#include "android/AdbLongCommand.h"
#include "android/AdbTool.h"
#include "android/AgentSession.h"
#include "android/AttachmentPlan.h"
#include "android/BackupArchive.h"
#include "android/SimpleProtocol.h"
#include "android/WifiAgentGone.h"
#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/OperationCancelled.h"
#include "app/PrivateWorkFolder.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "app/SqliteFileSet.h"
#include "db/AndroidViberDb.h"
#include "db/PreviewImage.h"
#include "db/ViberCodes.h"
#include "db/ViberSourceDetector.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QtConcurrent>
#include <QtDebug>

#include <stdexcept>

using namespace simpleprotocol;

namespace {

constexpr auto IncompleteArchive = "*";
constexpr auto ManifestName = "_manifest";
const QStringList DatabaseNames = {QStringLiteral("viber_messages"), QStringLiteral("viber_data")};

// Every name a root copy can leave in the staging folder.
QStringList stagedNames()
{
    QStringList names;
    for (const QString& name : DatabaseNames) {
        names.append(name);
        for (const QString& suffix : SqliteFileSet::companionSuffixes())
            names.append(name + suffix);
    }
    return names;
}

} // namespace

AndroidLoadViberThread::AndroidLoadViberThread(const AndroidDevice& device, bool fetch,
                                               ProgressChannel& progress, QObject* parent)
    : QThread(parent), m_device(device), m_fetch(fetch), m_progress(progress)
{}

AndroidLoadViberThread::~AndroidLoadViberThread() = default;

QString AndroidLoadViberThread::viberFolder(const QString& cacheDir)
{
    return QDir(cacheDir).filePath(QStringLiteral("ab-extract/apps/com.viber.voip"));
}

void AndroidLoadViberThread::run()
{
    try {
        load();
        dropSession();
        m_workFolder.reset();
        m_progress.postSucceed();
        return;
    } catch (const OperationCancelled&) {
    } catch (const std::exception& e) {
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
    m_dataSet.reset();
    dropSession();
    m_workFolder.reset();
}

void AndroidLoadViberThread::load()
{
    m_progress.postProgress(KeyTranslator::text("IDS_LOADING_ADNROID_VIBER_FILES"), 99);
    m_cacheDir = m_device.cacheDir();
    if (m_fetch) {
        QString rootError;
        if (!m_device.rooted) {
            backupRoute();
        } else if (!rootRoute(rootError)) {
            m_progress.postTipsWait(UserText::plain(rootError));
            while (m_progress.isWaitingTips()) {
                if (m_progress.isCancelled())
                    throw OperationCancelled();
                QThread::msleep(ulong(m_timing.rootTipsPoll.count()));
            }
            backupRoute();
        }
    }
    if (m_progress.isCancelled())
        throw OperationCancelled();

    const AndroidViberDb db(m_device.storage, m_cacheDir);
    if (!QFileInfo(db.messagesDbPath()).isFile())
        fail(QStringLiteral(
            "Can't read Viber data from Android device. Please make sure you have installed and "
            "verified Viber on Android device."));
    ViberDataSetPtr dataSet = ViberSourceDetector::androidReader(m_device.storage, m_cacheDir)->load();
    downloadAvatars(*dataSet);
    if (!m_device.storage.isEmpty())
        downloadAttachments(*dataSet);
    m_dataSet = std::move(dataSet);
}

bool AndroidLoadViberThread::rootRoute(QString& error)
{
    const QString staging = QDir::cleanPath(m_device.storage + QStringLiteral("/viber/su"));
    try {
        if (m_device.storage.isEmpty())
            fail(KeyTranslator::text("IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE"));
        if (!isShellSafePath(staging) || phonePathFromUri(staging).isEmpty())
            fail(QStringLiteral("unsafe path for a root command: %1").arg(staging));
        QFuture<void> stopping = startStoppingViber();
        const auto waitForTheStop = qScopeGuard([&stopping] { stopping.waitForFinished(); });

        QTcpSocket& socket = session();
        const int waitMs = int(m_timing.rootCommandWait.count());
        suCommand(socket, QStringLiteral("mkdir -p \"%1\"").arg(staging), waitMs, &m_progress);
        // copies a crashed run may have left
        removeStaged(socket, staging, stagedNames(), waitMs, &m_progress);
        // nothing is copied before Viber has stopped
        stopping.waitForFinished();

        for (const QString& name : DatabaseNames)
            fetchDatabase(staging, name);
        removeStaged(session(), staging, m_staged, waitMs, &m_progress);
        m_staged.clear();

        const QString messages = QDir(viberFolder(m_cacheDir)).filePath(QStringLiteral("db/viber_messages"));
        if (!QFileInfo(messages).isFile())
            fail(KeyTranslator::text("IDS_ROOT_CANNOT_FETCH_msgstore.db"));
        return true;
    } catch (const OperationCancelled&) {
        removeStagedAfterFailure(staging);
        throw;
    } catch (const WifiAgentGone&) {
        throw; // no other route reaches a phone whose agent has ended
    } catch (const std::exception& e) {
        removeStagedAfterFailure(staging);
        error =
            QString::fromUtf8(e.what()) + QLatin1Char(' ') + tr("IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP");
        return false;
    }
}

void AndroidLoadViberThread::fetchDatabase(const QString& staging, const QString& name)
{
    const int waitMs = int(m_timing.rootCommandWait.count());
    const QString source = QStringLiteral("%1/%2").arg(QLatin1String(ViberDatabases), name);
    const bool required = name == DatabaseNames.first();
    QStringList copied;
    const int mainCode = suCopy(session(), source, staging + u'/' + name, waitMs, &m_progress);
    if (mainCode != 0) {
        if (required)
            fail(KeyTranslator::text("IDS_ROOT_INVALID_AUTHORIZATION"));
        return;
    }
    // The earlier load stays until root has granted the copy: a refused root falls back to
    // a backup the user may decline, and that must not cost the history already shown.
    if (required)
        clearViberFolderKeepingManifest();
    copied.append(name);
    m_staged.append(name);
    // A companion is fetched only when this run copied it: an older copy left in the
    // staging folder would be applied to the new main file.
    for (const QString& suffix : SqliteFileSet::companionSuffixes()) {
        if (suCopy(session(), source + suffix, staging + u'/' + name + suffix, waitMs, &m_progress) == 0) {
            copied.append(name + suffix);
            m_staged.append(name + suffix);
        }
    }
    const QDir local(QDir(viberFolder(m_cacheDir)).filePath(QStringLiteral("db")));
    for (const QString& file : std::as_const(copied))
        downloadFile(session(), staging + u'/' + file, local.filePath(file), true, &m_progress);
    const QString mainFile = local.filePath(name);
    // The cache keeps one self-contained file, so that nothing later has to carry the
    // log along with it.
    if (QFileInfo(mainFile).isFile() && !SqliteFileSet::existingCompanions(mainFile).isEmpty())
        SqliteFileSet::checkpoint(mainFile);
}

void AndroidLoadViberThread::removeStaged(QTcpSocket& socket, const QString& staging,
                                          const QStringList& names, int waitMs,
                                          const ProgressChannel* progress)
{
    if (names.isEmpty())
        return;
    // Each name quoted on its own (a quoted glob would be taken literally), all in one
    // command: every root command starts a shell on the phone.
    QString command = QStringLiteral("rm -f");
    for (const QString& name : names)
        command += QStringLiteral(" \"%1/%2\"").arg(staging, name);
    if (suCommand(socket, command, waitMs, progress) != 0)
        qDebug("removing the staged copies %s failed", qUtf8Printable(names.join(u' ')));
}

void AndroidLoadViberThread::removeStagedAfterFailure(const QString& staging)
{
    // The staged copies are the user's whole history on storage any app may read: they
    // go even when the run failed or was cancelled, on a session of their own since the
    // failed one may be in the middle of a transfer.
    dropSession();
    if (m_staged.isEmpty())
        return;
    try {
        const QString url = QString::fromLatin1(DownloadUrl).arg(nextSessionPort());
        const auto socket = openSession(m_device.endpoint(), url, int(m_timing.sessionBudget.count()));
        removeStaged(*socket, staging, m_staged, int(m_timing.sessionBudget.count()), nullptr);
        m_staged.clear();
    } catch (const std::exception& e) {
        qWarning("the staged copies on the phone could not be removed: %s", e.what());
    }
}

void AndroidLoadViberThread::clearViberFolderKeepingManifest()
{
    // The manifest of an earlier backup of this phone is what a restore archive needs
    // first; it holds no history, so the root route keeps it while clearing the rest.
    const QDir folder(viberFolder(m_cacheDir));
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry == QLatin1String(ManifestName))
            continue;
        const QString path = folder.filePath(entry);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            AppDirs::removeTree(path);
        else
            QFile::remove(path);
    }
}

QFuture<void> AndroidLoadViberThread::startStoppingViber()
{
    // Over USB the stop is a program started on the phone through adb, which takes a
    // while; the caller opens its session meanwhile.
    if (!m_device.viaWifi)
        return QtConcurrent::run(
            [serial = m_device.serial] { AdbTool().forceStop(serial, QLatin1String(ViberPackage)); });
    const int code = suCommand(session(), QStringLiteral("am force-stop %1").arg(QLatin1String(ViberPackage)),
                               int(m_timing.rootCommandWait.count()), &m_progress);
    if (code != 0)
        qDebug("stopping Viber over WiFi returned %d", code);
    return QtFuture::makeReadyFuture();
}

void AndroidLoadViberThread::backupRoute()
{
    if (m_device.sdkLevel < 15)
        fail(KeyTranslator::text("IDS_NOT_SUPPORT_ANDROID_40_BELOW"));
    if (m_device.viaWifi)
        fail(KeyTranslator::text("IDS_ANDROID_40_ABOVE_USB_MUST"));

    // The archive is the whole history: it lives in a folder only this user can read and
    // goes with the run, unless the caller names a folder to keep it in.
    const QString archiveName =
        QStringLiteral("%1-%2.ab")
            .arg(m_device.uidFileName(),
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hhmmss")));
    const QString archive = m_archiveFolder.isEmpty() ? workFolder().filePath(archiveName)
                                                      : QDir(m_archiveFolder).filePath(archiveName);
    QFile::remove(archive);

    m_progress.postTipsWait(UserText::plain(KeyTranslator::text("IDS_ADB_BACKUP_TIPS")) +
                            UserText::rich(QStringLiteral("<br/><img src=\":res/adb_backup.png\" />")));
    AdbTool adb;
    adb.forceStop(m_device.serial, QStringLiteral("com.android.backupconfirm"));
    adb.forceStop(m_device.serial, QLatin1String(ViberPackage));
    const AdbLongCommand::Result result =
        AdbLongCommand(m_timing.toolStart, m_timing.backupTool)
            .run(
                {QStringLiteral("-s"), m_device.serial, QStringLiteral("backup"), QStringLiteral("-f"),
                 archive, QLatin1String(ViberPackage)},
                m_progress,
                QStringLiteral(
                    "Adb backup failed. Please stop Viber from running on your Android Phone to try again."));
    if (!result.finished)
        qDebug("adb backup did not end in time: %s", qUtf8Printable(result.output.left(500)));
    if (QFileInfo::exists(archive))
        PrivateWorkFolder::restrictToOwner(archive);

    waitForTipsClosed(m_timing.tipsWait, m_timing.tipsPoll);
    // The tool writes the archive as the phone sends it: an empty file from a tool that
    // ended well is a backup the user declined, and it never grows.
    if (result.finished && result.exitCode == 0 && QFileInfo(archive).size() == 0) {
        QFile::remove(archive);
        fail(KeyTranslator::text("IDS_ADB_BACKUP_DECLINED"));
    }

    const QString extractRoot = QDir(m_cacheDir).filePath(QStringLiteral("ab-extract"));
    const QDeadlineTimer deadline(m_timing.archiveRetries);
    for (int attempt = 0;; ++attempt) {
        if (deadline.hasExpired()) {
            QString cause;
            if (QFileInfo::exists(archive)) {
                QFile::remove(archive);
                cause = QStringLiteral("ab file data is corrupted.");
            } else {
                cause = QStringLiteral("adb-backup -f %1 failed.").arg(archive);
            }
            // Plain text, as every exception's message: the worker reports it as it stands.
            fail(QStringLiteral(
                     "Can't read Viber data from Android device.\n\nPlease check the following:\n\n"
                     "1 Don't encrypt your Android device by password or any 3rd party App.\n\n"
                     "2 You have installed and verified Viber on Android device.\n\n"
                     "3 Don't set a destop backup password on your phone.\nYou can click Settings -> "
                     "Developer options -> Destop backup password on your phone to make the password "
                     "blank.\n\n"
                     "4 Restart your Android device.\n\n"
                     "5 Stop Viber from running on Android device to try again.\nTo do this: Go Settings -> "
                     "Apps -> Running -> Viber and then tap Close button.\n\nError:") +
                 cause + QStringLiteral(" attempt=%1").arg(attempt));
        }
        if (m_progress.isCancelled())
            throw OperationCancelled();
        if (QFileInfo(archive).size() > 0) {
            // Whatever an earlier load unpacked goes first: an archive without Viber's
            // entries must not pass the previous history off as freshly loaded.
            AppDirs::removeTree(viberFolder(m_cacheDir));
            try {
                extractBackupArchive(archive, extractRoot, QLatin1String(IncompleteArchive));
                break;
            } catch (const std::runtime_error& e) {
                if (QLatin1String(e.what()) != QLatin1String(IncompleteArchive)) {
                    QFile::remove(archive);
                    throw;
                }
            }
        }
        QThread::msleep(ulong(m_timing.archivePoll.count()));
    }
    // An archive folder of the caller's keeps the archive: it is the safety copy a
    // transfer takes of the phone before writing to it.
    if (m_archiveFolder.isEmpty())
        QFile::remove(archive);

    const QString messages = QDir(viberFolder(m_cacheDir)).filePath(QStringLiteral("db/viber_messages"));
    if (!QFileInfo(messages).isFile() && m_device.sdkLevel >= FirstSdkWithoutViberBackup)
        fail(KeyTranslator::text("IDS_ANDROID_12_BACKUP_LEAVES_OUT_VIBER"));
}

void AndroidLoadViberThread::waitForTipsClosed(std::chrono::milliseconds limit,
                                               std::chrono::milliseconds poll)
{
    const QDeadlineTimer deadline(limit);
    while (m_progress.isWaitingTips() && !deadline.hasExpired()) {
        if (m_progress.isCancelled())
            throw OperationCancelled();
        QThread::msleep(ulong(poll.count()));
    }
}

void AndroidLoadViberThread::downloadAvatars(const ViberDataSet& dataSet)
{
    for (const _ViberPerson* person : dataSet.persons) {
        if (person->avatarRef.isEmpty() || person->photoPath.isEmpty())
            continue;
        try {
            fetch(person->avatarRef, person->photoPath);
        } catch (const std::exception& e) {
            // A missing picture is a missing attachment, not a failed load.
            ++m_failedAttachments;
            dropSession();
            qDebug("AndroidLoadViberThread, load avatar failed. %s", e.what());
        }
    }
}

void AndroidLoadViberThread::learnMissingFiles(AttachmentPlan& plan)
{
    try {
        plan.learnMissingFiles(session(), &m_progress);
    } catch (const RemoteException& e) {
        // an agent before the batched questions: each file is asked for on its own
        qDebug("AndroidLoadViberThread, no batched file information: %s", e.what());
    } catch (const OperationCancelled&) {
        throw;
    } catch (const std::exception& e) {
        dropSession();
        qDebug("AndroidLoadViberThread, batched file information failed. %s", e.what());
    }
}

void AndroidLoadViberThread::downloadAttachments(const ViberDataSet& dataSet)
{
    // Phones keep only some of the files their history names; asking for each missing
    // one on its own would cost a round trip per file.
    AttachmentPlan plan(dataSet);
    learnMissingFiles(plan);
    const QList<AttachmentPlan::File>& files = plan.files();
    const qsizetype total = dataSet.attachments.size();
    ProgressThrottle throttle;
    for (qsizetype next = 0; next < files.size();) {
        const _ViberAtta* atta = files.at(next).attachment;
        const int percent = int(files.at(next).number * 100 / total);
        if (throttle.due(percent, false))
            m_progress.postProgress(QString(), percent);
        try {
            bool pictureThere = false;
            for (; next < files.size() && files.at(next).attachment == atta; ++next) {
                const AttachmentPlan::File& file = files.at(next);
                const bool there =
                    file.fetch ? downloadFile(session(), file.phonePath, *file.local, false, &m_progress)
                               : file.cached;
                pictureThere = pictureThere || (file.picture && there);
            }
            // The picture is looked for first: on a phone whose media was cleared it is
            // missing far more often than the preview is there.
            if (pictureThere && !QFileInfo::exists(atta->previewPath))
                PreviewImage::make(atta->localPath, atta->previewPath);
        } catch (const std::exception& e) {
            ++m_failedAttachments;
            while (next < files.size() && files.at(next).attachment == atta)
                ++next;
            dropSession();
            qDebug("AndroidLoadViberThread, load attachment failed. %s", e.what());
        }
    }
    if (total > 0 && throttle.due(100, true))
        m_progress.postProgress(QString(), 100);
}

void AndroidLoadViberThread::fetch(const QString& remote, const QString& local)
{
    const QString phonePath = phonePathFromUri(remote);
    if (phonePath.isEmpty() || local.isEmpty())
        return;
    downloadFile(session(), phonePath, local, false, &m_progress);
}

QTcpSocket& AndroidLoadViberThread::session()
{
    if (!m_session) {
        const QString url = QString::fromLatin1(DownloadUrl).arg(nextSessionPort());
        qDebug("AndroidLoadViberThread::downloadFileThrow, %s", qUtf8Printable(url));
        m_session = openSession(m_device.endpoint(), url, int(m_timing.sessionBudget.count()), &m_progress);
    }
    return *m_session;
}

void AndroidLoadViberThread::dropSession()
{
    m_session.reset();
}

PrivateWorkFolder& AndroidLoadViberThread::workFolder()
{
    if (!m_workFolder)
        m_workFolder = std::make_unique<PrivateWorkFolder>();
    return *m_workFolder;
}
