#include "fs/posix_file_system.h"

#include "fs/new_times.h"
#include "fs/posix_copy.h"
#include "fs/temporary_names.h"
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

FileFacts factsOf(const struct stat& s) {
    FileFacts facts;
    facts.kind = EntryKind::Regular; // the only kind that is copied
    facts.mode = s.st_mode & 07777;
    facts.size = s.st_size;
    facts.modified = {s.st_mtim.tv_sec, static_cast<std::int32_t>(s.st_mtim.tv_nsec)};
    facts.changed = {s.st_ctim.tv_sec, static_cast<std::int32_t>(s.st_ctim.tv_nsec)};
    facts.device = s.st_dev;
    facts.inode = s.st_ino;
    facts.owner = s.st_uid;
    facts.group = s.st_gid;
    return facts;
}

// How many fresh "~" names are tried before giving up: a clash needs the same process and
// a leftover of an earlier one with the same pid and start.
constexpr unsigned NameAttempts = 100;

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

// Tells every other run that the "~" file open at `fd` is being written (createTemporaryFile).
void claim(int fd) {
    ::flock(fd, LOCK_EX | LOCK_NB);
}

// Opens a new file in `folder` for writing, with the permission bits `mode` as the umask
// lets them be: one without a name where the file system can make it, else one under a
// fresh "~" name, which `temporaryName` then holds.
// `refused` tells that the drive cannot make a file without a name.
int createNewFile(int folder, bool unnamed, TemporaryNameForm form, mode_t mode, UniqueFd& fd,
                  std::string& name, bool& refused) {
    if (unnamed && canNameUnnamed()) {
        fd.reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (fd.valid()) return 0;
        if (!cannotMakeUnnamed(errno)) return errno;
        refused = true;
    }
    return posix::createTemporaryFile(folder, form, mode, fd, name);
}

// Gives an open file without a name a fresh "~" name in its folder.
int linkTemporaryName(NewFile& file) {
    claim(file.handle);
    for (unsigned attempt = 0;; ++attempt) {
        std::string candidate = temporaryName(attempt, temporaryNameFormOf(*file.folder));
        const int error = linkUnnamed(file.handle, file.folder->handle.fd, candidate.c_str());
        if (error == 0) {
            file.temporaryName = std::move(candidate);
            return 0;
        }
        if (error != EEXIST || attempt == NameAttempts) return error;
    }
}

// Gives the file named `from` in `folder` the second name `to`, which a link never takes
// from anything; EINVAL where the drive keeps no links.
int linkNamed(int folder, const std::string& from, const std::string& to) {
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) return 0;
    const int error = errno;
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK || error == EXDEV
               ? EINVAL
               : error;
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

int closeHandle(int& handle) {
    if (handle < 0) return 0;
    return ::close(std::exchange(handle, -1)) == 0 ? 0 : errno;
}

} // namespace

int posix::createTemporaryFile(int folder, TemporaryNameForm form, mode_t mode, UniqueFd& fd,
                               std::string& name) {
    for (unsigned attempt = 0;; ++attempt) {
        std::string candidate = temporaryName(attempt, form);
        fd.reset(
            ::openat(folder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd.valid()) {
            claim(fd.get());
            name = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST || attempt == NameAttempts) return errno;
    }
}

bool PosixFileSystem::mayMakeUnnamedOn(std::uint64_t device) {
    std::lock_guard lock(m_refusingMutex);
    return std::find(m_refusingUnnamed.begin(), m_refusingUnnamed.end(), device) == m_refusingUnnamed.end();
}

void PosixFileSystem::refusedUnnamedOn(std::uint64_t device) {
    std::lock_guard lock(m_refusingMutex);
    if (std::find(m_refusingUnnamed.begin(), m_refusingUnnamed.end(), device) == m_refusingUnnamed.end())
        m_refusingUnnamed.push_back(device);
}

int PosixFileSystem::copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder,
                                   NewFile& made, const CopyProgress& progress) {
    // Look before opening: opening a FIFO or a device can block or have effects.
    struct stat before;
    const bool follow = followSource == Follow::Yes;
    if ((follow ? ::stat(source.c_str(), &before) : ::lstat(source.c_str(), &before)) != 0) return errno;
    if (S_ISLNK(before.st_mode)) return ELOOP;
    if (S_ISDIR(before.st_mode)) return EISDIR;
    if (!S_ISREG(before.st_mode)) return EINVAL;
    UniqueFd from(
        ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (follow ? 0 : O_NOFOLLOW)));
    if (!from.valid()) return errno;
    struct stat opened;
    if (::fstat(from.get(), &opened) != 0) return errno;
    if (!S_ISREG(opened.st_mode)) return EINVAL; // swapped between the look and the open

    UniqueFd to;
    std::string temporary;
    // With the source's permission bits from the start, the mode mostly needs no call of
    // its own afterwards; nobody sees the file before it is complete anyway, or only
    // under a "~" name that no comparison lists.
    bool refused = false;
    const int created =
        createNewFile(folder.handle.fd, m_unnamedNewFiles && mayMakeUnnamedOn(folder.device),
                      temporaryNameFormOf(folder), opened.st_mode & 0777, to, temporary, refused);
    if (refused) refusedUnnamedOn(folder.device);
    if (created != 0) return created;
    // From here the new file is `made`'s: a failure removes it below, an exception from
    // `progress` when `made` goes out of scope.
    made.fs = this;
    made.folder = &folder;
    made.handle = to.release();
    made.sourceHandle = from.release();
    made.temporaryName = std::move(temporary);
    struct stat madeFacts;
    int error = ::fstat(made.handle, &madeFacts) == 0 ? 0 : errno;
    if (error == 0)
        error = posix::copyContents(made.sourceHandle, made.handle, opened, progress, m_firstCopyWay);
    bool aclGiven = false;
    if (error == 0) error = copyAttributes(made.sourceHandle, made.handle, aclGiven);
    // An ACL given changes the permission bits: they are looked at again only then.
    if (error == 0 && aclGiven && ::fstat(made.handle, &madeFacts) != 0) error = errno;
    if (error != 0) {
        discardNewFile(made);
        return error;
    }
    made.source = factsOf(opened);
    made.mode = madeFacts.st_mode & 07777;
    made.createdMode = made.mode;
    made.device = madeFacts.st_dev;
    made.inode = madeFacts.st_ino;
    made.owner = madeFacts.st_uid;
    made.group = madeFacts.st_gid;
    return 0;
}

int PosixFileSystem::restatSource(NewFile& file, FileFacts& facts) {
    struct stat now;
    if (::fstat(file.sourceHandle, &now) != 0) return errno;
    facts = factsOf(now);
    return 0;
}

int PosixFileSystem::readSourceAt(NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                                  std::size_t& got) {
    Handle source;
    source.fd = file.sourceHandle; // borrowed: no owner closes it
    return readAt(source, offset, buffer, size, got);
}

int PosixFileSystem::setModified(NewFile& file, FileTime modified) {
    if (!modified.known()) return EINVAL;
    struct timespec times[2];
    newTimes(modified, times);
    return ::futimens(file.handle, times) == 0 ? 0 : errno;
}

int PosixFileSystem::setMode(NewFile& file, std::uint32_t mode) {
    if ((mode & 07777) == file.mode) return 0;
    if (::fchmod(file.handle, mode & 07777) != 0) return errno;
    file.mode = mode & 07777;
    return 0;
}

int PosixFileSystem::syncFile(NewFile& file) {
    return ::fsync(file.handle) == 0 ? 0 : errno;
}

int PosixFileSystem::holdFileSystem(NewFile& file, Handle& held) {
    // The folder's descriptor where it can flush: one of the new file would keep that file
    // alive after it was removed (a copy that failed), and a FUSE drive shows such a file
    // as a ".fuse_hidden…" one, which a comparison would take for the user's. Only a folder
    // that could not be opened for reading has a descriptor that cannot flush.
    const int folderFlags = ::fcntl(file.folder->handle.fd, F_GETFL);
    const int from = folderFlags >= 0 && (folderFlags & O_PATH) == 0 ? file.folder->handle.fd : file.handle;
    const int fd = ::fcntl(from, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return errno;
    held = Handle();
    held.owner = this;
    held.fd = fd;
    return 0;
}

int PosixFileSystem::nameTemporarily(NewFile& file) {
    return file.temporaryName.empty() ? linkTemporaryName(file) : 0;
}

int PosixFileSystem::nameNewFile(NewFile& file, const std::string& name, Replace replace) {
    const int folder = file.folder->handle.fd;
    if (file.temporaryName.empty()) {
        if (replace == Replace::No) {
            // A link is never made over anything that is there, a dangling link included.
            if (int error = linkUnnamed(file.handle, folder, name.c_str())) return error;
            file.fs = nullptr;
            closeHandle(file.sourceHandle);
            // Local file systems, the only ones with files without names, fail no close.
            return closeHandle(file.handle);
        }
        // Only a rename replaces a file in one step, and a rename needs a name to start from.
        if (int error = linkTemporaryName(file)) return error;
    }
    // A network file system may report a write that failed only when the file is closed:
    // that has to be known before the file takes the destination's name. The lock that says
    // the file is being written stays with a second descriptor until then.
    UniqueFd claimed(::fcntl(file.handle, F_DUPFD_CLOEXEC, 0));
    if (int error = closeHandle(file.handle)) return error;
    const unsigned flags = replace == Replace::No ? RENAME_NOREPLACE : 0;
    // Where a rename over a long name damages the folder, what the copy replaces is removed
    // first: the caller has kept it in the Trash already, or was told not to keep it.
    if (replace == Replace::Yes && file.folder->shortNamesOnly && ::unlinkat(folder, name.c_str(), 0) != 0 &&
        errno != ENOENT)
        return errno;
    if (::renameat2(folder, file.temporaryName.c_str(), folder, name.c_str(), flags) != 0) {
        if (errno != EINVAL || replace == Replace::Yes) return errno;
        // FUSE and some network drives take no such rename; a second link is as sure a claim
        // where the drive keeps links (ntfs-3g). A run stopped before the "~" name goes leaves
        // it as a second name of the copy, which the next run removes.
        if (int error = linkNamed(folder, file.temporaryName, name)) return error;
        ::unlinkat(folder, file.temporaryName.c_str(), 0);
    }
    file.temporaryName.clear();
    file.fs = nullptr;
    closeHandle(file.sourceHandle);
    return 0;
}

int PosixFileSystem::nameByCopy(NewFile& file, const std::string& name) {
    const int folder = file.folder->handle.fd;
    if (int error = nameTemporarily(file)) return error;
    // The claim: an empty file created under the name, which refuses a taken name in that very
    // step; the new file is renamed over it at once, so that the name never shows a copy in the
    // making that someone could write to.
    UniqueFd claim(
        ::openat(folder, name.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!claim.valid()) return errno;
    struct stat claimed;
    // Where a rename over a long name damages the folder, the claim is removed, which is safe
    // there, and the copy renamed into the name it freed: a program that saves under the name
    // in between loses its file to the copy, a window of one call as the claim has too.
    const bool freeFirst = file.folder->shortNamesOnly;
    if (::fstat(claim.get(), &claimed) != 0 || (freeFirst && ::unlinkat(folder, name.c_str(), 0) != 0) ||
        ::renameat(folder, file.temporaryName.c_str(), folder, name.c_str()) != 0) {
        const int error = errno;
        struct stat now;
        if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == claimed.st_ino &&
            now.st_dev == claimed.st_dev && now.st_size == 0)
            ::unlinkat(folder, name.c_str(), 0);
        return error;
    }
    file.temporaryName.clear();
    file.fs = nullptr;
    closeHandle(file.handle);
    closeHandle(file.sourceHandle);
    return 0;
}

int PosixFileSystem::discardNewFile(NewFile& file) {
    // Nothing of a file that is removed is wanted any more.
    closeHandle(file.handle);
    closeHandle(file.sourceHandle);
    int error = 0;
    if (!file.temporaryName.empty() && ::unlinkat(file.folder->handle.fd, file.temporaryName.c_str(), 0) != 0)
        error = errno;
    file.temporaryName.clear();
    file.fs = nullptr;
    return error;
}

} // namespace quellomir
