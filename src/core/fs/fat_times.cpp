#include "fs/fat_times.h"

#include <linux/magic.h>

#include <cstdint>

namespace quellomir {

bool isFatMountType(std::string_view type) {
    for (std::string_view fuse : {"fuse.", "fuseblk."})
        if (type.starts_with(fuse)) {
            type.remove_prefix(fuse.size());
            return type == "fusefat" || type == "vfat" || type == "msdos" || type == "fat";
        }
    return type == "vfat" || type == "msdos";
}

bool onFatFileSystem(FileSystem& fs, const std::string& folder) {
    std::uint64_t magic = 0;
    if (fs.fileSystemType(folder, magic) != 0) return false;
    if (magic == MSDOS_SUPER_MAGIC) return true;
    // Every FUSE mount has the same magic number; only the mount table names the driver.
    if (magic != FUSE_SUPER_MAGIC) return false;
    std::string type;
    return fs.mountType(folder, type) == 0 && isFatMountType(type);
}

} // namespace quellomir
