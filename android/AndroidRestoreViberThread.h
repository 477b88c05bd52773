#pragma once

#include "android/AndroidDevice.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

struct _ViberCall;
struct _ViberMsg;
class PrivateWorkFolder;
class ProgressChannel;
class QTcpSocket;

// Writes messages of any source into the Viber databases of a phone whose current files
// the load worker has just put into the device's cache. It merges into copies in a
// private working folder, places the media files on the phone, and writes the result
// back with root rights through the agent or, on phones that allow it, through an adb
// restore archive. The cache is replaced only after the phone took the files, so it
// always shows what the phone holds. Reports only through the progress channel.
class AndroidRestoreViberThread : public QThread
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
        // The user confirms the restore on the phone while the tool runs.
        std::chrono::milliseconds restoreTool{std::chrono::minutes(10)};
        std::chrono::milliseconds restoreFinish{15000};
        std::chrono::milliseconds tipsPoll{300};
        std::chrono::milliseconds rootTipsPoll{500};
    };

    // Android 12 (API level 31) ignores restore archives for Viber.
    static constexpr int FirstSdkWithoutViberRestore = 31;
    static constexpr int FirstSdkWithRestore = 15;

    AndroidRestoreViberThread(const AndroidDevice& device, QList<_ViberMsg*> messages,
                              ProgressChannel& progress, QObject* parent = nullptr);
    ~AndroidRestoreViberThread() override;

    void setTiming(const Timing& timing) { m_timing = timing; }
    // The copy of the phone's databases kept before this transfer; a transfer that
    // changes the phone marks it as the state an undo goes back to.
    void setKeptCopy(const QString& folder) { m_keptCopy = folder; }
    // Whether the phone's databases in the device's cache are of today's Viber, whose
    // files a transfer writes by their published schema rather than the app's word.
    static bool writesModernViber(const AndroidDevice& device);
    // Read after the thread has ended.
    qint64 queued() const { return m_queued; }
    qint64 written() const { return m_written; }
    int missingFiles() const { return m_missingFiles; }

protected:
    void run() override;

private:
    struct Upload
    {
        QString localPath;
        QString phonePath;
    };

    void transfer();
    // The reason no write-back route exists, empty when one does.
    QString missingRouteReason() const;
    bool restoreRoutePossible() const;
    QString manifestPath() const;
    void mergeInto(const QString& workRoot, bool& callsChanged);
    // Returns the check of the app's views on the merged copy, still running: nothing
    // may reach the phone before it has passed.
    std::future<void> mergeModernInto(const QString& workRoot, bool& callsChanged);
    // Waits for the check, then folds the messages database's log into its main file;
    // a failure of either ends the session socket, if one is open, and is rethrown.
    void awaitCheckedCopy(std::future<void>& viewsChecked, const QString& messagesDb,
                          std::unique_ptr<QTcpSocket>& socket);
    void mergeCalls(const QString& dataDbPath, const QList<const _ViberCall*>& calls, bool& callsChanged);
    QString phoneReference(const QString& relativePath, bool bareName) const;
    // False when the file does not go to the phone.
    bool planUpload(const QString& localPath, const QString& relativePath);
    // Whether the file is there to be sent; a missing one is counted.
    bool localFileReady(const QString& localPath);
    // Queues a file found ready for its place under the phone's storage.
    void addUpload(const QString& localPath, const QString& relativePath);
    void uploadMedia(QTcpSocket& socket);
    void clearPartialUpload(const QString& phonePath);
    // An empty file of the working folder, to overwrite what cannot be removed.
    QString emptyFile() const;
    // False when the root write failed; error then holds why.
    bool rootWrite(QTcpSocket& socket, const QString& workDb, bool withData, QString& error);
    void restoreRoute(const QString& workDb);
    // Fails unless a backup of the phone holds workDb as its messages database.
    void checkRestored(const QString& workDb);
    // The token of every message row of a phone database file, opened read-only.
    static QSet<qint64> messageTokens(const QString& databasePath);
    // The merged files become the cached copy of the phone's; they leave the work folder.
    void replaceCache(const QString& workDb, bool withData);
    static QString freshUploadUrl();
    int sessionWaitMs() const;
    std::unique_ptr<QTcpSocket> openUploadSession();
    void endSession(std::unique_ptr<QTcpSocket> socket);

    AndroidDevice m_device;
    QList<_ViberMsg*> m_messages;
    ProgressChannel& m_progress;
    Timing m_timing;
    QString m_cacheDir;
    QString m_keptCopy;
    std::unique_ptr<PrivateWorkFolder> m_workFolder;
    QList<Upload> m_uploads;
    qint64 m_queued = 0;
    qint64 m_written = 0;
    int m_missingFiles = 0;
    qint64 m_withoutIdentity = 0;
    // After a failed root write: the phone is known to hold its old databases.
    bool m_phoneUnchanged = true;
};
