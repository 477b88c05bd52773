#pragma once

#include "android/AndroidDevice.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ProgressChannel;
class QIODevice;
class QTcpSocket;

// Puts new Viber database files into place on a rooted phone so that, whatever breaks
// (a pulled cable, a full /data, a phone that dies), the phone holds either its old
// files or the complete new ones, never a cut file or a new file beside an old log.
//
// Each file travels to the phone's shared storage first, then root copies it under a
// temporary name beside the file it replaces, gives it that file's owner, mode and
// security context, syncs it and checks it on the phone (size, owner, mode, context and
// SHA-256 against the desktop's copy). Only when every file passed is anything of
// Viber's renamed: the old file keeps a second name, its log and index move aside, the
// new file is renamed over it. A failure after that puts the old names back. The staged
// copies are removed after a success or once the phone is back to its old files.
//
// Failures raise std::runtime_error with a UTF-8 message; cancellation is honoured only
// while the files travel, before the phone's own files change.
class PhoneDatabaseInstaller
{
public:
    struct File
    {
        QString name; // "viber_messages" or "viber_data"
        QString localPath;
    };
    // A fresh session for clearing up after a failure: the one that failed may be
    // broken or in the middle of a transfer.
    using SessionOpener = std::function<std::unique_ptr<QTcpSocket>()>;

    static constexpr auto NewSuffix = ".velliport-new";
    static constexpr auto OldSuffix = ".velliport-old";

    PhoneDatabaseInstaller(const AndroidDevice& device, ProgressChannel& progress, SessionOpener openSession,
                           int commandWaitMs);

    // Uploads the files to the staging folder; nothing of Viber's changes. Raises
    // IDS_ROOT_INVALID_AUTHORIZATION when root is refused.
    void stage(QTcpSocket& socket, const QList<File>& files);
    // Stops Viber and installs what stage() sent. On failure the phone is put
    // back to its old files where it can be reached, and the error says whether it was.
    void install(QTcpSocket& socket);
    // After a failure: whether the phone is known to hold its old files.
    bool phoneUnchanged() const { return m_phoneUnchanged; }
    // The phone-side staging folder ("<storage>/viber/su").
    QString stagingFolder() const;

private:
    struct Target
    {
        QString name;
        QString localPath;
        QByteArray sha256;
        qint64 size = 0;
        QString owner; // "uid gid mode context" of the file replaced
    };

    QString target(const QString& name) const;
    QString staged(const QString& name) const;
    // The temporary names of every file beside the phone's databases.
    QStringList temporaryNames() const;
    void stopViber(QIODevice& socket);
    void removeAll(QIODevice& socket, const QStringList& paths, bool required);
    QSet<QString> databaseFolderNames(QIODevice& socket);
    QString ownership(QIODevice& socket, const QString& path, const QString& extraField);
    void prepare(QIODevice& socket, Target& file);
    void check(QIODevice& socket, const Target& file);
    void swap(QIODevice& socket, const Target& file, const QSet<QString>& present);
    // Puts every file back to its old name, whatever step broke: what the phone holds
    // is read on the phone, not remembered.
    void rollBack(QIODevice& socket);
    void recover();
    [[noreturn]] void failAfterRecovery(const QString& error);
    int run(QIODevice& socket, const QString& command);
    void require(QIODevice& socket, const QString& command, const QString& step);

    AndroidDevice m_device;
    ProgressChannel& m_progress;
    SessionOpener m_openSession;
    int m_waitMs;
    QList<Target> m_files;
    bool m_swapStarted = false;
    bool m_phoneUnchanged = true;
};
