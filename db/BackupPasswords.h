#pragma once

#include "db/SecretBytes.h"

#include <QString>

#include <optional>

// The passwords of encrypted iPhone backups given in this session, by backup folder.
// They live in memory only, for as long as the program runs, so that a backup asked
// for once opens again without asking; nothing writes them anywhere. Thread-safe: the
// window or command line gives a password, a worker takes it.
namespace BackupPasswords {

void remember(const QString& folder, SecretBytes password);
// A copy of the password given for the folder, if any.
std::optional<SecretBytes> password(const QString& folder);
// After a wrong password, so that the next open asks again.
void forget(const QString& folder);

} // namespace BackupPasswords
