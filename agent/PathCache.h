#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace agent {

// What one batched request learns about the folders its paths lie in, so that the
// thousands of files a history names in a few media folders cost few system calls: the
// folders found to be no links, and the names each folder holds. A name missing from its
// folder's listing is absent without a look-up of its own; a folder that cannot be
// listed (read permission withheld) leaves each of its names to be looked up.
class PathCache
{
public:
    // Beyond this many entries a folder is not kept in memory: its names are looked up.
    static constexpr std::size_t MaxNamesPerFolder = 1000000;

    bool isCheckedFolder(const std::string& folder) const { return m_checked.count(folder) != 0; }
    void addCheckedFolder(const std::string& folder) { m_checked.insert(folder); }

    // The checked local folder of a phone folder, as a walk of it found it; null before.
    const std::string* localFolder(const std::string& phoneFolder) const
    {
        const auto found = m_localFolders.find(phoneFolder);
        return found == m_localFolders.end() ? nullptr : &found->second;
    }
    void rememberLocalFolder(const std::string& phoneFolder, const std::string& local)
    {
        m_localFolders.emplace(phoneFolder, local);
    }

    // False when the folder is missing, or was listed without the name.
    bool mayHold(const std::string& folder, const std::string& name);

private:
    std::set<std::string> m_checked;
    std::unordered_map<std::string, std::string> m_localFolders;
    std::map<std::string, std::optional<std::unordered_set<std::string>>> m_names;
};

} // namespace agent
