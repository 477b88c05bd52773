#include "tools/phonesim/SimAgentHooks.h"

#include "tools/phonesim/SimRootShell.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

SimAgentHooks::SimAgentHooks(const SimDevice& device) : m_device(device) {}

std::optional<std::string> SimAgentHooks::textSetting(const char* key) const
{
    const QString value = m_device.value(QLatin1String(key)).toString();
    if (value.isEmpty())
        return std::nullopt;
    return value.toUtf8().toStdString();
}

std::optional<std::string> SimAgentHooks::description()
{
    return m_device.description().toUtf8().toStdString();
}

// "noHello": an agent that opens the session and then never describes the phone
bool SimAgentHooks::sendsHello()
{
    return !m_device.value(QStringLiteral("noHello"), false).toBool();
}

std::optional<agent::AgentHooks::RootResult> SimAgentHooks::runRootCommand(const std::string& command,
                                                                           std::size_t outputLimit)
{
    RootResult result;
    result.exitCode = 1;
    if (!m_device.rootGranted())
        return result;
    const SimRootShell::Result run = SimRootShell(m_device).run(fromStd(command));
    result.exitCode = run.exitCode;
    result.output = run.output.left(qsizetype(outputLimit)).toStdString();
    result.dropConnection = run.dropConnection;
    return result;
}

// The agent runs as an ordinary app: other apps' private folders under /data are closed
// to it, only its own is open. Root commands reach them; the agent itself does not.
bool SimAgentHooks::mayAccess(const std::string& phonePath)
{
    const QString path = QDir::cleanPath(u'/' + fromStd(phonePath));
    static const QStringList own = {QStringLiteral("/data/data/com.kestrune.relaypod"),
                                    QStringLiteral("/data/user/0/com.kestrune.relaypod"),
                                    QStringLiteral("/data/local/tmp")};
    for (const QString& folder : own) {
        if (path == folder || path.startsWith(folder + u'/'))
            return true;
    }
    return path != QLatin1String("/data") && !path.startsWith(QLatin1String("/data/"));
}

void SimAgentHooks::beforeAnswer()
{
    if (const int ms = m_device.slowMs(); ms > 0)
        QThread::msleep(ulong(ms));
}

std::optional<std::string> SimAgentHooks::errorForEveryRequest()
{
    return textSetting("errorLine");
}

// "unknownRequests": the requests ("$flist:", "$fstat:") that an agent from before them
// answers as unknown
bool SimAgentHooks::knowsRequest(const std::string& command)
{
    return !m_device.value(QStringLiteral("unknownRequests")).toStringList().contains(fromStd(command));
}

std::size_t SimAgentHooks::blockSize()
{
    const qint64 size = m_device.value(QStringLiteral("blockSize"), qint64(DefaultBlockSize)).toLongLong();
    return size > 0 ? std::size_t(size) : DefaultBlockSize;
}

std::optional<std::string> SimAgentHooks::replaceFirstBlockHeader()
{
    return textSetting("malformedHeader");
}

bool SimAgentHooks::dropsMidBlock()
{
    return m_device.value(QStringLiteral("dropMidBlock"), false).toBool();
}

// "true" cuts every upload, any other text only uploads to a phone path that contains it.
bool SimAgentHooks::dropsMidUpload(const std::string& phonePath)
{
    const QString drop = m_device.value(QStringLiteral("dropMidUpload")).toString();
    if (drop.isEmpty() || drop == QLatin1String("false"))
        return false;
    return drop == QLatin1String("true") || fromStd(phonePath).contains(drop);
}

std::optional<std::string> SimAgentHooks::refuseWifi()
{
    return textSetting("refuseWifi");
}

void SimAgentHooks::noteWrite(const std::string& phonePath, const std::string& action)
{
    m_device.noteWrite(fromStd(phonePath), fromStd(action));
}

void SimAgentHooks::log(const std::string& text)
{
    QFile file(QFileInfo(m_device.folder()).absolutePath() + QStringLiteral("/../agent.log"));
    if (file.open(QIODevice::Append | QIODevice::Text))
        file.write(QStringLiteral("%1 %2 %3\n")
                       .arg(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")),
                            m_device.serial(), fromStd(text).left(500))
                       .toUtf8());
}
