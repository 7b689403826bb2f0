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
    // Asks the memory for the slot a probe for this hash starts at, so that a probe made a
    // little later finds it in the cache.
    void prefetch(std::uint64_t hashed) const { __builtin_prefetch(&m_slots[hashed & m_mask]); }
    // Once that slot is in the cache: asks for the name of the file it holds, which a probe
    // compares with.
    void prefetchName(std::uint64_t hashed) const {
        const std::uint64_t slot = m_slots[hashed & m_mask];
        if (slot != EmptySlot) __builtin_prefetch(m_files.name(static_cast<std::uint32_t>(slot)).data());
    }
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

// The probes of the files of `list`, in list order, into `index`: each file's slot is asked
// for a few files ahead, so that in a table larger than the cache the misses overlap
// instead of coming one at a time, and the cost per file stays flat as the trees grow.
template <class Probe> void probeInListOrder(const FileList& list, const NameIndex& index, Probe&& probe) {
    constexpr std::uint32_t Ahead = 16;
    constexpr std::uint32_t NameAhead = Ahead / 2; // the slot asked for is there by then
    const auto count = static_cast<std::uint32_t>(list.size());
    std::uint64_t hashes[Ahead];
    for (std::uint32_t i = 0; i < count && i < Ahead; ++i) {
        hashes[i] = NameIndex::hash(list.name(i));
        index.prefetch(hashes[i]);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t hashed = hashes[i % Ahead];
        if (i + Ahead < count) {
            hashes[i % Ahead] = NameIndex::hash(list.name(i + Ahead));
            index.prefetch(hashes[i % Ahead]);
        }
        if (i + NameAhead < count) index.prefetchName(hashes[(i + NameAhead) % Ahead]);
        probe(i, index.first(list.name(i), hashed));
    }
}

} // namespace quellomir
