#include "compare/name_index.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <stdexcept>

namespace quellomir {
namespace {

std::uint32_t fileOf(std::uint64_t slot) {
    return static_cast<std::uint32_t>(slot);
}
std::uint32_t tagOf(std::uint64_t slot) {
    return static_cast<std::uint32_t>(slot >> 32);
}
std::uint64_t slotOf(std::uint32_t tag, std::uint32_t file) {
    return (std::uint64_t{tag} << 32) | file;
}

} // namespace

std::uint64_t NameIndex::hash(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

NameIndex::NameIndex(const FileList& files, Yielder& yielder) : m_files(files) {
    const std::size_t count = files.size();
    if (count >= None) throw std::length_error("too many files to compare in one folder tree");

    // At most two thirds full, so that probes stay short, at 12 to 24 bytes a file.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(8, count + count / 2 + 1));
    m_slots.assign(capacity, EmptySlot);
    m_mask = capacity - 1;
    m_next.resize(count);

    // Going backwards and putting each file in front of its name's chain leaves every
    // chain in list order without keeping a tail per name. Each slot is asked for a few
    // files ahead, as probeInListOrder does.
    constexpr std::size_t Ahead = 16;
    std::uint64_t hashes[Ahead];
    for (std::size_t k = count; k-- > 0 && count - k <= Ahead;) {
        hashes[k % Ahead] = hash(files.name(static_cast<std::uint32_t>(k)));
        prefetch(hashes[k % Ahead]);
    }
    for (std::size_t k = count; k-- > 0;) {
        yielder.tick();
        const auto file = static_cast<std::uint32_t>(k);
        const std::string_view name = files.name(file);
        const std::uint64_t hashed = hashes[k % Ahead];
        if (k >= Ahead) {
            hashes[k % Ahead] = hash(files.name(static_cast<std::uint32_t>(k - Ahead)));
            prefetch(hashes[k % Ahead]);
        }
        const auto tag = static_cast<std::uint32_t>(hashed >> 32);
        for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
            const std::uint64_t slot = m_slots[pos];
            if (slot == EmptySlot) {
                m_next[file] = None;
                m_slots[pos] = slotOf(tag, file);
                break;
            }
            if (tagOf(slot) == tag && files.name(fileOf(slot)) == name) {
                m_next[file] = fileOf(slot);
                m_slots[pos] = slotOf(tag, file);
                break;
            }
        }
    }
}

std::uint32_t NameIndex::first(std::string_view name, std::uint64_t hashed) const {
    const auto tag = static_cast<std::uint32_t>(hashed >> 32);
    for (std::size_t pos = hashed & m_mask;; pos = (pos + 1) & m_mask) {
        const std::uint64_t slot = m_slots[pos];
        if (slot == EmptySlot) return None;
        if (tagOf(slot) == tag && m_files.name(fileOf(slot)) == name) return fileOf(slot);
    }
}

} // namespace quellomir
