#include "app/OnDemandFiles.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <atomic>
#include <stdexcept>

namespace {

// One lock for the registry and the making: a folder's registration cannot go while one
// of its files is being made, and one file is never made twice at once. Decryption is
// bound by the disk, so making files one at a time costs little.
QMutex& registryMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<QString, OnDemandFiles::Maker>& registry()
{
    static QHash<QString, OnDemandFiles::Maker> folders;
    return folders;
}

// Most sessions read no encrypted backup: their paths skip the lock.
std::atomic<int> registered{0};

} // namespace

OnDemandFiles::Registration::Registration(const QString& folder, Maker maker) : m_folder(folder)
{
    const QMutexLocker locker(&registryMutex());
    registry().insert(m_folder, std::move(maker));
    ++registered;
}

OnDemandFiles::Registration::~Registration()
{
    const QMutexLocker locker(&registryMutex());
    registry().remove(m_folder);
    --registered;
}

bool OnDemandFiles::prepare(const QString& path)
{
    if (registered.load() == 0 || path.isEmpty())
        return false;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return false;
    const QMutexLocker locker(&registryMutex());
    const auto maker = registry().constFind(path.left(slash));
    if (maker == registry().constEnd())
        return false;
    if (!QFileInfo::exists(path)) {
        try {
            (*maker)(path);
        } catch (const std::runtime_error& e) {
            qWarning("%s", e.what());
        }
    }
    return true;
}
