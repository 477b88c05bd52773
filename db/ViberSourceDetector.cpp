#include "db/ViberSourceDetector.h"

#include "app/Failure.h"
#include "app/KeyTranslator.h"
#include "app/SchemaCatalogue.h"
#include "app/Sqlite3Error.h"
#include "db/AndroidViberDb.h"
#include "db/DesktopContactViberDb.h"
#include "db/IOSMemberViberDb.h"
#include "db/IOSViberDb.h"
#include "db/IPhoneBackup.h"
#include "db/ModernAndroidViberDb.h"
#include "db/PCViberDb.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

bool hasColumns(const SchemaCatalogue& catalogue, const QString& table,
                std::initializer_list<const char*> columns)
{
    for (const char* column : columns) {
        if (!catalogue.hasColumn(table, QLatin1String(column)))
            return false;
    }
    return true;
}

} // namespace

ViberSourceDetector::Generation ViberSourceDetector::detect(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && IPhoneBackup::isBackupFolder(path))
        return Generation::IOSBackup;
    if (!info.isFile())
        return Generation::Missing;
    SchemaCatalogue catalogue;
    try {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::OpenReadOnly);
        db.applyDefensiveSettings();
        catalogue.readCatalogue(db);
    } catch (const Sqlite3Error& e) {
        if ((e.code() & 0xff) == SQLITE_NOTADB)
            return Generation::NotReadable;
        throw;
    }
    const QString messages = QStringLiteral("messages");
    if (hasColumns(catalogue, messages, {"msg_date", "send_type", "user_id"}))
        return Generation::AndroidModern;
    if (hasColumns(catalogue, messages, {"date", "type", "address"}))
        return Generation::AndroidVersion53;
    const QString events = QStringLiteral("Events");
    if (hasColumns(catalogue, events, {"ContactID", "TimeStamp"}))
        return Generation::DesktopContactKeyed;
    if (hasColumns(catalogue, events, {"Number", "TimeStamp"}))
        return Generation::DesktopNumberKeyed;
    if (catalogue.hasTable(QStringLiteral("ZVIBERMESSAGE"))) {
        if (catalogue.hasTable(QStringLiteral("ZMEMBER")))
            return Generation::IOSMember;
        if (catalogue.hasTable(QStringLiteral("ZPHONENUMBERINDEX")))
            return Generation::IOSPhoneNumberIndex;
    }
    return Generation::Unknown;
}

std::unique_ptr<AbsViberDb> ViberSourceDetector::androidReader(const QString& deviceRoot,
                                                               const QString& extractRoot,
                                                               const QString& mediaRoot)
{
    auto current = std::make_unique<AndroidViberDb>(deviceRoot, extractRoot, mediaRoot);
    switch (detect(current->messagesDbPath())) {
    case Generation::AndroidModern:
        return std::make_unique<ModernAndroidViberDb>(deviceRoot, extractRoot, mediaRoot);
    case Generation::AndroidVersion53:
        return current;
    case Generation::Missing:
        fail(QStringLiteral(
            "Can't read Viber data from Android device. Please make sure you have installed and "
            "verified Viber on Android device."));
    default:
        fail(KeyTranslator::text("IDS_UNKNOWN_VIBER_DATABASE_%1")
                 .arg(QFileInfo(current->messagesDbPath()).fileName()));
    }
}

std::unique_ptr<AbsViberDb> ViberSourceDetector::desktopReader(const QString& path)
{
    switch (detect(path)) {
    case Generation::DesktopNumberKeyed:
        return std::make_unique<PCViberDb>(path);
    case Generation::DesktopContactKeyed:
        return std::make_unique<DesktopContactViberDb>(path);
    case Generation::NotReadable:
        // Today's desktop app encrypts its history with a key it derives inside the
        // program; no reader outside the app can open it.
        fail(KeyTranslator::text("IDS_DESKTOP_VIBER_DB_ENCRYPTED"));
    case Generation::Missing:
        fail(KeyTranslator::text("IDS_UNKNOWN_VIBER_DATABASE_%1").arg(path));
    default:
        fail(KeyTranslator::text("IDS_UNKNOWN_VIBER_DATABASE_%1").arg(QFileInfo(path).fileName()));
    }
}

std::unique_ptr<AbsViberDb> ViberSourceDetector::iosReader(const QString& folder, const QString& databaseFile)
{
    const QString path = QDir(folder).filePath(databaseFile);
    switch (detect(path)) {
    case Generation::IOSMember:
        return std::make_unique<IOSMemberViberDb>(path);
    case Generation::IOSPhoneNumberIndex:
        return std::make_unique<IOSViberDb>(folder, databaseFile, IOSViberDb::OpenForBrowsing);
    default:
        fail(KeyTranslator::text("IDS_UNKNOWN_VIBER_DATABASE_%1").arg(QFileInfo(path).fileName()));
    }
}

std::unique_ptr<AbsViberDb> ViberSourceDetector::iosBackupReader(const QString& folder,
                                                                 const BackupKeybag::Cancelled& cancelled,
                                                                 const BackupKeybag::Progress& progress)
{
    auto backup = std::make_unique<IPhoneBackup>(folder, cancelled, progress);
    if (detect(backup->viberDatabase()) != Generation::IOSMember)
        fail(KeyTranslator::text("IDS_UNKNOWN_VIBER_DATABASE_%1")
                 .arg(QFileInfo(QLatin1String(IPhoneBackup::ViberDatabase)).fileName()));
    return std::make_unique<IOSMemberViberDb>(std::move(backup));
}
