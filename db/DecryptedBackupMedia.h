#pragma once

#include "app/OnDemandFiles.h"
#include "app/PrivateWorkFolder.h"
#include "app/Sqlite3DB.h"

#include <QByteArray>
#include <QString>

#include <memory>

class EncryptedBackup;

// An unlocked encrypted iPhone backup for as long as its history is shown: the keys,
// the decrypted manifest (each file's key lies in its record) and a private folder in
// which a media file is decrypted the first time it is needed (OnDemandFiles). The data
// set loaded from the backup holds it, so when that source closes the keys are wiped
// and everything decrypted is removed.
class DecryptedBackupMedia
{
public:
    DecryptedBackupMedia(const QString& backupFolder, std::unique_ptr<EncryptedBackup> keys);
    ~DecryptedBackupMedia();
    DecryptedBackupMedia(const DecryptedBackupMedia&) = delete;
    DecryptedBackupMedia& operator=(const DecryptedBackupMedia&) = delete;

    const EncryptedBackup& keys() const { return *m_keys; }
    // Where the decrypted Manifest.db belongs; the media are made from its records.
    QString manifestPath() const;
    // The path the decrypted copy of a stored file (by its manifest id, checked by the
    // caller) gets when it is first prepared.
    QString mediaPath(const QString& fileId) const;

    // The stored file of a manifest id: "<first two characters>/<id>" in the backup.
    static QString storedPath(const QString& backupFolder, const QString& fileId);
    static bool isFileId(const QString& fileId);

private:
    void make(const QString& path);

    QString m_backup;
    std::unique_ptr<EncryptedBackup> m_keys;
    PrivateWorkFolder m_folder;
    Sqlite3DB m_manifest; // opened when the first file is made
    OnDemandFiles::Registration m_registration;
};
