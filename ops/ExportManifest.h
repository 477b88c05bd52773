#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The SHA-256 list an export carries so that anyone can show later that none of its
// files changed, in the form `sha256sum -c` reads ("<hash>  <path>" lines, paths
// relative to the list's folder). A folder export lists every file under the folder in
// MANIFEST.sha256 at its top; a one-file export lists the file and its provenance in
// NAME.sha256 beside it.
class ExportManifest
{
public:
    static constexpr auto FolderManifest = "MANIFEST.sha256";
    static constexpr auto FileSuffix = ".sha256";

    // Lists every file under folder (links are not followed) in its MANIFEST.sha256.
    // known holds the hashes the writer took of files as it wrote them, by absolute path;
    // every other file is read. Throws OperationError when a file cannot be read or the
    // list cannot be written.
    static void writeForFolder(const QString& folder, const QHash<QString, QString>& known = {});
    // Writes the provenance of a one-file export and lists both in NAME.sha256. When
    // either cannot be written, the export goes too (with what was written beside it), so
    // that a failed export leaves nothing under its name; then throws OperationError.
    static void writeForFile(const QString& path, const std::function<QString()>& writeProvenance);

    // What a check of an export found; everything holds when all lists are empty and
    // problem is.
    struct Check
    {
        QString manifest;    // the list that was checked
        QStringList changed; // relative paths whose bytes differ
        QStringList missing; // listed, not there
        QStringList added;   // there (under a folder export), not listed
        QString problem;     // no list, or one that cannot be read
        bool holds() const
        {
            return problem.isEmpty() && changed.isEmpty() && missing.isEmpty() && added.isEmpty();
        }
    };
    // Checks a folder export (its MANIFEST.sha256) or a one-file export (NAME.sha256).
    static Check verify(const QString& path);
};
