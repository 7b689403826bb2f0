#include "compare/name_index.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace quellomir {
std::uint64_t NameIndex::hash(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

NameIndex::NameIndex(const FileList& files, Yielder& yielder) : m_files(files) {
    const std::size_t count = files.size();
    if (count >= None) throw std::length_error("too many files to compare in one folder tree");

    // At most two thirds full, so that probes stay short, at 18 to 36 bytes a file.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(8, count + count / 2 + 1));
    m_slots.assign(capacity, Slot{});
    m_mask = capacity - 1;
    m_next.resize(count);

    // Going backwards and putting each file in front of its name's chain leaves every
    // chain in list order without keeping a tail per name. Each slot is asked for a few
    // files ahead, as probeInListOrder does.
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
            if (slot.file == None || holds(slot, name, key)) {
                m_next[file] = slot.file;
                slot = Slot{file, files.file(file).nameAt, key};
                break;
            }
        }
    }
}

bool NameIndex::holds(const Slot& slot, std::string_view name, std::uint32_t key) const {
    if (slot.key != key) return false;
    if (name.size() >= LongName) return m_files.name(slot.file) == name;
    return std::memcmp(m_files.nameBytes() + slot.nameAt, name.data(), name.size()) == 0;
}

std::uint32_t NameIndex::first(std::string_view name, std::uint64_t hashed) const {
    const std::uint32_t key = keyOf(hashed, name.size());
    for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
        const Slot& slot = m_slots[pos];
        if (slot.file == None || holds(slot, name, key)) return slot.file;
    }
}

} // namespace quellomir
