#pragma once

#include "db/ViberMsg.h"
#include "ops/AbsFormatExport.h"
#include "ops/TextFileWriter.h"

#include <QDate>
#include <QDateTime>
#include <QDir>

// One chat as an XHTML page of bubbles, with copies of its media in "files/".
class ExportMessagesHtml : public AbsFormatExport<_ViberMsg>
{
public:
    ExportMessagesHtml(const QString& folder, const QString& fileName);
    void begin() override;
    void write(const _ViberMsg& msg) override;
    void end() override;

    // "%1' %2''": whole minutes, then the remaining whole seconds.
    static QString durationText(double seconds);

private:
    void centredBlock(const QString& text);
    void bubble(const _ViberMsg& msg, const QDateTime& when); // when: the message's local date-time
    // Copies a media file into "files/" under a free name; returns the link to it.
    QString copyMedia(const QString& source);
    static QString imageLink(const QString& link, const QString& image, int size);

    QDir m_folder;
    QDir m_files;
    TextFileWriter m_file;
    QDate m_lastSeparator;
};
