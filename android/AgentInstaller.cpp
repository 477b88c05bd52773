#include "android/AgentInstaller.h"

#include "agent/AgentVersion.h"
#include "android/AdbTool.h"
#include "android/SimpleProtocolExceptions.h"
#include "app/Failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <mutex>

namespace {

std::mutex folderMutex;
QString folderOverride;

QString firstLine(const QString& text)
{
    return text.trimmed().section(u'\n', 0, 0).trimmed();
}

} // namespace

QString AgentInstaller::localAgentFolder()
{
    const std::lock_guard lock(folderMutex);
    if (!folderOverride.isEmpty())
        return folderOverride;
    // The build puts the builds beside the programs; an installed program finds them in
    // lib/velliport beside its bin folder.
    const QDir program(QCoreApplication::applicationDirPath());
    if (program.exists(QStringLiteral("agent")))
        return program.filePath(QStringLiteral("agent"));
    return QDir::cleanPath(program.filePath(QStringLiteral("../lib/velliport/agent")));
}

void AgentInstaller::setLocalAgentFolder(const QString& folder)
{
    const std::lock_guard lock(folderMutex);
    folderOverride = folder;
}

QString AgentInstaller::versionLine()
{
    return QString::fromLatin1(agent::VersionLine);
}

QString AgentInstaller::buildFor(const QString& serial)
{
    const AdbTool adb;
    QStringList abis;
    for (const char* property : {"ro.product.cpu.abilist", "ro.product.cpu.abi"}) {
        const QString reply =
            firstLine(adb.shell(serial, {QStringLiteral("getprop"), QLatin1String(property)}));
        for (const QString& abi : reply.split(u',', Qt::SkipEmptyParts)) {
            static const QRegularExpression plain(QStringLiteral("^[a-z0-9_-]{1,32}$"));
            if (plain.match(abi.trimmed()).hasMatch() && !abis.contains(abi.trimmed()))
                abis.append(abi.trimmed());
        }
    }
    for (const QString& abi : abis) {
        const QString build = localAgentFolder() + u'/' + abi + QStringLiteral("/velliport-agent");
        if (QFileInfo(build).isFile())
            return build;
    }
    fail(QStringLiteral("no agent build for this phone's processor (%1) in %2.")
             .arg(abis.isEmpty() ? QStringLiteral("unknown") : abis.join(u','), localAgentFolder()));
}

bool AgentInstaller::ensureInstalled(const QString& serial)
{
    const AdbTool adb;
    const QString phonePath = QLatin1String(PhonePath);
    if (firstLine(adb.shell(serial, {phonePath, QStringLiteral("--version")})) == versionLine())
        return false;
    adb.push(serial, buildFor(serial), phonePath);
    adb.shell(serial, {QStringLiteral("chmod"), QStringLiteral("755"), phonePath});
    const QString reply = firstLine(adb.shell(serial, {phonePath, QStringLiteral("--version")}));
    if (reply != versionLine())
        fail(QStringLiteral("the agent does not run on this phone: %1").arg(reply.left(300)));
    return true;
}

void AgentInstaller::start(const QString& serial, const QStringList& arguments, const QByteArray& secret)
{
    const QString reply =
        AdbTool().shell(serial, QStringList{QLatin1String(PhonePath)} + arguments, secret + '\n');
    if (reply.contains(QLatin1String(agent::ListeningWords)))
        return;
    const QString text = QStringLiteral("the agent did not start: %1").arg(reply.trimmed().left(300));
    if (reply.contains(QLatin1String(agent::PortTakenWords)))
        throw simpleprotocol::SessionPortTaken(text);
    fail(text);
}

void AgentInstaller::startSession(const QString& serial, const QString& url, const QByteArray& secret)
{
    start(serial, {QStringLiteral("--session"), url}, secret);
}

void AgentInstaller::startWifi(const QString& serial, const QByteArray& secret)
{
    start(serial, {QStringLiteral("--wifi")}, secret);
}

QByteArray AgentInstaller::newSecret(int length)
{
    static constexpr char Alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
    QByteArray secret;
    for (int i = 0; i < length; ++i)
        secret += Alphabet[QRandomGenerator::system()->bounded(int(sizeof Alphabet - 1))];
    return secret;
}
