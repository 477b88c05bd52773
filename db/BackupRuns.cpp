#include "db/BackupRuns.h"

#include "app/Sqlite3Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace {

qint64 msecs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

QDateTime fromMsecs(qint64 value)
{
    return value > 0 ? QDateTime::fromMSecsSinceEpoch(value, Qt::UTC) : QDateTime();
}

BackupRuns::Outcome outcomeFrom(const QString& name)
{
    if (name == QLatin1String("failed"))
        return BackupRuns::Outcome::Failed;
    if (name == QLatin1String("cancelled"))
        return BackupRuns::Outcome::Cancelled;
    return BackupRuns::Outcome::Succeeded;
}

} // namespace

BackupRuns::BackupRuns(const QString& folder, Access access)
{
    if (access == Access::ReadOnly) {
        m_db.openThrow(path(folder), Sqlite3DB::OpenReadOnly);
        m_db.setBusyTimeout(10000);
        return;
    }
    m_db.openThrow(path(folder), Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
    m_db.setBusyTimeout(10000);
    m_db.executeScriptThrow(QStringLiteral(
        "create table if not exists runs (id integer primary key, source text not null, "
        "started integer not null, ended integer not null, complete integer not null, "
        "outcome text not null, message text, added integer not null, present integer not null, "
        "gone integer not null);"
        // last_run is the newest run of the source that found the message; gone_since the
        // start of the first complete run after it that did not.
        "create table if not exists seen (source text not null, message integer not null, "
        "last_run integer not null, gone_since integer, primary key (source, message)) without rowid;"
        "create index if not exists seen_message on seen (message);"));
}

QString BackupRuns::path(const QString& folder)
{
    return QDir(folder).filePath(QLatin1String(FileName));
}

QString BackupRuns::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::Succeeded:
        break;
    }
    return QStringLiteral("succeeded");
}

BackupRuns::Run BackupRuns::record(Run run, const QList<qint64>& seenMessages)
{
    Sqlite3Transaction transaction(m_db);
    m_db.executeThrow(
        Sqlite3Sql(QStringLiteral("insert into runs (source, started, ended, complete, outcome, "
                                  "message, added, present, gone) values (?,?,?,?,?,?,?,?,0)"))
            .addTextParam(run.source)
            .addInt64Param(msecs(run.started))
            .addInt64Param(msecs(run.ended))
            .addInt64Param(run.complete ? 1 : 0)
            .addTextParam(outcomeName(run.outcome))
            .addTextParam(run.message)
            .addInt64Param(run.added)
            .addInt64Param(run.present));
    run.id = m_db.lastInsertId();
    // A run that names no source cannot be compared with a later one.
    if (run.outcome == Outcome::Succeeded && !run.source.isEmpty()) {
        // A message found again is no longer gone, whatever an earlier run said. The rows
        // go in as one statement over a list: a statement per message took five seconds
        // for two million of them.
        QByteArray list;
        list.reserve(seenMessages.size() * 8 + 2);
        list += '[';
        for (const qint64 message : seenMessages) {
            if (list.size() > 1)
                list += ',';
            list += QByteArray::number(message);
        }
        list += ']';
        m_db.executeThrow(
            Sqlite3Sql(
                QStringLiteral("insert into seen (source, message, last_run, gone_since) select ?, value, "
                               "?, null from json_each(?) where true on conflict (source, message) do "
                               "update set last_run=excluded.last_run, gone_since=null"))
                .addTextParam(run.source)
                .addInt64Param(run.id)
                .addTextParam(QString::fromLatin1(list)));
        if (run.complete)
            markGone(run);
    }
    transaction.commit();
    return run;
}

void BackupRuns::markGone(Run& run)
{
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("update seen set gone_since=? where source=? and "
                                                "last_run<>? and gone_since is null"))
                          .addInt64Param(msecs(run.started))
                          .addTextParam(run.source)
                          .addInt64Param(run.id));
    run.gone = m_db.changes();
    m_db.executeThrow(Sqlite3Sql(QStringLiteral("update runs set gone=? where id=?"))
                          .addInt64Param(run.gone)
                          .addInt64Param(run.id));
}

QList<BackupRuns::Run> BackupRuns::runs()
{
    QList<Run> list;
    Sqlite3Cursor rows = m_db.queryThrow(Sqlite3Sql(QStringLiteral(
        "select id, source, started, ended, complete, outcome, message, added, present, gone from runs "
        "order by started desc, id desc")));
    while (rows.moveNext()) {
        Run run;
        run.id = rows.getInt64(0);
        run.source = rows.getText(1);
        run.started = fromMsecs(rows.getInt64(2));
        run.ended = fromMsecs(rows.getInt64(3));
        run.complete = rows.getInt64(4) != 0;
        run.outcome = outcomeFrom(rows.getText(5));
        run.message = rows.getText(6);
        run.added = rows.getInt64(7);
        run.present = rows.getInt64(8);
        run.gone = rows.getInt64(9);
        list.append(run);
    }
    return list;
}

QHash<qint64, QDateTime> BackupRuns::goneMessages()
{
    QHash<qint64, QDateTime> gone;
    // A message another source still holds is not gone from "the phone".
    Sqlite3Cursor rows = m_db.queryThrow(
        Sqlite3Sql(QStringLiteral("select message, min(gone_since) from seen group by message "
                                  "having count(gone_since) = count(*)")));
    while (rows.moveNext())
        gone.insert(rows.getInt64(0), fromMsecs(rows.getInt64(1)));
    return gone;
}

void BackupRuns::forgetIn(const QString& folder, const QList<qint64>& messages)
{
    if (messages.isEmpty() || !QFileInfo(path(folder)).isFile())
        return;
    BackupRuns runs(folder);
    Sqlite3Transaction transaction(runs.m_db);
    for (const qint64 message : messages)
        runs.m_db.executeThrow(
            Sqlite3Sql(QStringLiteral("delete from seen where message=?")).addInt64Param(message));
    transaction.commit();
}

QList<BackupRuns::Run> BackupRuns::runsIn(const QString& folder)
{
    if (!QFileInfo(path(folder)).isFile())
        return {};
    try {
        return BackupRuns(folder, Access::ReadOnly).runs();
    } catch (const std::exception& e) {
        qWarning("the backup runs of %s cannot be read: %s", qUtf8Printable(folder), e.what());
        return {};
    }
}

QHash<qint64, QDateTime> BackupRuns::goneMessagesIn(const QString& folder)
{
    if (!QFileInfo(path(folder)).isFile())
        return {};
    try {
        return BackupRuns(folder, Access::ReadOnly).goneMessages();
    } catch (const std::exception& e) {
        qWarning("the backup runs of %s cannot be read: %s", qUtf8Printable(folder), e.what());
        return {};
    }
}
