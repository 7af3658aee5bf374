#include "platform/search/index/StoredFolder.h"

#include <algorithm>
#include <functional>

namespace wendle::search {

namespace {

std::uint64_t hashOf(std::string_view name)
{
    return std::hash<std::string_view>{}(name);
}

} // namespace

void StoredFolder::add(std::string_view name, const StoredState &state)
{
    m_files.push_back(File{hashOf(name), state.size, state.mtime, state.unreadable});
}

void StoredFolder::seal()
{
    std::sort(m_files.begin(), m_files.end(), [](const File &a, const File &b) { return a.nameHash < b.nameHash; });
    for (std::size_t i = 1; i < m_files.size(); ++i) {
        if (m_files[i].nameHash == m_files[i - 1].nameHash) {
            m_files[i].hashShared = m_files[i - 1].hashShared = true;
        }
    }
}

std::size_t StoredFolder::indexOf(std::uint64_t hash) const
{
    const auto found =
        std::lower_bound(m_files.begin(), m_files.end(), hash, [](const File &file, std::uint64_t value) { return file.nameHash < value; });
    return found != m_files.end() && found->nameHash == hash ? std::size_t(found - m_files.begin()) : m_files.size();
}

std::optional<StoredState> StoredFolder::find(std::string_view name)
{
    const std::size_t index = indexOf(hashOf(name));
    if (index == m_files.size() || m_files[index].hashShared)
        return std::nullopt;
    File &file = m_files[index];
    if (!file.found) {
        file.found = true;
        ++m_found;
    }
    return StoredState{file.size, file.mtime, file.unreadable};
}

StoredFolder::Fate StoredFolder::fateOf(std::string_view name) const
{
    const std::size_t index = indexOf(hashOf(name));
    if (index == m_files.size())
        return Fate::Found; // stored since the listing began: the listing found it
    if (m_files[index].hashShared)
        return Fate::AskTheDisk;
    return m_files[index].found ? Fate::Found : Fate::Gone;
}

} // namespace wendle::search
