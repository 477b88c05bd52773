#include "ops/ExportMessagesHtml.h"

#include "app/AppDirs.h"
#include "db/ViberAtta.h"
#include "db/ViberCall.h"
#include "db/ViberChat.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"
#include "ops/BubbleText.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

using namespace ViberText;

namespace {

const QString NineCells =
    QStringLiteral("<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div><div "
                   "class=\"bb_bg top_right\"></div>"
                   "<div class=\"bb_bg middle_left\"></div><div class=\"bb_bg middle_middle\"></div>"
                   "<div class=\"bb_bg middle_right\"></div><div class=\"bb_bg bottom_left\"></div>"
                   "<div class=\"bb_bg bottom_middle\"></div><div class=\"bb_bg bottom_right\"></div>");

const QString LineEnd = QStringLiteral("\r\n");

QString div(const QString& content)
{
    return QLatin1String("<div>") + content + QLatin1String("</div>") + LineEnd;
}

// A relative link to a file in "files/": the name is percent-encoded so that no file
// name can end the attribute or turn into markup.
QString filesLink(const QString& name)
{
    return QLatin1String("files/") + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

} // namespace

ExportMessagesHtml::ExportMessagesHtml(const QString& folder, const QString& fileName)
    : m_folder(folder), m_files(QDir(folder).filePath(QStringLiteral("files"))),
      m_file(QDir(folder).filePath(fileName))
{
    QDir().mkpath(m_files.path());
}

QString ExportMessagesHtml::durationText(double seconds)
{
    return ViberText::durationText(ViberDates::wholeUnits(seconds));
}

void ExportMessagesHtml::begin()
{
    m_file.open();
    m_file.write(QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                                "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">") +
                 LineEnd);
    m_file.write(QStringLiteral("<html xmlns=\"http://www.w3.org/1999/xhtml\">") + LineEnd);
    m_file.write(
        QStringLiteral("<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />") +
        LineEnd);
    m_file.write(
        QStringLiteral("<title>%1</title>").arg(QCoreApplication::translate("Velliport", "Velliport")) +
        LineEnd);
    m_file.write(
        QStringLiteral("<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>") +
        LineEnd);
}

void ExportMessagesHtml::centredBlock(const QString& text)
{
    m_file.write(QStringLiteral("<div style=\"text-align:center; margin-bottom:20px;\"><div class=\"r\">") +
                 NineCells + LineEnd + BubbleText::escapeForBubble(text) +
                 QStringLiteral("</div><div class=\"clear\"></div></div>"));
}

void ExportMessagesHtml::write(const _ViberMsg& msg)
{
    const QDateTime when = ViberDates::refToLocal(msg.date);
    if (when.date() != m_lastSeparator) {
        centredBlock(when.toString(QStringLiteral("dd MMM yyyy")));
        m_lastSeparator = when.date();
    }
    switch (msg.type) {
    case ViberMsgType::System:
        centredBlock(groupEventText(msg));
        break;
    case ViberMsgType::Call:
        if (msg.call)
            centredBlock(callText(*msg.call) + QLatin1String("      ") +
                         ViberDates::refToLocal(msg.call->date).toString(QStringLiteral("hh:mm ap")));
        break;
    case ViberMsgType::Picture:
    case ViberMsgType::Location:
    case ViberMsgType::Voice:
    case ViberMsgType::Sticker:
    case ViberMsgType::Text:
    case ViberMsgType::Video:
        bubble(msg, when);
        break;
    default:
        break;
    }
}

QString ExportMessagesHtml::copyMedia(const QString& source)
{
    const QFileInfo info(source);
    QString name = AppDirs::sanitizeFileName(info.fileName());
    if (name.isEmpty())
        return filesLink(name);
    if (info.isFile()) {
        const QString target = AppDirs::uniqueFileName(m_files.filePath(name));
        if (QFile::copy(source, target))
            name = QFileInfo(target).fileName();
    }
    return filesLink(name);
}

QString ExportMessagesHtml::imageLink(const QString& link, const QString& image, int size)
{
    return QStringLiteral(
               "<a href=\"%1\" target=\"_blank\"><img style=\"max-width:%2px;max-height:%3px;\" src=\"%4\" "
               "></a>")
        .arg(link.toHtmlEscaped(), QString::number(size), QString::number(size), image.toHtmlEscaped());
}

void ExportMessagesHtml::bubble(const _ViberMsg& msg, const QDateTime& when)
{
    QString fileLink;
    QString previewLink;
    if (msg.attachment) {
        fileLink = copyMedia(msg.attachment->localPath);
        previewLink = copyMedia(msg.attachment->previewPath);
    }
    QString html = QStringLiteral("<div class=\"%1\">")
                       .arg(isOutgoing(msg) ? QLatin1String("bb2") : QLatin1String("bb1")) +
                   NineCells;
    if (msg.chat && msg.chat->isGroup() && msg.sender)
        html += QStringLiteral("<div class=\"handle\">%1</div><div class=\"clear\"></div>")
                    .arg(BubbleText::escapeForBubble(personLabel(*msg.sender)));
    html += LineEnd;
    const _ViberAtta* atta = msg.attachment;
    switch (msg.type) {
    case ViberMsgType::Picture:
        if (atta) {
            html += div(imageLink(fileLink, previewLink, 200));
            if (!msg.text.isEmpty())
                html += div(BubbleText::escapeForBubble(msg.text));
        }
        break;
    case ViberMsgType::Location:
        if (atta) {
            const QString map = mapImageUrl(msg);
            const QString image = QFileInfo(atta->previewPath).size() > 0 ? previewLink : map;
            html += div(imageLink(map, image, 128));
            html += div(BubbleText::escapeForBubble(msg.address));
        }
        break;
    case ViberMsgType::Voice:
        if (atta)
            html += QStringLiteral("<img width=\"32px\" src=\"files/voice.png\" align=\"middle\" />") +
                    QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(fileLink.toHtmlEscaped(), durationText(atta->duration));
        break;
    case ViberMsgType::Sticker:
        if (atta) {
            const QString url = stickerImageUrl(*atta);
            html += div(imageLink(url, url, 128));
        }
        break;
    case ViberMsgType::Text:
        html += BubbleText::escapeForBubble(msg.text);
        break;
    case ViberMsgType::Video:
        if (atta) {
            html += div(imageLink(fileLink, previewLink, 128));
            html += div(durationText(atta->duration));
            if (!msg.text.isEmpty())
                html += div(BubbleText::escapeForBubble(msg.text));
        }
        break;
    default:
        html += QStringLiteral("[UNKNOWN]");
        break;
    }
    html += QStringLiteral("<div class=\"bb_time\">%1</div>").arg(when.toString(QStringLiteral("hh:mm ap")));
    html += QStringLiteral("</div><div class=\"clear\"></div>") + LineEnd;
    m_file.write(html);
}

void ExportMessagesHtml::end()
{
    m_file.write(QStringLiteral("</body></html>"));
    m_file.finish();
}
