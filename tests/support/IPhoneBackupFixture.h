#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class EncryptedBackupBuilder;

// An iPhone backup folder as Finder, iTunes or idevicebackup2 leave it: Manifest.db
// made with SQL, every file stored as "<two hex>/<SHA-1 of domain-relativePath>",
// Viber's Contacts.data from IOSMemberFixture (in write-ahead mode, one message only in
// its -wal) and one picture in the app's Attachments folder. The voice message's row
// carries a file id that tries to leave the folder.
class IPhoneBackupFixture
{
public:
    enum class Shape {
        Unencrypted,
        EncryptedByProperties, // Manifest.plist says IsEncrypted; the manifest itself is readable
        EncryptedManifest,     // Manifest.db is no SQLite file, as encryption leaves it
        DamagedManifest,       // the pages of the Files table overwritten
        ManifestWithoutFiles,  // an SQLite file without the Files table
        WithoutViber,          // another app's files only
        Encrypted,             // encrypted as iOS 10.2 and later do, with Password
        EncryptedFilesOnly,    // encrypted as iOS 10.0 and 10.1 did: the files, not the manifest
        Unfinished,            // Status.plist says the backup is still being written
    };

    // The password of the Encrypted shape.
    static constexpr auto Password = "correct horse – 🐎 battery";

    static constexpr auto PictureFile = "Documents/Attachments/IMG_0001.jpg";
    // The text of the message that is only in Contacts.data-wal.
    static constexpr auto WalOnlyText = "Solo en el registro";

    // Throws std::runtime_error when the folder cannot be built.
    explicit IPhoneBackupFixture(Shape shape = Shape::Unencrypted);
    ~IPhoneBackupFixture();

    QString folder() const { return m_dir.path(); }
    QString storedPath(const QString& domain, const QString& relativePath) const;
    static QString fileId(const QString& domain, const QString& relativePath);
    static QByteArray pictureBytes();

    // Every file below folder with its bytes, to tell whether anything changed there.
    static QMap<QString, QByteArray> snapshot(const QString& folder);

private:
    void store(const QString& domain, const QString& relativePath, const QByteArray& bytes);
    void addRow(const QString& fileId, const QString& domain, const QString& relativePath, int flags,
                const QByteArray& record = {});
    void damageFilesTable() const;

    QTemporaryDir m_dir;
    QString m_manifestSql;
    std::unique_ptr<EncryptedBackupBuilder> m_encryption;
};
