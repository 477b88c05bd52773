#pragma once

#include <QString>

// Where an export goes and in which format, from the file name the user typed and the
// filter chosen in the save dialog. Text, Doc and CSV write one file and get their
// suffix when the name has none; PDF, HTML and JSON write a folder named after the file
// with "-pdf", "-html" or "-json" in place of any suffix.
struct ExportDestination
{
    enum Filter { TextFilter, DocFilter, CsvFilter, PdfFilter, HtmlFilter, JsonFilter };

    QString path;
    int format = 0; // an ExportMessagesThread::Format

    static ExportDestination forFilter(Filter filter, const QString& chosenName);
};
