#include "db/EncryptedBackup.h"

#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "db/BackupCipher.h"
#include "db/BackupFileRecord.h"
#include "db/PropertyList.h"

#include <QVariantMap>

namespace {

QVariantMap properties(const QString& path)
{
    return PropertyList::readFile(path).toMap();
}

QByteArray keybagOf(const QString& path)
{
    const QByteArray keybag = properties(path).value(QStringLiteral("BackupKeyBag")).toByteArray();
    if (keybag.isEmpty())
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_KEYBAG_DAMAGED"));
    return keybag;
}

} // namespace

bool EncryptedBackup::isEncrypted(const QString& propertiesPath)
{
    return properties(propertiesPath).value(QStringLiteral("IsEncrypted")).toBool();
}

EncryptedBackup::EncryptedBackup(const QString& propertiesPath, const SecretBytes& password,
                                 const BackupKeybag::Cancelled& cancelled,
                                 const BackupKeybag::Progress& progress)
    : m_keybag(keybagOf(propertiesPath))
{
    m_keybag.unlock(password, cancelled, progress);
    // Before iOS 10.2 the manifest was not encrypted and the properties name no key.
    const QByteArray manifestKey =
        properties(propertiesPath).value(QStringLiteral("ManifestKey")).toByteArray();
    if (!manifestKey.isEmpty())
        m_manifestKey = m_keybag.unwrapKey(manifestKey);
}

EncryptedBackup::~EncryptedBackup() = default;

void EncryptedBackup::decryptManifest(const QString& stored, const QString& out) const
{
    if (m_manifestKey.isEmpty())
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_KEYBAG_DAMAGED"));
    BackupCipher::decryptFile(m_manifestKey, stored, out);
}

void EncryptedBackup::decryptFile(const QByteArray& archive, const QString& stored, const QString& out) const
{
    const std::optional<BackupFileRecord> record = BackupFileRecord::fromArchive(archive);
    if (!record || record->encryptionKey.isEmpty())
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_FILE_RECORD_DAMAGED_%1").arg(stored));
    try {
        BackupCipher::decryptFile(m_keybag.unwrapKey(record->encryptionKey), stored, out, record->size);
    } catch (const std::runtime_error& e) {
        // A file whose length does not fit its record is cut or still being written.
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_FILE_DAMAGED_%1_%2")
                 .arg(record->relativePath, QString::fromUtf8(e.what())));
    }
}
