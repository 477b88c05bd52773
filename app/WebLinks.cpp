#include "app/WebLinks.h"

#include "app/AppDirs.h"
#include "app/WebConfig.h"

#include <QPoint>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

QString coordinate(double value)
{
    return QString::number(value, 'f', 6);
}

// The tile of the standard web map grid that holds the place at a zoom level.
QPoint tileOf(double latitude, double longitude, int zoom)
{
    constexpr double MercatorLimit = 85.0511287798;
    const double tiles = std::ldexp(1.0, zoom);
    const double lat = std::clamp(latitude, -MercatorLimit, MercatorLimit) * std::numbers::pi / 180.0;
    const double x = (longitude + 180.0) / 360.0 * tiles;
    const double y = (1.0 - std::asinh(std::tan(lat)) / std::numbers::pi) / 2.0 * tiles;
    const auto clampTile = [tiles](double v) { return int(std::clamp(std::floor(v), 0.0, tiles - 1)); };
    return {clampTile(x), clampTile(y)};
}

} // namespace

QString WebLinks::platformName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("win32");
#else
    return QStringLiteral("linux");
#endif
}

QUrl WebLinks::versionCheck(const WebConfig& config)
{
    return config.serverUrl(QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&q=1")
                                .arg(QLatin1String(AppDirs::ProductId))
                                .arg(BuildNumber));
}

QUrl WebLinks::linkQuery(const WebConfig& config)
{
    return config.serverUrl(QStringLiteral("/adv.php?pid=%1").arg(QLatin1String(AppDirs::ProductId)));
}

QUrl WebLinks::errorReport(const WebConfig& config)
{
    return config.serverUrl(QStringLiteral("/err_report.php"));
}

QUrl WebLinks::checkUpdatePage(const WebConfig& config)
{
    if (config.updatePage.isEmpty())
        return {};
    QUrl page = config.updatePage;
    QUrlQuery query(page);
    query.addQueryItem(QStringLiteral("pid"), QLatin1String(AppDirs::ProductId));
    query.addQueryItem(QStringLiteral("ver"), QString::number(BuildNumber));
    query.addQueryItem(QStringLiteral("sys"), platformName());
    page.setQuery(query);
    return page;
}

QUrl WebLinks::helpPage(const WebConfig& config)
{
    return config.helpPage;
}

QUrl WebLinks::feedbackPage(const WebConfig& config)
{
    return config.feedbackPage;
}

QUrl WebLinks::homePage(const WebConfig& config)
{
    return config.homePage;
}

QUrl WebLinks::usbDebuggingPage(const WebConfig& config)
{
    return config.usbDebuggingPage;
}

bool WebLinks::isPlace(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::abs(latitude) <= 90 &&
           std::abs(longitude) <= 180 && (latitude != 0 || longitude != 0);
}

QString WebLinks::placeText(double latitude, double longitude)
{
    return coordinate(latitude) + QLatin1String(", ") + coordinate(longitude);
}

QUrl WebLinks::mapPicture(const WebConfig& config, double latitude, double longitude)
{
    return mapPicture(config.mapPicture, latitude, longitude);
}

QUrl WebLinks::mapPicture(const QString& pattern, double latitude, double longitude)
{
    if (pattern.isEmpty() || !isPlace(latitude, longitude))
        return {};
    const QPoint tile = tileOf(latitude, longitude, MapZoom);
    QString address = pattern;
    const std::pair<QLatin1StringView, QString> values[] = {
        {QLatin1StringView("{lat}"), coordinate(latitude)},
        {QLatin1StringView("{lon}"), coordinate(longitude)},
        {QLatin1StringView("{zoom}"), QString::number(MapZoom)},
        {QLatin1StringView("{x}"), QString::number(tile.x())},
        {QLatin1StringView("{y}"), QString::number(tile.y())},
        {QLatin1StringView("{width}"), QString::number(MapWidth)},
        {QLatin1StringView("{height}"), QString::number(MapHeight)},
        {QLatin1StringView("{scale}"), QStringLiteral("1")}};
    for (const auto& [name, value] : values)
        address.replace(name, value);
    // What is left in braces or angle brackets is a placeholder of another service's
    // kind: sent as it stands it would only fetch an error picture.
    for (const QChar c : {u'{', u'}', u'<', u'>'}) {
        if (address.contains(c))
            return {};
    }
    const QUrl url(address, QUrl::StrictMode);
    return WebConfig::isWebAddress(url) ? url : QUrl();
}

QUrl WebLinks::mapPage(double latitude, double longitude)
{
    if (!isPlace(latitude, longitude))
        return {};
    const QString lat = coordinate(latitude);
    const QString lon = coordinate(longitude);
    return QUrl(QStringLiteral("https://www.openstreetmap.org/?mlat=%1&mlon=%2#map=%3/%1/%2")
                    .arg(lat, lon, QString::number(MapZoom)));
}

QString WebLinks::noWebSiteText()
{
    return tr("IDS_NO_WEB_SITE_CONFIGURED");
}
