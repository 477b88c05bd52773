#pragma once

#include <QList>
#include <QSize>
#include <QString>

class IOSViberDb;
struct _ViberMsg;
struct _ViberCall;

// Builds local database folders for tests from the SQL files in tests/data/localdb.
namespace LocalDbFixture {

inline constexpr auto ProgramFile = "Documents/Contacts-kestrune.data";
inline constexpr auto GenuineFile = "Documents/Contacts.data";

// The program's own schema (from the compiled-in script) filled with the sample data.
// Returns the database file's path.
QString createProgramStore(const QString& folder);
// A store shaped like the iOS app's own, with its sample data.
QString createGenuineStore(const QString& folder);
// The program's schema without data.
QString createEmptyProgramStore(const QString& folder);

// Runs a script on a database file (created when missing); throws on SQL errors.
void runScript(const QString& databasePath, const QString& script);
QString readDataFile(const QString& relativePath);

// A picture of the given size in the format named by the suffix of path.
void writeImage(const QString& path, QSize size);
// Every regular file below folder, relative to it, sorted.
QStringList filesBelow(const QString& folder);

// Writes messages and calls with the local database's writer the way a backup does:
// one transaction, conversations found or made as the chat changes, duplicates
// skipped, recents lines and conversation dates brought up to date at the end.
void writeAll(IOSViberDb& db, const QList<_ViberMsg*>& messages, const QList<_ViberCall*>& calls);

} // namespace LocalDbFixture
