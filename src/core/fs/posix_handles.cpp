#include "fs/new_times.h"
#include "fs/posix_facts.h"
#include "fs/posix_file_system.h"
#include "fs/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

namespace quellomir {
namespace {

int descriptorOf(const Handle* at) {
    return at ? at->fd : AT_FDCWD;
}

std::string pathIn(const Handle* at, const std::string& name) {
    if (!at) return name;
    if (name == "." || name.empty()) return at->path;
    if (name == "..") {
        // The folder above, by its path as the folder was reached: for messages.
        std::string path = at->path;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return path.substr(0, path.rfind('/') + 1);
    }
    return at->path + name;
}

int setTimes(int at, const char* name, FileTime modified) {
    if (!modified.known()) return EINVAL;
    struct timespec times[2];
    newTimes(modified, times);
    const int result = name ? ::utimensat(at, name, times, AT_SYMLINK_NOFOLLOW) : ::futimens(at, times);
    return result == 0 ? 0 : errno;
}

} // namespace

Handle PosixFileSystem::handleOf(int fd, std::string path) {
    Handle handle;
    handle.owner = this;
    handle.fd = fd;
    handle.path = std::move(path);
    return handle;
}

int PosixFileSystem::openFolder(const Handle* at, const std::string& name, Follow follow, FolderAccess access,
                                Handle& folder) {
    // O_NONBLOCK: a FIFO in the folder's place makes the open fail, not wait.
    const int flags = (access == FolderAccess::List ? O_RDONLY | O_NONBLOCK : O_PATH) | O_DIRECTORY |
                      O_CLOEXEC | (follow == Follow::No ? O_NOFOLLOW : 0);
    const int fd = ::openat(descriptorOf(at), name.c_str(), flags);
    if (fd < 0) return errno;
    std::string path = pathIn(at, name);
    if (!path.empty() && path.back() != '/') path += '/';
    folder = handleOf(fd, std::move(path));
    return 0;
}

int PosixFileSystem::listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) {
    posix::Listing listing(nullptr, ::closedir);
    if (int error = posix::listOpenFolder(folder.fd, listing)) return error;
    DIR* dir = listing.get();
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") visit(name);
        errno = 0;
    }
    return errno;
}

int PosixFileSystem::statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) {
    const int flags = (follow == Follow::Yes ? 0 : AT_SYMLINK_NOFOLLOW) | (name.empty() ? AT_EMPTY_PATH : 0);
    return posix::statAt(at.fd, name.c_str(), flags, facts);
}

int PosixFileSystem::makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) {
    return ::mkdirat(folder.fd, name.c_str(), mode) == 0 ? 0 : errno;
}

int PosixFileSystem::unlinkAt(Handle& folder, const std::string& name) {
    return ::unlinkat(folder.fd, name.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder,
                            const std::string& toName, Replace replace) {
    const unsigned flags = replace == Replace::No ? RENAME_NOREPLACE : 0;
    return ::renameat2(fromFolder.fd, fromName.c_str(), toFolder.fd, toName.c_str(), flags) == 0 ? 0 : errno;
}

int PosixFileSystem::realPath(Handle& at, std::string& path) {
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", at.fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(self, target, sizeof target - 1);
    if (length < 0) return errno;
    path.assign(target, static_cast<std::size_t>(length));
    return 0;
}

int PosixFileSystem::recycle(Handle&, const std::string&) {
    return ENOTSUP; // the desktop's Trash is a folder the program writes itself
}

int PosixFileSystem::openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                                FileFacts& facts) {
    // A path given by the user is looked at before it is opened: opening a device can have
    // effects. The entries of folders the program holds are the ones it wrote or looked at.
    if (!at) {
        FileFacts looked;
        if (int error =
                posix::statAt(AT_FDCWD, name.c_str(), follow == Follow::No ? AT_SYMLINK_NOFOLLOW : 0, looked))
            return error;
        if (looked.kind == EntryKind::Link) return ELOOP;
        if (looked.kind == EntryKind::Folder) return EISDIR;
        if (looked.kind != EntryKind::Regular) return EINVAL;
    }
    UniqueFd opened(
        ::openat(descriptorOf(at), name.c_str(),
                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow == Follow::No ? O_NOFOLLOW : 0)));
    if (!opened.valid()) return errno;
    if (int error = posix::statAt(opened.get(), "", AT_EMPTY_PATH, facts)) return error;
    if (facts.kind != EntryKind::Regular) return EINVAL; // swapped between the look and the open
    file = handleOf(opened.release(), pathIn(at, name));
    return 0;
}

int PosixFileSystem::readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                            std::size_t& got) {
    for (;;) {
        const ssize_t read = ::pread(file.fd, buffer, size, static_cast<off_t>(offset));
        if (read >= 0) {
            got = static_cast<std::size_t>(read);
            return 0;
        }
        if (errno != EINTR) return errno;
    }
}

int PosixFileSystem::write(Handle& file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(file.fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return 0;
}

int PosixFileSystem::setModified(Handle& at, const std::string& name, FileTime modified) {
    return setTimes(at.fd, name.empty() ? nullptr : name.c_str(), modified);
}

int PosixFileSystem::setMode(Handle& file, std::uint32_t mode) {
    return ::fchmod(file.fd, mode & 07777) == 0 ? 0 : errno;
}

int PosixFileSystem::flush(Handle& at) {
    // A folder held only for lookups has a descriptor that cannot flush.
    const int flags = ::fcntl(at.fd, F_GETFL);
    if (flags >= 0 && (flags & O_PATH) != 0) return EBADF;
    return ::fsync(at.fd) == 0 ? 0 : errno;
}

int PosixFileSystem::flushDrive(Handle& at) {
    return ::syncfs(at.fd) == 0 ? 0 : errno;
}

int PosixFileSystem::tryLock(Handle& file, Lock lock, bool& taken) {
    // flock locks conflict in any PID namespace and (on NFS) on any machine.
    taken = ::flock(file.fd, (lock == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0;
    if (taken || errno == EWOULDBLOCK) return 0;
    return errno == EINVAL || errno == EOPNOTSUPP ? ENOLCK : errno;
}

int PosixFileSystem::duplicate(Handle& at, Handle& copy) {
    const int fd = ::fcntl(at.fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return errno;
    copy = handleOf(fd, at.path);
    return 0;
}

std::uint32_t PosixFileSystem::runningUser() {
    return ::geteuid();
}

int PosixFileSystem::close(Handle& handle) {
    const int fd = std::exchange(handle.fd, -1);
    handle.owner = nullptr;
    return fd < 0 || ::close(fd) == 0 ? 0 : errno;
}

} // namespace quellomir
