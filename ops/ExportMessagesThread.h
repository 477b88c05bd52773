#pragma once

#include "db/ViberMsg.h"
#include "ops/BubbleText.h"
#include "ops/ExportProvenance.h"
#include "ops/FileBatch.h"

#include <QJsonArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QThread>

class FileBatch;
class ProgressChannel;
struct _ViberChat;

// Exports messages to one text or CSV file, or to one PDF, HTML or JSON file per chat in a
// folder; either way with its provenance and a SHA-256 list of what it wrote.
class ExportMessagesThread : public QThread
{
    Q_OBJECT
public:
    enum Format { Text = 0, Csv = 1, Pdf = 2, Html = 3, Json = 4 };

    // The messages stay owned by their data set, which must outlive the worker.
    ExportMessagesThread(const QList<_ViberMsg*>& messages, const QString& path, int format,
                         ProgressChannel& progress, QObject* parent = nullptr);

    // The chat's participants as a file name, with the extension ("unknown-chat" without a chat).
    static QString chatFileName(const _ViberChat* chat, const QString& extension);
    static QString chatBaseName(const _ViberChat* chat);

    // Whether the HTML and JSON exports copy the media files (the default) or only name them.
    void setCopyMedia(bool copy) { m_copyMedia = copy; }
    // Whether an HTML export writes the archive's index and search files (the default);
    // the benchmark leaves them out to weigh what they cost.
    void setArchive(bool archive) { m_archive = archive; }
    // Where the messages came from and how they were chosen, for the provenance.
    void setProvenance(const ExportProvenance& provenance) { m_provenance = provenance; }

protected:
    void run() override;

private:
    void exportAll();
    void prepareHtmlFolder(FileBatch& batch);
    void removeOutput();
    // written: the hashes the export's batch took of the files it wrote.
    void writeProof(qint64 chats, const FileBatch::Hashes& written);
    QString runFileName(const _ViberChat* chat, const QString& extension);
    // base.extension, or base(N).extension when a file of the run already has that name.
    QString freeFileName(const QString& base, const QString& extension);

    QList<_ViberMsg*> m_messages;
    QString m_path;
    int m_format;
    ProgressChannel& m_progress;
    bool m_folderExisted = false;
    QSet<QString> m_entriesBefore; // what the output folder held before the run
    int m_exported = 0;
    QSet<QString> m_namesUsed;                       // chat files written by this run, lower-cased
    BubbleText::EmoticonPictures m_emoticonPictures; // of an HTML export, listed once
    bool m_copyMedia = true;
    bool m_archive = true;
    QJsonArray m_jsonIndex; // one entry per chat of a JSON export
    ExportProvenance m_provenance;
};
