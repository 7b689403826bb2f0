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

    // A probe reaches memory twice, the second time where the first says: the slot, then
    // the name it points to, with the file's facts and its link to the next file of that
    // name. These ask for each step ahead of the probe, the second once the slot is in
    // the cache.
    void prefetchSlot(std::uint64_t hashed) const { __builtin_prefetch(&m_slots[hashed & m_mask]); }
    void prefetchCandidate(std::uint64_t hashed) const {
        const Slot& slot = candidate(hashed);
        if (slot.file == None) return;
        const char* name = m_files.nameBytes() + slot.nameAt;
        __builtin_prefetch(name);
        __builtin_prefetch(name + (slot.key & LongName)); // where it ends, often the next line
        __builtin_prefetch(&m_files.file(slot.file));
        __builtin_prefetch(&m_next[slot.file]);
    }

    // The hash the table is keyed by: its low bits pick the first slot to probe, its high
    // bits are kept in the slot.
    static std::uint64_t hash(std::string_view name);

  private:
    // A slot holds where its file's name begins, the name's length and the top of its hash,
    // so that a probe goes from the slot straight to the one name it compares with, and
    // rarely to any other: 12 bytes.
    struct Slot {
        std::uint32_t file = None;
        std::uint32_t nameAt = 0;
        std::uint32_t key = 0; // the hash's top 24 bits, then the length up to LongName
    };
    // Longer names (only a code page that widens them makes one) are compared through the list.
    static constexpr std::uint32_t LongName = 255;
    static std::uint32_t keyOf(std::uint64_t hashed, std::size_t length) {
        return static_cast<std::uint32_t>(hashed >> 40) << 8 |
               static_cast<std::uint32_t>(length < LongName ? length : LongName);
    }
    bool holds(const Slot& slot, std::string_view name, std::uint32_t key) const;

    // The first slot from the hash's own on that is empty or carries the hash's top bits:
    // the one file a probe most likely compares names with.
    const Slot& candidate(std::uint64_t hashed) const {
        const auto top = static_cast<std::uint32_t>(hashed >> 40);
        for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
            const Slot& slot = m_slots[pos];
            if (slot.file == None || slot.key >> 8 == top) return slot;
        }
    }

    const FileList& m_files;
    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_next;
    std::size_t m_mask = 0;
};

// The probes of the files of `list`, in list order, into `index`. Each step of a probe is
// asked for some files ahead, so that in a table larger than the cache the misses of many
// probes overlap instead of coming one at a time, and the cost per file stays flat as the
// trees grow.
template <class Probe> void probeInListOrder(const FileList& list, const NameIndex& index, Probe&& probe) {
    constexpr std::uint32_t Ring = 32; // hashes kept for the files ahead; a power of two
    constexpr std::uint32_t SlotAhead = 24, CandidateAhead = 12;
    const auto count = static_cast<std::uint32_t>(list.size());
    std::uint64_t hashes[Ring];
    const auto hashAhead = [&](std::uint32_t file) {
        hashes[file % Ring] = NameIndex::hash(list.name(file));
        index.prefetchSlot(hashes[file % Ring]);
    };
    for (std::uint32_t i = 0; i < count && i < SlotAhead; ++i)
        hashAhead(i);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i + SlotAhead < count) hashAhead(i + SlotAhead);
        if (i + CandidateAhead < count) index.prefetchCandidate(hashes[(i + CandidateAhead) % Ring]);
        probe(i, index.first(list.name(i), hashes[i % Ring]));
    }
}

} // namespace quellomir
