#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class ProgressChannel;
class QIODevice;
struct _ViberAtta;
class ViberDataSet;

// The files a load fetches from the phone for the attachments of a data set, worked out
// before the first download: which phone file goes to which local file, which are in the
// cache already, and — asked of the agent in a few requests — which the phone lacks.
// Records of a data set lie scattered over memory; the plan reads them once and holds all
// the download loop needs, so that it does not read them a second time.
class AttachmentPlan
{
public:
    // One file of an attachment: a phone file and the local file it is fetched to, or only
    // a local file to look at (no phone path).
    struct File
    {
        const _ViberAtta* attachment;
        const QString* local; // a path of the attachment
        QString phonePath;
        qsizetype number; // the attachment's place in the data set (from 1), for the progress
        int folder;       // the phone folder's index in folders(); -1 without a phone path
        bool cached;      // a non-empty local copy was there before the load (any file, without a phone path)
        bool fetch;       // false when cached, without a phone path, or when the phone lacks the file
        bool picture;     // the picture of a picture message, which a preview is made from
    };

    // A folder that holds this many of the wanted files is listed, instead of asking for
    // each: a listing costs its names, whichever of them a history names.
    static constexpr qsizetype MinFilesToListFolder = 16;

    // The files in the data set's order of attachments, those of one attachment together;
    // attachments with nothing to fetch or look at have none.
    explicit AttachmentPlan(const ViberDataSet& dataSet);

    const QList<File>& files() const { return m_files; }
    const QStringList& folders() const { return m_folders; }

    // Clears fetch of the files the phone lacks. Throws what the protocol throws; a
    // RemoteException means the agent answers neither request, and leaves the files it
    // did not learn about to be fetched.
    void learnMissingFiles(QIODevice& session, const ProgressChannel* progress);

private:
    int folderOf(const QString& phonePath);
    // False when the agent does not list the folder.
    bool learnFromListing(QIODevice& session, int folder, const QList<qsizetype>& files,
                          const ProgressChannel* progress);
    void learnFromFileQuestions(QIODevice& session, const QList<qsizetype>& files,
                                const ProgressChannel* progress);

    QList<File> m_files;
    QStringList m_folders;
    QHash<QString, int> m_folderIds;
    int m_lastFolder = -1;
    int m_folderBefore = -1; // pictures and their thumbnails take turns
};
