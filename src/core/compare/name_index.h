#pragma once

#include "handler/yielder.h"
#include "scan/file_list.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quellomir {

// Finds the files of one list by exact name (bytes, letter case included) without
// walking the list: an open-addressing table from each distinct name to its first file,
// and a link from every file to the next file of the same name, in list order. From
// 16 to 28 bytes per file; the names stay in the list, which must outlive the index.
class NameIndex {
  public:
    static constexpr std::uint32_t None = UINT32_MAX;

    NameIndex(const FileList& files, Yielder& yielder);
    NameIndex(FileList&&, Yielder&) = delete; // the index keeps no copy of the names

    const FileList& files() const { return m_files; }
    // The first file of that name in list order, or None.
    std::uint32_t first(std::string_view name) const;
    // The next file after `file` with the same name, or None.
    std::uint32_t next(std::uint32_t file) const { return m_next[file]; }

    // The hash the table is keyed by: its low bits pick the first slot to probe, its high
    // half is kept in the slot.
    static std::uint64_t hash(std::string_view name);

  private:
    // A slot holds the high half of the name's hash beside the file index, so that a probe
    // rarely has to reach into the list to compare names.
    static constexpr std::uint64_t EmptySlot = UINT64_MAX;

    const FileList& m_files;
    std::vector<std::uint64_t> m_slots;
    std::vector<std::uint32_t> m_next;
    std::size_t m_mask = 0;
};

} // namespace quellomir
