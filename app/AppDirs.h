#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QUrl;

// The per-product data folder and the file helpers the rest of the program shares.
namespace AppDirs {

inline constexpr auto ProductId = "5A3C19E0B27F4D6C8E01F4A9D3B7C260";
inline constexpr auto LocalDatabaseFile = "Documents/Contacts-kestrune.data";

// The user's application-data folder (the XDG data home on Linux).
QString applicationDataFolder();

// The data folder below an application-data folder: "Kestrune/<product id>", unless
// "Kestrune/<product id>.redirect" names an existing folder, which then takes the
// place of "Kestrune". Pure: creates nothing.
QString resolveDataFolder(const QString& applicationData);

// The data folder of this process, resolved at the first call and created at every call.
QString dataFolder();
QString logFolder();
QString androidCacheFolder();
QString localDatabasesFolder(); // created when missing

// Names of the local databases: sub-folders of "local_databases" holding the
// database file, sorted by name.
QStringList localDatabaseNames(const QString& localDatabasesRoot);
QStringList localDatabaseNames();
QString localDatabasePath(const QString& name);

void clearDeviceCache();

// The folder of the pictures the program uses ("vbbb", "emoji", "vb_emoji"): the program's
// own folder in the build tree, "../share/velliport" from an installed program's folder,
// unless set otherwise (tests and tools point it elsewhere).
QString assetFolder();
void setAssetFolder(const QString& folder);

// A name that is a folder of its own below the local-database root: not empty, and
// unchanged by sanitizeFileName (so "..." or "a/b" never name another folder).
bool isValidLocalDatabaseName(const QString& name);
// Removes a local database's folder; false for an invalid name or when it stays.
bool removeLocalDatabase(const QString& name);

// Removes a folder with everything in it, never following links. The data folder,
// the local-database root, the home folder and the file-system root are refused.
void removeTree(const QString& path);
QString uniqueFileName(const QString& path);
QString sanitizeFileName(const QString& text);
// folder joined with a relative name that came from data, cleaned. Empty when the name is
// empty, absolute, holds a NUL or is no valid UTF-16 (a lone surrogate names no file
// faithfully), or when the cleaned result is the folder itself or lies outside it
// ("../x", "a/../../x"). Links are not resolved: the caller's folder is trusted.
QString pathInside(const QString& folder, const QString& relativeName);
QString md5Hex(const QString& text);
// Hand files, folders and web addresses to the desktop's default programs.
void openInExplorer(const QString& path);
void shellOpen(const QString& path);
void openUrl(const QUrl& url);
// Tests record what would be opened instead of starting programs; an empty hook
// restores the desktop.
void setShellOpenHook(std::function<void(const QUrl&)> hook);

} // namespace AppDirs
