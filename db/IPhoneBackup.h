#pragma once

#include "app/PrivateWorkFolder.h"
#include "app/Sqlite3DB.h"

#include <QString>

// An unencrypted iPhone backup folder as Finder, iTunes or idevicebackup2 make it.
// Manifest.db names every stored file by its app domain and path, and the file lies
// under "<first two characters of its id>/<id>". Nothing in the folder is ever changed:
// the manifest and Viber's database are read from private copies, media in place.
class IPhoneBackup
{
public:
    static constexpr auto ManifestFile = "Manifest.db";
    static constexpr auto PropertiesFile = "Manifest.plist";
    static constexpr auto ViberGroupDomain = "AppDomainGroup-group.viber.share.container";
    static constexpr auto ViberAppDomain = "AppDomain-com.viber";
    static constexpr auto ViberDatabase = "com.viber/database/Contacts.data";

    // A folder holding Manifest.db is taken for a backup.
    static bool isBackupFolder(const QString& folder);

    // Copies the manifest and Viber's database out of the backup. Throws with a text
    // for the user when the backup is encrypted, its manifest is damaged or it holds
    // no Viber history.
    explicit IPhoneBackup(const QString& folder);
    ~IPhoneBackup();
    IPhoneBackup(const IPhoneBackup&) = delete;
    IPhoneBackup& operator=(const IPhoneBackup&) = delete;

    QString folder() const { return m_folder; }
    // The private copy of Contacts.data, with the -wal and -shm the backup holds.
    QString viberDatabase() const { return m_viberDatabase; }

    // The stored file of a path in Viber's app folder ("Documents/Attachments/x.jpg");
    // empty when the backup holds none.
    QString appFile(const QString& relativePath);

private:
    void openManifest();
    QString storedFile(const QString& domain, const QString& relativePath);

    QString m_folder;
    PrivateWorkFolder m_work;
    Sqlite3DB m_manifest;
    QString m_viberDatabase;
};
