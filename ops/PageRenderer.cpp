#include "ops/PageRenderer.h"

#include "app/AppDirs.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"
#include "db/ViberText.h"

#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QTextLayout>

#include <algorithm>
#include <array>

using namespace ViberText;

namespace {

const QColor Background(213, 231, 236);
const QColor TimeColour(141, 141, 141);
const QColor PageNumberColour(146, 146, 165);
const QColor SenderColour(123, 81, 157);

constexpr int PictureSide = 200;
constexpr int BubbleSpacing = 10;
constexpr int CaptionSpacing = 6;
// Pictures come from phones and other untrusted sources; a larger one is not decoded.
constexpr qint64 MaxPicturePixels = 100LL * 1000 * 1000;

using NinePatch = std::array<QImage, 9>;

struct BubbleImages
{
    NinePatch system;
    NinePatch received;
    NinePatch sent;
    QImage fallbackPicture;
};

NinePatch loadNinePatch(const QDir& folder, const QString& prefix)
{
    NinePatch pieces;
    for (int i = 0; i < 9; ++i)
        pieces[i] = QImage(
            folder.filePath(QStringLiteral("%1_%2.png").arg(prefix).arg(i + 1, 2, 10, QLatin1Char('0'))));
    return pieces;
}

// Loaded once per run; QImage (not QPixmap) so that worker threads may draw them.
const BubbleImages& bubbleImages()
{
    static const BubbleImages images = [] {
        const QDir folder(QDir(AppDirs::assetFolder()).filePath(QStringLiteral("vbbb")));
        BubbleImages loaded{loadNinePatch(folder, QStringLiteral("r")),
                            loadNinePatch(folder, QStringLiteral("bb1")),
                            loadNinePatch(folder, QStringLiteral("bb2")),
                            QImage(folder.filePath(QStringLiteral("empty_photo.jpg")))};
        if (loaded.fallbackPicture.isNull()) {
            loaded.fallbackPicture = QImage(160, 120, QImage::Format_RGB32);
            loaded.fallbackPicture.fill(QColor(200, 200, 200));
        }
        return loaded;
    }();
    return images;
}

const NinePatch& ninePatch(PageRenderer::BubbleKind kind)
{
    const BubbleImages& images = bubbleImages();
    switch (kind) {
    case PageRenderer::BubbleKind::System:
        return images.system;
    case PageRenderer::BubbleKind::Received:
        return images.received;
    default:
        return images.sent;
    }
}

QColor plainBubbleColour(PageRenderer::BubbleKind kind)
{
    switch (kind) {
    case PageRenderer::BubbleKind::System:
        return QColor(190, 206, 214);
    case PageRenderer::BubbleKind::Received:
        return QColor(255, 255, 255);
    default:
        return QColor(220, 248, 198);
    }
}

QImage scaledToPictureSide(QImage image)
{
    if (image.width() > PictureSide || image.height() > PictureSide)
        image = image.scaled(PictureSide, PictureSide, Qt::KeepAspectRatio, Qt::FastTransformation);
    return image;
}

// The text of a picture, video or location message printed without its picture, led by
// what the message was: the marker its summary ends with ("[IMAGE]", "[VIDEO]", "[LOCATION]").
QString withKindMarker(const _ViberMsg& msg, const QString& text)
{
    const QString marker = summaryText(msg).section(QLatin1Char(' '), -1);
    return text.trimmed().isEmpty() ? marker : marker + QLatin1Char(' ') + text;
}

} // namespace

PageRenderer::BubbleStyle PageRenderer::style(BubbleKind kind)
{
    // QMargins take left, top, right, bottom.
    switch (kind) {
    case BubbleKind::System:
        return {QMargins(9, 7, 7, 6), QMargins(15, 10, 13, 9), 80, 20, 10};
    case BubbleKind::Received:
        return {QMargins(14, 7, 10, 8), QMargins(16, 13, 16, 13), 150, 16, 12};
    default:
        return {QMargins(10, 7, 14, 8), QMargins(16, 13, 16, 13), 150, 16, 12};
    }
}

PageRenderer::~PageRenderer()
{
    end();
}

QFont PageRenderer::font(int pointSize) const
{
    QFont f = QGuiApplication::font();
    f.setPointSize(pointSize);
    return f;
}

bool PageRenderer::begin(QPagedPaintDevice* device)
{
    m_device = device;
    // Full-page coordinates, so that the page number can sit in the margin under the content.
    QPageLayout layout = device->pageLayout();
    layout.setMode(QPageLayout::FullPageMode);
    device->setPageLayout(layout);
    // In full-page mode the layout's paint rectangle is the whole page: the margins are
    // taken off here, or the content would fill the page and push the page number off it.
    const QPageLayout fullPage = device->pageLayout();
    const int dpi = device->logicalDpiX();
    m_content = fullPage.fullRectPixels(dpi).marginsRemoved(fullPage.marginsPixels(dpi));
    if (!m_painter.begin(device))
        return false;
    m_page = 1;
    m_lastHeader = QDate();
    m_placements.clear();
    startPage();
    return true;
}

void PageRenderer::end()
{
    if (m_painter.isActive())
        m_painter.end();
}

void PageRenderer::startPage()
{
    m_y = m_content.top();
    m_painter.fillRect(m_content, Background);
    m_painter.setFont(font(12));
    m_painter.setPen(PageNumberColour);
    const QRect band(m_content.left(), m_content.bottom() + 2, m_content.width(), 18);
    m_painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_page));
    // Above the content, so that it never shares a line with the page number.
    if (!m_footer.isEmpty()) {
        m_painter.setFont(proofFont(8));
        const QRect top(m_content.left(), m_content.top() - 18, m_content.width(), 16);
        m_painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, m_footer);
    }
}

void PageRenderer::drawClosingPage(const QStringList& lines)
{
    if (!m_painter.isActive())
        return;
    m_device->newPage();
    ++m_page;
    startPage();
    m_painter.setFont(proofFont(10));
    m_painter.setPen(Qt::black);
    const QRect area = m_content.adjusted(10, 10, -10, -10);
    m_painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere,
                       lines.join(QLatin1Char('\n')));
}

QFont PageRenderer::proofFont(int pointSize) const
{
    // Ids and hashes are read and typed again: "ff" and "fi" must stay two letters, not
    // become one ligature that a copy or a text extraction turns into another character.
    QFont f = font(pointSize);
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

void PageRenderer::ensureSpace(int h)
{
    if (m_content.bottom() - m_content.top() - (m_y - m_content.top()) + 1 >= h)
        return;
    m_device->newPage();
    ++m_page;
    startPage();
}

QImage PageRenderer::loadPicture(const QString& path)
{
    if (!path.isEmpty()) {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QSize size = reader.size();
        if (size.isValid() && qint64(size.width()) * size.height() <= MaxPicturePixels) {
            if (size.width() > PictureSide || size.height() > PictureSide)
                reader.setScaledSize(size.scaled(PictureSide, PictureSide, Qt::KeepAspectRatio));
            const QImage image = reader.read();
            if (!image.isNull())
                return scaledToPictureSide(image);
        }
    }
    return scaledToPictureSide(bubbleImages().fallbackPicture);
}

QSize PageRenderer::textBubbleSize(BubbleKind kind, const QString& text, int maxWidth, const QString& time,
                                   const QString& sender, QRect* textRect) const
{
    const BubbleStyle s = style(kind);
    const QFontMetrics textMetrics(font(s.pointSize), m_device);
    const int textWidth = qMax(1, maxWidth - s.textMargins.left() - s.textMargins.right());
    const QRect bounds = textMetrics.boundingRect(QRect(0, 0, textWidth, 1 << 20), Qt::TextWordWrap, text);
    int width = qMax(s.minWidth, bounds.width() + s.textMargins.left() + s.textMargins.right());
    int height = qMax(s.minHeight, bounds.height() + s.textMargins.top() + s.textMargins.bottom());
    int top = s.textMargins.top();
    if (!sender.isEmpty()) {
        const QFontMetrics senderMetrics(font(12), m_device);
        width = qMax(width,
                     senderMetrics.horizontalAdvance(sender) + s.textMargins.left() + s.textMargins.right());
        height += senderMetrics.height() + CaptionSpacing;
        top += senderMetrics.height() + CaptionSpacing;
    }
    if (!time.isEmpty()) {
        const QFontMetrics timeMetrics(font(10), m_device);
        width =
            qMax(width, timeMetrics.horizontalAdvance(time) + s.textMargins.left() + s.textMargins.right());
        height += timeMetrics.height() + CaptionSpacing;
    }
    if (textRect)
        *textRect = QRect(s.textMargins.left(), top, textWidth, bounds.height());
    return QSize(width, height);
}

void PageRenderer::drawFrame(BubbleKind kind, const QRect& r)
{
    const NinePatch& pieces = ninePatch(kind);
    const bool complete =
        std::all_of(pieces.begin(), pieces.end(), [](const QImage& i) { return !i.isNull(); });
    if (!complete) {
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(plainBubbleColour(kind));
        m_painter.drawRoundedRect(r, 8, 8);
        m_painter.setBrush(Qt::NoBrush);
        return;
    }
    const QMargins b = style(kind).border;
    const int xs[] = {r.left(), r.left() + b.left(), r.right() + 1 - b.right(), r.right() + 1};
    const int ys[] = {r.top(), r.top() + b.top(), r.bottom() + 1 - b.bottom(), r.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect cell(QPoint(xs[col], ys[row]), QPoint(xs[col + 1] - 1, ys[row + 1] - 1));
            if (cell.isValid())
                m_painter.drawImage(cell, pieces[row * 3 + col]);
        }
    }
}

void PageRenderer::drawCaptions(BubbleKind kind, const QRect& r, const QString& time, const QString& sender)
{
    const BubbleStyle s = style(kind);
    if (!sender.isEmpty()) {
        m_painter.setFont(font(12));
        m_painter.setPen(SenderColour);
        const QFontMetrics metrics(m_painter.font(), m_device);
        m_painter.drawText(QRect(r.left() + s.textMargins.left(), r.top() + s.textMargins.top(),
                                 r.width() - s.textMargins.left() - s.textMargins.right(), metrics.height()),
                           Qt::AlignLeft | Qt::TextSingleLine, sender);
    }
    if (!time.isEmpty()) {
        m_painter.setFont(font(10));
        m_painter.setPen(TimeColour);
        const QFontMetrics metrics(m_painter.font(), m_device);
        m_painter.drawText(QRect(r.left(), r.bottom() - s.textMargins.bottom() - metrics.height(),
                                 r.width() - s.textMargins.right(), metrics.height()),
                           Qt::AlignRight | Qt::TextSingleLine, time);
    }
}

QStringList PageRenderer::splitToFit(BubbleKind kind, const QString& text, int maxWidth, const QString& time,
                                     const QString& sender) const
{
    const BubbleStyle s = style(kind);
    const int textWidth = qMax(1, maxWidth - s.textMargins.left() - s.textMargins.right());
    const int captions = textBubbleSize(kind, QString(), maxWidth, time, sender, nullptr).height() -
                         qMax(s.minHeight, s.textMargins.top() + s.textMargins.bottom());
    const int room = m_content.height() - s.textMargins.top() - s.textMargins.bottom() - captions;
    // Pieces are measured as the bubble measures its text: line spacing per line.
    const int lineHeight = QFontMetrics(font(s.pointSize), m_device).lineSpacing();
    const int linesPerPiece = qMax(1, room / qMax(1, lineHeight) - 1);
    // QTextLayout breaks lines only at U+2028; the swap keeps every index in place.
    QString layoutText = text;
    layoutText.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(layoutText, font(s.pointSize), m_device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList pieces;
    int pieceStart = 0;
    int linesInPiece = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(textWidth);
        if (linesInPiece == linesPerPiece && line.textStart() > pieceStart) {
            pieces.append(text.mid(pieceStart, line.textStart() - pieceStart));
            pieceStart = line.textStart();
            linesInPiece = 0;
        }
        ++linesInPiece;
    }
    layout.endLayout();
    pieces.append(text.mid(pieceStart));
    return pieces;
}

void PageRenderer::drawTextBubble(BubbleKind kind, const QString& text, int maxWidth, const QString& time,
                                  const QString& sender, bool centred, bool alignRight)
{
    QRect textRect;
    const QSize size = textBubbleSize(kind, text, maxWidth, time, sender, &textRect);
    // A text taller than a page goes on in further bubbles, each on a page of its own,
    // instead of running off the bottom of the page.
    if (size.height() > m_content.height()) {
        const QStringList pieces = splitToFit(kind, text, maxWidth, time, sender);
        if (pieces.size() > 1) {
            for (const QString& piece : pieces)
                drawTextBubble(kind, piece.trimmed(), maxWidth, time, sender, centred, alignRight);
            return;
        }
    }
    ensureSpace(size.height());
    int x = m_content.left();
    if (centred)
        x = m_content.left() + (m_content.width() - size.width()) / 2;
    else if (alignRight)
        x = m_content.right() + 1 - size.width();
    const QRect bubble(QPoint(x, m_y), size);
    drawFrame(kind, bubble);
    m_painter.setFont(font(style(kind).pointSize));
    m_painter.setPen(Qt::black);
    m_painter.drawText(textRect.translated(bubble.topLeft()), Qt::TextWordWrap, text);
    drawCaptions(kind, bubble, time, sender);
    m_placements.append({m_page, bubble, kind, text});
    m_y += size.height() + BubbleSpacing;
}

void PageRenderer::drawPictureBubble(BubbleKind kind, const QImage& picture, const QString& time,
                                     const QString& sender, bool alignRight)
{
    const BubbleStyle s = style(kind);
    int width = qMax(s.minWidth, s.border.left() + s.border.right() + picture.width());
    int height = qMax(s.minHeight, s.border.top() + s.border.bottom() + picture.height());
    int senderExtra = 0;
    if (!sender.isEmpty()) {
        const QFontMetrics metrics(font(12), m_device);
        senderExtra = metrics.height() + CaptionSpacing;
        width = qMax(width, metrics.horizontalAdvance(sender) + s.textMargins.left() + s.textMargins.right());
    }
    int timeExtra = 0;
    if (!time.isEmpty()) {
        const QFontMetrics metrics(font(10), m_device);
        timeExtra = metrics.height() + CaptionSpacing;
        width = qMax(width, metrics.horizontalAdvance(time) + s.textMargins.left() + s.textMargins.right());
    }
    height += senderExtra + timeExtra;
    ensureSpace(height);
    const int x = alignRight ? m_content.right() + 1 - width : m_content.left();
    const QRect bubble(x, m_y, width, height);
    drawFrame(kind, bubble);
    m_painter.drawImage(QPoint(bubble.left() + s.border.left(), bubble.top() + s.border.top() + senderExtra),
                        picture);
    drawCaptions(kind, bubble, time, sender);
    m_placements.append({m_page, bubble, kind, QString()});
    m_y += height + BubbleSpacing;
}

void PageRenderer::drawMessage(const _ViberMsg& msg)
{
    if (!m_painter.isActive())
        return;
    const int maxWidth = int(0.8 * m_content.width());
    const QDateTime when = ViberDates::refToLocalShown(msg.date);
    if (when.date() != m_lastHeader) {
        drawTextBubble(BubbleKind::System, when.toString(QStringLiteral("dd MMM yyyy")), maxWidth, QString(),
                       QString(), true, false);
        m_lastHeader = when.date();
    }
    const QString time = ViberDates::clockText(when.time());
    const QString sender =
        msg.chat && msg.chat->isGroup() && msg.sender ? personLabel(*msg.sender) : QString();

    QString picturePath;
    QString text;
    switch (msg.type) {
    case ViberMsgType::Call:
        if (msg.call)
            drawTextBubble(BubbleKind::System, callText(*msg.call), maxWidth, QString(), QString(), true,
                           false);
        return;
    case ViberMsgType::System:
        drawTextBubble(BubbleKind::System, systemLineText(msg), maxWidth, QString(), QString(), true, false);
        return;
    case ViberMsgType::Picture:
    case ViberMsgType::Video:
        picturePath = msg.attachment ? msg.attachment->previewPath : QString();
        text = replaceEmoji(msg.text, [](const QString&) { return QStringLiteral("[EMOJI]"); });
        break;
    case ViberMsgType::Location:
        picturePath = msg.attachment ? msg.attachment->previewPath : QString();
        text = msg.location.address();
        break;
    case ViberMsgType::Voice:
        if (msg.attachment) {
            text =
                QStringLiteral("[AUDIO] ") + durationText(ViberDates::wholeUnits(msg.attachment->duration));
        }
        break;
    case ViberMsgType::Sticker:
        if (msg.attachment)
            text = QStringLiteral("[STICKER-%1]").arg(msg.attachment->fileId);
        break;
    case ViberMsgType::Text:
        text = summaryText(msg);
        break;
    default:
        return;
    }
    const bool outgoing = isOutgoing(msg);
    const BubbleKind kind = outgoing ? BubbleKind::Sent : BubbleKind::Received;
    // A picture bubble only for a message that had a preview: one that is gone or broken
    // shows the fallback picture, but a message that never had one (every location from
    // the desktop app, a video without a thumbnail) says in words what it was instead of
    // printing a grey placeholder.
    if (!picturePath.isEmpty())
        drawPictureBubble(kind, loadPicture(picturePath), time, sender, outgoing);
    else if (msg.type == ViberMsgType::Picture || msg.type == ViberMsgType::Video ||
             msg.type == ViberMsgType::Location)
        text = withKindMarker(msg, text);
    if (!text.trimmed().isEmpty())
        drawTextBubble(kind, text, maxWidth, time, sender, false, outgoing);
}
