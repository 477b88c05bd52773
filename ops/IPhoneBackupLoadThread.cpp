#include "ops/IPhoneBackupLoadThread.h"

#include "app/KeyTranslator.h"
#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"
#include "db/AbsViberDb.h"
#include "db/ViberSourceDetector.h"
#include "db/WrongBackupPassword.h"

#include <algorithm>

IPhoneBackupLoadThread::IPhoneBackupLoadThread(const QString& folder, ProgressChannel& progress,
                                               QObject* parent)
    : QThread(parent), m_folder(folder), m_progress(progress)
{}

IPhoneBackupLoadThread::~IPhoneBackupLoadThread() = default;

BackupKeybag::Cancelled IPhoneBackupLoadThread::cancelledBy(const ProgressChannel& progress)
{
    return [&progress] { return progress.isCancelled(); };
}

BackupKeybag::Progress IPhoneBackupLoadThread::reportedTo(const ProgressChannel& progress)
{
    return [&progress](qint64 elapsedMs, qint64 estimatedMs) {
        const QString status = KeyTranslator::text("IDS_IPHONE_BACKUP_UNLOCKING");
        if (estimatedMs <= 0) {
            progress.postProgress(status, 0);
            return;
        }
        if (elapsedMs >= estimatedMs) {
            progress.postProgress(status, 100);
            return;
        }
        // An estimate is only an estimate: the bar waits at 99 for the derivation's end.
        const int percent = int(std::min<qint64>(99, elapsedMs * 100 / estimatedMs));
        const qint64 secondsLeft = std::max<qint64>(1, (estimatedMs - elapsedMs + 999) / 1000);
        progress.postProgress(status, percent,
                              KeyTranslator::text("IDS_IPHONE_BACKUP_UNLOCK_LEFT_%1").arg(secondsLeft));
    };
}

void IPhoneBackupLoadThread::run()
{
    try {
        m_progress.postProgress(KeyTranslator::text("IDS_IPHONE_BACKUP_READING"), 0);
        const std::unique_ptr<AbsViberDb> reader =
            ViberSourceDetector::iosBackupReader(m_folder, cancelledBy(m_progress), reportedTo(m_progress));
        m_progress.postProgress(KeyTranslator::text("IDS_IPHONE_BACKUP_READING"), 99);
        if (m_progress.isCancelled())
            throw OperationCancelled();
        m_dataSet = reader->load();
        m_progress.postSucceed();
        return;
    } catch (const OperationCancelled&) {
    } catch (const WrongBackupPassword&) {
        m_wrongPassword = true;
        m_progress.postSucceed();
    } catch (const std::exception& e) {
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
    m_dataSet.reset();
}
