#include "fs/posix_file_system.h"

#include "fs/posix_copy.h"
#include "fs/unique_fd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace quellomir {
namespace {

// Where /proc is not mounted (some containers), a file without a name may have no way to
// get one: new files then have "~" names from the start.
bool procFdsReachable() {
    static const bool reachable = ::access("/proc/self/fd", X_OK) == 0;
    return reachable;
}

// How a file without a name gets one: straight from its descriptor where the kernel lets a
// process do that with a file it opened itself (Linux 6.10 on, or with privilege), else
// through its entry in /proc, which costs a lookup more.
enum class LinkWay { Unknown, Descriptor, Proc };
std::atomic<LinkWay> linkWay{LinkWay::Unknown};

bool canNameUnnamed() {
    return linkWay.load(std::memory_order_relaxed) == LinkWay::Descriptor || procFdsReachable();
}

int linkUnnamed(int fd, int folder, const char* name) {
    const LinkWay way = linkWay.load(std::memory_order_relaxed);
    if (way != LinkWay::Proc) {
        if (::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) {
            linkWay.store(LinkWay::Descriptor, std::memory_order_relaxed);
            return 0;
        }
        // ENOENT is also how a kernel says "not allowed" here.
        if (errno != ENOENT || way == LinkWay::Descriptor) return errno;
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, folder, name, AT_SYMLINK_FOLLOW) != 0) return errno;
    linkWay.store(LinkWay::Proc, std::memory_order_relaxed);
    return 0;
}

// The errors with which a file system says that it cannot make a file without a name
// (EISDIR from kernels that do not know how).
bool cannotMakeUnnamed(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Whether an extended attribute goes with a copy, as `cp -a` takes it: the user's own, and
// the access ACL (the source's permissions rather than the destination folder's default).
bool keptAttribute(std::string_view name) {
    return name.starts_with("user.") || name == "system.posix_acl_access";
}

// Gives the file open at `to` the extended attributes and ACL of the one open at `from`, where
// the drive keeps them; a drive that keeps none (FAT, exFAT, most FUSE drives) takes the copy
// without them. 0, or the errno of a read that failed; `aclGiven` tells that the permission
// bits changed with an ACL.
int copyAttributes(int from, int to, bool& aclGiven) {
    aclGiven = false;
    std::string names(1024, '\0');
    ssize_t listed;
    while ((listed = ::flistxattr(from, names.data(), names.size())) < 0 && errno == ERANGE)
        names.resize(names.size() * 4);
    if (listed < 0) return errno == ENOTSUP || errno == ENOSYS ? 0 : errno;
    names.resize(std::size_t(listed));
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name = names.c_str() + at;
        at += name.size() + 1;
        if (!keptAttribute(name)) continue;
        ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (size < 0) continue; // gone since the listing
        value.resize(std::size_t(size));
        size = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (size < 0) continue;
        if (::fsetxattr(to, name.c_str(), value.data(), std::size_t(size), 0) == 0) {
            aclGiven = aclGiven || name == "system.posix_acl_access";
        } else if (errno != ENOTSUP && errno != EPERM && errno != ENOSYS && errno != ENOSPC &&
                   errno != E2BIG) {
            return errno;
        }
    }
    return 0;
}

} // namespace

int PosixFileSystem::createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) {
    if (!name.empty()) {
        const int fd = ::openat(folder.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                mode_t(mode & 07777));
        if (fd < 0) return errno;
        file = handleOf(fd, folder.path + name);
        return 0;
    }
    if (!m_unnamedNewFiles || !canNameUnnamed()) return EOPNOTSUPP;
    const int fd = ::openat(folder.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode_t(mode & 07777));
    if (fd >= 0) {
        file = handleOf(fd, folder.path);
        return 0;
    }
    return cannotMakeUnnamed(errno) ? EOPNOTSUPP : errno;
}

int PosixFileSystem::link(Handle& from, const std::string& fromName, Handle& toFolder,
                          const std::string& toName) {
    if (fromName.empty()) return linkUnnamed(from.fd, toFolder.fd, toName.c_str());
    return ::linkat(from.fd, fromName.c_str(), toFolder.fd, toName.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                                  bool& permissionsChanged) {
    permissionsChanged = false;
    struct stat source;
    if (::fstat(from.fd, &source) != 0) return errno;
    if (int error = posix::copyContents(from.fd, to.fd, source, progress, m_firstCopyWay)) return error;
    return copyAttributes(from.fd, to.fd, permissionsChanged);
}

} // namespace quellomir
