#include "fs/fat_times.h"

#include "fs/drive_kinds.h"

#include <cstdint>

namespace quellomir {

bool isFatMountType(std::string_view type) {
    if (const std::string_view driver = fuseDriverOf(type); !driver.empty())
        return driver == "fusefat" || driver == "vfat" || driver == "msdos" || driver == "fat";
    return type == "vfat" || type == "msdos";
}

bool onFatFileSystem(FileSystem& fs, const std::string& folder) {
    std::uint64_t magic = 0;
    if (fs.fileSystemType(folder, magic) != 0) return false;
    if (magic == MsdosMagic) return true;
    // Every FUSE mount has the same magic number; only the mount table names the driver.
    if (magic != FuseMagic) return false;
    std::string type;
    return fs.mountType(folder, type) == 0 && isFatMountType(type);
}

} // namespace quellomir
