#include "app/PrivateWorkFolder.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

QString templateIn(const QString& parentFolder)
{
    const QString parent = parentFolder.isEmpty() ? QDir::tempPath() : parentFolder;
    QDir().mkpath(parent);
    return QDir(parent).filePath(QStringLiteral("velliport-XXXXXX"));
}

} // namespace

PrivateWorkFolder::PrivateWorkFolder(const QString& parentFolder) : m_dir(templateIn(parentFolder))
{
    // QTemporaryDir makes the folder with mkdtemp, which gives it mode 0700; it is set
    // again so that the promise does not rest on that detail.
    if (!m_dir.isValid() ||
        !QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw std::runtime_error(QStringLiteral("cannot create a private working folder: %1")
                                     .arg(m_dir.errorString())
                                     .toStdString());
}

bool PrivateWorkFolder::restrictToOwner(const QString& filePath)
{
    return QFile::setPermissions(filePath, QFile::ReadOwner | QFile::WriteOwner);
}
