#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/BubbleMarkup.h"
#include "ops/TextFileWriter.h"

#include <QDate>
#include <QDir>

class FileBatch;
class LocalFileIndex;

// One chat as an XHTML page of bubbles, with copies of its media in "files/" unless told
// to only link the names. sources answers whether a media file is there; it outlives the
// page, as batch does, which puts the page in place with the others of the export, and
// as the emoticon pictures listed for the export do.
class ExportMessagesHtml : public AbsFormatExport<_ViberMsg>
{
public:
    ExportMessagesHtml(const QString& folder, const QString& fileName, LocalFileIndex& sources,
                       FileBatch& batch, bool copyMediaFiles = true,
                       const BubbleText::EmoticonPictures* emoticonPictures = nullptr);
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

private:
    // Copies a media file into "files/" under a free name; returns the link to it.
    QString copyMedia(const QString& source, const QString& attachmentName = QString());

    LocalFileIndex& m_sources;
    FileBatch& m_batch;
    QDir m_folder;
    QDir m_files;
    TextFileWriter m_file;
    BubbleMarkup m_markup;
    QDate m_lastSeparator;
    bool m_copyMedia;
};
