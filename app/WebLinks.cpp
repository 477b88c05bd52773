#include "app/WebLinks.h"

#include "app/AppDirs.h"
#include "app/WebConfig.h"

#include <QUrlQuery>

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

QString WebLinks::noWebSiteText()
{
    return tr("IDS_NO_WEB_SITE_CONFIGURED");
}
