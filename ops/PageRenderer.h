#pragma once

#include <QColor>
#include <QDate>
#include <QFont>
#include <QImage>
#include <QMargins>
#include <QPainter>
#include <QRect>
#include <QStringList>

class QPagedPaintDevice;
struct _ViberMsg;

// Lays messages out as chat bubbles on pages: day headers, centred bubbles for calls
// and group events, pictures scaled to 200 pixels, page numbers under the content.
// Draws on any paged device: a PDF writer or a printer.
class PageRenderer
{
public:
    enum class BubbleKind { System, Received, Sent };

    struct BubbleStyle
    {
        QMargins textMargins; // left, top, right, bottom
        QMargins border;      // the nine-patch's corner sizes
        int minWidth;
        int minHeight;
        int pointSize;
    };
    static BubbleStyle style(BubbleKind kind);

    // Where and how big each bubble was drawn, for tests and previews.
    struct Placement
    {
        int page;
        QRect rect;
        BubbleKind kind;
        QString text;
    };

    PageRenderer() = default;
    ~PageRenderer();
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // A line above the content of every page (an export's id); set before begin().
    void setFooter(const QString& text) { m_footer = text; }
    // Starts painting on the device; false when the device cannot be painted on.
    bool begin(QPagedPaintDevice* device);
    void drawMessage(const _ViberMsg& msg);
    // Starts a new page unless h more pixels fit below the current position.
    void ensureSpace(int h);
    // A page of its own with these lines of plain text (where an export came from).
    void drawClosingPage(const QStringList& lines);
    void end();

    int page() const { return m_page; }
    QRect contentRect() const { return m_content; }
    const QList<Placement>& placements() const { return m_placements; }

    // The picture of a message as printed: the file, or the fallback picture, scaled
    // so that its longer side is at most 200 pixels.
    static QImage loadPicture(const QString& path);

private:
    QSize textBubbleSize(BubbleKind kind, const QString& text, int maxWidth, const QString& time,
                         const QString& sender, QRect* textRect) const;
    // The text cut at line breaks into pieces whose bubbles each fit on a page.
    QStringList splitToFit(BubbleKind kind, const QString& text, int maxWidth, const QString& time,
                           const QString& sender) const;
    void drawTextBubble(BubbleKind kind, const QString& text, int maxWidth, const QString& time,
                        const QString& sender, bool centred, bool alignRight);
    void drawPictureBubble(BubbleKind kind, const QImage& picture, const QString& time, const QString& sender,
                           bool alignRight);
    void drawFrame(BubbleKind kind, const QRect& rect);
    void drawCaptions(BubbleKind kind, const QRect& rect, const QString& time, const QString& sender);
    void startPage();
    QFont font(int pointSize) const;
    // For the export's id and hashes: letters drawn one by one, never as ligatures.
    QFont proofFont(int pointSize) const;

    QPagedPaintDevice* m_device = nullptr;
    QPainter m_painter;
    QRect m_content;
    int m_y = 0;
    int m_page = 1;
    QDate m_lastHeader;
    QList<Placement> m_placements;
    QString m_footer;
};
