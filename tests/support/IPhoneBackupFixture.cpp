#include "tests/support/IPhoneBackupFixture.h"

#include "app/Sqlite3DB.h"
#include "db/IPhoneBackup.h"
#include "tests/support/EncryptedBackupBuilder.h"
#include "tests/support/IOSMemberFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString quoted(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

// {"IsEncrypted": true} as a binary property list.
QByteArray encryptedProperties()
{
    return QByteArray::fromHex("62706c6973743030d101025b4973456e6372797074656409080b1700000000000001010000"
                               "00000000000300000000000000000000000000000018");
}

QByteArray plainProperties()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n<dict>\n"
                             "\t<key>Applications</key>\n\t<dict>\n\t\t<key>com.viber</key>\n\t\t<dict>\n"
                             "\t\t\t<key>IsEncrypted</key>\n\t\t\t<true/>\n\t\t</dict>\n\t</dict>\n"
                             "\t<key>IsEncrypted</key>\n\t<false/>\n"
                             "\t<key>Version</key>\n\t<string>10.0</string>\n"
                             "</dict>\n</plist>\n");
}

// Contacts.data with one more message written while a second copy of the files is
// taken, so that the message lies in the -wal only, as in a backup of a running app.
QMap<QString, QByteArray> viberDatabaseFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Contacts.data"));
    IOSMemberFixture::build(path);
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadWrite);
    db.executeScriptThrow(
        QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                       "INSERT INTO ZVIBERMESSAGE (Z_PK, Z_ENT, ZCONVERSATION, ZPHONENUMINDEX, ZDATE, "
                       "ZSTATEDATE, ZSTATE, ZTEXT, ZSYSTEMTYPE, ZTOKEN, ZBEINGDELETED) VALUES (13, 9, 1, 1, "
                       "721692013, 721692013, 'received', '%1', '', 9130000000000000013, 0);")
            .arg(QLatin1String(IPhoneBackupFixture::WalOnlyText)));
    QMap<QString, QByteArray> files;
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        files.insert(suffix, TestEnvironment::readFile(path + suffix));
    if (files.value(QStringLiteral("-wal")).isEmpty())
        fail(QStringLiteral("the fixture's write-ahead log is empty"));
    return files;
}

} // namespace

IPhoneBackupFixture::IPhoneBackupFixture(Shape shape)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("cannot make the fixture folder"));
    if (shape == Shape::Encrypted || shape == Shape::EncryptedFilesOnly)
        m_encryption = std::make_unique<EncryptedBackupBuilder>(QString::fromUtf8(Password));
    const QString group = QLatin1String(IPhoneBackup::ViberGroupDomain);
    const QString app = QLatin1String(IPhoneBackup::ViberAppDomain);
    const QString database = QLatin1String(IPhoneBackup::ViberDatabase);

    if (shape != Shape::WithoutViber) {
        const QMap<QString, QByteArray> files = viberDatabaseFiles();
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            store(group, database + it.key(), it.value());
        addRow(QString(), app, QStringLiteral("Documents"), 2);
        addRow(QString(), app, QStringLiteral("Documents/Attachments"), 2);
        store(app, QLatin1String(PictureFile), pictureBytes());
        addRow(QStringLiteral("../../../../etc/passwd/0123456789abcdef0123456789abcdef"), app,
               QStringLiteral("Documents/VoiceMessages/voice-1.m4a"), 1);
    }
    store(QStringLiteral("AppDomain-com.example.notes"), QStringLiteral("Documents/notes.txt"),
          QByteArrayLiteral("not Viber"));

    const QString manifest = m_dir.filePath(QLatin1String(IPhoneBackup::ManifestFile));
    if (shape == Shape::EncryptedManifest) {
        QByteArray noise(8192, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        if (!TestEnvironment::writeFile(manifest, noise))
            fail(manifest);
    } else {
        Sqlite3DB db;
        db.openThrow(manifest, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        db.executeScriptThrow(QStringLiteral("CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);"));
        if (shape != Shape::ManifestWithoutFiles)
            db.executeScriptThrow(
                QStringLiteral("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                               "flags INTEGER, file BLOB);"
                               "CREATE INDEX FilesDomainIdx ON Files(domain);"
                               "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);") +
                m_manifestSql);
    }
    if (shape == Shape::DamagedManifest)
        damageFilesTable();
    if (shape == Shape::Encrypted &&
        !TestEnvironment::writeFile(manifest,
                                    m_encryption->encryptManifest(TestEnvironment::readFile(manifest))))
        fail(manifest);
    const QByteArray properties = m_encryption ? m_encryption->manifestProperties(shape == Shape::Encrypted)
                                  : shape == Shape::EncryptedByProperties || shape == Shape::EncryptedManifest
                                      ? encryptedProperties()
                                      : plainProperties();
    if (!TestEnvironment::writeFile(m_dir.filePath(QLatin1String(IPhoneBackup::PropertiesFile)), properties))
        fail(QStringLiteral("cannot write Manifest.plist"));
    const QVariantMap status{
        {QStringLiteral("BackupState"), QStringLiteral("new")},
        {QStringLiteral("IsFullBackup"), false},
        {QStringLiteral("SnapshotState"),
         shape == Shape::Unfinished ? QStringLiteral("uploading") : QStringLiteral("finished")},
        {QStringLiteral("Version"), QStringLiteral("3.3")},
    };
    if (!TestEnvironment::writeFile(m_dir.filePath(QLatin1String(IPhoneBackup::StatusFile)),
                                    EncryptedBackupBuilder::binaryPropertyList(status)))
        fail(QStringLiteral("cannot write Status.plist"));
}

QString IPhoneBackupFixture::fileId(const QString& domain, const QString& relativePath)
{
    return QString::fromLatin1(QCryptographicHash::hash((domain + QLatin1Char('-') + relativePath).toUtf8(),
                                                        QCryptographicHash::Sha1)
                                   .toHex());
}

QString IPhoneBackupFixture::storedPath(const QString& domain, const QString& relativePath) const
{
    const QString id = fileId(domain, relativePath);
    return m_dir.filePath(id.left(2) + QLatin1Char('/') + id);
}

QByteArray IPhoneBackupFixture::pictureBytes()
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

QMap<QString, QByteArray> IPhoneBackupFixture::snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), TestEnvironment::readFile(path));
    }
    return files;
}

IPhoneBackupFixture::~IPhoneBackupFixture() = default;

void IPhoneBackupFixture::store(const QString& domain, const QString& relativePath, const QByteArray& bytes)
{
    EncryptedBackupBuilder::StoredFile stored{bytes, {}};
    if (m_encryption)
        stored = m_encryption->encryptFile(bytes, relativePath);
    if (!TestEnvironment::writeFile(storedPath(domain, relativePath), stored.encrypted))
        fail(storedPath(domain, relativePath));
    addRow(fileId(domain, relativePath), domain, relativePath, 1, stored.record);
}

void IPhoneBackupFixture::addRow(const QString& fileId, const QString& domain, const QString& relativePath,
                                 int flags, const QByteArray& record)
{
    const QString id = fileId.isEmpty() ? IPhoneBackupFixture::fileId(domain, relativePath) : fileId;
    const QString file = record.isEmpty() ? QStringLiteral("NULL")
                                          : QStringLiteral("X'%1'").arg(QString::fromLatin1(record.toHex()));
    m_manifestSql +=
        QStringLiteral(
            "INSERT INTO Files (fileID, domain, relativePath, flags, file) VALUES (%1, %2, %3, %4, %5);")
            .arg(quoted(id), quoted(domain), quoted(relativePath))
            .arg(flags)
            .arg(file);
}

void IPhoneBackupFixture::damageFilesTable() const
{
    const QString manifest = m_dir.filePath(QLatin1String(IPhoneBackup::ManifestFile));
    bool ok = false;
    const int page =
        TestEnvironment::pythonQuery(manifest, QStringLiteral("select rootpage from sqlite_master "
                                                              "where name = 'Files'"))
            .toInt(&ok);
    const int pageSize = TestEnvironment::pythonQuery(manifest, QStringLiteral("pragma page_size")).toInt();
    QFile file(manifest);
    if (!ok || page < 2 || pageSize <= 0 || !file.open(QIODevice::ReadWrite) ||
        !file.seek(qint64(page - 1) * pageSize) || file.write(QByteArray(pageSize, '\xff')) != pageSize)
        fail(QStringLiteral("cannot damage the fixture's manifest"));
}
