#pragma once

#include "fs/file_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace quellomir {

// The Windows attribute bits of a folder, as far as Linux has them.
namespace attributes {
inline constexpr std::uint32_t ReadOnly = 1;
inline constexpr std::uint32_t Hidden = 2;
inline constexpr std::uint32_t System = 4;
inline constexpr std::uint32_t Directory = 16;
inline constexpr std::uint32_t Archive = 32;
inline constexpr std::uint32_t ReparsePoint = 1024;
} // namespace attributes

// Reads folder attributes: directory from the stat, reparse point for a symbolic
// link, hidden for a name beginning with ".", and the FAT attribute byte (read-only,
// hidden, system, archive) where the folder lives on a FAT file system. The file
// system type is asked once per device, so folders elsewhere cost no open or ioctl.
class FolderAttributeReader {
  public:
    explicit FolderAttributeReader(FileSystem& fs) : m_fs(fs) {}

    // `path` ends with '/'; `followed` is its stat with links followed; `link` whether its
    // own entry is a link, when the listing that found it told. Throws std::system_error
    // when a fact cannot be read.
    std::uint32_t read(const std::string& path, const FileFacts& followed, std::optional<bool> link = {});

  private:
    bool onFat(const std::string& path, std::uint64_t device);

    FileSystem& m_fs;
    std::unordered_map<std::uint64_t, bool> m_fatDevices;
};

} // namespace quellomir
