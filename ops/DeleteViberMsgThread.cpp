#include "ops/DeleteViberMsgThread.h"

#include "app/OperationCancelled.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "db/BackupRuns.h"
#include "db/IOSViberDb.h"
#include "db/ViberCall.h"
#include "db/ViberCodes.h"
#include "ops/OperationError.h"

namespace {

void deleteRows(IOSViberDb& db, const QString& sql, qint64 id)
{
    db.executeThrow(Sqlite3Sql(sql).addInt64Param(id));
}

// Undoes the run; a failure here must not hide why the run ended.
void rollbackQuietly(IOSViberDb& db)
{
    try {
        db.rollbackTran();
    } catch (const std::exception& e) {
        qWarning("DeleteViberMsgThread: rollback failed: %s", e.what());
    }
}

} // namespace

DeleteViberMsgThread::DeleteViberMsgThread(IOSViberDb& database, const QList<_ViberMsg*>& messages,
                                           ProgressChannel& progress, QObject* parent)
    : QThread(parent), m_db(database), m_messages(messages), m_progress(progress)
{}

void DeleteViberMsgThread::forgetGoneMarks()
{
    // The record of backups is beside the database, not part of it: the deletion stands
    // when it cannot be updated.
    QList<qint64> ids;
    for (const _ViberMsg* msg : std::as_const(m_messages)) {
        if (msg->type != ViberMsgType::Call)
            ids.append(msg->id);
    }
    try {
        BackupRuns::forgetIn(m_db.folder(), ids);
    } catch (const std::exception& e) {
        qWarning("the backup runs beside %s still name deleted messages: %s", qUtf8Printable(m_db.folder()),
                 e.what());
    }
}

void DeleteViberMsgThread::run()
{
    try {
        m_progress.postProgress(tr("IDS_DELETING_VIBER_MESSAGES"), 0, QString());
        m_db.open();
        m_db.beginTran();
        const int total = int(m_messages.size());
        int k = 0;
        ProgressThrottle throttle;
        for (const _ViberMsg* msg : std::as_const(m_messages)) {
            ++k;
            const int percent = int(qint64(k) * 100 / total);
            if (throttle.due(percent, k == total))
                m_progress.postProgress(QString(), percent, QString());
            if (msg->type == ViberMsgType::Call) {
                // A call record is a ZRECENT row; its recents line groups all calls of
                // one person and goes only when none of them is left (below).
                if (msg->call)
                    deleteRows(m_db, QStringLiteral("delete from ZRECENT where Z_PK=?"), msg->call->id);
            } else {
                deleteRows(m_db, QStringLiteral("delete from ZATTACHMENT where ZMESSAGE=?"), msg->id);
                deleteRows(m_db, QStringLiteral("delete from ZVIBERLOCATION where ZMESSAGE=?"), msg->id);
                deleteRows(m_db, QStringLiteral("delete from ZVIBERMESSAGE where Z_PK=?"), msg->id);
            }
            if (m_progress.isCancelled())
                throw OperationCancelled();
        }
        m_db.executeThrow(
            Sqlite3Sql(QStringLiteral("delete from ZRECENTSLINE where not exists (select 1 from "
                                      "ZRECENT as r where r.ZRECENTSLINE=ZRECENTSLINE.Z_PK)")));
        m_db.refreshRecentsLines();
        m_db.executeThrow(
            Sqlite3Sql(QStringLiteral("DELETE FROM ZCONVERSATION WHERE (SELECT 1 from ZVIBERMESSAGE WHERE "
                                      "ZVIBERMESSAGE.ZCONVERSATION=ZCONVERSATION.Z_PK LIMIT 1) IS NULL")));
        m_db.executeThrow(Sqlite3Sql(
            QStringLiteral("update ZCONVERSATION set ZDATE=(select max(ZDATE) from ZVIBERMESSAGE as m where "
                           "m.ZCONVERSATION=ZCONVERSATION.Z_PK)")));
        m_db.commitTran();
        forgetGoneMarks();
        // The messages are gone once committed; VACUUM only hands the freed pages back.
        QString error;
        if (m_db.exec(QStringLiteral("VACUUM"), error) != 0)
            qWarning("DeleteViberMsgThread: VACUUM failed: %s", qUtf8Printable(error));
        m_progress.postSucceed(UserText::plain(tr("IDS_SUC_DEL_%1_VIBER_MESSAGES").arg(k)));
    } catch (const OperationCancelled&) {
        rollbackQuietly(m_db);
    } catch (const std::exception& e) {
        rollbackQuietly(m_db);
        m_progress.postError(
            UserText::plain(QStringLiteral("DeleteViberMsgThread, ") + QString::fromUtf8(e.what())));
    }
}
