#include "ops/ExportProvenance.h"

#include "app/FileSha256.h"
#include "ops/ExportManifest.h"
#include "ops/OperationError.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSysInfo>
#include <QUuid>

namespace {

QJsonValue isoOrNull(const QDateTime& when)
{
    return when.isValid() ? QJsonValue(when.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

} // namespace

void ExportProvenance::setSelection(const QStringList& chats, const QStringList& excludedChats,
                                    const QDateTime& after, const QDateTime& before)
{
    m_chats = chats;
    m_excludedChats = excludedChats;
    m_after = after;
    m_before = before;
}

void ExportProvenance::begin()
{
    m_id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_started = QDateTime::currentDateTimeUtc();
    m_databases.clear();
    for (const QString& file : std::as_const(m_source.databases)) {
        const QFileInfo info(file);
        QJsonObject database{{QStringLiteral("path"), info.absoluteFilePath()}};
        if (info.isFile()) {
            database.insert(QStringLiteral("size"), info.size());
            database.insert(QStringLiteral("sha256"), FileSha256::hexOf(file));
        } else {
            database.insert(QStringLiteral("missing"), true);
        }
        m_databases.append(database);
    }
}

QStringList ExportProvenance::summaryLines() const
{
    QStringList lines{QStringLiteral("Velliport %1 export %2").arg(QStringLiteral(VELLIPORT_VERSION), m_id),
                      QStringLiteral("Started: %1").arg(m_started.toString(Qt::ISODate)),
                      QStringLiteral("Source: %1 %2").arg(m_source.kind, m_source.path)};
    if (!m_source.generation.isEmpty())
        lines.append(QStringLiteral("Format: %1").arg(m_source.generation));
    // The hash on a line of its own, so that no wrap cuts it.
    for (const QJsonObject& database : m_databases) {
        lines.append(QStringLiteral("SHA-256 of %1:").arg(database.value(QStringLiteral("path")).toString()));
        lines.append(QStringLiteral("    ") +
                     database.value(QStringLiteral("sha256")).toString(QStringLiteral("(missing)")));
    }
    if (!m_source.device.isEmpty())
        lines.append(QStringLiteral("Phone: %1 %2")
                         .arg(m_source.device.value(QStringLiteral("model")).toString(),
                              m_source.device.value(QStringLiteral("serial")).toString()));
    lines.append(QStringLiteral("Chats: %1")
                     .arg(m_chats.isEmpty() ? QStringLiteral("all") : m_chats.join(QStringLiteral(", "))));
    if (m_after.isValid() || m_before.isValid())
        lines.append(
            QStringLiteral("Dates: from %1 until %2")
                .arg(m_after.isValid() ? m_after.toUTC().toString(Qt::ISODate) : QStringLiteral("the first"),
                     m_before.isValid() ? m_before.toUTC().toString(Qt::ISODate)
                                        : QStringLiteral("the last")));
    lines.append(
        QStringLiteral("The export's files and their SHA-256 are listed in MANIFEST.sha256 beside this file; "
                       "velliport-cli verify checks them."));
    return lines;
}

QString ExportProvenance::pathFor(const QString& exportPath, bool folder)
{
    return folder ? QDir(exportPath).filePath(QLatin1String(FolderFile))
                  : exportPath + QLatin1String(FileSuffix);
}

QString ExportProvenance::write(const QString& exportPath, bool folder, const QString& format,
                                const QJsonObject& counts) const
{
    QJsonArray databases;
    for (const QJsonObject& database : m_databases)
        databases.append(database);
    QJsonObject source{{QStringLiteral("kind"), m_source.kind},
                       {QStringLiteral("generation"), m_source.generation},
                       {QStringLiteral("path"), m_source.path},
                       {QStringLiteral("databases"), databases}};
    if (!m_source.device.isEmpty())
        source.insert(QStringLiteral("device"), m_source.device);
    const QJsonObject provenance{
        {QStringLiteral("format"), QStringLiteral("velliport-provenance")},
        {QStringLiteral("version"), 1},
        {QStringLiteral("id"), m_id},
        {QStringLiteral("program"),
         QJsonObject{{QStringLiteral("name"), QStringLiteral("Velliport")},
                     {QStringLiteral("version"), QStringLiteral(VELLIPORT_VERSION)},
                     {QStringLiteral("system"), QSysInfo::prettyProductName()}}},
        {QStringLiteral("export"),
         QJsonObject{{QStringLiteral("format"), format},
                     {QStringLiteral("path"), QFileInfo(exportPath).absoluteFilePath()},
                     {QStringLiteral("started"), isoOrNull(m_started)},
                     {QStringLiteral("finished"), isoOrNull(QDateTime::currentDateTimeUtc())},
                     {QStringLiteral("counts"), counts}}},
        {QStringLiteral("source"), source},
        {QStringLiteral("selection"),
         QJsonObject{{QStringLiteral("chats"), m_chats.isEmpty()
                                                   ? QJsonValue(QStringLiteral("all"))
                                                   : QJsonValue(QJsonArray::fromStringList(m_chats))},
                     {QStringLiteral("excluded_chats"), QJsonArray::fromStringList(m_excludedChats)},
                     {QStringLiteral("after"), isoOrNull(m_after)},
                     {QStringLiteral("before"), isoOrNull(m_before)}}},
    };
    const QString path = pathFor(exportPath, folder);
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(provenance).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw OperationError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return path;
}
