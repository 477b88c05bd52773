#include "tests/support/PhoneSim.h"

#include "android/AgentInstaller.h"
#include "android/SimpleProtocol.h"

#include "tests/support/TestEnvironment.h"
#include "tools/phonesim/SimSample.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

namespace {

QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

PhoneSim::PhoneSim()
    : m_oldPath(qgetenv("PATH")), m_oldState(qgetenv("PHONESIM_DIR")),
      m_hadState(qEnvironmentVariableIsSet("PHONESIM_DIR"))
{
    qputenv("PHONESIM_DIR", QFile::encodeName(m_dir.path()));
    qputenv("PATH", QFile::encodeName(QFileInfo(adbPath()).absolutePath()) + ':' + m_oldPath);
    // the agent builds a phone without the agent is given
    AgentInstaller::setLocalAgentFolder(TestEnvironment::binDir() + QStringLiteral("/agent"));
    // Session ports repeat between processes started in the same second; test programs
    // run in parallel, and their agents must not meet on one port.
    static const bool seeded = [] {
        simpleprotocol::resetSessionPortCounter(int(1 + QCoreApplication::applicationPid() % 97));
        return true;
    }();
    Q_UNUSED(seeded);
}

PhoneSim::~PhoneSim()
{
    for (auto& agent : m_agents) {
        agent->kill();
        agent->waitForFinished(5000);
    }
    qputenv("PATH", m_oldPath);
    if (m_hadState)
        qputenv("PHONESIM_DIR", m_oldState);
    else
        qunsetenv("PHONESIM_DIR");
}

bool PhoneSim::isValid() const
{
    return m_dir.isValid() && QFileInfo(adbPath()).isExecutable() && QFileInfo(agentPath()).isExecutable();
}

QString PhoneSim::adbPath()
{
    return TestEnvironment::binDir() + QStringLiteral("/phonesim/adb");
}

QString PhoneSim::agentPath()
{
    return TestEnvironment::binDir() + QStringLiteral("/phonesim-agent");
}

QString PhoneSim::description(const QString& serial, int sdkLevel, bool rooted)
{
    return SimSample::description(serial, sdkLevel, rooted);
}

SimDevice PhoneSim::addDevice(const QString& serial, int sdkLevel, bool rooted)
{
    SimDevice device = SimDevice::create(stateDir(), serial);
    device.setValue(QStringLiteral("state"), QStringLiteral("device"));
    device.setValue(QStringLiteral("packages"),
                    QStringList{QStringLiteral("com.viber.voip"), QStringLiteral("com.kestrune.relaypod")});
    device.setValue(QStringLiteral("description"), description(serial, sdkLevel, rooted));
    device.setValue(QStringLiteral("root"), rooted);
    device.setValue(QStringLiteral("idleMs"), 10000);
    device.installNativeAgent();
    return device;
}

SimDevice PhoneSim::addSampleDevice(const QString& serial, int sdkLevel, bool rooted)
{
    SimSample::Options options;
    options.sdkLevel = sdkLevel;
    options.rooted = rooted;
    return addSampleDevice(serial, options);
}

SimDevice PhoneSim::addSampleDevice(const QString& serial, SimSample::Options options)
{
    SimDevice device = addDevice(serial, options.sdkLevel, options.rooted);
    options.agentInstalled = true;
    SimSample::populate(device, options);
    return device;
}

void PhoneSim::putFile(const QString& serial, const QString& phonePath, const QByteArray& bytes) const
{
    const QString local = device(serial).fileFor(phonePath);
    QDir().mkpath(QFileInfo(local).absolutePath());
    QFile file(local);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray PhoneSim::phoneFile(const QString& serial, const QString& phonePath) const
{
    QFile file(device(serial).fileFor(phonePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool PhoneSim::phoneFileExists(const QString& serial, const QString& phonePath) const
{
    const QString local = device(serial).fileFor(phonePath);
    return !local.isEmpty() && QFileInfo(local).isFile();
}

QStringList PhoneSim::adbCalls() const
{
    return linesOf(stateDir() + QStringLiteral("/adb.log"));
}

QStringList PhoneSim::viberWritesWhileRunning(const QString& serial) const
{
    return linesOf(device(serial).viberWritesLog());
}

QStringList PhoneSim::viberReadsWhileRunning(const QString& serial) const
{
    return linesOf(device(serial).viberReadsLog());
}

int PhoneSim::freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

int PhoneSim::startWifiAgent(const QString& serial, const QByteArray& secret)
{
    const int port = freePort();
    device(serial).setValue(QStringLiteral("wifiPort"), port);
    auto agent = std::make_unique<QProcess>();
    agent->setProcessChannelMode(QProcess::SeparateChannels);
    // without --control-port the agent listens on the phone's wifiPort
    QStringList arguments = {QStringLiteral("--state"),  stateDir(),
                             QStringLiteral("--serial"), serial,
                             QStringLiteral("--wifi"),   QStringLiteral("--foreground")};
    if (secret.isEmpty())
        arguments.append(QStringLiteral("--no-secret"));
    agent->start(agentPath(), arguments);
    if (!agent->waitForStarted(5000))
        return 0;
    agent->write(secret + '\n');
    agent->closeWriteChannel();
    while (!agent->canReadLine()) {
        if (!agent->waitForReadyRead(5000))
            return 0;
    }
    const bool listening = agent->readLine().startsWith("listening");
    m_agents.push_back(std::move(agent));
    return listening ? port : 0;
}
