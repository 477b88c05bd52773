#include "agent/PathCache.h"

#include <cerrno>
#include <dirent.h>
#include <memory>

namespace agent {

namespace {

// The names a folder holds; empty for a missing folder, none when it cannot be read.
std::optional<std::unordered_set<std::string>> listFolder(const std::string& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::unordered_set<std::string>();
        return std::nullopt;
    }
    std::unordered_set<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        if (names.size() >= PathCache::MaxNamesPerFolder)
            return std::nullopt;
        names.insert(entry->d_name);
    }
    // a listing cut short by an error could be missing names that are there
    if (errno != 0)
        return std::nullopt;
    return names;
}

} // namespace

bool PathCache::mayHold(const std::string& folder, const std::string& name)
{
    auto found = m_names.find(folder);
    if (found == m_names.end())
        found = m_names.emplace(folder, listFolder(folder)).first;
    return !found->second || found->second->count(name) != 0;
}

} // namespace agent
