#pragma once

#include "fs/file_system.h"

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
        m_bytes.push_back(0);
        append(name);
    }
    // An entry with what the listing's stat of it found, so that nobody needs to look again.
    void add(const FolderEntry& entry) {
        if (!entry.statted) return add(entry.kind, entry.name);
        m_bytes.push_back(static_cast<char>(entry.kind));
        m_bytes.push_back(1);
        const Facts facts{entry.statError, entry.facts.modified.seconds, entry.facts.modified.nanoseconds,
                          static_cast<std::uint8_t>(entry.facts.kind)};
        m_bytes.append(reinterpret_cast<const char*>(&facts), sizeof facts);
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
            entry.kind = static_cast<EntryKind>(m_bytes[at]);
            entry.statted = m_bytes[at + 1] != 0;
            at += 2;
            if (entry.statted) {
                Facts facts;
                std::memcpy(&facts, m_bytes.data() + at, sizeof facts);
                at += sizeof facts;
                entry.statError = facts.statError;
                entry.facts.kind = static_cast<EntryKind>(facts.kind);
                entry.facts.modified = {facts.seconds, facts.nanoseconds};
            }
            entry.name = std::string_view(m_bytes.data() + at);
            visit(entry);
            at += entry.name.size() + 1;
        }
    }

  private:
    // What a listing keeps of a stat: enough to admit a file and give its time.
    struct Facts {
        std::int32_t statError;
        std::int64_t seconds;
        std::int32_t nanoseconds;
        std::uint8_t kind;
    };

    void append(std::string_view name) {
        m_bytes.append(name);
        m_bytes.push_back('\0');
        m_nameBytes += name.size();
        ++m_count;
    }

    std::string m_bytes; // kind, stat'ed?, [facts], name, NUL; ...
    std::size_t m_count = 0;
    std::size_t m_nameBytes = 0;
    std::size_t m_statted = 0;
};

} // namespace quellomir
