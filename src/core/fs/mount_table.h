#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellomir {

// Reading the mount table as /proc/self/mountinfo gives it: a line per mount, "id parent
// major:minor root mount-point options [optional fields...] - type source super-options".

// The type of the mount with this id.
std::optional<std::string> mountTypeById(std::string_view mountinfo, std::uint64_t id);

// The file system whose first sector (at least 512 bytes) this is, by the signature it
// carries: "exfat", "vfat" or "ntfs"; empty for any other.
std::string fileSystemOfFirstSector(std::string_view sector);

} // namespace quellomir
