#include "ops/ExportMessagesThread.h"

#include "app/AppDirs.h"
#include "app/LocalFileIndex.h"
#include "app/OperationCancelled.h"
#include "app/Prefetch.h"
#include "app/ProgressChannel.h"
#include "app/ProgressThrottle.h"
#include "db/ViberAtta.h"
#include "db/ViberChat.h"
#include "db/ViberSort.h"
#include "db/ViberText.h"
#include "ops/ExportManifest.h"
#include "ops/ExportMessagesCsv.h"
#include "ops/ExportMessagesHtml.h"
#include "ops/ExportMessagesJson.h"
#include "ops/ExportMessagesPdf.h"
#include "ops/ExportMessagesTxt.h"
#include "ops/FileBatch.h"
#include "ops/HtmlArchiveIndex.h"
#include "ops/OperationError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// In chat order the messages lie scattered over memory, and waiting for each one and
// its text took a tenth of a per-chat export. The processor is asked for the record a
// few messages ahead, and for the text and attachment of one whose record should have
// arrived; then for the paths of an attachment that should have arrived too (an HTML
// export names a copy after each, and waited for them as long as it built its markup).
[[gnu::always_inline]] inline void prefetchAhead(const QList<_ViberMsg*>& messages, qsizetype at)
{
    constexpr qsizetype RecordAhead = 8;
    constexpr qsizetype TextAhead = 4;
    constexpr qsizetype PathsAhead = 2;
    if (at + RecordAhead < messages.size())
        prefetchRecord(messages.at(at + RecordAhead));
    if (at + TextAhead < messages.size()) {
        const _ViberMsg* ahead = messages.at(at + TextAhead);
        prefetchAt(ahead->text.constData());
        if (ahead->attachment)
            prefetchRecord(ahead->attachment);
    }
    if (at + PathsAhead < messages.size()) {
        if (const _ViberAtta* atta = messages.at(at + PathsAhead)->attachment) {
            prefetchAt(atta->localPath.constData());
            prefetchAt(atta->previewPath.constData());
        }
    }
}

// The shared files are copied through the batch, which syncs them with the pages, as a
// sync of its own on each made copying them take a quarter of a large export. A file
// already there is kept; a copy that fails is left out, as a missing file is better than
// a cut one.
void copyFolderFiles(FileBatch& batch, const QDir& source, const QString& target)
{
    if (!source.exists())
        return;
    QDir().mkpath(target);
    const QStringList files = source.entryList(QDir::Files);
    for (const QString& name : files)
        batch.copyNew(source.filePath(name), QDir(target).filePath(name));
}

} // namespace

ExportMessagesThread::ExportMessagesThread(const QList<_ViberMsg*>& messages, const QString& path, int format,
                                           ProgressChannel& progress, QObject* parent)
    : QThread(parent), m_messages(messages), m_path(path), m_format(format), m_progress(progress)
{}

QString ExportMessagesThread::chatFileName(const _ViberChat* chat, const QString& extension)
{
    return chatBaseName(chat) + QLatin1Char('.') + extension;
}

QString ExportMessagesThread::chatBaseName(const _ViberChat* chat)
{
    if (!chat)
        return QStringLiteral("unknown-chat");
    QString name = ViberText::chatMembersText(*chat);
    for (const QChar c :
         {QChar(u'\t'), QChar(u'\r'), QChar(u'\n'), QChar(0x202A), QChar(0x00A0), QChar(0x202C)})
        name.remove(c);
    name = AppDirs::sanitizeFileName(name);
    if (name.isEmpty())
        name = QStringLiteral("unknown-chat");
    return name;
}

// Chats whose participants read the same (two groups of the same people, chats whose
// members are unknown) would write one file over the other and lose a chat from the
// export; the second and later ones are numbered "name(1)", "name(2)", ...
QString ExportMessagesThread::runFileName(const _ViberChat* chat, const QString& extension)
{
    return freeFileName(chatBaseName(chat), extension);
}

// The further pages of a long chat take their names here too ("NAME-2"), so that no
// chat's page and another's share a name whichever comes first.
QString ExportMessagesThread::freeFileName(const QString& base, const QString& extension)
{
    QString name = base + QLatin1Char('.') + extension;
    for (int n = 1; m_namesUsed.contains(name.toLower()); ++n)
        name = QStringLiteral("%1(%2).%3").arg(base).arg(n).arg(extension);
    m_namesUsed.insert(name.toLower());
    return name;
}

void ExportMessagesThread::run()
{
    const QFileInfo target(m_path);
    m_folderExisted = target.isDir();
    if (m_folderExisted) {
        const QStringList entries =
            QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        m_entriesBefore = QSet<QString>(entries.begin(), entries.end());
    }
    try {
        exportAll();
        m_progress.postSucceed(UserText::plain(tr("IDS_SUC_EXPORT_%1_MMS").arg(m_exported)));
    } catch (const OperationCancelled&) {
        removeOutput();
    } catch (const std::exception& e) {
        removeOutput();
        m_progress.postError(UserText::plain(QString::fromUtf8(e.what())));
    }
}

void ExportMessagesThread::exportAll()
{
    m_progress.postProgress(tr("IDS_EXPORTING_MESSAGES_TO_FILE"), -1, QString());
    if (m_format < Text || m_format > Json)
        throw OperationError(QStringLiteral("not support export format."));
    m_provenance.begin();
    const bool perChat = m_format == Pdf || m_format == Html || m_format == Json;
    QList<_ViberMsg*> sorted = m_messages;
    if (m_format == Json)
        m_namesUsed.insert(QLatin1String(ExportMessagesJson::IndexFile));
    if (m_format == Html)
        m_namesUsed.insert(QStringLiteral("index.html")); // a chat named "index" gets "index(1).html"
    if (perChat) {
        // The proof's own file: a chat named "provenance" gets "provenance(1).json".
        m_namesUsed.insert(QLatin1String(ExportProvenance::FolderFile));
        QDir().mkpath(m_path);
        // Messages without a chat are passed over, so where they sort does not matter.
        ViberSort::sortByChatThenDate(sorted);
    } else {
        std::stable_sort(sorted.begin(), sorted.end(), ViberSort::msgByDate);
    }

    LocalFileIndex mediaSources;             // the media files a per-chat export copies
    FileBatch pages;                         // the per-chat files, put in place together at the end
    std::optional<HtmlArchiveIndex> archive; // an HTML export's index and search
    std::unique_ptr<AbsFormatExport<_ViberMsg>> writer;
    ExportMessagesHtml* htmlWriter = nullptr; // writer, of an HTML export
    const _ViberChat* writerChat = nullptr;
    // A chat's pages are named when it ends; the archive learns them then.
    const auto endWriter = [&] {
        if (!writer)
            return;
        writer->end();
        if (archive && htmlWriter)
            archive->endChat(htmlWriter->pageNames(), htmlWriter->mediaPageName());
    };
    QSet<const _ViberChat*> chats;
    const int total = int(sorted.size());
    ProgressThrottle throttle;
    int shown = 0; // the count the receiver last saw
    const auto showCount = [&] {
        m_progress.postProgress(QString(), int(qint64(m_exported) * 100 / total),
                                tr("Messages: %1/%2").arg(m_exported).arg(total));
        shown = m_exported;
    };
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        prefetchAhead(sorted, i);
        const _ViberMsg* msg = sorted.at(i);
        if (!msg->chat)
            continue;
        ++m_exported;
        chats.insert(msg->chat);
        if (throttle.due(int(qint64(m_exported) * 100 / total), m_exported == total))
            showCount();
        if (!writer && (m_format == Text || m_format == Csv)) {
            if (m_format == Text)
                writer = std::make_unique<ExportMessagesTxt>(m_path);
            else
                writer = std::make_unique<ExportMessagesCsv>(m_path);
            writer->begin();
        } else if (perChat && (!writer || writerChat != msg->chat)) {
            endWriter();
            writer.reset();
            if (m_format == Pdf) {
                writer = std::make_unique<ExportMessagesPdf>(
                    QDir(m_path).filePath(runFileName(msg->chat, QStringLiteral("pdf"))),
                    QStringLiteral("Velliport export %1").arg(m_provenance.id()),
                    m_provenance.summaryLines());
            } else if (m_format == Json) {
                writer = std::make_unique<ExportMessagesJson>(
                    m_path, runFileName(msg->chat, QStringLiteral("json")), *msg->chat, m_copyMedia,
                    m_jsonIndex, mediaSources, pages);
            } else {
                if (!writerChat) {
                    prepareHtmlFolder(pages);
                    if (m_archive)
                        archive.emplace(m_path, pages);
                }
                auto html = std::make_unique<ExportMessagesHtml>(
                    m_path, runFileName(msg->chat, QStringLiteral("html")), mediaSources, pages, m_copyMedia,
                    &m_emoticonPictures,
                    [this](const QString& base) { return freeFileName(base, QStringLiteral("html")); });
                if (archive) {
                    html->setIndexPage(QStringLiteral("index.html"));
                    archive->beginChat(*msg->chat);
                }
                htmlWriter = html.get();
                writer = std::move(html);
            }
            writerChat = msg->chat;
            writer->begin();
        }
        writer->write(*msg);
        if (archive)
            archive->add(*msg, htmlWriter->currentPage());
        if (m_progress.isCancelled())
            throw OperationCancelled();
    }
    if (shown != m_exported) // the throttle held back the last message that had a chat
        showCount();
    endWriter();
    if (m_format == Json)
        ExportMessagesJson::writeIndex(m_path, m_jsonIndex, pages);
    if (archive)
        archive->finish();
    // The last look at Cancel: once the files are in place, the export is done.
    if (m_progress.isCancelled())
        throw OperationCancelled();
    pages.commit();
    writeProof(chats.size(), pages.writtenHashes());
}

void ExportMessagesThread::writeProof(qint64 chats, const FileBatch::Hashes& written)
{
    static const QStringList formatNames = {QStringLiteral("txt"), QStringLiteral("csv"),
                                            QStringLiteral("pdf"), QStringLiteral("html"),
                                            QStringLiteral("json")};
    const bool folder = m_format == Pdf || m_format == Html || m_format == Json;
    // An export of nothing wrote no file to vouch for.
    if (!folder && !QFileInfo::exists(m_path))
        return;
    const auto writeProvenance = [&] {
        return m_provenance.write(
            m_path, folder, formatNames.at(m_format),
            QJsonObject{{QStringLiteral("messages"), m_exported}, {QStringLiteral("chats"), chats}});
    };
    if (folder) {
        // A failure here removes the folder's new entries with the pages.
        writeProvenance();
        ExportManifest::writeForFolder(m_path, written);
    } else {
        ExportManifest::writeForFile(m_path, writeProvenance);
    }
}

void ExportMessagesThread::prepareHtmlFolder(FileBatch& batch)
{
    const QDir assets(AppDirs::assetFolder());
    const QDir out(m_path);
    m_emoticonPictures = BubbleText::listEmoticonPictures();
    QDir().mkpath(out.filePath(QStringLiteral("files")));
    copyFolderFiles(batch, QDir(assets.filePath(QStringLiteral("vbbb"))),
                    out.filePath(QStringLiteral("files")));
    // Some fifteen hundred pictures that only these folders hold: their copies are made
    // wholly beside the pages. The pictures of "files" take their names at once, before
    // the media copies that go there too.
    batch.copyFolderNew(assets.filePath(QStringLiteral("emoji")), out.filePath(QStringLiteral("emoji")));
    batch.copyFolderNew(assets.filePath(QStringLiteral("vb_emoji")),
                        out.filePath(QStringLiteral("vb_emoji")));
}

// Removes what this run wrote. A folder the user chose that already held other
// things keeps them: only the entries this run added are removed. A text or CSV file
// reaches its name only complete, so a file found there is the user's earlier one.
void ExportMessagesThread::removeOutput()
{
    const QFileInfo target(m_path);
    if (!target.isDir())
        return;
    if (!m_folderExisted) {
        AppDirs::removeTree(m_path);
        return;
    }
    QDir dir(m_path);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        if (m_entriesBefore.contains(name))
            continue;
        const QString full = dir.filePath(name);
        if (QFileInfo(full).isDir())
            AppDirs::removeTree(full);
        else
            QFile::remove(full);
    }
}
