#pragma once

#include "fs/file_system.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quellomir {

// Entries a folder listing gave, each with its own kind and, where the listing stat'ed it,
// the facts it read, packed into one buffer: no allocation per name, and the names stay
// NUL-terminated for the OS.
class ListedNames {
  public:
    void add(EntryKind kind, std::string_view name) {
        m_bytes.push_back(static_cast<char>(kind));
        append(name);
    }
    // An entry with what the listing's stat of it found, so that nobody needs to look again.
    // Of a stat'ed entry only a regular file (links followed) is kept, with its time: the
    // rest is nothing a file listing admits.
    void add(const FolderEntry& entry) {
        if (entry.statError == 0 && entry.facts.kind == EntryKind::Regular && !packable(entry.facts.modified))
            return add(entry.kind, entry.name); // looked at again where it is listed, as before
        if (!entry.statted) return add(entry.kind, entry.name);
        // One whose facts could not be read (not one gone since, or a dangling link) is
        // looked at again where it is listed, and named there if it still cannot be.
        const int error = entry.statError;
        if (error != 0 && error != ENOENT && error != ENOTDIR && error != ELOOP)
            return add(entry.kind, entry.name);
        if (entry.statError != 0 || entry.facts.kind != EntryKind::Regular) return;
        m_bytes.push_back(static_cast<char>(static_cast<unsigned>(entry.kind) | StattedBit));
        // Seconds in 34 bits (to the year 2514, before 1970 too) and nanoseconds in 30.
        const auto seconds = static_cast<std::uint64_t>(entry.facts.modified.seconds);
        const std::uint64_t time =
            (seconds << 30) | static_cast<std::uint64_t>(entry.facts.modified.nanoseconds);
        m_bytes.append(reinterpret_cast<const char*>(&time), sizeof time);
        // The size too: the FAT hour rule and the plan's byte counts need it. Seven bits a
        // byte, the last byte's top bit clear: most files take two to four bytes, not eight.
        for (auto size = static_cast<std::uint64_t>(entry.facts.size);; size >>= 7) {
            if (size < 0x80) {
                m_bytes.push_back(static_cast<char>(size));
                break;
            }
            m_bytes.push_back(static_cast<char>((size & 0x7F) | 0x80));
        }
        ++m_statted;
        append(entry.name);
    }
    std::size_t size() const { return m_count; }
    // Whether every entry carries the facts its listing read.
    bool statted() const { return m_statted == m_count; }
    // The bytes of the names alone, without their kinds, facts and terminators.
    std::size_t nameBytes() const { return m_nameBytes; }
    // The entries as packed here, for keeping them elsewhere; fromPacked gives them back.
    std::string_view packed() const { return m_bytes; }
    std::size_t stattedCount() const { return m_statted; }
    static ListedNames fromPacked(std::string_view packed, std::size_t count, std::size_t nameBytes,
                                  std::size_t statted) {
        ListedNames names;
        names.m_bytes = packed;
        names.m_count = count;
        names.m_nameBytes = nameBytes;
        names.m_statted = statted;
        return names;
    }

    // Visits each entry as (kind, name).
    template <class Visit> void forEach(Visit&& visit) const {
        forEachEntry([&](const FolderEntry& entry) { visit(entry.kind, entry.name); });
    }
    // Visits each entry as the listing gave it, facts included where it stat'ed them.
    template <class Visit> void forEachEntry(Visit&& visit) const {
        FolderEntry entry;
        for (std::size_t at = 0; at < m_bytes.size();) {
            const auto first = static_cast<unsigned char>(m_bytes[at]);
            entry.kind = static_cast<EntryKind>(first & ~StattedBit);
            entry.statted = (first & StattedBit) != 0;
            at += 1;
            if (entry.statted) {
                std::uint64_t time = 0;
                std::memcpy(&time, m_bytes.data() + at, sizeof time);
                at += sizeof time;
                std::uint64_t size = 0;
                for (unsigned shift = 0;; shift += 7) {
                    const auto part = static_cast<std::uint8_t>(m_bytes[at++]);
                    size |= std::uint64_t(part & 0x7F) << shift;
                    if (part < 0x80) break;
                }
                entry.facts.size = static_cast<std::int64_t>(size);
                entry.facts.modified = {static_cast<std::int64_t>(time) >> 30,
                                        static_cast<std::int32_t>(time & ((1u << 30) - 1))};
                entry.statError = 0;
                entry.facts.kind = EntryKind::Regular;
            }
            entry.name = std::string_view(m_bytes.data() + at);
            visit(entry);
            at += entry.name.size() + 1;
        }
    }

  private:
    // Whether a time fits the packing: seconds from the year 1697 to 2242.
    static bool packable(FileTime time) {
        constexpr std::int64_t Limit = std::int64_t{1} << 33;
        return time.seconds >= -Limit && time.seconds < Limit && time.nanoseconds >= 0;
    }
    // Marks, in an entry's kind byte, an entry that comes with its time.
    static constexpr unsigned StattedBit = 0x80;

    void append(std::string_view name) {
        m_bytes.append(name);
        m_bytes.push_back('\0');
        m_nameBytes += name.size();
        ++m_count;
    }

    std::string m_bytes; // kind and stat'ed?, [time, size], name, NUL; ...
    std::size_t m_count = 0;
    std::size_t m_nameBytes = 0;
    std::size_t m_statted = 0;
};

} // namespace quellomir
