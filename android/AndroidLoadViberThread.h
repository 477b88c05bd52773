#pragma once

#include "android/AndroidDevice.h"
#include "db/ViberDataSet.h"

#include <QFuture>
#include <QString>
#include <QStringList>
#include <QThread>

#include <chrono>
#include <memory>

class AndroidViberDb;
class AttachmentPlan;
class PrivateWorkFolder;
class ProgressChannel;
class QTcpSocket;

// Fetches Viber's databases from a connected phone into the phone's cache folder — by
// root commands of the agent on a rooted phone, else (or when root fails) through an adb
// backup archive the user confirms on the phone — loads them and downloads the
// attachment files they name. Reports only through the progress channel: a success
// without text, an error, or nothing when cancelled. After a success dataSet() holds
// what was loaded, so the caller never has to load the cache again.
class AndroidLoadViberThread : public QThread
{
    Q_OBJECT
public:
    // The waits of a run; tests shrink them.
    struct Timing
    {
        std::chrono::milliseconds sessionBudget{10000};
        // A root copy of a large database takes a while.
        std::chrono::milliseconds rootCommandWait{std::chrono::minutes(5)};
        std::chrono::milliseconds toolStart{10000};
        std::chrono::milliseconds backupTool{90000};
        std::chrono::milliseconds tipsWait{60000};
        std::chrono::milliseconds tipsPoll{300};
        std::chrono::milliseconds rootTipsPoll{500};
        std::chrono::milliseconds archiveRetries{89000};
        std::chrono::milliseconds archivePoll{500};
    };

    static constexpr auto ViberPackage = "com.viber.voip";
    // Viber's databases on the phone, readable with root only.
    static constexpr auto ViberDatabases = "/data/data/com.viber.voip/databases";
    // Android 12 (API level 31) leaves Viber out of backups.
    static constexpr int FirstSdkWithoutViberBackup = 31;

    // fetch false: only load what the cache already holds.
    AndroidLoadViberThread(const AndroidDevice& device, bool fetch, ProgressChannel& progress,
                           QObject* parent = nullptr);
    ~AndroidLoadViberThread() override;

    // Read after the thread has ended; empty unless the run succeeded.
    ViberDataSetPtr dataSet() const { return m_dataSet; }
    int failedAttachments() const { return m_failedAttachments; }
    void setTiming(const Timing& timing) { m_timing = timing; }
    // Where the backup route keeps its archive after the run; without one the archive
    // is private to the run and goes with it.
    void setArchiveFolder(const QString& folder) { m_archiveFolder = folder; }

    // The folder of Viber's files in a device's cache: "ab-extract/apps/com.viber.voip".
    static QString viberFolder(const QString& cacheDir);

protected:
    void run() override;

private:
    void load();
    // False when the root route failed; error then holds what the user is told.
    bool rootRoute(QString& error);
    void fetchDatabase(const QString& staging, const QString& name);
    void removeStaged(QTcpSocket& socket, const QString& staging, const QStringList& names, int waitMs,
                      const ProgressChannel* progress);
    void removeStagedAfterFailure(const QString& staging);
    void clearViberFolderKeepingManifest();
    // Copying the files of a running Viber can catch a database in the middle of a
    // write. The stop may go on beside the caller, who waits for it before copying.
    QFuture<void> startStoppingViber();
    void backupRoute();
    void waitForTipsClosed(std::chrono::milliseconds limit, std::chrono::milliseconds poll);
    void downloadAvatars(const ViberDataSet& dataSet);
    void downloadAttachments(const ViberDataSet& dataSet);
    // The plan's questions to the agent; a session that fails them is dropped and every
    // file left to be fetched.
    void learnMissingFiles(AttachmentPlan& plan);
    // Fetches one phone file (plain path or "file:" URI) unless it is cached already;
    // names that are not phone files are skipped.
    void fetch(const QString& remote, const QString& local);
    QTcpSocket& session();
    void dropSession();
    PrivateWorkFolder& workFolder();

    AndroidDevice m_device;
    bool m_fetch;
    ProgressChannel& m_progress;
    Timing m_timing;
    QString m_cacheDir;
    QString m_archiveFolder;
    std::unique_ptr<QTcpSocket> m_session;
    std::unique_ptr<PrivateWorkFolder> m_workFolder;
    // Names copied into the phone's staging folder by this run and not removed yet.
    QStringList m_staged;
    int m_failedAttachments = 0;
    ViberDataSetPtr m_dataSet;
};
