#include "tools/cli/CliSource.h"

#include "android/BackupArchive.h"
#include "app/AppDirs.h"
#include "app/OperationCancelled.h"
#include "app/PrivateWorkFolder.h"
#include "app/ProgressChannel.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3DB.h"
#include "app/SqliteFileSet.h"
#include "db/AbsViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/PCViberAccounts.h"
#include "db/ViberSourceDetector.h"
#include "ops/IPhoneBackupLoadThread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <sqlite3.h>

namespace {

constexpr auto SqliteMagic = "SQLite format 3";
constexpr auto ArchiveMagic = "ANDROID BACKUP\n";
constexpr auto GenuineLocalFile = "Documents/Contacts.data";
// Where the iPhone app keeps it: com.viber/database/Contacts.data.
constexpr auto PhoneLocalFile = "Contacts.data";
constexpr auto AndroidDbFolder = "apps/com.viber.voip/db";
constexpr auto ExtractFolder = "ab-extract";

QByteArray fileHead(const QString& path, int size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(size);
}

// A database of unknown origin is opened read-only with the defensive settings, so that
// looking at it can neither change it nor run anything its schema names.
void openForReading(Sqlite3DB& db, const QString& path)
{
    db.openThrow(path, Sqlite3DB::OpenReadOnly);
    db.applyDefensiveSettings();
    db.registerFallbackCollation(QStringLiteral("LOCALIZED"));
    db.registerFallbackCollation(QStringLiteral("UNICODE"));
}

// The catalogue of a file that starts like SQLite; a damaged file fails here with
// SQLite's own words, which are then put into context.
SchemaCatalogue catalogueOf(const QString& path)
{
    Sqlite3DB db;
    SchemaCatalogue catalogue;
    try {
        openForReading(db, path);
        catalogue.readCatalogue(db);
    } catch (const std::exception& e) {
        throw CliSource::Error(
            QStringLiteral("%1 is a damaged SQLite database (%2); expected %3")
                .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()), CliSource::expectedText()));
    }
    return catalogue;
}

using Generation = ViberSourceDetector::Generation;

bool isAndroid(Generation generation)
{
    return generation == Generation::AndroidVersion53 || generation == Generation::AndroidModern;
}

// SQLite asks this every thousand steps of a statement; a true answer ends the statement
// as interrupted, which is how a long read gives way to Ctrl+C.
int askCancelled(void* progress)
{
    return static_cast<const ProgressChannel*>(progress)->isCancelled() ? 1 : 0;
}

void stopOnCancel(Sqlite3DB& db, const ProgressChannel& progress)
{
    sqlite3_progress_handler(db.handle(), 1000, askCancelled,
                             const_cast<void*>(static_cast<const void*>(&progress)));
}

qint64 userVersion(const QString& path)
{
    Sqlite3DB db;
    openForReading(db, path);
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("pragma user_version")));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

} // namespace

CliSource::CliSource(const QString& sourceText)
{
    if (sourceText.trimmed().isEmpty())
        throw Error(QStringLiteral("no source given; expected %1").arg(expectedText()));
    const QFileInfo info(sourceText);
    if (info.exists()) {
        resolvePath(info.absoluteFilePath());
        return;
    }
    // A bare name is a local database in the data folder; letter case is ignored as the
    // backup ignores it when it picks the database a name goes into.
    if (AppDirs::isValidLocalDatabaseName(sourceText)) {
        const QString root = AppDirs::localDatabasesFolder();
        for (const QString& name : AppDirs::localDatabaseNames(root)) {
            if (name.compare(sourceText, Qt::CaseInsensitive) == 0) {
                resolvePath(QDir(root).filePath(name));
                return;
            }
        }
    }
    throw Error(QStringLiteral("no such source: %1; expected %2").arg(sourceText, expectedText()));
}

CliSource::~CliSource() = default;

QString CliSource::expectedText()
{
    return QStringLiteral(
        "a local database name or folder, an iPhone's Contacts.data or its folder, an iPhone "
        "backup folder (encrypted or not), a desktop viber.db "
        "or its account folder, an Android backup archive (.ab) or an unpacked one "
        "(apps/com.viber.voip/db/viber_messages)");
}

QString CliSource::kindName() const
{
    switch (m_kind) {
    case Kind::LocalDatabase:
        return QStringLiteral("local database");
    case Kind::IPhone:
        return QStringLiteral("iPhone Viber database");
    case Kind::IPhoneBackup:
        return QStringLiteral("iPhone backup");
    case Kind::Desktop:
        return QStringLiteral("Viber desktop database");
    case Kind::AndroidArchive:
        return QStringLiteral("Android backup archive");
    case Kind::AndroidFolder:
        return QStringLiteral("unpacked Android backup");
    }
    return {};
}

QStringList CliSource::databaseFiles() const
{
    if (m_kind != Kind::IPhoneBackup)
        return {m_path};
    return {QDir(m_path).filePath(QLatin1String(IPhoneBackup::ManifestFile)),
            IPhoneBackup::storedPathOf(m_path, QLatin1String(IPhoneBackup::ViberGroupDomain),
                                       QLatin1String(IPhoneBackup::ViberDatabase))};
}

void CliSource::resolvePath(const QString& path)
{
    if (QFileInfo(path).isDir())
        resolveFolder(path);
    else
        resolveFile(path);
}

void CliSource::resolveFolder(const QString& folder)
{
    const QDir dir(folder);
    if (ViberSourceDetector::detect(folder) == Generation::IOSBackup) {
        // Only read: the backup is a copy the phone may need back, never a target.
        m_kind = Kind::IPhoneBackup;
        m_path = dir.absolutePath();
        m_generation = QStringLiteral("iPhone backup (Finder, iTunes or idevicebackup2)");
        return;
    }
    for (const char* file : {AppDirs::LocalDatabaseFile, GenuineLocalFile, PhoneLocalFile}) {
        if (QFileInfo(dir.filePath(QLatin1String(file))).isFile()) {
            resolveFile(dir.filePath(QLatin1String(file)));
            return;
        }
    }
    const QString desktop = dir.filePath(QLatin1String(PCViberAccounts::DatabaseFile));
    if (QFileInfo(desktop).isFile()) {
        resolveFile(desktop);
        return;
    }
    // An unpacked archive, or a folder holding one as the phone cache does.
    for (const QString& prefix : QStringList{QString(), QLatin1String(ExtractFolder) + QLatin1Char('/')}) {
        const QString messages =
            dir.filePath(prefix + QLatin1String(AndroidDbFolder) + QStringLiteral("/viber_messages"));
        if (QFileInfo(messages).isFile()) {
            resolveFile(messages);
            return;
        }
    }
    throw Error(QStringLiteral("%1 holds no Viber database; expected %2")
                    .arg(QDir::toNativeSeparators(folder), expectedText()));
}

void CliSource::resolveFile(const QString& file)
{
    const QByteArray head = fileHead(file, 16);
    if (head.startsWith(ArchiveMagic)) {
        m_kind = Kind::AndroidArchive;
        m_path = file;
        m_generation = QStringLiteral("Android backup archive, version %1")
                           .arg(QString::fromLatin1(fileHead(file, 64).split('\n').value(1)));
        return;
    }
    if (!head.startsWith(SqliteMagic)) {
        // Today's desktop app encrypts its viber.db; the detector says so in plain words.
        if (QFileInfo(file).fileName() == QLatin1String(PCViberAccounts::DatabaseFile) &&
            ViberSourceDetector::detect(file) == Generation::NotReadable) {
            try {
                ViberSourceDetector::desktopReader(file);
            } catch (const std::exception& e) {
                throw Error(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file),
                                                         QString::fromUtf8(e.what())));
            }
        }
        throw Error(
            QStringLiteral("%1 is neither an SQLite database nor an Android backup archive; expected %2")
                .arg(QDir::toNativeSeparators(file), expectedText()));
    }
    const SchemaCatalogue catalogue = catalogueOf(file);
    Generation generation = Generation::NotReadable;
    try {
        generation = ViberSourceDetector::detect(file);
    } catch (const std::exception& e) {
        throw Error(
            QStringLiteral("%1 is a damaged SQLite database (%2); expected %3")
                .arg(QDir::toNativeSeparators(file), QString::fromUtf8(e.what()), CliSource::expectedText()));
    }
    const QFileInfo info(file);
    switch (generation) {
    case Generation::IOSPhoneNumberIndex: {
        const QDir parent = info.dir();
        // The store lives in "Documents" of its folder, where the media folders are too.
        if (parent.dirName() == QLatin1String("Documents"))
            useLocal(QFileInfo(parent.absolutePath()).absolutePath(),
                     QStringLiteral("Documents/") + info.fileName());
        else
            useLocal(parent.absolutePath(), info.fileName());
        // The iOS app's own store keeps Core Data's metadata and its address book and
        // sticker tables, which the program's schema leaves out.
        m_generation = catalogue.hasTable(QStringLiteral("Z_METADATA")) &&
                               catalogue.hasTable(QStringLiteral("ZABCONTACT"))
                           ? QStringLiteral("iOS Viber store")
                           : QStringLiteral("Velliport local database");
        return;
    }
    case Generation::IOSMember:
        // Today's iPhone app; only read, never a target of a backup or a delete.
        m_kind = Kind::IPhone;
        m_path = file;
        m_generation = QStringLiteral("iOS Viber store, members generation");
        return;
    case Generation::DesktopNumberKeyed:
        m_kind = Kind::Desktop;
        m_path = file;
        if (catalogue.hasColumn(QStringLiteral("Messages"), QStringLiteral("Duration")))
            m_generation = QStringLiteral("Viber desktop, messages with durations");
        else if (catalogue.hasColumn(QStringLiteral("Messages"), QStringLiteral("PttDuration")))
            m_generation = QStringLiteral("Viber desktop, voice notes with durations (older generation)");
        else
            m_generation = QStringLiteral("Viber desktop, no durations");
        return;
    case Generation::DesktopContactKeyed:
        m_kind = Kind::Desktop;
        m_path = file;
        m_generation = QStringLiteral("Viber desktop, chats keyed by contact (newer generation)");
        return;
    case Generation::AndroidVersion53:
    case Generation::AndroidModern:
        m_kind = Kind::AndroidFolder;
        m_path = file;
        m_generation =
            QStringLiteral("Viber for Android%1, database version %2")
                .arg(generation == Generation::AndroidModern ? QStringLiteral(" (current generation)")
                                                             : QString())
                .arg(userVersion(file));
        return;
    case Generation::Missing:
    case Generation::NotReadable:
        throw Error(QStringLiteral("%1 is a damaged SQLite database; expected %2")
                        .arg(QDir::toNativeSeparators(file), expectedText()));
    case Generation::Unknown:
    case Generation::IOSBackup: // only ever a folder
        break;
    }
    throw Error(QStringLiteral("%1 is an SQLite database without Viber's tables; expected %2")
                    .arg(QDir::toNativeSeparators(file), expectedText()));
}

void CliSource::useLocal(const QString& folder, const QString& relativeFile)
{
    m_kind = Kind::LocalDatabase;
    m_localFolder = folder;
    m_localFile = relativeFile;
    m_path = QDir(folder).filePath(relativeFile);
}

// The phone database as the Android adapter expects it below a private folder: the
// archive unpacked there, or the unpacked files copied there with their companions.
QString CliSource::androidMessagesFile()
{
    if (!m_extractRoot.isEmpty())
        return QDir(m_extractRoot)
            .filePath(QLatin1String(ExtractFolder) + QLatin1Char('/') + QLatin1String(AndroidDbFolder) +
                      QStringLiteral("/viber_messages"));
    m_work = std::make_unique<PrivateWorkFolder>();
    m_extractRoot = m_work->path();
    const QString extract = m_work->filePath(QLatin1String(ExtractFolder));
    const QString target = androidMessagesFile();
    if (m_kind == Kind::AndroidArchive) {
        extractBackupArchive(
            m_path, extract,
            QStringLiteral("%1 is a damaged Android backup archive").arg(QDir::toNativeSeparators(m_path)));
        if (!QFileInfo(target).isFile())
            throw Error(QStringLiteral("%1 holds no Viber messages (apps/com.viber.voip/db/viber_messages)")
                            .arg(QDir::toNativeSeparators(m_path)));
        catalogueOf(target);
        if (!isAndroid(ViberSourceDetector::detect(target)))
            throw Error(QStringLiteral("the viber_messages in %1 lacks Viber's tables")
                            .arg(QDir::toNativeSeparators(m_path)));
        return target;
    }
    QDir().mkpath(QFileInfo(target).path());
    SqliteFileSet::copySet(m_path, target);
    const QString data = QFileInfo(m_path).dir().filePath(QStringLiteral("viber_data"));
    if (QFileInfo(data).isFile())
        SqliteFileSet::copySet(data, QFileInfo(target).dir().filePath(QStringLiteral("viber_data")));
    return target;
}

std::unique_ptr<AbsViberDb> CliSource::reader(const ProgressChannel& progress)
{
    switch (m_kind) {
    case Kind::LocalDatabase:
        return ViberSourceDetector::iosReader(m_localFolder, m_localFile);
    case Kind::IPhone:
        return ViberSourceDetector::iosReader(QFileInfo(m_path).absolutePath(), QFileInfo(m_path).fileName());
    case Kind::IPhoneBackup:
        return ViberSourceDetector::iosBackupReader(m_path, IPhoneBackupLoadThread::cancelledBy(progress),
                                                    IPhoneBackupLoadThread::reportedTo(progress));
    case Kind::Desktop:
        return ViberSourceDetector::desktopReader(m_path);
    case Kind::AndroidArchive:
    case Kind::AndroidFolder:
        androidMessagesFile();
        return ViberSourceDetector::androidReader(QStringLiteral("/storage/emulated/0"), m_extractRoot);
    }
    return {};
}

ViberDataSetPtr CliSource::load(const ProgressChannel& progress)
{
    try {
        const std::unique_ptr<AbsViberDb> database = reader(progress);
        // The Android adapter's clean-up of its copy runs in open(), before the handler
        // can be set; the reading, by far the longer part, runs under it.
        database->open();
        stopOnCancel(*database, progress);
        return database->load();
    } catch (const OperationCancelled&) {
        // The task reports nothing for a cancelled channel, whatever it threw.
        throw Error(QStringLiteral("interrupted"));
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        throw Error(QStringLiteral("cannot read the %1 %2: %3")
                        .arg(kindName(), QDir::toNativeSeparators(m_path), QString::fromUtf8(e.what())));
    }
}

QStringList CliSource::integrityProblems(const ProgressChannel& progress)
{
    // A backup's database is checked in the private copy it is read from.
    std::optional<IPhoneBackup> backup;
    QString file = m_path;
    if (m_kind == Kind::AndroidArchive || m_kind == Kind::AndroidFolder) {
        file = androidMessagesFile();
    } else if (m_kind == Kind::IPhoneBackup) {
        try {
            backup.emplace(m_path, IPhoneBackupLoadThread::cancelledBy(progress),
                           IPhoneBackupLoadThread::reportedTo(progress));
        } catch (const OperationCancelled&) {
            throw Error(QStringLiteral("interrupted"));
        }
        file = backup->viberDatabase();
    }
    Sqlite3DB db;
    openForReading(db, file);
    stopOnCancel(db, progress);
    QStringList problems;
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(QStringLiteral("pragma integrity_check")));
    while (cursor.moveNext()) {
        const QString line = cursor.getText(0);
        if (line != QLatin1String("ok"))
            problems.append(line);
    }
    return problems;
}
