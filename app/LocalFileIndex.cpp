#include "app/LocalFileIndex.h"

#include "app/OnDemandFiles.h"
#include "app/TextScan.h"

#include <QDirIterator>
#include <QFileInfo>

#include <utility>

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
    // A folder's listing says nothing of the files it makes only when asked for.
    if (OnDemandFiles::prepare(path))
        return true;
    const qsizetype slash = TextScan::lastSlash(path);
    if (slash < 0)
        return true;
    // Paths come folder by folder, or from two folders by turns (pictures and their
    // previews): the folders of the last questions are compared, not looked up.
    const QStringView folder = slash == 0 ? QStringView(u"/") : QStringView(path).left(slash);
    if (!m_last.names || folder != m_last.folder) {
        std::swap(m_last, m_before);
        if (!m_last.names || folder != m_last.folder) {
            m_last.folder = folder.toString();
            const qsizetype known = m_folders.size();
            m_last.names = &namesIn(m_last.folder);
            if (m_folders.size() != known)
                m_before.names = nullptr; // adding a folder may have moved the others
        }
    }
    return !m_last.names->isEmpty() && m_last.names->contains(path.sliced(slash + 1));
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
