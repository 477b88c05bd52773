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
    // Paths come folder by folder: the folder of the last question is compared, not looked up.
    const QStringView folder = slash == 0 ? QStringView(u"/") : QStringView(path).left(slash);
    if (!m_lastNames || folder != m_lastFolder) {
        m_lastFolder = folder.toString();
        m_lastNames = &namesIn(m_lastFolder);
    }
    return m_lastNames->contains(path.mid(slash + 1));
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
