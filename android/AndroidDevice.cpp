#include "android/AndroidDevice.h"

#include "android/AgentPairing.h"

#include "app/AppDirs.h"

#include <QDir>
#include <QRegularExpression>

namespace {

constexpr auto DefaultStorage = "/storage/emulated/0";

int decimalOrZero(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

// Storage paths become file URLs the agent opens and folders files are resolved against:
// only an absolute path is a folder on the phone; anything else counts as no storage.
QString phoneFolderOrEmpty(const QString& path)
{
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(u'\0')) ||
        !QStringView(path).isValidUtf16())
        return {};
    return QDir::cleanPath(path);
}

} // namespace

QString AndroidDevice::displayName() const
{
    QString name = manufacturer;
    if (!model.isEmpty())
        name += QLatin1Char(' ') + model;
    return name.trimmed();
}

QString AndroidDevice::deviceId() const
{
    return viaWifi ? uid : serial;
}

QString AndroidDevice::cacheFolderName() const
{
    return safeFileName(imei);
}

QString AndroidDevice::uidFileName() const
{
    return safeFileName(uid);
}

QString AndroidDevice::safeFileName(const QString& value) const
{
    const QString sanitized = AppDirs::sanitizeFileName(value);
    if (!sanitized.isEmpty() && sanitized == value)
        return sanitized;
    const QString id = !uid.isEmpty() ? uid : !serial.isEmpty() ? serial : host;
    return AppDirs::md5Hex(id);
}

QString AndroidDevice::agentTooOldText()
{
    return QStringLiteral(
               "Kestrune Relaypod on Android is too old. %1 needed. Please update it from Google Play.")
        .arg(QLatin1String(MinimumAgentRelease));
}

QString AndroidDevice::cacheDir() const
{
    const QString path = QDir(AppDirs::androidCacheFolder()).absoluteFilePath(cacheFolderName());
    QDir().mkpath(path);
    return path;
}

QUrl AndroidDevice::storageUrl(const QString& relativePath) const
{
    const QString root = storage.isEmpty() ? QString::fromLatin1(DefaultStorage) : storage;
    const QString path = AppDirs::pathInside(root, relativePath);
    return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path);
}

simpleprotocol::SessionEndpoint AndroidDevice::endpoint() const
{
    return simpleprotocol::SessionEndpoint{
        viaWifi, serial, host, port, packageAgent, viaWifi ? AgentPairing::secret() : QByteArray()};
}

void AndroidDevice::applyDescription(const QString& description)
{
    static const QRegularExpression pair(QStringLiteral("([^=;]+)=([^=;]+);?"));
    for (auto it = pair.globalMatch(description); it.hasNext();) {
        const auto match = it.next();
        const QString key = match.captured(1);
        const QString value = match.captured(2);
        if (key == QLatin1String("version"))
            agentVersion = decimalOrZero(value);
        else if (key == QLatin1String("model"))
            model = value;
        else if (key == QLatin1String("manufacturer"))
            manufacturer = value;
        else if (key == QLatin1String("imei"))
            imei = value;
        else if (key == QLatin1String("uid"))
            uid = value;
        else if (key == QLatin1String("sdk"))
            sdk = value;
        else if (key == QLatin1String("sdk_id"))
            sdkLevel = decimalOrZero(value);
        else if (key == QLatin1String("root"))
            rooted = decimalOrZero(value) != 0;
        else if (key == QLatin1String("storage1"))
            storage = phoneFolderOrEmpty(value);
    }
}
