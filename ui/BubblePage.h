#pragma once

#include <QWebEnginePage>

// The bubble view's page. Message texts come from databases, so the page runs no
// JavaScript of its own and never navigates by itself: a clicked link goes to the
// program, which pages, opens or saves. The program's own scripts (scrolling) run in
// the application world, which the JavaScript switch does not cover.
class BubblePage : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit BubblePage(QObject* parent = nullptr);

signals:
    void linkClicked(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};
