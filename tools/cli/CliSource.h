#pragma once

#include "db/ViberDataSet.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>

class AbsViberDb;
class PrivateWorkFolder;
class ProgressChannel;

// What the console program was told to read: a local database (by name or folder), an
// iPhone's Contacts.data, a desktop account's viber.db (or its folder), an Android
// backup archive or an unpacked one. Which generation a file is, and so which reader
// reads it, is the source detector's answer, as in the window; file names only lead to
// the files. Phone files are never opened in place: the Android adapter cleans its
// database as it opens it, so it gets a private copy.
class CliSource
{
public:
    enum class Kind { LocalDatabase, IPhone, IPhoneBackup, Desktop, AndroidArchive, AndroidFolder };

    // The error of a source that cannot be read, naming what was expected.
    class Error : public std::runtime_error
    {
    public:
        explicit Error(const QString& text) : std::runtime_error(text.toStdString()) {}
    };

    // Throws Error when the text names nothing readable.
    explicit CliSource(const QString& sourceText);
    ~CliSource();
    CliSource(const CliSource&) = delete;
    CliSource& operator=(const CliSource&) = delete;

    Kind kind() const { return m_kind; }
    QString kindName() const;
    // The database file that was recognised (for an archive, the archive).
    QString path() const { return m_path; }
    // A local database's folder; empty for the other kinds.
    QString localFolder() const { return m_localFolder; }
    QString localDatabaseFile() const { return m_localFile; }
    // Which generation of the format the tables say it is.
    QString generation() const { return m_generation; }
    // The files the history is read from, as they lie (for a backup, as it stores them).
    QStringList databaseFiles() const;

    // Reads every record; an archive is unpacked into a private folder first. Meant for a
    // worker thread: SQLite stops as soon as the channel is cancelled, and the load then
    // ends with an exception.
    ViberDataSetPtr load(const ProgressChannel& progress);
    // PRAGMA integrity_check of the message database: empty when it answers "ok".
    // Cancelled as the load is.
    QStringList integrityProblems(const ProgressChannel& progress);

    // What a source may be, for error texts.
    static QString expectedText();

private:
    void resolvePath(const QString& path);
    void resolveFolder(const QString& folder);
    void resolveFile(const QString& file);
    void useLocal(const QString& folder, const QString& relativeFile);
    QString androidMessagesFile();
    // An encrypted backup's key is derived under the channel's cancel and shown on it.
    std::unique_ptr<AbsViberDb> reader(const ProgressChannel& progress);

    Kind m_kind = Kind::LocalDatabase;
    QString m_path;
    QString m_localFolder;
    QString m_localFile;
    QString m_generation;
    std::unique_ptr<PrivateWorkFolder> m_work;
    QString m_extractRoot;
};
