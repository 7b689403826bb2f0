#pragma once

#include "fs/listed_names.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace quellomir {

// What the folder scan read of each folder it listed in full: the entries that are no
// folders. The file listing that follows a scan takes them from here, so that it
// stats the files without reading every folder a second time, which would be a fifth
// of the work on a large tree. A folder the scan did not list in full is not here
// and is read as usual.
class ListingMemo {
  public:
    void keep(const std::string& folder, ListedNames names) {
        m_entries += names.size();
        m_nameBytes += names.nameBytes();
        names.shrinkToFit();
        m_folders.insert_or_assign(folder, std::move(names));
    }

    // Takes the entries kept for `folder` out of the memo.
    std::optional<ListedNames> take(const std::string& folder) {
        auto found = m_folders.find(folder);
        if (found == m_folders.end()) return std::nullopt;
        ListedNames names = std::move(found->second);
        m_folders.erase(found);
        m_entries -= names.size();
        m_nameBytes -= names.nameBytes();
        return names;
    }

    // The entries still kept: an upper bound of the files still to be listed.
    std::size_t entries() const { return m_entries; }
    // The bytes of their names: an upper bound of the name bytes still to be listed.
    std::size_t nameBytes() const { return m_nameBytes; }

  private:
    std::unordered_map<std::string, ListedNames> m_folders;
    std::size_t m_entries = 0;
    std::size_t m_nameBytes = 0;
};

} // namespace quellomir
