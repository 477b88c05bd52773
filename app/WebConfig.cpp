#include "app/WebConfig.h"

#include "app/AppDirs.h"
#include "app/WebLinks.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <optional>

namespace {

std::optional<WebConfig>& currentConfig()
{
    static std::optional<WebConfig> config;
    return config;
}

QUrl webAddress(const QSettings& settings, const char* key)
{
    const QUrl url(settings.value(QLatin1String(key)).toString().trimmed(), QUrl::StrictMode);
    return WebConfig::isWebAddress(url) ? url : QUrl();
}

// A host name or an IPv4 address, nothing that could smuggle a path, a port or a
// header into the requests built from it.
bool isHostName(const QString& host)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]{0,252})$"));
    return name.match(host).hasMatch();
}

// A map picture address counts when it is a web address once its placeholders are filled.
QString mapPictureTemplate(const QSettings& settings)
{
    // An unquoted comma, as between the coordinates, makes QSettings read a list.
    const QVariant value = settings.value(QStringLiteral("map_picture"));
    const QString text =
        (value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                  : value.toString())
            .trimmed()
            .left(2000);
    if (text.isEmpty())
        return {};
    const QUrl filled = WebLinks::mapPicture(text, 0.5, 0.5);
    return WebConfig::isWebAddress(filled) ? text : QString();
}

} // namespace

bool WebConfig::isWebAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QUrl WebConfig::serverUrl(const QString& pathAndQuery) const
{
    if (!hasHost())
        return {};
    QUrl url(QStringLiteral("http://%1%2").arg(host, pathAndQuery));
    if (port != 80)
        url.setPort(port);
    return url;
}

WebConfig WebConfig::fromFile(const QString& path)
{
    WebConfig config;
    if (!QFileInfo::exists(path))
        return config;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("web"));
    const QString host = settings.value(QStringLiteral("host")).toString().trimmed();
    if (isHostName(host))
        config.host = host;
    bool portOk = false;
    const uint port = settings.value(QStringLiteral("port"), 80).toUInt(&portOk);
    if (portOk && port > 0 && port <= 65535)
        config.port = quint16(port);
    config.supportAddress = settings.value(QStringLiteral("support")).toString().trimmed().left(254);
    config.updatePage = webAddress(settings, "update_page");
    if (config.updatePage.isEmpty())
        config.updatePage = config.serverUrl(QStringLiteral("/sms_check_update.php"));
    config.helpPage = webAddress(settings, "help_page");
    config.feedbackPage = webAddress(settings, "feedback_page");
    config.homePage = webAddress(settings, "home_page");
    config.usbDebuggingPage = webAddress(settings, "usb_debugging_page");
    config.mapPicture = mapPictureTemplate(settings);
    return config;
}

const WebConfig& WebConfig::current()
{
    std::optional<WebConfig>& config = currentConfig();
    if (!config)
        config = fromFile(QDir(AppDirs::dataFolder()).filePath(QLatin1String(FileName)));
    return *config;
}

void WebConfig::setCurrent(const WebConfig& config)
{
    currentConfig() = config;
}
