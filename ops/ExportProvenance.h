#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// Where an export came from, written beside it as provenance.json (a folder export) or
// NAME.provenance.json (a one-file export): the program and its version, the source
// (kind, generation, path, the SHA-256 of each of its database files as the export read
// them, the phone when it was one), the selection, the counts and the times. The
// export's checksum list covers it, so it cannot be changed unseen either.
class ExportProvenance
{
public:
    static constexpr auto FolderFile = "provenance.json";
    static constexpr auto FileSuffix = ".provenance.json";

    struct Source
    {
        QString kind;       // "local database", "Android phone", "iPhone backup", ...
        QString generation; // the format generation the reader took it for
        QString path;
        QStringList databases; // the files the history was read from
        QJsonObject device;    // the phone's description and route, when it was one
    };

    void setSource(const Source& source) { m_source = source; }
    void setSelection(const QStringList& chats, const QStringList& excludedChats, const QDateTime& after,
                      const QDateTime& before);

    // At the start of an export: its id, the time, and the hashes of the source's files
    // as they are while the export reads the history.
    void begin();
    // The export's id (from begin() on), which its pages carry and its provenance names.
    QString id() const { return m_id; }
    // What a printed page can say of the provenance: program, source, its files' hashes,
    // selection, start. The checksum list cannot be among it: it covers the pages.
    QStringList summaryLines() const;
    // Writes the provenance of a finished export of format, with what it counted
    // ({"messages": …, "chats": …}), into the folder export or beside the one-file export
    // at exportPath; returns its path. Throws OperationError.
    QString write(const QString& exportPath, bool folder, const QString& format,
                  const QJsonObject& counts) const;

    static QString pathFor(const QString& exportPath, bool folder);

private:
    Source m_source;
    QStringList m_chats;
    QStringList m_excludedChats;
    QDateTime m_after;
    QDateTime m_before;
    QDateTime m_started;
    QString m_id;
    QList<QJsonObject> m_databases;
};
