#pragma once

#include <QCoreApplication>
#include <QString>
#include <QUrl>

class WebConfig;

// The addresses of the maker's web site the program uses, built from the web
// configuration; each is empty when the configuration does not name it.
class WebLinks
{
    Q_DECLARE_TR_FUNCTIONS(WebLinks)
public:
    static constexpr int BuildNumber = 18;

    // The desktop's name in the update page's "sys" key.
    static QString platformName();

    // Requests of the start-up checks and the error report.
    static QUrl versionCheck(const WebConfig& config);
    static QUrl linkQuery(const WebConfig& config);
    static QUrl errorReport(const WebConfig& config);

    // Pages the Help menu opens in the browser.
    static QUrl checkUpdatePage(const WebConfig& config);
    static QUrl helpPage(const WebConfig& config);
    static QUrl feedbackPage(const WebConfig& config);
    static QUrl homePage(const WebConfig& config);
    static QUrl usbDebuggingPage(const WebConfig& config);

    // What a menu command says instead of opening an unconfigured page.
    static QString noWebSiteText();

    // Where a location message's place is drawn and shown. A place is a position on the
    // earth other than 0, 0, which the databases write for "no position".
    static constexpr int MapZoom = 16;
    static constexpr int MapWidth = 600;
    static constexpr int MapHeight = 389;
    static bool isPlace(double latitude, double longitude);
    // "52.520008, 13.404954"
    static QString placeText(double latitude, double longitude);
    // The configured map picture of the place, its placeholders {lat}, {lon}, {zoom},
    // {x}, {y} (the tile at that zoom), {width}, {height} and {scale} filled in; empty
    // without a configured picture, for no place, or when the filled address is no web
    // address (a placeholder of another kind left in it).
    static QUrl mapPicture(const WebConfig& config, double latitude, double longitude);
    static QUrl mapPicture(const QString& pattern, double latitude, double longitude);
    // The OpenStreetMap page of the place, fetched only when the user follows the link;
    // empty for no place.
    static QUrl mapPage(double latitude, double longitude);
};
