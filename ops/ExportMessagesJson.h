#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/TextFileWriter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

class FileBatch;
class LocalFileIndex;

// One chat as a JSON file: the chat with its participants, then its messages, written
// one message at a time so that memory stays flat however long the chat is. Copies of
// the media go into "media/" beside it when asked. end() adds the chat's entry to the
// index the worker writes last ("index.json"). The shape is docs/export.schema.json.
class ExportMessagesJson : public AbsFormatExport<_ViberMsg>
{
public:
    static constexpr auto IndexFile = "index.json";
    static constexpr auto MediaFolder = "media";
    static constexpr int FormatVersion = 1;

    // The chat must outlive the writer; index collects one entry per finished chat;
    // sources, shared by the writers of one export, answers whether a media file is there
    // from one listing of its folder; the file goes in place with batch's.
    ExportMessagesJson(const QString& folder, const QString& fileName, const _ViberChat& chat, bool copyMedia,
                       QJsonArray& index, LocalFileIndex& sources, FileBatch& batch);
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    // Appends the message as the chat file holds it, one line of compact JSON;
    // attachmentPath is its relative path, or empty.
    static void appendMessage(QByteArray& text, const _ViberMsg& msg, const QString& attachmentPath);
    static QJsonObject chatObject(const _ViberChat& chat);
    // Local time with its offset, to the millisecond: "2024-03-01T10:15:30.250+01:00".
    static QString isoTime(double refSeconds);
    static constexpr qsizetype IsoTimeSize = 29;
    // The same into text; 0 when the C library cannot say, and isoTime() must.
    static qsizetype formatIsoTime(char (&text)[IsoTimeSize], double refSeconds);
    static QString kindName(int msgType);
    // Writes the index of the chats to folder, to go in place with batch's files; throws
    // OperationError when it fails.
    static void writeIndex(const QString& folder, const QJsonArray& chats, FileBatch& batch);

private:
    QString copyMedia(const QString& source, const QString& attachmentName);

    QDir m_folder;
    QString m_fileName;
    const _ViberChat& m_chat;
    bool m_copyMedia;
    QJsonArray& m_index;
    LocalFileIndex& m_sources;
    FileBatch& m_batch;
    TextFileWriter m_file;
    QByteArray m_line; // reused: one allocation for the whole chat
    qint64 m_count = 0;
    double m_first = 0;
    double m_last = 0;
};
