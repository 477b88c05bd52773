#include "db/IPhoneBackup.h"

#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Error.h"
#include "app/SqliteFileSet.h"
#include "db/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

namespace {

constexpr auto EncryptedKey = "IsEncrypted";

// Manifest.plist is binary as Finder and the phone write it, XML as idevicebackup2 may;
// a file that does not read as either says nothing, and the manifest database tells an
// encrypted backup anyway.
bool propertiesSayEncrypted(const QString& path)
{
    const QVariant value = PropertyList::readFile(path).toMap().value(QLatin1String(EncryptedKey));
    return value.typeId() == QMetaType::Bool && value.toBool();
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

IPhoneBackup::IPhoneBackup(const QString& folder) : m_folder(QDir(folder).absolutePath())
{
    if (propertiesSayEncrypted(AppDirs::pathInside(m_folder, QLatin1String(PropertiesFile))))
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_ENCRYPTED"));
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

void IPhoneBackup::openManifest()
{
    const QString copy = m_work.filePath(QLatin1String(ManifestFile));
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
    return storedFile(QLatin1String(ViberAppDomain), relativePath);
}

QString IPhoneBackup::storedFile(const QString& domain, const QString& relativePath)
{
    static const QRegularExpression fileIdPattern(QStringLiteral("^[0-9a-fA-F]{40}$"));
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
    if (!fileIdPattern.match(fileId).hasMatch())
        return {};
    const QString path = AppDirs::pathInside(m_folder, fileId.left(2) + QLatin1Char('/') + fileId);
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && !info.isSymLink() ? path : QString();
}
