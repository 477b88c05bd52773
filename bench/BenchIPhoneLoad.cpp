// Loads Viber's history from an iPhone backup folder once, as the program does
// (ViberSourceDetector::iosBackupReader, then the load), the password of an encrypted
// backup given as if typed. Each mode is meant for a fresh process. The load decrypts
// no media: an encrypted backup's files are decrypted when first read (OnDemandFiles).
//
//   velliport-bench-iphone load FOLDER [--password PW]
//       load_s (open and load), open_s (the backup's manifest and database copied or
//       decrypted, the password's key derived), read_s (the load), counts;
//       media_files: attachments that got a file of the backup.
//   velliport-bench-iphone derive FOLDER --password PW
//       derivation_s: the keys unlocked alone (EncryptedBackup: the keybag read, the
//       password's key derived, the class keys and the manifest key unwrapped).
//   velliport-bench-iphone phases FOLDER [--password PW]
//       prints, to stderr, where a load's time goes: open_s as above; media_s, the
//       media lookups of the load alone, in the loader's order of folders; records_s,
//       the load after them; then, timed apart: unlock_s (the keys),
//       manifest_s and database_s (Manifest.db and Contacts.data copied or decrypted);
//       app_rows_read_s (every row of Viber's app folder read from the manifest at once,
//       against media_s's query per lookup); for an encrypted backup, the pieces of
//       decrypting every media file, as reading them all would (see mediaBreakdown).

#include "app/HugePageHeap.h"
#include "app/PrivateWorkFolder.h"
#include "app/Sqlite3DB.h"
#include "db/BackupCipher.h"
#include "db/BackupFileRecord.h"
#include "db/BackupKeybag.h"
#include "db/BackupPasswords.h"
#include "db/EncryptedBackup.h"
#include "db/IOSMemberViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/LocalDbPaths.h"
#include "db/PropertyList.h"
#include "db/SecretBytes.h"
#include "db/ViberSourceDetector.h"

#include "bench/BenchMemory.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

QString seconds(const QElapsedTimer& timer)
{
    return QString::number(double(timer.nsecsElapsed()) / 1e9, 'f', 3);
}

int load(const QString& folder)
{
    QElapsedTimer total;
    total.start();
    const std::unique_ptr<AbsViberDb> db = ViberSourceDetector::iosBackupReader(folder);
    const QString open = seconds(total);
    QElapsedTimer read;
    read.start();
    const ViberDataSetPtr data = db->load();
    const QString loaded = seconds(total);
    const QString readOnly = seconds(read);
    qint64 mediaFiles = 0;
    for (const _ViberAtta* a : data->attachments)
        mediaFiles += a->localPath.isEmpty() ? 0 : 1;
    QTextStream(stdout) << "load_s=" << loaded << " open_s=" << open << " read_s=" << readOnly
                        << " chats=" << data->chats.size() << " persons=" << data->persons.size()
                        << " messages=" << data->messages.size()
                        << " attachments=" << data->attachments.size() << " calls=" << data->calls.size()
                        << " media_files=" << mediaFiles << " rss_after_kb=" << statusKb("VmRSS:") << "\n";
    return 0;
}

int derive(const QString& folder, const QString& password)
{
    const QString properties = QDir(folder).filePath(QLatin1String(IPhoneBackup::PropertiesFile));
    QElapsedTimer timer;
    timer.start();
    const EncryptedBackup keys(properties, SecretBytes::fromUtf8(password));
    QTextStream(stdout) << "derivation_s=" << seconds(timer) << "\n";
    return 0;
}

// The stored file of Viber's database and its record, from a readable copy of Manifest.db.
std::pair<QString, QByteArray> storedDatabase(const QString& folder, const QString& manifest)
{
    Sqlite3DB db;
    db.openThrow(manifest, Sqlite3DB::OpenReadOnly);
    Sqlite3Cursor c = db.queryThrow(
        Sqlite3Sql(QStringLiteral("select fileID, file from Files where domain = ? and relativePath = ?"))
            .addTextParam(QLatin1String(IPhoneBackup::ViberGroupDomain))
            .addTextParam(QLatin1String(IPhoneBackup::ViberDatabase)));
    if (!c.moveNext())
        throw std::runtime_error("the manifest names no Contacts.data");
    const QString id = c.getText(0);
    return {QDir(folder).filePath(id.left(2) + QLatin1Char('/') + id), c.getBlob(1)};
}

// The pieces of the media decryption, each over every stored file of Viber's app folder
// in turn, on a copy of the manifest: the file's record read (fromArchive), its key
// unwrapped, the file decrypted into a fresh private folder.
QString mediaBreakdown(const QString& folder, const QString& manifest, const QString& password)
{
    struct Stored
    {
        QString path;
        QByteArray archive;
        std::optional<BackupFileRecord> record;
        SecretBytes key;
    };
    std::vector<Stored> files;
    {
        Sqlite3DB db;
        db.openThrow(manifest, Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql(QStringLiteral("select fileID, file from Files where domain = ? and flags = 1"))
                .addTextParam(QLatin1String(IPhoneBackup::ViberAppDomain)));
        while (c.moveNext()) {
            const QString id = c.getText(0);
            files.push_back(
                {QDir(folder).filePath(id.left(2) + QLatin1Char('/') + id), c.getBlob(1), {}, {}});
        }
    }
    BackupKeybag keybag(
        PropertyList::readFile(QDir(folder).filePath(QLatin1String(IPhoneBackup::PropertiesFile)))
            .toMap()
            .value(QStringLiteral("BackupKeyBag"))
            .toByteArray());
    keybag.unlock(SecretBytes::fromUtf8(password));

    QElapsedTimer timer;
    timer.start();
    for (Stored& file : files)
        file.record = BackupFileRecord::fromArchive(file.archive);
    const QString records = seconds(timer);
    timer.restart();
    for (Stored& file : files)
        file.key = keybag.unwrapKey(file.record.value().encryptionKey);
    const QString keys = seconds(timer);
    PrivateWorkFolder decrypted;
    timer.restart();
    int n = 0;
    for (const Stored& file : files)
        BackupCipher::decryptFile(file.key, file.path, decrypted.filePath(QString::number(n++)),
                                  file.record->size);
    const QString decrypt = seconds(timer);
    return QStringLiteral(" media_records_s=%1 media_unwrap_s=%2 media_decrypt_files_s=%3 stored_files=%4")
        .arg(records, keys, decrypt)
        .arg(files.size());
}

int phases(const QString& folder, bool encrypted, const QString& password)
{
    QTextStream err(stderr);
    QElapsedTimer timer;
    timer.start();
    auto backup = std::make_unique<IPhoneBackup>(folder);
    const QString open = seconds(timer);

    // The attachments the load looks up, in its order of folders by kind.
    QList<std::pair<QString, QString>> wanted;
    {
        Sqlite3DB db;
        db.openThrow(backup->viberDatabase(), Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(QStringLiteral(
            "select a.ZTYPE, a.ZNAME from ZVIBERMESSAGE as m join ZATTACHMENT as a on a.Z_PK = m.ZATTACHMENT "
            "where coalesce(m.ZBEINGDELETED, 0) = 0 and coalesce(m.ZSYSTEMTYPE, '') in ('', 'url', "
            "'formatted') "
            "and a.ZTYPE <> 'sticker' order by m.ZDATE, m.Z_PK")));
        while (c.moveNext())
            wanted.append({c.getText(0), c.getText(1)});
    }
    qint64 lookups = 0;
    qint64 found = 0;
    timer.restart();
    for (const auto& [type, name] : std::as_const(wanted)) {
        QList<const char*> folders = {LocalDbPaths::AttachmentsFolder, LocalDbPaths::FileMessagesFolder,
                                      LocalDbPaths::VoiceFolder};
        if (type == QLatin1String("audio"))
            folders.move(2, 0);
        else if (type == QLatin1String("file"))
            folders.move(1, 0);
        for (const char* sub : folders) {
            ++lookups;
            if (!backup->appFile(QLatin1String(sub) + QLatin1Char('/') + name).isEmpty()) {
                ++found;
                break;
            }
        }
    }
    const QString media = seconds(timer);

    timer.restart();
    qsizetype messages = 0;
    {
        IOSMemberViberDb db(std::move(backup));
        messages = db.load()->messages.size();
    }
    const QString records = seconds(timer);

    // Timed apart, each piece of the open once more.
    PrivateWorkFolder work;
    const QString stored = QDir(folder).filePath(QLatin1String(IPhoneBackup::ManifestFile));
    const QString manifest = work.filePath(QLatin1String(IPhoneBackup::ManifestFile));
    const QString database = work.filePath(QStringLiteral("Contacts.data"));
    QString unlock = QStringLiteral("0");
    timer.restart();
    std::unique_ptr<EncryptedBackup> keys;
    if (encrypted) {
        keys = std::make_unique<EncryptedBackup>(
            QDir(folder).filePath(QLatin1String(IPhoneBackup::PropertiesFile)),
            SecretBytes::fromUtf8(password));
        unlock = seconds(timer);
        timer.restart();
        keys->decryptManifest(stored, manifest);
    } else if (!QFile::copy(stored, manifest)) {
        throw std::runtime_error("cannot copy Manifest.db");
    }
    const QString manifestTime = seconds(timer);
    const auto [storedContacts, record] = storedDatabase(folder, manifest);
    timer.restart();
    if (keys)
        keys->decryptFile(record, storedContacts, database);
    else if (!QFile::copy(storedContacts, database))
        throw std::runtime_error("cannot copy Contacts.data");
    const QString databaseTime = seconds(timer);

    // What the lookups would cost as one read of the app's rows into memory instead of
    // a query per attachment and folder.
    timer.restart();
    QHash<QString, std::pair<QString, QByteArray>> appRows;
    {
        Sqlite3DB db;
        db.openThrow(manifest, Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql(
                QStringLiteral("select relativePath, fileID, %1 from Files where domain = ? and flags = 1")
                    .arg(encrypted ? QStringLiteral("file") : QStringLiteral("null")))
                .addTextParam(QLatin1String(IPhoneBackup::ViberAppDomain)));
        while (c.moveNext())
            appRows.insert(c.getText(0), {c.getText(1), c.getBlob(2)});
    }
    const QString index = seconds(timer);

    err << "PHASES " << (encrypted ? "encrypted" : "plain") << " open_s=" << open << " media_s=" << media
        << " media_lookups=" << lookups << " media_found=" << found << " records_s=" << records
        << " messages=" << messages << " unlock_s=" << unlock << " manifest_s=" << manifestTime
        << " database_s=" << databaseTime << " manifest_bytes=" << QFileInfo(stored).size()
        << " database_bytes=" << QFileInfo(storedContacts).size() << " app_rows_read_s=" << index
        << (encrypted ? mediaBreakdown(folder, manifest, password) : QString()) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    HugePageHeap::restartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    QString password;
    const qsizetype at = args.indexOf(QStringLiteral("--password"));
    if (at > 0 && at + 1 < args.size()) {
        password = args.takeAt(at + 1);
        args.removeAt(at);
    }
    const QString mode = args.value(1);
    if (args.size() != 3 ||
        (mode != QLatin1String("load") && mode != QLatin1String("derive") &&
         mode != QLatin1String("phases")) ||
        (mode == QLatin1String("derive") && password.isEmpty())) {
        QTextStream(stderr) << "usage: velliport-bench-iphone load|derive|phases FOLDER [--password PW]\n";
        return 2;
    }
    const QString folder = QDir(args.at(2)).absolutePath();
    try {
        if (!password.isEmpty())
            BackupPasswords::remember(folder, SecretBytes::fromUtf8(password));
        if (mode == QLatin1String("derive"))
            return derive(folder, password);
        if (mode == QLatin1String("phases"))
            return phases(folder, !password.isEmpty(), password);
        return load(folder);
    } catch (const std::exception& e) {
        QTextStream(stderr) << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
}
