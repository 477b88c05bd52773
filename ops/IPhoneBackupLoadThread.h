#pragma once

#include "db/BackupKeybag.h"
#include "db/ViberDataSet.h"

#include <QString>
#include <QThread>

class ProgressChannel;

// Reads Viber's history out of an iPhone backup folder on a thread of its own. An
// encrypted backup first derives its password's key (BackupPasswords holds the
// password), which takes seconds on a real backup: the channel is shown how far that
// is, and a Cancel stops it within a poll. Reports only through the channel: a success
// without text, an error, or nothing when cancelled. A wrong password is no failure of
// the load but the user's to mend: the run ends with a success without text and
// wrongPassword() says so, so that the caller asks again without an error box.
class IPhoneBackupLoadThread : public QThread
{
    Q_OBJECT
public:
    IPhoneBackupLoadThread(const QString& folder, ProgressChannel& progress, QObject* parent = nullptr);
    ~IPhoneBackupLoadThread() override;

    // Read after the thread has ended; empty unless the backup was read.
    ViberDataSetPtr dataSet() const { return m_dataSet; }
    bool wrongPassword() const { return m_wrongPassword; }

    // The channel's cancel flag, asked while the key is derived.
    static BackupKeybag::Cancelled cancelledBy(const ProgressChannel& progress);
    // The derivation shown on the channel: the share of the estimated time, kept below
    // 100 until it is done, and the seconds left; the percentage alone until the
    // estimate is known.
    static BackupKeybag::Progress reportedTo(const ProgressChannel& progress);

protected:
    void run() override;

private:
    QString m_folder;
    ProgressChannel& m_progress;
    ViberDataSetPtr m_dataSet;
    bool m_wrongPassword = false;
};
