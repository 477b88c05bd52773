#include "android/AttachmentPlan.h"

#include "android/SimpleProtocol.h"
#include "app/LocalFileIndex.h"
#include "app/Prefetch.h"
#include "app/TextScan.h"
#include "db/ViberCodes.h"
#include "db/ViberDataSet.h"

#include <QSet>
#include <QtDebug>

#include <array>
#include <utility>

using namespace simpleprotocol;

namespace {

// The phone files of an attachment, each with the local file it is fetched to: up to
// two, pointing into the attachment, as a load asks this for every one.
struct AttachmentFiles
{
    std::array<std::pair<const QString*, const QString*>, 2> files;
    int count = 0;

    void add(const QString& remote, const QString& local) { files[size_t(count++)] = {&remote, &local}; }
    auto begin() const { return files.begin(); }
    auto end() const { return files.begin() + count; }
};

AttachmentFiles attachmentFiles(const _ViberAtta& atta)
{
    AttachmentFiles files;
    switch (atta.message->type) {
    case ViberMsgType::Picture:
    case ViberMsgType::Video:
        if (!atta.sourceUri.isEmpty())
            files.add(atta.sourceUri, atta.localPath);
        if (!atta.sourcePath.isEmpty())
            files.add(atta.sourcePath, atta.previewPath);
        break;
    case ViberMsgType::Location:
        if (!atta.sourcePath.isEmpty())
            files.add(atta.sourcePath, atta.previewPath);
        break;
    case ViberMsgType::Voice:
        files.add(atta.sourceUri, atta.localPath);
        break;
    default:
        break;
    }
    return files;
}

} // namespace

AttachmentPlan::AttachmentPlan(const ViberDataSet& dataSet)
{
    m_files.reserve(dataSet.attachments.size() * 2);
    LocalFileIndex localFiles;
    // The processor is asked for the record a few attachments ahead, and for the message
    // and the path texts of one whose record should have arrived.
    constexpr int RecordAhead = 8;
    constexpr int MessageAhead = 4;
    auto recordAhead = dataSet.attachments.begin();
    auto messageAhead = dataSet.attachments.begin();
    const auto end = dataSet.attachments.end();
    for (int i = 0; i < RecordAhead && recordAhead != end; ++i, ++recordAhead) {
        if (i < MessageAhead)
            ++messageAhead;
    }
    qsizetype number = 0;
    for (const _ViberAtta* atta : dataSet.attachments) {
        if (recordAhead != end)
            prefetchRecord(*recordAhead++);
        if (messageAhead != end) {
            const _ViberAtta* ahead = *messageAhead++;
            if (ahead->message)
                prefetchAt(&ahead->message->type);
            for (const QString* text :
                 {&ahead->sourceUri, &ahead->sourcePath, &ahead->localPath, &ahead->previewPath})
                prefetchAt(text->constData());
        }
        ++number;
        if (!atta->message)
            continue;
        const bool hasPreview = atta->message->type == ViberMsgType::Picture && !atta->previewPath.isEmpty();
        bool picturePlanned = false;
        for (const auto& [remote, local] : attachmentFiles(*atta)) {
            QString phonePath = phonePathFromUri(*remote);
            if (phonePath.isEmpty() || local->isEmpty())
                continue;
            const bool picture = hasPreview && local == &atta->localPath;
            picturePlanned = picturePlanned || picture;
            // a non-empty local copy is kept without asking the phone
            const bool cached = localFiles.hasNonEmptyFile(*local);
            const int folder = folderOf(phonePath);
            m_files.append({atta, local, std::move(phonePath), number, folder, cached, !cached, picture});
        }
        // A picture the phone does not name may still be in the cache from before, and
        // want its preview.
        if (hasPreview && !picturePlanned && !atta->localPath.isEmpty())
            m_files.append({atta, &atta->localPath, QString(), number, -1,
                            localFiles.hasFile(atta->localPath), false, true});
    }
}

int AttachmentPlan::folderOf(const QString& phonePath)
{
    // Found here, while the path is fresh in the processor's cache: the requests that
    // follow would read every path of the load again.
    const QStringView folder =
        QStringView(phonePath).left(qMax(TextScan::lastSlash(phonePath), qsizetype(1)));
    if (m_lastFolder >= 0 && m_folders.at(m_lastFolder) == folder)
        return m_lastFolder;
    if (m_folderBefore >= 0 && m_folders.at(m_folderBefore) == folder) {
        std::swap(m_lastFolder, m_folderBefore);
        return m_lastFolder;
    }
    const QString key = folder.toString();
    auto found = m_folderIds.constFind(key);
    if (found == m_folderIds.cend()) {
        found = m_folderIds.insert(key, int(m_folders.size()));
        m_folders.append(key);
    }
    m_folderBefore = m_lastFolder;
    m_lastFolder = *found;
    return *found;
}

void AttachmentPlan::learnMissingFiles(QIODevice& session, const ProgressChannel* progress)
{
    QList<QList<qsizetype>> byFolder(m_folders.size());
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).fetch)
            byFolder[m_files.at(i).folder].append(i);
    }
    QList<qsizetype> asked; // left to the questions about single files
    for (int folder = 0; folder < byFolder.size(); ++folder) {
        const QList<qsizetype>& files = byFolder.at(folder);
        if (files.size() < MinFilesToListFolder || !learnFromListing(session, folder, files, progress))
            asked.append(files);
    }
    learnFromFileQuestions(session, asked, progress);
}

bool AttachmentPlan::learnFromListing(QIODevice& session, int folder, const QList<qsizetype>& files,
                                      const ProgressChannel* progress)
{
    QSet<QString> names;
    try {
        names = remoteFolderFiles(session, m_folders.at(folder), 60000, progress);
    } catch (const RemoteException& e) {
        // an agent before the listing, or a folder it cannot read
        qDebug("AttachmentPlan, no listing of %s: %s", qUtf8Printable(m_folders.at(folder)), e.what());
        return false;
    }
    for (const qsizetype i : files) {
        File& file = m_files[i];
        // an empty folder (a phone whose media was cleared) is known without reading a path
        if (names.isEmpty() ||
            !names.contains(file.phonePath.sliced(TextScan::lastSlash(file.phonePath) + 1)))
            file.fetch = false;
    }
    return true;
}

void AttachmentPlan::learnFromFileQuestions(QIODevice& session, const QList<qsizetype>& files,
                                            const ProgressChannel* progress)
{
    if (files.isEmpty())
        return;
    QStringList paths;
    paths.reserve(files.size());
    for (const qsizetype i : files)
        paths.append(m_files.at(i).phonePath);
    const QList<RemoteFileInfo> infos = remoteFileInfos(session, paths, 60000, progress);
    for (qsizetype k = 0; k < files.size(); ++k) {
        if (!infos.at(k).isFile)
            m_files[files.at(k)].fetch = false;
    }
}
