#include "db/IPhoneBackup.h"

#include "app/AppDirs.h"
#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Error.h"
#include "app/SqliteFileSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <optional>

#include <sqlite3.h>

namespace {

// Manifest.plist holds little beside the app list; a larger file is not read, and the
// manifest database tells an encrypted backup anyway.
constexpr qint64 MaxPropertiesSize = 16 * 1024 * 1024;
constexpr auto EncryptedKey = "IsEncrypted";

quint64 readBigEndian(const QByteArray& data, qint64 offset, int size, bool& ok)
{
    if (size < 1 || size > 8 || offset < 0 || offset > data.size() - size) {
        ok = false;
        return 0;
    }
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | quint8(data[offset + i]);
    return value;
}

// A boolean entry of the top dictionary of a binary property list ("bplist00"), as
// Finder and the phone itself write Manifest.plist. Every offset and count comes from
// the file, so each is checked against its size before it is followed.
std::optional<bool> binaryFlag(const QByteArray& data, QLatin1String key)
{
    constexpr int TrailerSize = 32;
    if (data.size() < 8 + TrailerSize || !data.startsWith("bplist00"))
        return {};
    const qint64 trailer = data.size() - TrailerSize;
    const int offsetSize = quint8(data[trailer + 6]);
    const int refSize = quint8(data[trailer + 7]);
    bool ok = true;
    const quint64 count = readBigEndian(data, trailer + 8, 8, ok);
    const quint64 top = readBigEndian(data, trailer + 16, 8, ok);
    const quint64 table = readBigEndian(data, trailer + 24, 8, ok);
    if (!ok || offsetSize > 8 || refSize > 8 || top >= count || count > quint64(trailer) ||
        table >= quint64(trailer))
        return {};
    const auto objectAt = [&](quint64 ref) -> qint64 {
        if (ref >= count)
            ok = false;
        const quint64 at = ok ? readBigEndian(data, qint64(table + ref * offsetSize), offsetSize, ok) : 0;
        if (at >= quint64(trailer))
            ok = false;
        return ok ? qint64(at) : 0;
    };
    // The low half of a marker is the length; 15 means an integer object follows with it.
    const auto lengthAt = [&](qint64& at) -> qint64 {
        const int low = quint8(data[at++]) & 0x0f;
        if (low != 0x0f)
            return low;
        const int marker = at < trailer ? quint8(data[at]) : 0;
        if ((marker & 0xf0) != 0x10 || (marker & 0x0f) > 3) {
            ok = false;
            return 0;
        }
        const int size = 1 << (marker & 0x0f);
        const quint64 length = readBigEndian(data, at + 1, size, ok);
        at += 1 + size;
        if (length > quint64(trailer))
            ok = false;
        return ok ? qint64(length) : 0;
    };
    qint64 at = objectAt(top);
    if (!ok || (quint8(data[at]) & 0xf0) != 0xd0)
        return {};
    const qint64 entries = lengthAt(at);
    for (qint64 i = 0; ok && i < entries; ++i) {
        const quint64 keyRef = readBigEndian(data, at + i * refSize, refSize, ok);
        const quint64 valueRef = readBigEndian(data, at + (entries + i) * refSize, refSize, ok);
        qint64 keyAt = objectAt(keyRef);
        if (!ok)
            return {};
        const bool ascii = (quint8(data[keyAt]) & 0xf0) == 0x50;
        const qint64 size = lengthAt(keyAt);
        if (!ok || !ascii || size != key.size() || keyAt > trailer - size ||
            QLatin1String(data.constData() + keyAt, size) != key)
            continue;
        const qint64 valueAt = objectAt(valueRef);
        if (!ok)
            return {};
        switch (quint8(data[valueAt])) {
        case 0x08:
            return false;
        case 0x09:
            return true;
        default:
            return {};
        }
    }
    return {};
}

// The same entry of an XML property list, as idevicebackup2 may write it.
std::optional<bool> xmlFlag(const QByteArray& data, QLatin1String key)
{
    QXmlStreamReader xml(data);
    int depth = 0; // <plist> is 1, its <dict> 2, the entries 3
    bool matched = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement || ++depth != 3)
            continue;
        if (matched) {
            if (xml.name() == QLatin1String("true"))
                return true;
            if (xml.name() == QLatin1String("false"))
                return false;
            return {};
        }
        if (xml.name() == QLatin1String("key")) {
            matched = xml.readElementText() == key;
            --depth;
        }
    }
    return {};
}

bool propertiesSayEncrypted(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || file.size() > MaxPropertiesSize || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    const QLatin1String key(EncryptedKey);
    return binaryFlag(data, key).value_or(false) || xmlFlag(data, key).value_or(false);
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
