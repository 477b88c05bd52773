#include "db/BackupPasswords.h"

#include <QDir>
#include <QMutex>

#include <map>

namespace {

QMutex& lock()
{
    static QMutex mutex;
    return mutex;
}

// Keyed by the cleaned absolute path, so that two spellings of a folder are one.
std::map<QString, SecretBytes>& passwords()
{
    static std::map<QString, SecretBytes> byFolder;
    return byFolder;
}

QString keyOf(const QString& folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath());
}

} // namespace

namespace BackupPasswords {

void remember(const QString& folder, SecretBytes password)
{
    const QMutexLocker locker(&lock());
    passwords().insert_or_assign(keyOf(folder), std::move(password));
}

std::optional<SecretBytes> password(const QString& folder)
{
    const QMutexLocker locker(&lock());
    const auto it = passwords().find(keyOf(folder));
    if (it == passwords().end())
        return std::nullopt;
    return it->second.clone();
}

void forget(const QString& folder)
{
    const QMutexLocker locker(&lock());
    passwords().erase(keyOf(folder));
}

} // namespace BackupPasswords
