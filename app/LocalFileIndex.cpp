#include "app/LocalFileIndex.h"

#include <QDirIterator>
#include <QFileInfo>

bool LocalFileIndex::hasFile(const QString& path)
{
    return mayExist(path) && QFileInfo(path).isFile();
}

bool LocalFileIndex::hasNonEmptyFile(const QString& path)
{
    return mayExist(path) && QFileInfo(path).size() > 0;
}

bool LocalFileIndex::mayExist(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return true;
    const QString folder = path.left(slash);
    return namesIn(folder.isEmpty() ? QStringLiteral("/") : folder).contains(path.mid(slash + 1));
}

const QSet<QString>& LocalFileIndex::namesIn(const QString& folder)
{
    auto found = m_folders.constFind(folder);
    if (found != m_folders.constEnd())
        return *found;
    QSet<QString> names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        names.insert(it.fileName());
    }
    return *m_folders.insert(folder, std::move(names));
}
