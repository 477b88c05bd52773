#include "ui/VBBubbleViewMgr.h"

#include "app/AppDirs.h"
#include "app/OnDemandFiles.h"
#include "db/ViberAtta.h"
#include "ops/BubbleMarkup.h"
#include "ui/BubblePage.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {

QString fileUrl(const QString& path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// A thumbnail's picture: a web address as it is, a local picture when it holds
// something, the placeholder otherwise.
QString pictureSource(const QString& path)
{
    if (path.startsWith(QLatin1String("http://")) || path.startsWith(QLatin1String("https://")))
        return path;
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isFile() && info.size() > 0)
        return fileUrl(path);
    return QStringLiteral("vbbb/empty_photo.jpg");
}

const BubbleMarkup& viewMarkup()
{
    static const BubbleMarkup markup(
        {[](const _ViberAtta& atta) {
             return BubbleMarkup::MediaLinks{fileUrl(atta.localPath), pictureSource(atta.previewPath)};
         },
         QStringLiteral("vbbb/voice.png"), 128, false, QString()});
    return markup;
}

// "can not find" names the file by its last three path components only.
QString shortPath(const QString& path)
{
    static const QRegularExpression lastThree(QStringLiteral("([^/]+/[^/]+/[^/]+)$"));
    const QRegularExpressionMatch match = lastThree.match(path);
    return match.hasMatch() ? QLatin1String("...") + match.captured(1) : path;
}

// The copy replaces the target only once it is whole, so a failed save never costs the
// user the file that was there (nor the attachment itself when both are one file).
bool copyWhole(const QString& source, const QString& target)
{
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            return false;
    }
    return in.error() == QFileDevice::NoError && out.commit();
}

} // namespace

VBBubbleViewMgr::VBBubbleViewMgr(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<ViberMsgList>("ViberMsgList");
    const auto parentWidget = [this]() -> QWidget* { return m_view.data(); };
    m_prompts.information = [parentWidget](const QString& text) {
        QMessageBox::information(parentWidget(), tr("Velliport"), text);
    };
    m_prompts.warning = [parentWidget](const QString& text) {
        QMessageBox::warning(parentWidget(), tr("Velliport"), text);
    };
    m_prompts.error = [parentWidget](const QString& text) {
        QMessageBox::critical(parentWidget(), tr("Velliport"), text);
    };
    m_prompts.saveFileName = [parentWidget](const QString& caption, const QString& proposedPath) {
        return QFileDialog::getSaveFileName(parentWidget(), caption, proposedPath, QString());
    };
}

VBBubbleViewMgr::~VBBubbleViewMgr() = default;

void VBBubbleViewMgr::bind(QWebEngineView* view)
{
    m_view = view;
    auto* page = new BubblePage(view);
    view->setPage(page);
    connect(view, &QWebEngineView::loadFinished, this, &VBBubbleViewMgr::onLoadFinish);
    // Queued: a new page is set only after the page has finished refusing the click.
    connect(page, &BubblePage::linkClicked, this, &VBBubbleViewMgr::onLinkClicked, Qt::QueuedConnection);
}

void VBBubbleViewMgr::setPrompts(Prompts prompts)
{
    // A hook left empty keeps the toolkit's own box or dialog.
    if (prompts.information)
        m_prompts.information = std::move(prompts.information);
    if (prompts.warning)
        m_prompts.warning = std::move(prompts.warning);
    if (prompts.error)
        m_prompts.error = std::move(prompts.error);
    if (prompts.saveFileName)
        m_prompts.saveFileName = std::move(prompts.saveFileName);
}

QUrl VBBubbleViewMgr::baseUrl()
{
    return QUrl::fromLocalFile(AppDirs::assetFolder() + QLatin1Char('/'));
}

QString VBBubbleViewMgr::pageFile() const
{
    return m_pageFile ? m_pageFile->fileName() : QString();
}

bool VBBubbleViewMgr::needsPageFile(const QString& html)
{
    // The data URL prefix and the percent-encoding both count against the limit.
    return QUrl::toPercentEncoding(html.toUtf8()).size() + 64 > SetHtmlLimit;
}

void VBBubbleViewMgr::showBubble(ViberMsgList list, const QHash<qint64, QDateTime>& gone)
{
    m_messages = std::move(list);
    m_gone = gone;
    if (!m_messages.isEmpty()) {
        m_pageCount = int((m_messages.size() + PageSize - 1) / PageSize);
        firstPage();
        return;
    }
    m_currentPage = 0;
    m_pageCount = 0;
    m_anchor.clear();
    m_pageFile.reset();
    if (m_view)
        m_view->setHtml(QString(), QUrl());
}

void VBBubbleViewMgr::firstPage()
{
    if (m_pageCount == 0)
        return;
    m_currentPage = 1;
    m_anchor = QStringLiteral("start");
    render(m_currentPage);
}

void VBBubbleViewMgr::previousPage()
{
    if (m_currentPage < 2)
        return;
    m_anchor = QStringLiteral("end");
    render(--m_currentPage);
}

void VBBubbleViewMgr::nextPage()
{
    if (m_currentPage >= m_pageCount)
        return;
    m_anchor = QStringLiteral("start");
    render(++m_currentPage);
}

void VBBubbleViewMgr::lastPage()
{
    if (m_pageCount == 0)
        return;
    m_currentPage = m_pageCount;
    m_anchor = QStringLiteral("end");
    render(m_currentPage);
}

void VBBubbleViewMgr::scrollToPos(int row)
{
    if (row < 0 || row >= m_messages.size())
        return;
    const int page = row / PageSize + 1;
    m_anchor = QStringLiteral("sms_%1").arg(m_messages.at(row)->id);
    if (page == m_currentPage) {
        scrollToAnchor();
        return;
    }
    m_currentPage = page;
    render(page);
}

void VBBubbleViewMgr::onLoadFinish(bool ok)
{
    if (!ok) {
        qWarning("the bubble page %d did not load", m_currentPage);
        return;
    }
    scrollToAnchor();
}

void VBBubbleViewMgr::scrollToAnchor()
{
    if (!m_view || m_anchor.isEmpty())
        return;
    // The anchor is "start", "end" or "sms_" and a number: nothing to quote.
    m_view->page()->runJavaScript(
        QStringLiteral(
            "(function(){var a=document.getElementsByName('%1')[0];if(a)a.scrollIntoView(true);})()")
            .arg(m_anchor),
        QWebEngineScript::ApplicationWorld);
}

QString VBBubbleViewMgr::renderPage(int page) const
{
    if (page < 1 || page > m_pageCount)
        return QString();
    const BubbleMarkup& markup = viewMarkup();
    QByteArray html;
    Utf8Out out(html);
    out += QLatin1StringView("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                             "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                             "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
                             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                             "<title>Bubble</title>"
                             "<link href=\"vbbb/style.css\" type=\"text/css\" rel=\"stylesheet\"/>"
                             "</head><body><a name=\"start\"></a>");
    if (page != 1)
        out += QLatin1StringView("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
    const qsizetype end = qMin(qsizetype(page) * PageSize, m_messages.size());
    QDate lastDay;
    for (qsizetype row = qsizetype(page - 1) * PageSize; row < end; ++row) {
        const _ViberMsg& msg = *m_messages.at(row);
        out += QLatin1StringView("<a name=\"sms_");
        html += QByteArray::number(msg.id);
        out += QLatin1StringView("\"></a>");
        markup.appendMessageOfDay(out, msg, lastDay);
        if (const auto since = m_gone.constFind(msg.id); since != m_gone.cend()) {
            out += QLatin1StringView("<p class=\"gone\" style=\"text-align:center;color:#777;font-size:smaller\">");
            out += tr("IDS_GONE_FROM_SOURCE_SINCE_%1")
                       .arg(QLocale::system().toString(since->toLocalTime(), QLocale::ShortFormat))
                       .toHtmlEscaped();
            out += QLatin1StringView("</p>");
        }
    }
    if (page != m_pageCount)
        out += QLatin1StringView("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
    out += QLatin1StringView("<a name=\"end\"></a></body></html>");
    return QString::fromUtf8(html);
}

void VBBubbleViewMgr::render(int page)
{
    QString html = renderPage(page);
    m_pageFile.reset();
    if (!m_view)
        return;
    const QUrl base = baseUrl();
    if (!needsPageFile(html)) {
        m_view->setHtml(html, base);
        return;
    }
    // A loaded file is its own base, so the page names the asset folder itself.
    const qsizetype head = html.indexOf(QLatin1String("<head>")) + 6;
    html.insert(head, QStringLiteral("<base href=\"%1\" />")
                          .arg(BubbleMarkup::escapeAttribute(base.toString(QUrl::FullyEncoded))));
    // QTemporaryFile makes the file readable by its owner only.
    auto file =
        std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("velliport-page-XXXXXX.html")));
    if (!file->open() || file->write(html.toUtf8()) < 0 || !file->flush()) {
        qWarning("the bubble page could not be written: %s", qUtf8Printable(file->errorString()));
        m_view->setHtml(QString(), QUrl());
        return;
    }
    m_pageFile = std::move(file);
    m_view->load(QUrl::fromLocalFile(m_pageFile->fileName()));
}

void VBBubbleViewMgr::onLinkClicked(const QUrl& url)
{
    if (url.isLocalFile()) {
        const QString path = url.path();
        if (path == QLatin1String("/pre_page"))
            previousPage();
        else if (path == QLatin1String("/next_page"))
            nextPage();
        else
            openOrSave(url.toLocalFile());
        return;
    }
    // Pages link web pictures (maps, stickers) and nothing else: other schemes are not
    // handed to the desktop.
    if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        AppDirs::openUrl(url);
    else
        qWarning("the bubble view ignored a link of scheme %s", qUtf8Printable(url.scheme()));
}

void VBBubbleViewMgr::openOrSave(const QString& path)
{
    OnDemandFiles::prepare(path);
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= 0) {
        m_prompts.warning(tr("can not find %1.").arg(shortPath(path)));
        return;
    }
    // Whole words only: a file named "x.pg" is no picture just because "jpg" holds "pg".
    static const QStringList openable =
        QStringLiteral("jpg jpeg png bmp gif mp3 mp4 mov").split(QLatin1Char(' '));
    const QString suffix = info.suffix().trimmed();
    if (!suffix.isEmpty() && openable.contains(suffix)) {
        AppDirs::shellOpen(path);
        return;
    }
    const QString target =
        m_prompts.saveFileName(tr("IDS_SAVE_ATTACHMENT"), QDir::home().filePath(info.fileName()));
    if (target.isEmpty())
        return;
    if (copyWhole(path, target))
        m_prompts.information(tr("IDS_SAVE_ATTACHMENT_SUC"));
    else
        m_prompts.error(tr("IDS_SAVE_ATTACHMENT_FILE_ERROR"));
}
