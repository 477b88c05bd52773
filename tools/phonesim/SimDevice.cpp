#include "tools/phonesim/SimDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace {

QString settingsPath(const QString& folder)
{
    return folder + QStringLiteral("/device.ini");
}

} // namespace

SimDevice::SimDevice(const QString& stateDir, const QString& serial)
    : m_serial(serial), m_folder(stateDir + QStringLiteral("/devices/") + serial)
{}

QString SimDevice::stateDirFromEnvironment()
{
    return qEnvironmentVariable("PHONESIM_DIR");
}

QStringList SimDevice::serials(const QString& stateDir)
{
    return QDir(stateDir + QStringLiteral("/devices"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

SimDevice SimDevice::create(const QString& stateDir, const QString& serial)
{
    SimDevice device(stateDir, serial);
    QDir().mkpath(device.fsRoot());
    QSettings settings(settingsPath(device.m_folder), QSettings::IniFormat);
    if (!settings.contains(QStringLiteral("state")))
        settings.setValue(QStringLiteral("state"), QStringLiteral("device"));
    return device;
}

bool SimDevice::exists() const
{
    static const QRegularExpression serialPattern(QStringLiteral("^[A-Za-z0-9._:-]+$"));
    return serialPattern.match(m_serial).hasMatch() && QFileInfo::exists(settingsPath(m_folder));
}

QVariant SimDevice::value(const QString& key, const QVariant& fallback) const
{
    return QSettings(settingsPath(m_folder), QSettings::IniFormat).value(key, fallback);
}

void SimDevice::setValue(const QString& key, const QVariant& value)
{
    QSettings(settingsPath(m_folder), QSettings::IniFormat).setValue(key, value);
}

QString SimDevice::connectionState() const
{
    return value(QStringLiteral("state"), QStringLiteral("device")).toString();
}

QStringList SimDevice::packages() const
{
    return value(QStringLiteral("packages")).toStringList();
}

void SimDevice::addPackage(const QString& package)
{
    QStringList list = packages();
    if (!list.contains(package)) {
        list.append(package);
        setValue(QStringLiteral("packages"), list);
    }
}

QString SimDevice::description() const
{
    return value(QStringLiteral("description")).toString();
}

int SimDevice::sdkLevel() const
{
    static const QRegularExpression sdkPattern(QStringLiteral("(?:^|;)sdk_id=(\\d+)"));
    const auto match = sdkPattern.match(description());
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

bool SimDevice::rootGranted() const
{
    return value(QStringLiteral("root"), true).toBool();
}

int SimDevice::slowMs() const
{
    return qBound(0, value(QStringLiteral("slowMs"), 0).toInt(), 10000);
}

int SimDevice::idleMs() const
{
    return qBound(100, value(QStringLiteral("idleMs"), 20000).toInt(), 120000);
}

int SimDevice::wifiPort() const
{
    const int port = value(QStringLiteral("wifiPort"), DefaultWifiPort).toInt();
    return port > 0 && port <= 65535 ? port : DefaultWifiPort;
}

bool SimDevice::viberRunning() const
{
    return value(QStringLiteral("viberRunning"), false).toBool();
}

void SimDevice::setViberRunning(bool running)
{
    setValue(QStringLiteral("viberRunning"), running);
}

bool SimDevice::inViberFolder(const QString& phonePath, const QString& subfolder)
{
    // Android shows the app's private folder under both names.
    static const QStringList roots = {QStringLiteral("/data/data/com.viber.voip"),
                                      QStringLiteral("/data/user/0/com.viber.voip")};
    const QString path = QDir::cleanPath(u'/' + phonePath);
    for (const QString& root : roots) {
        const QString folder = root + subfolder;
        if (path == folder || path.startsWith(folder + u'/'))
            return true;
    }
    return false;
}

void SimDevice::noteAccess(const QString& logPath, const QString& phonePath, const QString& action) const
{
    QFile log(logPath);
    if (log.open(QIODevice::Append | QIODevice::Text))
        log.write(QStringLiteral("%1 %2\n").arg(action, QDir::cleanPath(u'/' + phonePath)).toUtf8());
}

void SimDevice::noteWrite(const QString& phonePath, const QString& action) const
{
    if (viberRunning() && inViberFolder(phonePath, QString()))
        noteAccess(viberWritesLog(), phonePath, action);
}

void SimDevice::noteRead(const QString& phonePath, const QString& action) const
{
    if (viberRunning() && inViberFolder(phonePath, QStringLiteral("/databases")))
        noteAccess(viberReadsLog(), phonePath, action);
}

QString SimDevice::viberWritesLog() const
{
    return m_folder + QStringLiteral("/viber-writes-while-running.log");
}

QString SimDevice::viberReadsLog() const
{
    return m_folder + QStringLiteral("/viber-reads-while-running.log");
}

bool SimDevice::installNativeAgent() const
{
    const QString target = fileFor(QLatin1String(NativeAgentPath));
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    return QFile::copy(QStringLiteral(PHONESIM_AGENT_BUILD), target) &&
           QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner | QFile::ExeGroup |
                                             QFile::ExeOther);
}

QString SimDevice::fsRoot() const
{
    return m_folder + QStringLiteral("/fs");
}

QString SimDevice::fileFor(const QString& phonePath) const
{
    QString local = fsRoot();
    const QStringList parts = phonePath.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..") || part.contains(u'\\') || part.contains(QChar(0)))
            return QString();
        local += u'/' + part;
        // a link inside the tree could point anywhere on the computer
        if (QFileInfo(local).isSymLink())
            return QString();
    }
    return local;
}
