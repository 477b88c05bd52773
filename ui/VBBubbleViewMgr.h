#pragma once

#include "db/ViberMsg.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEngineView>

#include <functional>
#include <memory>

class QTemporaryFile;

// Shows a list of messages as chat bubbles in a web view, one page of 50 at a time,
// and answers the page's links: paging, opening attachments, saving them.
class VBBubbleViewMgr : public QObject
{
    Q_OBJECT
public:
    static constexpr int PageSize = 50;
    // Above this a page cannot go through setHtml (it travels as a percent-encoded data
    // URL); such a page is written to a private file and loaded from there.
    static constexpr qsizetype SetHtmlLimit = 2 * 1024 * 1024;

    // The boxes and the file dialog, replaceable so that the main window routes them
    // through its own wrappers and tests answer them.
    struct Prompts
    {
        std::function<void(const QString& text)> information;
        std::function<void(const QString& text)> warning;
        std::function<void(const QString& text)> error;
        // The chosen path, or empty when the user cancelled.
        std::function<QString(const QString& caption, const QString& proposedPath)> saveFileName;
    };

    explicit VBBubbleViewMgr(QObject* parent = nullptr);
    ~VBBubbleViewMgr() override;

    void bind(QWebEngineView* view);
    void setPrompts(Prompts prompts);

    // The whole HTML of one page (1-based) of the list last shown; empty for a page
    // that does not exist.
    QString renderPage(int page) const;
    static bool needsPageFile(const QString& html);
    // The pages refer to "vbbb", "emoji" and "vb_emoji" relative to this.
    static QUrl baseUrl();

    int currentPage() const { return m_currentPage; }
    int pageCount() const { return m_pageCount; }
    QString anchor() const { return m_anchor; }
    // The file the page shown was loaded from; empty when it was set directly.
    QString pageFile() const;

public slots:
    // gone: of a local database, the messages its source no longer held at a later
    // backup (by id), with since when; each gets a note under its bubble.
    void showBubble(ViberMsgList list, const QHash<qint64, QDateTime>& gone = {});
    void onLoadFinish(bool ok);
    void onLinkClicked(const QUrl& url);
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    void scrollToPos(int row);

private:
    void render(int page);
    void scrollToAnchor();
    void openOrSave(const QString& path);

    QPointer<QWebEngineView> m_view; // the window owns the view
    ViberMsgList m_messages;
    QHash<qint64, QDateTime> m_gone;
    int m_currentPage = 0;
    int m_pageCount = 0;
    QString m_anchor;
    std::unique_ptr<QTemporaryFile> m_pageFile;
    Prompts m_prompts;
};
