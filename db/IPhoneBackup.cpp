#include "db/IPhoneBackup.h"

#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Error.h"
#include "app/SqliteFileSet.h"
#include "db/BackupPasswords.h"
#include "db/EncryptedBackup.h"
#include "db/WrongBackupPassword.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>

#include <map>
#include <memory>

#include <sqlite3.h>

namespace {

// Decrypted media outlive the reader that made them: the records point at them for as
// long as the program shows the backup. One private folder per backup for the session,
// removed when the program ends.
std::shared_ptr<PrivateWorkFolder> decryptedMediaFolder(const QString& backup)
{
    static QMutex mutex;
    static std::map<QString, std::shared_ptr<PrivateWorkFolder>> folders;
    const QMutexLocker locker(&mutex);
    std::shared_ptr<PrivateWorkFolder>& folder = folders[backup];
    if (!folder)
        folder = std::make_shared<PrivateWorkFolder>();
    return folder;
}

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

IPhoneBackup::IPhoneBackup(const QString& folder, const BackupKeybag::Cancelled& cancelled,
                           const BackupKeybag::Progress& progress)
    : m_folder(QDir(folder).absolutePath())
{
    const QString properties = AppDirs::pathInside(m_folder, QLatin1String(PropertiesFile));
    if (EncryptedBackup::isEncrypted(properties))
        unlock(properties, cancelled, progress);
    openManifest();
    const QString group = QLatin1String(ViberGroupDomain);
    const QString database = QLatin1String(ViberDatabase);
    const QString stored = storedFile(group, database);
    if (stored.isEmpty())
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_NO_VIBER"));
    m_viberDatabase = m_work.filePath(QFileInfo(database).fileName());
    copyOut(stored, m_viberDatabase);
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QString companion = storedFile(group, database + suffix);
        if (!companion.isEmpty())
            copyOut(companion, m_viberDatabase + suffix);
    }
}

IPhoneBackup::~IPhoneBackup() = default;

void IPhoneBackup::unlock(const QString& properties, const BackupKeybag::Cancelled& cancelled,
                          const BackupKeybag::Progress& progress)
{
    const std::optional<SecretBytes> password = BackupPasswords::password(m_folder);
    if (!password)
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_ENCRYPTED"));
    try {
        m_encrypted = std::make_unique<EncryptedBackup>(properties, *password, cancelled, progress);
    } catch (const WrongBackupPassword&) {
        // The next open asks again instead of trying the same password.
        BackupPasswords::forget(m_folder);
        throw;
    }
    m_media = decryptedMediaFolder(m_folder);
}

void IPhoneBackup::openManifest()
{
    const QString copy = m_work.filePath(QLatin1String(ManifestFile));
    if (m_encrypted)
        m_encrypted->decryptManifest(AppDirs::pathInside(m_folder, QLatin1String(ManifestFile)), copy);
    else
        SqliteFileSet::copySet(AppDirs::pathInside(m_folder, QLatin1String(ManifestFile)), copy);
    for (const QString& file : QDir(m_work.path()).entryList(QDir::Files))
        PrivateWorkFolder::restrictToOwner(m_work.filePath(file));
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
        return fileId.isEmpty() ? QString() : fileFor(fileId);
    } catch (const Sqlite3Error&) {
        qWarning("the manifest's list of Viber's files cannot be read");
        return {};
    } catch (const std::runtime_error& e) {
        // One damaged picture of an encrypted backup is a missing file, not a lost history.
        qWarning("%s", e.what());
        return {};
    }
}

QString IPhoneBackup::storedFile(const QString& domain, const QString& relativePath)
{
    QString fileId;
    try {
        // flags 1 marks a plain file; folders and links have no stored copy.
        Sqlite3Cursor c = m_manifest.queryThrow(
            Sqlite3Sql(QStringLiteral(
                           "select fileID from Files where domain = ? and relativePath = ? and flags = 1"))
                .addTextParam(domain)
                .addTextParam(relativePath));
        if (!c.moveNext())
            return {};
        fileId = c.getText(0);
    } catch (const Sqlite3Error&) {
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_DAMAGED"));
    }
    return fileFor(fileId);
}

QString IPhoneBackup::fileFor(const QString& fileId)
{
    static const QRegularExpression fileIdPattern(QStringLiteral("^[0-9a-fA-F]{40}$"));
    if (!fileIdPattern.match(fileId).hasMatch())
        return {};
    const QString path = AppDirs::pathInside(m_folder, fileId.left(2) + QLatin1Char('/') + fileId);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.isSymLink())
        return {};
    if (!m_encrypted)
        return path;
    // Decrypted once, named by its id (checked above), readable by its owner only.
    const QString decrypted = m_media->filePath(fileId.toLower());
    if (QFileInfo::exists(decrypted))
        return decrypted;
    QByteArray record;
    try {
        Sqlite3Cursor c = m_manifest.queryThrow(
            Sqlite3Sql(QStringLiteral("select file from Files where fileID = ?")).addTextParam(fileId));
        if (c.moveNext())
            record = c.getBlob(0);
    } catch (const Sqlite3Error&) {
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_DAMAGED"));
    }
    m_encrypted->decryptFile(record, path, decrypted);
    return decrypted;
}
