#pragma once

#include <QString>
#include <QTemporaryDir>

// A folder for the files of one run that hold a person's history (backup archives,
// database copies): readable by this user only (0700, files 0600) and removed with
// everything in it when the object goes, however the run ends.
class PrivateWorkFolder
{
public:
    // Throws std::runtime_error when the folder cannot be made. The first folder a
    // process makes in a parent folder also removes the folders there that a process
    // of the same user left behind when it was killed or crashed.
    explicit PrivateWorkFolder(const QString& parentFolder = QString());
    ~PrivateWorkFolder();
    PrivateWorkFolder(const PrivateWorkFolder&) = delete;
    PrivateWorkFolder& operator=(const PrivateWorkFolder&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Narrows a file some other program wrote into the folder to owner read and write.
    static bool restrictToOwner(const QString& filePath);

private:
    QTemporaryDir m_dir;
    // Held locked while the folder lives, so that another process tells a folder in
    // use from one left behind (the lock goes with its process).
    int m_ownerLock = -1;
};
