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
};
