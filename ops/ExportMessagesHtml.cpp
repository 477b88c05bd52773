#include "ops/ExportMessagesHtml.h"

#include "app/AppDirs.h"
#include "app/KeyTranslator.h"
#include "app/LocalFileIndex.h"
#include "db/LocalDbPaths.h"
#include "db/ViberAtta.h"
#include "db/ViberCodes.h"
#include "db/ViberDates.h"
#include "db/ViberText.h"
#include "ops/FileBatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString LineEnd = QStringLiteral("\r\n");

// What a page holds beside its messages: the head, the links at both ends and the list of
// months. The messages stop short of it, so that no page passes MaxPageBytes.
constexpr qsizetype PageFrameBytes = 256 * 1024;
// The list of months gets this much of it; a chat whose dates span more lists its years.
constexpr qsizetype DateListBytes = 192 * 1024;

// A relative link to a file in "files/": the name is percent-encoded so that no file
// name can end the attribute or turn into markup.
QString filesLink(const QString& name)
{
    return QLatin1String("files/") + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

QString pageHref(const QString& fileName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName));
}

QString anchorHref(const QString& fileName, qint64 id)
{
    return pageHref(fileName) + QStringLiteral("#msg-") + QString::number(id);
}

QString navText(const char* key)
{
    return KeyTranslator::text(key).toHtmlEscaped();
}

} // namespace

ExportMessagesHtml::ExportMessagesHtml(const QString& folder, const QString& fileName,
                                       LocalFileIndex& sources, FileBatch& batch, bool copyMediaFiles,
                                       const BubbleText::EmoticonPictures* emoticonPictures,
                                       NameTaker takeName)
    : m_sources(sources), m_batch(batch), m_folder(folder),
      m_files(QDir(folder).filePath(QStringLiteral("files"))), m_fileName(fileName),
      m_takeName(std::move(takeName)),
      m_markup({[this](const _ViberAtta& atta) {
                    if (&atta == m_linkedAtta)
                        return m_links;
                    m_links.file = copyMedia(atta.localPath, atta.fileName);
                    // Without any thumbnail the placeholder the worker copies stands in,
                    // rather than a picture link to the folder itself.
                    m_links.preview = atta.previewPath.isEmpty() ? QStringLiteral("files/empty_photo.jpg")
                                                                 : copyMedia(atta.previewPath);
                    m_linkedAtta = &atta;
                    return m_links;
                },
                QStringLiteral("files/voice.png"), 200, true, LineEnd, emoticonPictures}),
      m_copyMedia(copyMediaFiles)
{
    QDir().mkpath(m_files.path());
}

void ExportMessagesHtml::begin()
{
    m_pages.clear();
    m_months.clear();
    m_media.clear();
    m_pageNames.clear();
    m_mediaPageName.clear();
    startPage();
}

void ExportMessagesHtml::startPage()
{
    m_pages.emplace_back();
    // Each page opens with the day of its first message.
    m_lastSeparator = QDate();
}

void ExportMessagesHtml::render(QByteArray& body, const _ViberMsg& msg)
{
    // Every message can be linked to: the archive's search results and the months point here.
    Utf8Out out(body);
    out += QLatin1StringView("<a id=\"msg-");
    out += QString::number(msg.id);
    out += QLatin1StringView("\"></a>");
    m_markup.appendMessageOfDay(out, msg, m_lastSeparator);
}

void ExportMessagesHtml::write(const _ViberMsg& msg)
{
    if (m_pages.empty())
        startPage();
    if (m_title.isEmpty() && msg.chat)
        m_title = ViberText::chatTitle(*msg.chat);
    if (m_pages.back().messages >= MessagesPerPage)
        startPage();
    m_linkedAtta = nullptr;
    const qsizetype before = m_pages.back().body.size();
    render(m_pages.back().body, msg);
    if (m_pages.back().messages > 0 && m_pages.back().body.size() > MaxPageBytes - PageFrameBytes) {
        // Long texts: the message opens the next page instead.
        m_pages.back().body.truncate(before);
        startPage();
        render(m_pages.back().body, msg);
    }
    ++m_pages.back().messages;
    const int page = currentPage();
    // After the message, the last separator is its day.
    const QDate day = m_lastSeparator;
    if (day.isValid()) {
        const QDate month(day.year(), day.month(), 1);
        if (m_months.empty() || m_months.back().month != month)
            m_months.push_back({month, page, msg.id});
    }
    const _ViberAtta* atta = msg.attachment;
    // A file without a usable name has no link of its own to list.
    if (atta && atta == m_linkedAtta && m_links.file.size() > 6 &&
        (msg.type == ViberMsgType::Picture || msg.type == ViberMsgType::Video ||
         msg.type == ViberMsgType::Voice)) {
        QString picture;
        if (msg.type == ViberMsgType::Video)
            picture = m_links.preview;
        else if (msg.type == ViberMsgType::Picture)
            picture = atta->previewPath.isEmpty() ? m_links.file : m_links.preview;
        m_media.push_back({msg.type, m_links.file, picture, atta->duration, page, msg.id, day});
    }
}

QString ExportMessagesHtml::copyMedia(const QString& source, const QString& attachmentName)
{
    QString name = LocalDbPaths::mediaCopyName(source, attachmentName);
    if (name.isEmpty() || !m_copyMedia || !m_sources.hasFile(source))
        return filesLink(name);
    const QString inside = AppDirs::pathInside(m_files.path(), name);
    if (!inside.isEmpty()) {
        const QString target = AppDirs::uniqueFileName(inside);
        if (m_batch.copyNew(source, target))
            name = QFileInfo(target).fileName();
    }
    return filesLink(name);
}

QByteArray ExportMessagesHtml::pageHead(const QString& title) const
{
    return (QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                           "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">") +
            LineEnd + QStringLiteral("<html xmlns=\"http://www.w3.org/1999/xhtml\">") + LineEnd +
            QStringLiteral(
                "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />") +
            LineEnd + QStringLiteral("<title>%1</title>").arg(title.toHtmlEscaped()) + LineEnd +
            QStringLiteral("<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/>"
                           "<style type=\"text/css\">.archive_nav{margin:8px 0;font-family:sans-serif;"
                           "font-size:small}.archive_nav a{margin-right:.6em}img.thumb{max-width:160px;"
                           "max-height:160px;margin:4px;vertical-align:middle}</style></head><body>") +
            LineEnd)
        .toUtf8();
}

QByteArray ExportMessagesHtml::pageLinks(int i) const
{
    QString html = QStringLiteral("<div class=\"archive_nav\">");
    const int count = int(m_pageNames.size());
    if (i > 0)
        html += QStringLiteral("<a rel=\"prev\" href=\"%1\">%2</a>")
                    .arg(pageHref(m_pageNames.at(i - 1)), navText("IDS_HTML_PREVIOUS_PAGE"));
    if (count > 1)
        html += navText("IDS_HTML_PAGE_%1_OF_%2").arg(i + 1).arg(count) + QLatin1Char(' ');
    if (i + 1 < count)
        html += QStringLiteral("<a rel=\"next\" href=\"%1\">%2</a>")
                    .arg(pageHref(m_pageNames.at(i + 1)), navText("IDS_HTML_NEXT_PAGE"));
    if (!m_mediaPageName.isEmpty())
        html +=
            QStringLiteral("<a href=\"%1\">%2</a>").arg(pageHref(m_mediaPageName), navText("IDS_HTML_MEDIA"));
    if (!m_indexPage.isEmpty())
        html +=
            QStringLiteral("<a href=\"%1\">%2</a>").arg(pageHref(m_indexPage), navText("IDS_HTML_ALL_CHATS"));
    html += QStringLiteral("</div>") + LineEnd;
    return html.toUtf8();
}

QByteArray ExportMessagesHtml::dateLinks() const
{
    for (const bool byMonth : {true, false}) {
        QString html = QStringLiteral("<div class=\"archive_nav\">%1 ").arg(navText("IDS_HTML_JUMP_TO_DATE"));
        int lastYear = 0;
        for (const MonthMark& mark : m_months) {
            if (!byMonth && mark.month.year() == lastYear)
                continue;
            lastYear = mark.month.year();
            html += QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(anchorHref(m_pageNames.at(mark.page), mark.id),
                             byMonth ? mark.month.toString(QStringLiteral("yyyy-MM"))
                                     : QString::number(mark.month.year()));
        }
        html += QStringLiteral("</div>") + LineEnd;
        const QByteArray bytes = html.toUtf8();
        if (bytes.size() <= DateListBytes)
            return bytes;
    }
    return {};
}

void ExportMessagesHtml::writePage(const QString& fileName, const QByteArray& head, QByteArray body,
                                   const QByteArray& tail)
{
    QFile* file = m_batch.create(m_folder.filePath(fileName));
    m_batch.write(file, head);
    m_batch.write(file, std::move(body));
    m_batch.write(file, tail);
    m_batch.finish(file);
}

void ExportMessagesHtml::end()
{
    if (m_pages.empty())
        startPage();
    const QString base = m_fileName.endsWith(QLatin1String(".html")) ? m_fileName.chopped(5) : m_fileName;
    const auto take = [&](const QString& wanted) {
        return m_takeName ? m_takeName(wanted) : wanted + QStringLiteral(".html");
    };
    m_pageNames = {m_fileName};
    for (size_t i = 1; i < m_pages.size(); ++i)
        m_pageNames.append(take(base + QStringLiteral("-%1").arg(i + 1)));
    if (!m_media.empty())
        m_mediaPageName = take(base + QStringLiteral("-media"));

    const QString program = QCoreApplication::translate("Velliport", "Velliport");
    if (m_title.isEmpty())
        m_title = program;
    const QByteArray head = pageHead(program);
    const QByteArray dates = m_months.size() > 1 ? dateLinks() : QByteArray();
    for (size_t i = 0; i < m_pages.size(); ++i) {
        const QByteArray links = pageLinks(int(i));
        writePage(m_pageNames.at(qsizetype(i)), head + links + dates, std::move(m_pages[i].body),
                  links + "</body></html>");
    }
    m_pages.clear();
    writeMediaPage();
}

void ExportMessagesHtml::writeMediaPage()
{
    if (m_mediaPageName.isEmpty())
        return;
    QByteArray pictures;
    Utf8Out out(pictures);
    QString others;
    for (const Media& media : m_media) {
        const QString message = anchorHref(m_pageNames.at(media.page), media.id);
        const QString name = QUrl::fromPercentEncoding(media.file.mid(6).toLatin1());
        if (media.type == ViberMsgType::Picture) {
            out += QLatin1StringView("<a href=\"");
            out += BubbleMarkup::escapeAttribute(media.file);
            out += QLatin1StringView("\" title=\"");
            out += BubbleMarkup::escapeAttribute(name);
            out += QLatin1StringView("\"><img class=\"thumb\" loading=\"lazy\" alt=\"\" src=\"");
            out += BubbleMarkup::escapeAttribute(media.picture);
            out += QLatin1StringView("\" /></a>");
            out += LineEnd;
            continue;
        }
        others += QStringLiteral("<li>");
        if (media.type == ViberMsgType::Video)
            others +=
                QStringLiteral("<a href=\"%1\"><img class=\"thumb\" loading=\"lazy\" alt=\"\" src=\"%2\" "
                               "/></a> ")
                    .arg(BubbleMarkup::escapeAttribute(media.file),
                         BubbleMarkup::escapeAttribute(media.picture));
        others += QStringLiteral("<a href=\"%1\">%2</a> %3 <a href=\"%4\">%5</a></li>")
                      .arg(BubbleMarkup::escapeAttribute(media.file), name.toHtmlEscaped(),
                           BubbleMarkup::durationText(media.duration), message,
                           media.day.isValid() ? media.day.toString(Qt::ISODate) : QStringLiteral("?")) +
                  LineEnd;
    }
    QByteArray head = pageHead(m_title);
    QString links = QStringLiteral("<div class=\"archive_nav\"><a href=\"%1\">%2</a>")
                        .arg(pageHref(m_pageNames.constFirst()), m_title.toHtmlEscaped());
    if (!m_indexPage.isEmpty())
        links +=
            QStringLiteral("<a href=\"%1\">%2</a>").arg(pageHref(m_indexPage), navText("IDS_HTML_ALL_CHATS"));
    links += QStringLiteral("</div>") + LineEnd;
    head += links.toUtf8();
    head += "<div>";
    QByteArray tail = "</div>" + LineEnd.toUtf8();
    if (!others.isEmpty())
        tail += (QStringLiteral("<ul>") + LineEnd + others + QStringLiteral("</ul>")).toUtf8();
    tail += "</body></html>";
    writePage(m_mediaPageName, head, std::move(pictures), tail);
    m_media.clear();
}
