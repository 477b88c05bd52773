#pragma once

#include <QString>

#include <vector>

// The file systems an export writes to, each held open from before its first write into
// them, so that the one sync of each at the end reports every failure of the disk since:
// a sync reports only the failures that came after its descriptor was opened, and the
// kernel writes much of an export out long before the end (asked to, or on its own). Only
// Linux syncs a whole file system; elsewhere nothing is held and the batch syncs each file.
class FileSystemSyncs
{
public:
    FileSystemSyncs() = default;
    ~FileSystemSyncs();
    FileSystemSyncs(const FileSystemSyncs&) = delete;
    FileSystemSyncs& operator=(const FileSystemSyncs&) = delete;

    // Before the first write into folder, which may not exist yet: the nearest folder
    // above it that does is held.
    void watch(const QString& folder);
    // Syncs every file system held; throws OperationError naming its folder.
    void syncAll() const;

private:
    struct Held
    {
        int descriptor;
        quint64 device;
        QString folder;
    };

    std::vector<Held> m_held;
    QString m_lastWatched; // most writes go where the one before went
};
