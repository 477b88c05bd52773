#pragma once

#include "tools/phonesim/SimDevice.h"

#include <QByteArray>
#include <QString>

// What the phone's backup service does for "adb backup" and "adb restore": an archive
// of one package's private data, and the restore engine's rules for taking one back.
namespace SimBackup {

// The whole ".ab" file for the package: the manifest first, then the app's databases
// and preferences. Apps of phones at API level 31 or above are left out, so the archive
// is valid but empty. With encrypted set, the body is unreadable without a password.
QByteArray makeArchive(const SimDevice& device, const QString& package, bool encrypted);

// Takes the package's entries from the archive into the phone. Returns the number of
// files written; throws std::runtime_error with the phone's complaint when the archive
// cannot be read.
int restoreArchive(SimDevice& device, const QByteArray& archive);

} // namespace SimBackup
