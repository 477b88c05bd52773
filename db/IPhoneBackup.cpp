#include "db/IPhoneBackup.h"

#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Error.h"
#include "app/SqliteFileSet.h"
#include "db/BackupPasswords.h"
#include "db/DecryptedBackupMedia.h"
#include "db/EncryptedBackup.h"
#include "db/PropertyList.h"
#include "db/WrongBackupPassword.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

#include <sqlite3.h>

namespace {

// Backup files are copied out before SQLite sees them, so that nothing SQLite does on
// opening (a log replayed, an index file made) can touch the backup.
void copyOut(const QString& source, const QString& target)
{
    if (!QFile::copy(source, target))
        fail(QStringLiteral("copy %1 to %2 failed.").arg(source, target));
    PrivateWorkFolder::restrictToOwner(target);
}

} // namespace

bool IPhoneBackup::isBackupFolder(const QString& folder)
{
    return QFileInfo(QDir(folder).filePath(QLatin1String(ManifestFile))).isFile();
}

QString IPhoneBackup::storedPathOf(const QString& folder, const QString& domain, const QString& relativePath)
{
    const QString id =
        QString::fromLatin1(QCryptographicHash::hash((domain + QLatin1Char('-') + relativePath).toUtf8(),
                                                     QCryptographicHash::Sha1)
                                .toHex());
    return DecryptedBackupMedia::storedPath(folder, id);
}

IPhoneBackup::IPhoneBackup(const QString& folder, const BackupKeybag::Cancelled& cancelled,
                           const BackupKeybag::Progress& progress)
    : m_folder(QDir(folder).absolutePath())
{
    // Finder, iTunes and idevicebackup2 say "finished" once every file is written; a
    // backup without the status (made by other tools) is taken as it is.
    const QVariant snapshot = PropertyList::readFile(AppDirs::pathInside(m_folder, QLatin1String(StatusFile)))
                                  .toMap()
                                  .value(QStringLiteral("SnapshotState"));
    if (snapshot.isValid() && snapshot.toString() != QLatin1String("finished"))
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_UNFINISHED"));
    const QString properties = AppDirs::pathInside(m_folder, QLatin1String(PropertiesFile));
    if (EncryptedBackup::isEncrypted(properties))
        unlock(properties, cancelled, progress);
    openManifest();
    const QString group = QLatin1String(ViberGroupDomain);
    const QString database = QLatin1String(ViberDatabase);
    const QString name = QFileInfo(database).fileName();
    m_viberDatabase = copyOutFile(group, database, name);
    if (m_viberDatabase.isEmpty())
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_NO_VIBER"));
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
        copyOutFile(group, database + suffix, name + suffix);
}

IPhoneBackup::~IPhoneBackup() = default;

void IPhoneBackup::unlock(const QString& properties, const BackupKeybag::Cancelled& cancelled,
                          const BackupKeybag::Progress& progress)
{
    const std::optional<SecretBytes> password = BackupPasswords::password(m_folder);
    if (!password)
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_ENCRYPTED"));
    try {
        m_decrypted = std::make_shared<DecryptedBackupMedia>(
            m_folder, std::make_unique<EncryptedBackup>(properties, *password, cancelled, progress));
    } catch (const WrongBackupPassword&) {
        // The next open asks again instead of trying the same password.
        BackupPasswords::forget(m_folder);
        throw;
    }
}

void IPhoneBackup::openManifest()
{
    const QString stored = AppDirs::pathInside(m_folder, QLatin1String(ManifestFile));
    QString copy = m_work.filePath(QLatin1String(ManifestFile));
    // An encrypted backup's manifest lies beside the media it names the keys of, for as
    // long as they may be decrypted.
    if (m_decrypted)
        copy = m_decrypted->manifestPath();
    if (m_decrypted && m_decrypted->keys().encryptsManifest()) {
        m_decrypted->keys().decryptManifest(stored, copy);
    } else {
        SqliteFileSet::copySet(stored, copy);
        const QDir folder = QFileInfo(copy).dir();
        for (const QString& file : folder.entryList(QDir::Files))
            PrivateWorkFolder::restrictToOwner(folder.filePath(file));
    }
    try {
        m_manifest.openThrow(copy, Sqlite3DB::OpenReadOnly);
        m_manifest.applyDefensiveSettings();
        SchemaCatalogue catalogue;
        catalogue.readCatalogue(m_manifest);
        const QString files = QStringLiteral("Files");
        for (const char* column : {"fileID", "domain", "relativePath", "flags"}) {
            if (!catalogue.hasColumn(files, QLatin1String(column)))
                fail(KeyTranslator::text("IDS_IPHONE_BACKUP_DAMAGED"));
        }
    } catch (const Sqlite3Error& e) {
        m_manifest.close();
        // An encrypted backup encrypts its manifest too; SQLite sees no database at all.
        fail(KeyTranslator::text((e.code() & 0xff) == SQLITE_NOTADB ? "IDS_IPHONE_BACKUP_ENCRYPTED"
                                                                    : "IDS_IPHONE_BACKUP_DAMAGED"));
    }
}

QString IPhoneBackup::appFile(const QString& relativePath)
{
    try {
        // A load asks for every attachment: one query for the app's whole folder beats a
        // query per file several times over.
        if (!m_appFiles) {
            m_appFiles.emplace();
            Sqlite3Cursor c = m_manifest.queryThrow(
                Sqlite3Sql(
                    QStringLiteral("select relativePath, fileID from Files where domain = ? and flags = 1"))
                    .addTextParam(QLatin1String(ViberAppDomain)));
            while (c.moveNext())
                m_appFiles->insert(c.getText(0), c.getText(1));
        }
        const QString fileId = m_appFiles->value(relativePath);
        const QString stored = storedFile(fileId);
        return stored.isEmpty() || !m_decrypted ? stored : m_decrypted->mediaPath(fileId);
    } catch (const Sqlite3Error&) {
        qWarning("the manifest's list of Viber's files cannot be read");
        return {};
    }
}

QString IPhoneBackup::copyOutFile(const QString& domain, const QString& relativePath, const QString& name)
{
    QString fileId;
    QByteArray record;
    try {
        // flags 1 marks a plain file; folders and links have no stored copy.
        Sqlite3Cursor c = m_manifest.queryThrow(
            Sqlite3Sql(QStringLiteral("select fileID, file from Files where domain = ? and relativePath = ? "
                                      "and flags = 1"))
                .addTextParam(domain)
                .addTextParam(relativePath));
        if (!c.moveNext())
            return {};
        fileId = c.getText(0);
        record = c.getBlob(1);
    } catch (const Sqlite3Error&) {
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_DAMAGED"));
    }
    const QString stored = storedFile(fileId);
    if (stored.isEmpty())
        return {};
    const QString copy = m_work.filePath(name);
    if (m_decrypted)
        m_decrypted->keys().decryptFile(record, stored, copy);
    else
        copyOut(stored, copy);
    return copy;
}

QString IPhoneBackup::storedFile(const QString& fileId) const
{
    const QString path = DecryptedBackupMedia::storedPath(m_folder, fileId);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.isSymLink())
        return {};
    return path;
}
