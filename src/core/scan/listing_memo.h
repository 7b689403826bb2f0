#pragma once

#include "fs/listed_names.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quellomir {

// What the folder scan read of each folder it listed in full: the entries that are no
// folders, with the facts its listing read of them. The file listing that follows a scan
// takes them from here, so that no folder is opened a second time and no file stat'ed a
// second time: on a network drive the facts come with the listing and are gone again
// seconds later. A folder the scan did not list in full is not here
// and is read as usual.
//
// The entries of all folders lie back to back in one buffer. A buffer per folder would
// leave tens of thousands of small blocks behind once the listing took them, which
// the process keeps while the comparison that follows reaches its peak.
class ListingMemo {
  public:
    void keep(const std::string& folder, const ListedNames& names) {
        const Kept kept{m_packed.size(), names.packed().size(), names.size(), names.nameBytes(),
                        names.stattedCount()};
        m_packed.append(names.packed());
        auto [place, added] = m_folders.try_emplace(folder, kept);
        if (!added) {
            forget(place->second);
            place->second = kept;
        }
        m_entries += kept.entries;
        m_nameBytes += kept.nameBytes;
    }

    // Takes the entries kept for `folder` out of the memo.
    std::optional<ListedNames> take(const std::string& folder) {
        auto found = m_folders.find(folder);
        if (found == m_folders.end()) return std::nullopt;
        const Kept kept = found->second;
        m_folders.erase(found);
        forget(kept);
        ListedNames names = ListedNames::fromPacked(std::string_view(m_packed).substr(kept.at, kept.bytes),
                                                    kept.entries, kept.nameBytes, kept.statted);
        if (m_folders.empty()) std::string().swap(m_packed);
        return names;
    }

    // The entries still kept: an upper bound of the files still to be listed.
    std::size_t entries() const { return m_entries; }
    // The bytes of their names: an upper bound of the name bytes still to be listed.
    std::size_t nameBytes() const { return m_nameBytes; }

  private:
    struct Kept {
        std::size_t at;    // where the folder's packed entries begin in m_packed
        std::size_t bytes; // and how many bytes they take
        std::size_t entries;
        std::size_t nameBytes;
        std::size_t statted;
    };

    void forget(const Kept& kept) {
        m_entries -= kept.entries;
        m_nameBytes -= kept.nameBytes;
    }

    std::string m_packed;
    std::unordered_map<std::string, Kept> m_folders;
    std::size_t m_entries = 0;
    std::size_t m_nameBytes = 0;
};

} // namespace quellomir
