#include "android/AndroidUndoTransferThread.h"

#include "android/AgentSession.h"
#include "android/PhoneDatabaseInstaller.h"
#include "android/SimpleProtocol.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/OperationCancelled.h"
#include "app/PrivateWorkFolder.h"
#include "app/ProgressChannel.h"
#include "app/Sqlite3Cursor.h"
#include "app/Sqlite3DB.h"
#include "app/Sqlite3Error.h"
#include "app/Sqlite3Sql.h"
#include "app/SqliteFileSet.h"
#include "app/UserText.h"
#include "db/AndroidViberDb.h"
#include "db/ViberSourceDetector.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTcpSocket>

using namespace simpleprotocol;

namespace {

const QStringList UndoDatabaseNames = {QStringLiteral("viber_messages"), QStringLiteral("viber_data")};

// Messages dated after a time, in either generation's table.
qint64 messagesAfter(const QString& databasePath, const QDateTime& when)
{
    if (!QFileInfo(databasePath).isFile())
        return 0;
    const bool modern =
        ViberSourceDetector::detect(databasePath) == ViberSourceDetector::Generation::AndroidModern;
    try {
        Sqlite3DB db;
        db.openThrow(databasePath, Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor rows = db.queryThrow(Sqlite3Sql(
            QStringLiteral("select count(*) from messages where %1 > %2")
                .arg(modern ? QStringLiteral("msg_date") : QStringLiteral("date"))
                .arg(when.toMSecsSinceEpoch())));
        return rows.moveNext() ? rows.getInt64(0) : 0;
    } catch (const Sqlite3Error&) {
        return 0;
    }
}

} // namespace

QString AndroidUndoTransferThread::Plan::confirmation() const
{
    if (!copy)
        return refusal;
    return KeyTranslator::text("IDS_UNDO_TRANSFER_CONFIRM_%1_%2_%3")
        .arg(QLocale::system().toString(copy->transferredAt.toLocalTime(), QLocale::LongFormat))
        .arg(copy->messages)
        .arg(messagesSince);
}

AndroidUndoTransferThread::Plan AndroidUndoTransferThread::plan(const AndroidDevice& device)
{
    Plan plan;
    plan.copy = RestoreSafetyCopies::lastTransfer(device.cacheDir());
    if (!plan.copy) {
        plan.refusal = KeyTranslator::text("IDS_UNDO_NO_KEPT_COPY");
    } else if (plan.copy->deviceUid != RestoreSafetyCopies::phoneKey(device)) {
        plan.refusal = KeyTranslator::text("IDS_UNDO_COPY_OF_ANOTHER_PHONE");
    } else if (!device.rooted || device.storage.isEmpty()) {
        plan.refusal = KeyTranslator::text("IDS_UNDO_NEEDS_ROOT");
    } else if (!QFileInfo(QDir(plan.copy->folder).filePath(UndoDatabaseNames.first())).isFile()) {
        plan.refusal = KeyTranslator::text("IDS_UNDO_NO_KEPT_COPY");
    }
    if (!plan.refusal.isEmpty()) {
        plan.copy.reset();
        return plan;
    }
    plan.messagesSince =
        messagesAfter(AndroidViberDb(device.storage, device.cacheDir()).messagesDbPath(), plan.copy->transferredAt);
    return plan;
}

AndroidUndoTransferThread::AndroidUndoTransferThread(const AndroidDevice& device, ProgressChannel& progress,
                                                     QObject* parent)
    : QThread(parent), m_device(device), m_progress(progress)
{}

void AndroidUndoTransferThread::run()
{
    try {
        undo();
    } catch (const OperationCancelled&) {
    } catch (const std::exception& e) {
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
    m_progress.enableCancel(true);
}

void AndroidUndoTransferThread::undo()
{
    m_progress.postProgress(KeyTranslator::text("IDS_UNDO_TRANSFER_RUNNING"), -1);
    const Plan plan = AndroidUndoTransferThread::plan(m_device);
    if (!plan.copy)
        fail(plan.refusal);

    // The kept copy stays as it is: what travels is a private, self-contained copy of it.
    PrivateWorkFolder work;
    QList<PhoneDatabaseInstaller::File> files;
    for (const QString& name : UndoDatabaseNames) {
        const QString kept = QDir(plan.copy->folder).filePath(name);
        if (!QFileInfo(kept).isFile())
            continue;
        const QString copy = work.filePath(name);
        SqliteFileSet::copySet(kept, copy);
        SqliteFileSet::checkpoint(copy);
        files.append({name, copy});
    }

    const auto openUpload = [this] {
        return openSession(m_device.endpoint(), QString::fromLatin1(UploadUrl).arg(nextSessionPort()), 10000);
    };
    PhoneDatabaseInstaller installer(m_device, m_progress, openUpload, m_commandWaitMs);
    const std::unique_ptr<QTcpSocket> socket = openUpload();
    installer.stage(*socket, files);
    m_progress.enableCancel(false);
    installer.install(*socket);
    try {
        sendBye(*socket);
    } catch (const std::exception& e) {
        qDebug("ending the upload session: %s", e.what());
    }

    // The cache follows the phone.
    const AndroidViberDb cache(m_device.storage, m_device.cacheDir());
    for (const PhoneDatabaseInstaller::File& file : std::as_const(files)) {
        const QString cached = file.name == UndoDatabaseNames.first() ? cache.messagesDbPath() : cache.dataDbPath();
        SqliteFileSet::replaceSet(file.localPath, cached);
    }
    RestoreSafetyCopies::markUndone(*plan.copy);
    m_progress.postSucceed(UserText::plain(KeyTranslator::text("IDS_UNDO_TRANSFER_DONE_%1")
                                               .arg(QLocale::system().toString(plan.copy->transferredAt.toLocalTime(),
                                                                               QLocale::LongFormat))));
}
