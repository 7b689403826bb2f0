#pragma once

#include "fs/file_system.h"

#include <string>
#include <string_view>

namespace quellomir {

// Whether `folder` lies on a FAT file system: the kernel's vfat or msdos, or a FAT driver
// through FUSE (fusefat), told by its type in the mount table. FAT keeps a last-write
// time in local time and to two seconds, so its times are compared with tolerance.
// exFAT, which keeps its times to 10 ms with their offset from UTC, is not FAT here. A
// folder whose file system cannot be told counts as not FAT.
bool onFatFileSystem(FileSystem& fs, const std::string& folder);

// Whether a mount table type names FAT: "vfat", "msdos", or a FUSE mount of a FAT
// driver ("fuse.fusefat").
bool isFatMountType(std::string_view type);

} // namespace quellomir
