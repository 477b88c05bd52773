#include "ops/BubbleMarkup.h"

#include "app/KeyTranslator.h"
#include "app/WebConfig.h"
#include "app/WebLinks.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"
#include "db/ViberText.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

using namespace ViberText;

namespace {

constexpr QLatin1StringView
    FrameCells("<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div><div class=\"bb_bg "
               "top_right\"></div>"
               "<div class=\"bb_bg middle_left\"></div><div class=\"bb_bg middle_middle\"></div>"
               "<div class=\"bb_bg middle_right\"></div><div class=\"bb_bg bottom_left\"></div>"
               "<div class=\"bb_bg bottom_middle\"></div><div class=\"bb_bg bottom_right\"></div>");

bool isPlainAttribute(QStringView value)
{
    return std::none_of(value.cbegin(), value.cend(), [](QChar c) {
        return c == u'<' || c == u'>' || c == u'&' || c == u'"' || c == u'\'';
    });
}

// An attribute value with markup characters and both quotes as entities.
template<class Out> void appendAttribute(Out& out, QStringView value)
{
    qsizetype copied = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t unit = value[i].unicode();
        const QLatin1StringView entity = unit == u'"'    ? QLatin1StringView("&quot;")
                                         : unit == u'\'' ? QLatin1StringView("&#39;")
                                                         : BubbleText::markupEntity(unit);
        if (entity.isEmpty())
            continue;
        out += value.mid(copied, i - copied);
        out += entity;
        copied = i + 1;
    }
    out += value.mid(copied);
}

} // namespace

BubbleMarkup::BubbleMarkup(Options options)
    : m_options(std::move(options)), m_lineEnd(m_options.lineEnd.toUtf8()),
      m_clockFormat(QLocale::system().timeFormat(QLocale::ShortFormat))
{
    if (!m_clockFormat.contains(QLatin1Char('s')) && !m_clockFormat.contains(QLatin1Char('z')))
        m_clockByMinute.resize(24 * 60);
}

QString BubbleMarkup::clockText(const QTime& time) const
{
    if (!time.isValid())
        return {};
    if (m_clockByMinute.empty())
        return QLocale::system().toString(time, m_clockFormat);
    QString& text = m_clockByMinute[size_t(time.hour() * 60 + time.minute())];
    if (text.isEmpty())
        text = QLocale::system().toString(QTime(time.hour(), time.minute()), m_clockFormat);
    return text;
}

QString BubbleMarkup::escapeAttribute(const QString& value)
{
    // most values (file names, links) hold nothing to escape
    if (isPlainAttribute(value))
        return value;
    QString escaped;
    escaped.reserve(value.size() + 16);
    appendAttribute(escaped, value);
    return escaped;
}

const QString& BubbleMarkup::frameCells()
{
    static const QString cells = FrameCells.toString();
    return cells;
}

QString BubbleMarkup::durationText(double seconds)
{
    return ViberText::durationText(ViberDates::wholeUnits(seconds));
}

void BubbleMarkup::appendCentred(Utf8Out& out, QStringView text) const
{
    out += QLatin1StringView("<div style=\"text-align:center; margin-bottom:20px;\"><div class=\"r\">");
    out += FrameCells;
    appendLineEnd(out);
    appendEscaped(out, text);
    out += QLatin1StringView("</div><div class=\"clear\"></div></div>");
}

void BubbleMarkup::appendDaySeparator(Utf8Out& out, const QDate& day) const
{
    appendCentred(out, ViberDates::dayText(day));
}

void BubbleMarkup::appendThumb(Utf8Out& out, QStringView link, QStringView picture, int size) const
{
    const QByteArray sizeText = QByteArray::number(size);
    out += QLatin1StringView("<a href=\"");
    appendAttribute(out, link);
    out += m_options.newWindowLinks ? QLatin1StringView("\" target=\"_blank\">") : QLatin1StringView("\">");
    out += QLatin1StringView("<img style=\"max-width:");
    out += QLatin1StringView(sizeText);
    out += QLatin1StringView("px;max-height:");
    out += QLatin1StringView(sizeText);
    out += QLatin1StringView("px;\" src=\"");
    appendAttribute(out, picture);
    out += QLatin1StringView("\" ></a>");
}

void BubbleMarkup::appendThumbBlock(Utf8Out& out, QStringView link, QStringView picture, int size) const
{
    out += QLatin1StringView("<div>");
    appendThumb(out, link, picture, size);
    out += QLatin1StringView("</div>");
    appendLineEnd(out);
}

void BubbleMarkup::appendTextBlock(Utf8Out& out, QStringView text) const
{
    out += QLatin1StringView("<div>");
    appendEscaped(out, text);
    out += QLatin1StringView("</div>");
    appendLineEnd(out);
}

void BubbleMarkup::appendEscaped(Utf8Out& out, QStringView text) const
{
    BubbleText::appendForBubble(out, text, m_options.emoticonPictures);
}

void BubbleMarkup::appendMessageOfDay(Utf8Out& out, const _ViberMsg& msg, QDate& lastDay) const
{
    const ViberDates::LocalParts when = ViberDates::refToLocalParts(msg.date);
    if (when.day != lastDay) {
        appendDaySeparator(out, when.day);
        lastDay = when.day;
    }
    appendMessage(out, msg, when.time);
}

void BubbleMarkup::appendMessage(Utf8Out& out, const _ViberMsg& msg, const QTime& clock) const
{
    switch (msg.type) {
    case ViberMsgType::System:
        appendCentred(out, systemLineText(msg));
        break;
    case ViberMsgType::Call:
        if (msg.call)
            appendCentred(out, QString(callText(*msg.call) + QLatin1String("      ") +
                                       clockText(ViberDates::refToLocalParts(msg.call->date).time)));
        break;
    case ViberMsgType::Picture:
    case ViberMsgType::Location:
    case ViberMsgType::Voice:
    case ViberMsgType::Sticker:
    case ViberMsgType::Text:
    case ViberMsgType::Video:
        appendBubble(out, msg, clock);
        break;
    default:
        break;
    }
}

void BubbleMarkup::appendBubble(Utf8Out& out, const _ViberMsg& msg, const QTime& clock) const
{
    const _ViberAtta* atta = msg.attachment;
    const MediaLinks links = atta && m_options.media ? m_options.media(*atta) : MediaLinks();
    out +=
        isOutgoing(msg) ? QLatin1StringView("<div class=\"bb2\">") : QLatin1StringView("<div class=\"bb1\">");
    out += FrameCells;
    if (msg.chat && msg.chat->isGroup() && msg.sender) {
        out += QLatin1StringView("<div class=\"handle\">");
        appendEscaped(out, personLabel(*msg.sender));
        out += QLatin1StringView("</div><div class=\"clear\"></div>");
    }
    appendLineEnd(out);
    switch (msg.type) {
    case ViberMsgType::Picture:
        if (atta) {
            appendThumbBlock(out, links.file, links.preview, m_options.pictureSize);
            if (!msg.text.isEmpty())
                appendTextBlock(out, msg.text);
        }
        break;
    case ViberMsgType::Location:
        appendLocation(out, msg, links);
        break;
    case ViberMsgType::Voice:
        if (atta) {
            out += QLatin1StringView("<img width=\"32px\" src=\"");
            appendAttribute(out, m_options.voiceIcon);
            out += QLatin1StringView("\" align=\"middle\" /><a href=\"");
            appendAttribute(out, links.file);
            out += QLatin1StringView("\">");
            out += durationText(atta->duration);
            out += QLatin1StringView("</a>");
        }
        break;
    case ViberMsgType::Sticker:
        if (atta) {
            const QString url = stickerImageUrl(*atta);
            appendThumbBlock(out, url, url, 128);
        }
        break;
    case ViberMsgType::Text:
        appendEscaped(out, msg.text);
        break;
    case ViberMsgType::Video:
        if (atta) {
            appendThumbBlock(out, links.file, links.preview, 128);
            out += QLatin1StringView("<div>");
            out += durationText(atta->duration);
            out += QLatin1StringView("</div>");
            appendLineEnd(out);
            if (!msg.text.isEmpty())
                appendTextBlock(out, msg.text);
        }
        break;
    default:
        out += QLatin1StringView("[UNKNOWN]");
        break;
    }
    out += QLatin1StringView("<div class=\"bb_time\">");
    out += clockText(clock);
    out += QLatin1StringView("</div></div><div class=\"clear\"></div>");
    appendLineEnd(out);
}

void BubbleMarkup::appendLocation(Utf8Out& out, const _ViberMsg& msg, const MediaLinks& links) const
{
    const double latitude = msg.location.latitude();
    const double longitude = msg.location.longitude();
    const QString address = msg.location.address();
    const QUrl page = WebLinks::mapPage(latitude, longitude);
    const QString pageLink = page.toString(QUrl::FullyEncoded);
    QString picture;
    if (msg.attachment && QFileInfo(msg.attachment->previewPath).size() > 0)
        picture = links.preview;
    else
        picture =
            WebLinks::mapPicture(WebConfig::current(), latitude, longitude).toString(QUrl::FullyEncoded);
    if (!picture.isEmpty()) {
        appendThumbBlock(out, pageLink.isEmpty() ? picture : pageLink, picture, 128);
        if (!address.isEmpty())
            appendTextBlock(out, address);
        return;
    }
    // Nothing to draw the place with: what is known of it, and where to see it.
    if (pageLink.isEmpty() && address.isEmpty())
        return;
    out += QLatin1StringView("<div class=\"location_card\">");
    if (!pageLink.isEmpty()) {
        out += QLatin1StringView("<div class=\"location_place\">");
        out += WebLinks::placeText(latitude, longitude);
        out += QLatin1StringView("</div>");
    }
    if (!address.isEmpty())
        appendTextBlock(out, address);
    if (!pageLink.isEmpty()) {
        out += QLatin1StringView("<div><a href=\"");
        appendAttribute(out, pageLink);
        out +=
            m_options.newWindowLinks ? QLatin1StringView("\" target=\"_blank\">") : QLatin1StringView("\">");
        appendEscaped(out, KeyTranslator::text("IDS_SHOW_PLACE_ON_OPENSTREETMAP"));
        out += QLatin1StringView("</a></div>");
    }
    out += QLatin1StringView("</div>");
    appendLineEnd(out);
}

QString BubbleMarkup::message(const _ViberMsg& msg) const
{
    QByteArray html;
    Utf8Out out(html);
    appendMessage(out, msg, ViberDates::refToLocalParts(msg.date).time);
    return QString::fromUtf8(html);
}

QString BubbleMarkup::bubble(const _ViberMsg& msg) const
{
    QByteArray html;
    Utf8Out out(html);
    appendBubble(out, msg, ViberDates::refToLocalParts(msg.date).time);
    return QString::fromUtf8(html);
}
