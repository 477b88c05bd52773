#include "ui/BubblePage.h"

#include <QWebEngineSettings>

BubblePage::BubblePage(QObject* parent) : QWebEnginePage(parent)
{
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
}

bool BubblePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(isMainFrame);
    switch (type) {
    case NavigationTypeLinkClicked:
        emit linkClicked(url);
        return false;
    case NavigationTypeFormSubmitted:
        return false;
    default:
        return true;
    }
}
