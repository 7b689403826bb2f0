#pragma once

#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <memory>

namespace quellomir::posix {

using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;

// A listing of the folder open at `folder`, through a descriptor of its own, so that the
// folder's own descriptor stays where it is; 0 or errno.
inline int listOpenFolder(int folder, Listing& listing) {
    UniqueFd own(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!own.valid()) return errno;
    DIR* dir = ::fdopendir(own.get());
    if (!dir) return errno;
    own.release();
    listing.reset(dir);
    return 0;
}

inline EntryKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::Regular;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    if (S_ISLNK(mode)) return EntryKind::Link;
    return EntryKind::Other;
}

inline FileTime timeOf(const struct statx_timestamp& t) {
    return {t.tv_sec, static_cast<std::int32_t>(t.tv_nsec)};
}

inline void fillFacts(const struct statx& s, FileFacts& facts) {
    facts.kind = kindOfMode(s.stx_mode);
    facts.mode = s.stx_mode & 07777;
    facts.size = static_cast<std::int64_t>(s.stx_size);
    facts.modified = timeOf(s.stx_mtime);
    facts.changed = timeOf(s.stx_ctime);
    facts.device = makedev(s.stx_dev_major, s.stx_dev_minor);
    facts.inode = s.stx_ino;
    facts.owner = s.stx_uid;
    facts.group = s.stx_gid;
    facts.links = s.stx_nlink;
    facts.mountRoot = (s.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                      (s.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// What a comparison and a sync need to know of a file, in the one call that the kernel
// answers from the same inode data whatever of it is asked.
inline constexpr unsigned FactsMask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE |
                                      STATX_MTIME | STATX_CTIME | STATX_UID | STATX_GID;

inline int statAt(int dirFd, const char* name, int flags, FileFacts& facts) {
    struct statx s;
    if (::statx(dirFd, name, flags, FactsMask, &s) != 0) return errno;
    fillFacts(s, facts);
    return 0;
}

} // namespace quellomir::posix
