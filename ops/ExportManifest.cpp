#include "ops/ExportManifest.h"

#include "app/FileSha256.h"
#include "ops/OperationError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QSet>

namespace {

// sha256sum's own escape for names holding a backslash or a line break: the line then
// starts with a backslash.
QByteArray manifestLine(const QString& hash, const QString& relativePath)
{
    QByteArray name = relativePath.toUtf8();
    const bool escaped = name.contains('\\') || name.contains('\n') || name.contains('\r');
    if (escaped)
        name.replace('\\', "\\\\").replace('\n', "\\n").replace('\r', "\\r");
    return (escaped ? "\\" : "") + hash.toLatin1() + "  " + name + '\n';
}

QString unescape(const QByteArray& name)
{
    QByteArray out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i) == '\\' && i + 1 < name.size()) {
            const char next = name.at(++i);
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += name.at(i);
        }
    }
    return QString::fromUtf8(out);
}

void writeList(const QString& listPath, const QDir& base, const QStringList& relativePaths,
               const QHash<QString, QString>& known = {})
{
    QByteArray list;
    for (const QString& relative : relativePaths) {
        QString hash = known.value(QDir::cleanPath(base.absoluteFilePath(relative)));
        if (hash.isEmpty())
            hash = FileSha256::hexOf(base.filePath(relative));
        if (hash.isEmpty())
            throw OperationError(QStringLiteral("Cannot read %1").arg(base.filePath(relative)));
        list += manifestLine(hash, relative);
    }
    QSaveFile file(listPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(list) != list.size() || !file.commit())
        throw OperationError(QStringLiteral("Cannot write %1: %2").arg(listPath, file.errorString()));
}

// Every plain file under folder, relative to it, in a stable order.
QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    const QDir base(folder);
    while (it.hasNext())
        files.append(base.relativeFilePath(it.next()));
    files.sort();
    return files;
}

// The lines of a list: relative path → hash. Empty with a problem for a list that is no list.
QMap<QString, QString> readList(const QString& listPath, QString& problem)
{
    QMap<QString, QString> entries;
    QFile file(listPath);
    // A list of a hundred thousand files is some ten megabytes.
    constexpr qint64 MaxListBytes = 256LL * 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxListBytes) {
        problem = QStringLiteral("%1 is missing or cannot be read").arg(listPath);
        return {};
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.isEmpty())
            continue;
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line.remove(0, 1);
        const qsizetype gap = line.indexOf("  ");
        const QByteArray hash = line.left(gap);
        if (gap != 64 || hash.toLower() != hash || QByteArray::fromHex(hash).size() != 32) {
            problem = QStringLiteral("%1 holds a line that is no SHA-256 entry").arg(listPath);
            return {};
        }
        const QByteArray name = line.mid(gap + 2);
        entries.insert(escaped ? unescape(name) : QString::fromUtf8(name), QString::fromLatin1(hash));
    }
    return entries;
}

} // namespace

void ExportManifest::writeForFolder(const QString& folder, const QHash<QString, QString>& known)
{
    const QString list = QDir(folder).filePath(QLatin1String(FolderManifest));
    QStringList files = filesUnder(folder);
    files.removeAll(QLatin1String(FolderManifest));
    writeList(list, QDir(folder), files, known);
}

void ExportManifest::writeForFile(const QString& path, const std::function<QString()>& writeProvenance)
{
    const QFileInfo info(path);
    const QString list = path + QLatin1String(FileSuffix);
    QString provenance;
    try {
        provenance = writeProvenance();
        writeList(list, info.dir(), {info.fileName(), QFileInfo(provenance).fileName()});
    } catch (...) {
        for (const QString& written : {path, provenance, list}) {
            if (!written.isEmpty())
                QFile::remove(written);
        }
        throw;
    }
}

ExportManifest::Check ExportManifest::verify(const QString& path)
{
    Check check;
    const QFileInfo info(path);
    const bool folder = info.isDir();
    check.manifest = folder ? QDir(path).filePath(QLatin1String(FolderManifest))
                     : path.endsWith(QLatin1String(FileSuffix)) ? path
                                                                : path + QLatin1String(FileSuffix);
    const QMap<QString, QString> listed = readList(check.manifest, check.problem);
    if (!check.problem.isEmpty())
        return check;
    if (listed.isEmpty()) {
        check.problem = QStringLiteral("%1 lists no file").arg(check.manifest);
        return check;
    }
    const QDir base(QFileInfo(check.manifest).absolutePath());
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        // A listed path that climbs out of the export is no file of it.
        const QString full = QDir::cleanPath(base.filePath(it.key()));
        if (QDir::isAbsolutePath(it.key()) || !full.startsWith(base.absolutePath() + QLatin1Char('/'))) {
            check.problem =
                QStringLiteral("%1 names a file outside its folder: %2").arg(check.manifest, it.key());
            return check;
        }
        if (!QFileInfo(full).isFile())
            check.missing.append(it.key());
        else if (FileSha256::hexOf(full) != it.value())
            check.changed.append(it.key());
    }
    if (folder) {
        for (const QString& file : filesUnder(path)) {
            if (file != QLatin1String(FolderManifest) && !listed.contains(file))
                check.added.append(file);
        }
    }
    return check;
}
