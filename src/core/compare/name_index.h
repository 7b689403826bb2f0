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
    std::uint32_t first(std::string_view name) const { return first(name, hash(name)); }
    // The same for a name whose hash is known.
    std::uint32_t first(std::string_view name, std::uint64_t hashed) const;
    // The next file after `file` with the same name, or None.
    std::uint32_t next(std::uint32_t file) const { return m_next[file]; }

    // first() of the names of list's files from `begin` to `end`, into `found`.
    //
    // Looking names up one by one reaches this index's list at random, which in a tree
    // larger than the cache waits on the memory for nearly every name when the two lists
    // are in unrelated orders. Here the slots are looked at in the order of `list`, which
    // needs no names, and the names they point to are then compared in the order they lie
    // in this index's list. The span's own files should fit in the cache.
    void firstOfEach(const FileList& list, std::uint32_t begin, std::uint32_t end,
                     std::vector<std::uint32_t>& found) const;

    // The hash the table is keyed by: its low bits pick the first slot to probe, its high
    // bits are kept in the slot.
    static std::uint64_t hash(std::string_view name);

  private:
    // A slot holds the top of the name's hash and its length beside the file, so that a
    // probe rarely has to reach into the list for a name that is not the one.
    struct Slot {
        std::uint32_t file = None;
        std::uint32_t key = 0; // the hash's top 24 bits, then the length up to LongName
    };
    static constexpr std::uint32_t LongName = 255;
    static std::uint32_t keyOf(std::uint64_t hashed, std::size_t length) {
        return static_cast<std::uint32_t>(hashed >> 40) << 8 |
               static_cast<std::uint32_t>(length < LongName ? length : LongName);
    }
    void prefetchSlot(std::uint64_t hashed) const { __builtin_prefetch(&m_slots[hashed & m_mask]); }
    // The file of the first slot from the hash's own on that is empty (None) or carries
    // the key: the one file a name most likely has to be compared with.
    std::uint32_t candidate(std::uint64_t hashed, std::uint32_t key) const {
        for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
            const Slot& slot = m_slots[pos];
            if (slot.file == None || slot.key == key) return slot.file;
        }
    }

    const FileList& m_files;
    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_next;
    std::size_t m_mask = 0;
};

} // namespace quellomir
