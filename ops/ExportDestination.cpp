#include "ops/ExportDestination.h"

#include "ops/ExportMessagesThread.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString withSuffix(const QString& name, const QString& suffix)
{
    return QFileInfo(name).suffix().isEmpty() ? name + QLatin1Char('.') + suffix : name;
}

// "x.pdf" becomes "x-pdf": the export writes a folder of files, and a folder named like
// a document would confuse whoever opens it later. Only the last suffix goes, so
// "chats.2024.pdf" keeps its date.
QString folderName(const QString& name, const QString& tag)
{
    const QFileInfo info(name);
    if (info.suffix().isEmpty())
        return name + tag;
    return QDir(info.path()).filePath(info.completeBaseName() + tag);
}

} // namespace

ExportDestination ExportDestination::forFilter(Filter filter, const QString& chosenName)
{
    switch (filter) {
    case TextFilter:
        return {withSuffix(chosenName, QStringLiteral("txt")), ExportMessagesThread::Text};
    case DocFilter:
        return {withSuffix(chosenName, QStringLiteral("doc")), ExportMessagesThread::Text};
    case CsvFilter:
        return {withSuffix(chosenName, QStringLiteral("csv")), ExportMessagesThread::Csv};
    case PdfFilter:
        return {folderName(chosenName, QStringLiteral("-pdf")), ExportMessagesThread::Pdf};
    case HtmlFilter:
        return {folderName(chosenName, QStringLiteral("-html")), ExportMessagesThread::Html};
    case JsonFilter:
        return {folderName(chosenName, QStringLiteral("-json")), ExportMessagesThread::Json};
    }
    return {withSuffix(chosenName, QStringLiteral("txt")), ExportMessagesThread::Text};
}
