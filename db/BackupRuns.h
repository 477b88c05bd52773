#pragma once

#include "app/Sqlite3DB.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// What the backups into one local database did, kept in a file of its own beside it
// (the database keeps the schema the app knows): every run with its source, times,
// counts and outcome, and for each source the stored messages it held at its last
// complete run. A message that a later complete run of the same source no longer
// finds is "gone from the phone" since that run; the stored row itself never changes.
// Unlike the search index this file is history: a damaged one is reported, never
// replaced.
class BackupRuns
{
public:
    static constexpr auto FileName = "backup-runs.sqlite";

    enum class Outcome { Succeeded, Failed, Cancelled };
    struct Run
    {
        qint64 id = 0;
        QString source; // "phone:SERIAL", or the source's absolute path
        QDateTime started;
        QDateTime ended;
        // Whether the run took every message of its source: only such a run can tell
        // what the source no longer holds.
        bool complete = false;
        Outcome outcome = Outcome::Succeeded;
        QString message; // why it failed
        qint64 added = 0;
        qint64 present = 0;
        qint64 gone = 0; // stored messages this run found gone from its source
    };

    // Opens (or, for writing, makes) the run file of the local database in folder.
    // Throws std::runtime_error when the file cannot be read.
    enum class Access { ReadOnly, ReadWrite };
    explicit BackupRuns(const QString& folder, Access access = Access::ReadWrite);

    // Records a finished run and the stored messages (rows of the local database) it
    // found in its source, marking the messages gone that the source held at its earlier
    // runs and no longer holds, when the run was complete. All of it lands or none.
    // Returns the run as recorded, gone count and id filled in.
    Run record(Run run, const QList<qint64>& seenMessages);

    // Newest first.
    QList<Run> runs();
    // The stored messages gone from every source that held them, with the time of the
    // first run that found them gone.
    QHash<qint64, QDateTime> goneMessages();

    static QString path(const QString& folder);
    // Empty when the folder has no run file yet; look-ups never make one.
    static QList<Run> runsIn(const QString& folder);
    static QHash<qint64, QDateTime> goneMessagesIn(const QString& folder);

    static QString outcomeName(Outcome outcome);

    // Stored messages deleted from the local database: no source can lose them any more,
    // and a row id SQLite hands out again must not inherit their marks. Nothing happens
    // in a folder without a run file.
    static void forgetIn(const QString& folder, const QList<qint64>& messages);

private:
    void markGone(Run& run);

    Sqlite3DB m_db;
};
