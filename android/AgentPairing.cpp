#include "android/AgentPairing.h"

#include "android/AgentInstaller.h"
#include "app/AppDirs.h"
#include "app/PrivateWorkFolder.h"

#include <QFile>
#include <QSaveFile>

#include <mutex>
#include <stdexcept>

namespace {

std::mutex pairingMutex;

bool wellFormed(const QByteArray& secret)
{
    if (secret.size() < 8 || secret.size() > 128)
        return false;
    for (const char c : secret) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    return true;
}

} // namespace

QString AgentPairing::secretPath()
{
    return AppDirs::dataFolder() + QStringLiteral("/agent-pairing");
}

QByteArray AgentPairing::secret()
{
    const std::lock_guard lock(pairingMutex);
    QFile existing(secretPath());
    if (existing.open(QIODevice::ReadOnly)) {
        const QByteArray kept = existing.read(256).trimmed();
        if (wellFormed(kept))
            return kept;
    }
    const QByteArray made = AgentInstaller::newSecret(CodeLength);
    QSaveFile file(secretPath());
    if (!file.open(QIODevice::WriteOnly))
        return QByteArray();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(made + '\n');
    if (!file.commit())
        return QByteArray();
    PrivateWorkFolder::restrictToOwner(secretPath());
    return made;
}

void AgentPairing::pairOverUsb(const QString& serial)
{
    const QByteArray code = secret();
    if (code.isEmpty())
        throw std::runtime_error("the pairing secret cannot be kept in the data folder.");
    AgentInstaller::ensureInstalled(serial);
    AgentInstaller::startWifi(serial, code);
}
