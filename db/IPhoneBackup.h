#pragma once

#include "app/PrivateWorkFolder.h"
#include "app/Sqlite3DB.h"
#include "db/BackupKeybag.h"

#include <QHash>

#include <memory>
#include <optional>

#include <QString>

class DecryptedBackupMedia;

// An iPhone backup folder as Finder, iTunes or idevicebackup2 make it. Manifest.db names
// every stored file by its app domain and path, and the file lies under "<first two
// characters of its id>/<id>". Nothing in the folder is ever changed: the manifest and
// Viber's database are read from private copies, media in place. An encrypted backup
// (iOS 10.2 and later) opens with the password given for it in this session
// (BackupPasswords); its manifest and database are decrypted into private folders,
// never beside the backup, and its media when first needed (DecryptedBackupMedia).
class IPhoneBackup
{
public:
    static constexpr auto ManifestFile = "Manifest.db";
    static constexpr auto PropertiesFile = "Manifest.plist";
    static constexpr auto StatusFile = "Status.plist";
    static constexpr auto ViberGroupDomain = "AppDomainGroup-group.viber.share.container";
    static constexpr auto ViberAppDomain = "AppDomain-com.viber";
    static constexpr auto ViberDatabase = "com.viber/database/Contacts.data";

    // A folder holding Manifest.db is taken for a backup.
    static bool isBackupFolder(const QString& folder);
    // Where a backup stores a domain's file: "<first two>/<id>", the id being the SHA-1 of
    // "<domain>-<relative path>", whether or not the backup is encrypted.
    static QString storedPathOf(const QString& folder, const QString& domain, const QString& relativePath);

    // Copies (or decrypts) the manifest and Viber's database out of the backup. Throws
    // with a text for the user when the backup is encrypted and no password was given,
    // WrongBackupPassword for a wrong one, OperationCancelled when cancelled says so
    // while the password's key is derived (seconds on a real backup), and with a text
    // when the manifest is damaged or holds no Viber history.
    explicit IPhoneBackup(const QString& folder, const BackupKeybag::Cancelled& cancelled = {},
                          const BackupKeybag::Progress& progress = {});
    ~IPhoneBackup();
    IPhoneBackup(const IPhoneBackup&) = delete;
    IPhoneBackup& operator=(const IPhoneBackup&) = delete;

    QString folder() const { return m_folder; }
    // The private copy of Contacts.data, with the -wal and -shm the backup holds.
    QString viberDatabase() const { return m_viberDatabase; }

    // The stored file of a path in Viber's app folder ("Documents/Attachments/x.jpg");
    // empty when the backup holds none. For an encrypted backup, the path its decrypted
    // copy gets when OnDemandFiles prepares it.
    QString appFile(const QString& relativePath);

    // What decrypts an encrypted backup's media, for the data set to hold; null for a
    // backup that is not encrypted.
    std::shared_ptr<DecryptedBackupMedia> decryptedMedia() const { return m_decrypted; }

private:
    void unlock(const QString& properties, const BackupKeybag::Cancelled& cancelled,
                const BackupKeybag::Progress& progress);
    void openManifest();
    // The file of a domain's path, copied out and, in an encrypted backup, decrypted into
    // the working folder; empty when the backup holds none.
    QString copyOutFile(const QString& domain, const QString& relativePath, const QString& name);
    // The stored file of a manifest file id; empty for an id that is no file's.
    QString storedFile(const QString& fileId) const;

    QString m_folder;
    PrivateWorkFolder m_work;
    Sqlite3DB m_manifest;
    QString m_viberDatabase;
    std::shared_ptr<DecryptedBackupMedia> m_decrypted;
    std::optional<QHash<QString, QString>> m_appFiles; // Viber's app folder: path → file id
};
