#include "fs/drive_kinds.h"

#include <linux/magic.h>

namespace quellomir {

bool networkOrFuse(std::uint64_t type) {
    return type == NFS_SUPER_MAGIC || type == SmbMagic || type == CifsMagic || type == Smb2Magic ||
           type == FUSE_SUPER_MAGIC;
}

bool inodeNumbersMayChange(FileSystem& fs, const std::string& folder) {
    std::uint64_t type = 0;
    return fs.fileSystemType(folder, type) != 0 || networkOrFuse(type);
}

} // namespace quellomir
