#include "app/HelpLinks.h"

#include "app/AppDirs.h"
#include "app/WebConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

QString HelpLinks::portwardenLink()
{
    return QLatin1String(Scheme) + QLatin1String(":portwarden");
}

bool HelpLinks::activate(const QString& link)
{
    return activate(QUrl(link, QUrl::StrictMode));
}

bool HelpLinks::activate(const QUrl& link)
{
    if (link.scheme() == QLatin1String(Scheme)) {
        if (link.path() != QLatin1String("portwarden"))
            return false;
        // Beside the program (or in a test's asset folder), never looked up on PATH: the
        // link must not start whatever some other folder offers under that name.
        QString program = QDir(AppDirs::assetFolder()).filePath(QStringLiteral("portwarden"));
        if (!QFileInfo(program).isFile())
            program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("portwarden"));
        return QProcess::startDetached(program, {});
    }
    if (!WebConfig::isWebAddress(link))
        return false;
    AppDirs::openUrl(link);
    return true;
}

QString HelpLinks::portwardenHelpText()
{
    return tr("IDS_LINUX_PORTWARDEN_HELP_%1").arg(portwardenLink());
}

QString HelpLinks::usbSetupHelpText()
{
    return tr("IDS_LINUX_USB_SETUP_HELP");
}
