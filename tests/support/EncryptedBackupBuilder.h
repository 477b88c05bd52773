#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

// The keys and encrypted files of an encrypted iPhone backup, made from a password with
// OpenSSL's own wrap and CBC (pinned by RFC 3394's vectors in tst_backupcrypto): a
// keybag with eleven class keys, Manifest.plist, the encrypted Manifest.db and encrypted
// files with their MBFile records for Manifest.db's Files.file. Phones use 10,000,000
// and 10,000 iterations; the tests take a few so that they run in no time.
class EncryptedBackupBuilder
{
public:
    static constexpr int ManifestClass = 4;
    static constexpr int FileClass = 3;

    // Throws std::runtime_error when OpenSSL fails.
    explicit EncryptedBackupBuilder(const QString& password, int passwordIterations = 2, int iterations = 2);

    QByteArray keybag() const { return m_keybag; }
    // ManifestKey: the class, 4 bytes little-endian, and the wrapped key.
    QByteArray manifestKey() const { return m_manifestKey; }
    QByteArray manifestPlainKey() const { return m_manifestPlainKey; }
    // Manifest.plist, binary, with IsEncrypted, BackupKeyBag and, from iOS 10.2 on,
    // ManifestKey.
    QByteArray manifestProperties(bool withManifestKey = true) const;
    // Manifest.db as the backup stores it.
    QByteArray encryptManifest(const QByteArray& database) const;

    struct StoredFile
    {
        QByteArray encrypted; // the bytes under "<two hex>/<file id>"
        QByteArray record;    // Files.file: the MBFile archived with NSKeyedArchiver
    };
    // A file encrypted with a key of its own, wrapped with the key of its class.
    StoredFile encryptFile(const QByteArray& plain, const QString& relativePath,
                           int protectionClass = FileClass) const;

    // A binary property list ("bplist00") of QVariantMap, QVariantList, QString,
    // QByteArray, bool, integers, double, QDateTime and UIDs (PropertyList::makeUid).
    static QByteArray binaryPropertyList(const QVariant& value);
    // An MBFile as NSKeyedArchiver archives it.
    static QByteArray fileRecord(qint64 size, int protectionClass, const QByteArray& encryptionKey,
                                 const QString& relativePath);
    // RFC 3394 wrap of a 32-byte key with a 32-byte key; AES-256-CBC, zero IV, PKCS#7.
    static QByteArray wrap(const QByteArray& kek, const QByteArray& key);
    static QByteArray encrypt(const QByteArray& key, const QByteArray& plain);
    static QByteArray tlv(const char* tag, const QByteArray& value);
    static QByteArray bigEndian(quint32 value);
    // The keybag with the value of the first header entry tag replaced.
    static QByteArray withHeaderValue(const QByteArray& keybag, const char* tag, const QByteArray& value);

private:
    QMap<int, QByteArray> m_classKeys;
    QByteArray m_keybag;
    QByteArray m_manifestPlainKey;
    QByteArray m_manifestKey;
};
