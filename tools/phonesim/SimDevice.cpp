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

bool SimDevice::viberRunning() const
{
    return value(QStringLiteral("viberRunning"), false).toBool();
}

void SimDevice::forceStop(const QString& package)
{
    if (package == QLatin1String("com.viber.voip"))
        setValue(QStringLiteral("viberRunning"), false);
}

void SimDevice::noteWrite(const QString& phonePath) const
{
    if (!viberRunning() ||
        !QDir::cleanPath(phonePath).startsWith(QLatin1String("/data/data/com.viber.voip/")))
        return;
    QFile log(m_folder + QStringLiteral("/viber-writes-while-running.log"));
    if (log.open(QIODevice::Append | QIODevice::Text))
        log.write(phonePath.toUtf8() + '\n');
}

QStringList SimDevice::writesWhileRunning() const
{
    QFile log(m_folder + QStringLiteral("/viber-writes-while-running.log"));
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
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
