#pragma once

#include "db/BackupKeybag.h"
#include "db/SecretBytes.h"

#include <QByteArray>
#include <QString>

// The keys of an encrypted iPhone backup (iOS 10.2 and later), unlocked with the
// owner's password, and the decryption of its manifest and files. Decrypted files go
// where the caller says: its private working folder, never beside the backup. The keys
// are wiped when the object goes.
class EncryptedBackup
{
public:
    // propertiesPath: the backup's Manifest.plist. Throws WrongBackupPassword for a
    // password that opens no key, OperationCancelled, and std::runtime_error with a text
    // for the user for a missing or damaged keybag.
    EncryptedBackup(const QString& propertiesPath, const SecretBytes& password,
                    const BackupKeybag::Cancelled& cancelled = {},
                    const BackupKeybag::Progress& progress = {});
    ~EncryptedBackup();
    EncryptedBackup(const EncryptedBackup&) = delete;
    EncryptedBackup& operator=(const EncryptedBackup&) = delete;

    // Whether Manifest.plist says the backup is encrypted.
    static bool isEncrypted(const QString& propertiesPath);

    // Whether Manifest.db is encrypted: from iOS 10.2 on, with the manifest key; before,
    // only the files were.
    bool encryptsManifest() const { return !m_manifestKey.isEmpty(); }
    // Manifest.db, stored encrypted with the manifest key, decrypted into out.
    void decryptManifest(const QString& stored, const QString& out) const;
    // A stored file decrypted into out with the key of its Files.file record (archive).
    // Throws with a text for the user when the record is no file's or the stored file's
    // size does not match it; out is then not left behind.
    void decryptFile(const QByteArray& archive, const QString& stored, const QString& out) const;

private:
    BackupKeybag m_keybag;
    SecretBytes m_manifestKey;
};
