#pragma once

#include "db/AbsViberDb.h"
#include "db/BackupKeybag.h"

#include <QString>

#include <memory>

// Tells which generation of Viber's files a database is, by the columns it has, and
// makes the reader for it. Every caller that opens a phone's or the desktop app's
// database goes through here, so that a new generation is added in one place.
class ViberSourceDetector
{
public:
    enum class Generation {
        Missing,             // no such file
        NotReadable,         // not an SQLite file: damaged, or encrypted by the app
        Unknown,             // SQLite, but none of the tables below
        AndroidVersion53,    // messages(date, type, address)
        AndroidModern,       // messages(msg_date, send_type, user_id)
        DesktopNumberKeyed,  // Events.Number
        DesktopContactKeyed, // Events.ContactID
        IOSPhoneNumberIndex, // ZVIBERMESSAGE with ZPHONENUMBERINDEX (also the local databases)
        IOSMember,           // ZVIBERMESSAGE with ZMEMBER
        IOSBackup,           // a folder holding an iPhone backup's Manifest.db
    };

    // Opens the file read-only and looks at its tables; never changes it. A folder is
    // only ever an iPhone backup (or Missing).
    static Generation detect(const QString& path);

    // The reader for the Android databases below extractRoot (laid out as an unpacked
    // backup archive; see AndroidViberDb). Throws when the messages file is of no
    // generation an Android reader knows. mediaRoot, when given, is where the media lie
    // instead ("ab-extract/sdcard" below it).
    static std::unique_ptr<AbsViberDb> androidReader(const QString& deviceRoot, const QString& extractRoot,
                                                     const QString& mediaRoot = {});

    // The reader for a desktop "viber.db". Throws with a plain explanation when the
    // desktop app encrypted the file or it is of no known generation.
    static std::unique_ptr<AbsViberDb> desktopReader(const QString& path);

    // The reader for an iPhone "Contacts.data" at databaseFile below folder, or for a
    // local database of the same shape (read for browsing). Throws for other files.
    static std::unique_ptr<AbsViberDb> iosReader(const QString& folder, const QString& databaseFile);

    // The reader for Viber's history in an iPhone backup folder; an encrypted one opens
    // with the password given for it in this session (BackupPasswords), its key derived
    // under cancelled and progress (see BackupKeybag::unlock). Throws with a plain
    // explanation when the backup is encrypted without a password, damaged or holds no
    // Viber history, WrongBackupPassword and OperationCancelled as IPhoneBackup does.
    static std::unique_ptr<AbsViberDb> iosBackupReader(const QString& folder,
                                                       const BackupKeybag::Cancelled& cancelled = {},
                                                       const BackupKeybag::Progress& progress = {});
};
