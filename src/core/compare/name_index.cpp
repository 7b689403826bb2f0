#include "compare/name_index.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <stdexcept>

namespace quellomir {

std::uint64_t NameIndex::hash(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

NameIndex::NameIndex(const FileList& files, Yielder& yielder) : m_files(files) {
    const std::size_t count = files.size();
    if (count >= None) throw std::length_error("too many files to compare in one folder tree");

    // At most two thirds full, so that probes stay short, at 12 to 24 bytes a file.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(8, count + count / 2 + 1));
    m_slots.assign(capacity, Slot{});
    m_mask = capacity - 1;
    m_next.resize(count);

    // Going backwards and putting each file in front of its name's chain leaves every
    // chain in list order without keeping a tail per name. Each slot is asked for a few
    // files ahead, so that the misses of a table larger than the cache overlap.
    TickEveryFewSteps ticks(yielder);
    constexpr std::size_t Ahead = 16;
    std::uint64_t hashes[Ahead];
    for (std::size_t k = count; k-- > 0 && count - k <= Ahead;) {
        hashes[k % Ahead] = hash(files.name(static_cast<std::uint32_t>(k)));
        prefetchSlot(hashes[k % Ahead]);
    }
    for (std::size_t k = count; k-- > 0;) {
        ticks.step();
        const auto file = static_cast<std::uint32_t>(k);
        const std::string_view name = files.name(file);
        const std::uint64_t hashed = hashes[k % Ahead];
        if (k >= Ahead) {
            hashes[k % Ahead] = hash(files.name(static_cast<std::uint32_t>(k - Ahead)));
            prefetchSlot(hashes[k % Ahead]);
        }
        const std::uint32_t key = keyOf(hashed, name.size());
        for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
            Slot& slot = m_slots[pos];
            if (slot.file == None || (slot.key == key && files.name(slot.file) == name)) {
                m_next[file] = slot.file;
                slot = Slot{file, key};
                break;
            }
        }
    }
}

std::uint32_t NameIndex::first(std::string_view name, std::uint64_t hashed) const {
    const std::uint32_t key = keyOf(hashed, name.size());
    for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
        const Slot& slot = m_slots[pos];
        if (slot.file == None || (slot.key == key && m_files.name(slot.file) == name)) return slot.file;
    }
}

void NameIndex::firstOfEach(const FileList& list, std::uint32_t begin, std::uint32_t end,
                            std::vector<std::uint32_t>& found) const {
    const std::uint32_t count = end - begin;
    found.resize(count);

    // Each name's candidate, in list order: the file of the first slot that is empty
    // (None: the name is not here) or carries the name's key. The slot is asked for 16
    // names ahead.
    constexpr std::uint32_t Ahead = 16;
    std::uint64_t hashes[Ahead];
    const auto hashAhead = [&](std::uint32_t k) {
        hashes[k % Ahead] = hash(list.name(begin + k));
        prefetchSlot(hashes[k % Ahead]);
    };
    for (std::uint32_t k = 0; k < count && k < Ahead; ++k)
        hashAhead(k);
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint64_t hashed = hashes[k % Ahead];
        if (k + Ahead < count) hashAhead(k + Ahead);
        found[k] = candidate(hashed, keyOf(hashed, list.name(begin + k).size()));
    }

    // The names with a candidate, in the order of their candidates in this index's list:
    // a counting sort on where in the list a candidate lies, one bucket a name.
    const std::uint64_t files = m_files.size(), buckets = count;
    const auto bucketOf = [&](std::uint32_t file) { return file * buckets / files; };
    std::vector<std::uint32_t> starts(buckets + 1, 0);
    for (const std::uint32_t file : found)
        if (file != None) ++starts[bucketOf(file) + 1];
    for (std::uint64_t bucket = 0; bucket < buckets; ++bucket)
        starts[bucket + 1] += starts[bucket];
    std::vector<std::uint32_t> inListOrder(starts[buckets]);
    for (std::uint32_t k = 0; k < count; ++k)
        if (found[k] != None) inListOrder[starts[bucketOf(found[k])]++] = k;

    // Each candidate lies some files past the one before, further than the memory guesses
    // on its own: where its name begins is asked for 16 names ahead, the name 8 ahead.
    const auto total = static_cast<std::uint32_t>(inListOrder.size());
    for (std::uint32_t n = 0; n < total; ++n) {
        if (n + 16 < total) __builtin_prefetch(&m_files.file(found[inListOrder[n + 16]]));
        if (n + 8 < total) __builtin_prefetch(m_files.name(found[inListOrder[n + 8]]).data());
        const std::uint32_t k = inListOrder[n];
        const std::string_view name = list.name(begin + k);
        // A candidate that only shares the key with the name: the plain look-up.
        if (m_files.name(found[k]) != name) found[k] = first(name);
    }
}

} // namespace quellomir
