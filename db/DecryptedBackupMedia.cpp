#include "db/DecryptedBackupMedia.h"

#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/Sqlite3Error.h"
#include "db/EncryptedBackup.h"

#include <QFileInfo>
#include <QRegularExpression>

DecryptedBackupMedia::DecryptedBackupMedia(const QString& backupFolder, std::unique_ptr<EncryptedBackup> keys)
    : m_backup(backupFolder), m_keys(std::move(keys)),
      m_registration(m_folder.path(), [this](const QString& path) { make(path); })
{}

DecryptedBackupMedia::~DecryptedBackupMedia() = default;

QString DecryptedBackupMedia::manifestPath() const
{
    return m_folder.filePath(QStringLiteral("Manifest.db"));
}

QString DecryptedBackupMedia::mediaPath(const QString& fileId) const
{
    return m_folder.filePath(fileId);
}

QString DecryptedBackupMedia::storedPath(const QString& backupFolder, const QString& fileId)
{
    return isFileId(fileId) ? AppDirs::pathInside(backupFolder, fileId.left(2) + QLatin1Char('/') + fileId)
                            : QString();
}

bool DecryptedBackupMedia::isFileId(const QString& fileId)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-fA-F]{40}$"));
    return pattern.match(fileId).hasMatch();
}

void DecryptedBackupMedia::make(const QString& path)
{
    const QString fileId = QFileInfo(path).fileName();
    const QString stored = storedPath(m_backup, fileId);
    if (stored.isEmpty())
        return;
    QByteArray record;
    try {
        if (!m_manifest.isOpen())
            m_manifest.openThrow(manifestPath(), Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor c = m_manifest.queryThrow(
            Sqlite3Sql(QStringLiteral("select file from Files where fileID = ?")).addTextParam(fileId));
        if (c.moveNext())
            record = c.getBlob(0);
    } catch (const Sqlite3Error&) {
        fail(KeyTranslator::text("IDS_IPHONE_BACKUP_DAMAGED"));
    }
    m_keys->decryptFile(record, stored, path);
}
