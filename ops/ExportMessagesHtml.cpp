#include "ops/ExportMessagesHtml.h"

#include "app/AppDirs.h"
#include "app/LocalFileIndex.h"
#include "db/LocalDbPaths.h"
#include "db/ViberAtta.h"
#include "ops/FileBatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString LineEnd = QStringLiteral("\r\n");

// A relative link to a file in "files/": the name is percent-encoded so that no file
// name can end the attribute or turn into markup.
QString filesLink(const QString& name)
{
    return QLatin1String("files/") + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

} // namespace

ExportMessagesHtml::ExportMessagesHtml(const QString& folder, const QString& fileName,
                                       LocalFileIndex& sources, FileBatch& batch, bool copyMediaFiles,
                                       const BubbleText::EmoticonPictures* emoticonPictures)
    : m_sources(sources), m_batch(batch), m_folder(folder),
      m_files(QDir(folder).filePath(QStringLiteral("files"))),
      m_file(QDir(folder).filePath(fileName), &batch),
      m_markup({[this](const _ViberAtta& atta) {
                    BubbleMarkup::MediaLinks links;
                    links.file = copyMedia(atta.localPath, atta.fileName);
                    // Without any thumbnail the placeholder the worker copies stands in,
                    // rather than a picture link to the folder itself.
                    links.preview = atta.previewPath.isEmpty() ? QStringLiteral("files/empty_photo.jpg")
                                                               : copyMedia(atta.previewPath);
                    return links;
                },
                QStringLiteral("files/voice.png"), 200, true, LineEnd, emoticonPictures}),
      m_copyMedia(copyMediaFiles)
{
    QDir().mkpath(m_files.path());
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

void ExportMessagesHtml::write(const _ViberMsg& msg)
{
    // Every message can be linked to: the archive's search results point here.
    m_file.writeBuilt([&](Utf8Out& out) {
        out += QLatin1StringView("<a id=\"msg-");
        out += QString::number(msg.id);
        out += QLatin1StringView("\"></a>");
        m_markup.appendMessageOfDay(out, msg, m_lastSeparator);
    });
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

void ExportMessagesHtml::end()
{
    m_file.write(QStringLiteral("</body></html>"));
    m_file.finish();
}
