#pragma once

#include <QString>
#include <QTemporaryDir>

// A folder for the files of one run that hold a person's history (backup archives,
// database copies): readable by this user only (0700, files 0600) and removed with
// everything in it when the object goes, however the run ends.
class PrivateWorkFolder
{
public:
    // Throws std::runtime_error when the folder cannot be made.
    explicit PrivateWorkFolder(const QString& parentFolder = QString());
    PrivateWorkFolder(const PrivateWorkFolder&) = delete;
    PrivateWorkFolder& operator=(const PrivateWorkFolder&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Narrows a file some other program wrote into the folder to owner read and write.
    static bool restrictToOwner(const QString& filePath);

private:
    QTemporaryDir m_dir;
};
