#pragma once

#include <QString>
#include <QStringList>

// Where Viber Desktop keeps its accounts: one folder per account, named after the
// phone number, holding "viber.db". On Linux that is ~/.ViberPC; on Windows the
// roaming application data, older versions under "Application Data"; on macOS
// ~/Library/Application Support/ViberPC.
namespace PCViberAccounts {

inline constexpr auto DatabaseFile = "viber.db";

// The first of the known data folders under home that exists; empty when none does.
QString dataFolder(const QString& home);

// The account folders (absolute paths, by name) that hold a database.
QStringList accountFolders(const QString& home);

} // namespace PCViberAccounts
