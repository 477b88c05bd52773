#pragma once

#include "app/LocalFileIndex.h"
#include "db/BackupRuns.h"
#include "db/SearchIndexFeed.h"
#include "db/ViberMsg.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QThread>

#include <optional>

class IOSViberDb;
class ProgressChannel;
struct _ViberChat;

// Backs messages of any source up into a local database, with their conversations,
// participants, calls and media files, in one transaction. Messages already there
// (same token, within a minute) are not written again, but their missing files are.
class BackupViberMsgThread : public QThread
{
    Q_OBJECT
public:
    static constexpr auto DatabaseFile = "Documents/Contacts-kestrune.data";

    // The messages stay owned by their data set, which must outlive the worker.
    BackupViberMsgThread(const QList<_ViberMsg*>& messages, const QString& targetFolder,
                         ProgressChannel& progress, QObject* parent = nullptr);

    // Where the messages come from ("phone:SERIAL", or the source's absolute path), for
    // the database's record of its runs; complete when they are every message the source
    // holds, so that the run can tell which stored messages the source no longer has.
    void setRunSource(const QString& source, bool complete);

    // The order of the run: each chat's messages together and in time order.
    static void sortForBackup(QList<_ViberMsg*>& messages);

    // Whether a name typed for a local database can be one: not blank, and none of
    // \ / : * ? " < > | or line breaks and tabs.
    static bool isBlankName(const QString& name);
    static bool isValidName(const QString& name);

protected:
    void run() override;

private:
    std::optional<SearchIndexFeed> startSearchFeed();
    void updateSearchIndex();
    void recordRun(BackupRuns::Outcome outcome, const QString& message);
    void backup();
    void copyContactPhotos(const _ViberChat& chat);
    void copyMedia(const _ViberMsg& msg, qint64 attachmentPk, bool newAttachment);

    QList<_ViberMsg*> m_messages;
    QString m_target;
    ProgressChannel& m_progress;
    int m_processed = 0;
    int m_added = 0;   // messages and calls written by this run
    int m_present = 0; // found in the database already
    qint64 m_gone = 0; // stored messages the source no longer holds
    QString m_source;
    bool m_complete = false;
    QDateTime m_started;
    QList<qint64> m_seen;         // the stored rows of the messages this run took
    LocalFileIndex m_sources;     // the media files the messages name
    bool m_searchIndexed = false; // the run's rows went into the search index with it
};
