#include "ops/BubbleMarkup.h"

#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberMsg.h"
#include "db/ViberText.h"

#include <QFileInfo>

#include <algorithm>

using namespace ViberText;

BubbleMarkup::BubbleMarkup(Options options) : m_options(std::move(options)) {}

QString BubbleMarkup::escapeAttribute(const QString& value)
{
    // most values (file names, links) hold nothing to escape
    const bool plain = std::none_of(value.cbegin(), value.cend(), [](QChar c) {
        return c == u'<' || c == u'>' || c == u'&' || c == u'"' || c == u'\'';
    });
    if (plain)
        return value;
    QString escaped = value.toHtmlEscaped();
    escaped.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return escaped;
}

const QString& BubbleMarkup::frameCells()
{
    static const QString cells =
        QStringLiteral("<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div><div "
                       "class=\"bb_bg top_right\"></div>"
                       "<div class=\"bb_bg middle_left\"></div><div class=\"bb_bg middle_middle\"></div>"
                       "<div class=\"bb_bg middle_right\"></div><div class=\"bb_bg bottom_left\"></div>"
                       "<div class=\"bb_bg bottom_middle\"></div><div class=\"bb_bg bottom_right\"></div>");
    return cells;
}

QString BubbleMarkup::durationText(double seconds)
{
    return ViberText::durationText(ViberDates::wholeUnits(seconds));
}

QString BubbleMarkup::centred(const QString& text) const
{
    return QStringLiteral("<div style=\"text-align:center; margin-bottom:20px;\"><div class=\"r\">") +
           frameCells() + m_options.lineEnd + escaped(text) +
           QStringLiteral("</div><div class=\"clear\"></div></div>");
}

QString BubbleMarkup::daySeparator(const QDate& day) const
{
    return centred(ViberDates::dayText(day));
}

QString BubbleMarkup::thumb(const QString& link, const QString& picture, int size) const
{
    return QStringLiteral("<a href=\"%1\"%2><img style=\"max-width:%3px;max-height:%3px;\" src=\"%4\" ></a>")
        .arg(escapeAttribute(link),
             m_options.newWindowLinks ? QStringLiteral(" target=\"_blank\"") : QString(),
             QString::number(size), escapeAttribute(picture));
}

QString BubbleMarkup::escaped(const QString& text) const
{
    return BubbleText::escapeForBubble(text, m_options.emoticonPictures);
}

QString BubbleMarkup::block(const QString& content) const
{
    return QLatin1String("<div>") + content + QLatin1String("</div>") + m_options.lineEnd;
}

QString BubbleMarkup::message(const _ViberMsg& msg) const
{
    switch (msg.type) {
    case ViberMsgType::System:
        return centred(systemLineText(msg));
    case ViberMsgType::Call:
        if (!msg.call)
            return QString();
        return centred(callText(*msg.call) + QLatin1String("      ") +
                       ViberDates::clockText(ViberDates::refToLocalShown(msg.call->date).time()));
    case ViberMsgType::Picture:
    case ViberMsgType::Location:
    case ViberMsgType::Voice:
    case ViberMsgType::Sticker:
    case ViberMsgType::Text:
    case ViberMsgType::Video:
        return bubble(msg);
    default:
        return QString();
    }
}

QString BubbleMarkup::bubble(const _ViberMsg& msg) const
{
    const _ViberAtta* atta = msg.attachment;
    const MediaLinks links = atta && m_options.media ? m_options.media(*atta) : MediaLinks();
    // Built by appending into one string: a bubble per message of an export, where
    // formatting each piece with arg() showed in the profile.
    QString html;
    html.reserve(1024);
    html += isOutgoing(msg) ? QLatin1String("<div class=\"bb2\">") : QLatin1String("<div class=\"bb1\">");
    html += frameCells();
    if (msg.chat && msg.chat->isGroup() && msg.sender) {
        html += QLatin1String("<div class=\"handle\">");
        html += escaped(personLabel(*msg.sender));
        html += QLatin1String("</div><div class=\"clear\"></div>");
    }
    html += m_options.lineEnd;
    switch (msg.type) {
    case ViberMsgType::Picture:
        if (atta) {
            html += block(thumb(links.file, links.preview, m_options.pictureSize));
            if (!msg.text.isEmpty())
                html += block(escaped(msg.text));
        }
        break;
    case ViberMsgType::Location:
        if (atta) {
            const QString map = mapImageUrl(msg);
            html += block(thumb(map, QFileInfo(atta->previewPath).size() > 0 ? links.preview : map, 128));
            html += block(escaped(msg.address));
        }
        break;
    case ViberMsgType::Voice:
        if (atta)
            html += QStringLiteral("<img width=\"32px\" src=\"%1\" align=\"middle\" /><a href=\"%2\">%3</a>")
                        .arg(escapeAttribute(m_options.voiceIcon), escapeAttribute(links.file),
                             durationText(atta->duration));
        break;
    case ViberMsgType::Sticker:
        if (atta) {
            const QString url = stickerImageUrl(*atta);
            html += block(thumb(url, url, 128));
        }
        break;
    case ViberMsgType::Text:
        html += escaped(msg.text);
        break;
    case ViberMsgType::Video:
        if (atta) {
            html += block(thumb(links.file, links.preview, 128));
            html += block(durationText(atta->duration));
            if (!msg.text.isEmpty())
                html += block(escaped(msg.text));
        }
        break;
    default:
        html += QStringLiteral("[UNKNOWN]");
        break;
    }
    html += QLatin1String("<div class=\"bb_time\">");
    html += ViberDates::clockText(ViberDates::refToLocalShown(msg.date).time());
    html += QLatin1String("</div></div><div class=\"clear\"></div>");
    html += m_options.lineEnd;
    return html;
}
