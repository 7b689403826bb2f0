#pragma once

#include "fs/file_system.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quellomir {

// Entries a folder listing gave, each with its own kind, packed into one buffer:
// no allocation per name, and the names stay NUL-terminated for the OS.
class ListedNames {
  public:
    void add(EntryKind kind, std::string_view name) {
        m_bytes.push_back(static_cast<char>(kind));
        m_bytes.append(name);
        m_bytes.push_back('\0');
        ++m_count;
    }
    std::size_t size() const { return m_count; }
    // The bytes of the names alone, without their kinds and terminators.
    std::size_t nameBytes() const { return m_bytes.size() - 2 * m_count; }
    // The entries as packed here, for keeping them elsewhere; fromPacked gives them back.
    std::string_view packed() const { return m_bytes; }
    static ListedNames fromPacked(std::string_view packed, std::size_t count) {
        ListedNames names;
        names.m_bytes = packed;
        names.m_count = count;
        return names;
    }

    template <class Visit> void forEach(Visit&& visit) const {
        for (std::size_t at = 0; at < m_bytes.size();) {
            auto kind = static_cast<EntryKind>(m_bytes[at]);
            std::string_view name(m_bytes.data() + at + 1);
            visit(kind, name);
            at += name.size() + 2;
        }
    }

  private:
    std::string m_bytes; // kind, name, NUL; kind, name, NUL; ...
    std::size_t m_count = 0;
};

} // namespace quellomir
