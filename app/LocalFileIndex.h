#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// Answers "is there a file (a non-empty one) at this path" for many paths in few folders,
// such as the media files a history names in a device's cache. Each folder is listed
// once; only a name found in its listing is looked at on its own, so that the many files
// never fetched cost no system call each. The answers reflect the folders as they were
// when first asked about: make a new index after writing into them.
class LocalFileIndex
{
public:
    LocalFileIndex() = default;
    LocalFileIndex(const LocalFileIndex&) = delete;
    LocalFileIndex& operator=(const LocalFileIndex&) = delete;

    bool hasFile(const QString& path);
    bool hasNonEmptyFile(const QString& path);

private:
    // False when the path's folder was listed without its name.
    bool mayExist(const QString& path);
    const QSet<QString>& namesIn(const QString& folder);

    struct KnownFolder
    {
        QString folder;
        const QSet<QString>* names = nullptr; // in m_folders
    };

    QHash<QString, QSet<QString>> m_folders;
    KnownFolder m_last;
    KnownFolder m_before;
};
