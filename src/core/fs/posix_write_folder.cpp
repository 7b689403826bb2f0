#include "fs/posix_file_system.h"

#include "fs/drive_kinds.h"
#include "fs/new_times.h"
#include "fs/posix_copy.h"
#include "fs/posix_facts.h"
#include "fs/temporary_names.h"
#include "fs/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace quellomir {

int PosixFileSystem::openWriteFolder(const std::string& path, WriteFolder& folder) {
    bool listable = true;
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == EACCES) {
        // A folder one may write into but not list (mode -wx) is written all the same.
        listable = false;
        fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) return errno;
    UniqueFd opened(fd);
    FileFacts facts;
    if (int error = posix::statAt(fd, "", AT_EMPTY_PATH, facts)) return error;
    folder.path = path.empty() || path.back() != '/' ? path + '/' : path;
    folder.device = facts.device;
    folder.inode = facts.inode;
    folder.listable = listable;
    folder.shortNamesOnly = shortNamesOnlyOn(facts.device, folder.path);
    folder.handle = Handle();
    folder.handle.owner = this;
    folder.handle.fd = opened.release();
    folder.handle.path = folder.path;
    return 0;
}

bool PosixFileSystem::shortNamesOnlyOn(std::uint64_t device, const std::string& path) {
    std::lock_guard lock(m_shortNamesMutex);
    for (const auto& [known, shortOnly] : m_shortNamesOnly)
        if (known == device) return shortOnly;
    std::string type;
    const bool shortOnly = mountType(path, type) == 0 && renamesOnlyShortNamesSafely(type);
    m_shortNamesOnly.emplace_back(device, shortOnly);
    return shortOnly;
}

int PosixFileSystem::liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode,
                                bool& within) {
    within = false;
    return posix::walkUp(folder.handle.fd, [&](const FileFacts& facts, UniqueFd&) {
        within = facts.device == device && facts.inode == inode;
        return !within;
    });
}

int PosixFileSystem::unlinkIn(WriteFolder& folder, const std::string& name) {
    return ::unlinkat(folder.handle.fd, name.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::writeNote(WriteFolder& folder, const std::string& contents, Handle& held,
                               std::string& noteName) {
    UniqueFd note;
    std::string name;
    if (int error =
            posix::createTemporaryFile(folder.handle.fd, temporaryNameFormOf(folder), 0600, note, name))
        return error;
    int error = ::write(note.get(), contents.data(), contents.size()) == ssize_t(contents.size()) ? 0 : errno;
    if (error == 0 && ::fsync(note.get()) != 0) error = errno;
    if (error != 0) {
        ::unlinkat(folder.handle.fd, name.c_str(), 0);
        return error;
    }
    held = Handle();
    held.owner = this;
    held.fd = note.release();
    noteName = std::move(name);
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

int PosixFileSystem::statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) {
    const int flags = (follow == Follow::Yes ? 0 : AT_SYMLINK_NOFOLLOW) | (name.empty() ? AT_EMPTY_PATH : 0);
    return posix::statAt(folder.fd, name.c_str(), flags, facts);
}

int PosixFileSystem::openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) {
    UniqueFd opened(
        ::openat(folder.fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!opened.valid()) return errno;
    if (int error = posix::statAt(opened.get(), "", AT_EMPTY_PATH, facts)) return error;
    if (facts.kind != EntryKind::Regular) return EINVAL;
    file = Handle();
    file.owner = this;
    file.fd = opened.release();
    file.path = folder.path + name;
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

int PosixFileSystem::lockedByAnother(Handle& file, bool& locked) {
    // A shared lock conflicts with the exclusive one a writer holds, in any PID namespace and
    // (on NFS) on any machine; it is let go again with this descriptor.
    locked = false;
    if (::flock(file.fd, LOCK_SH | LOCK_NB) == 0) return 0;
    if (errno == EWOULDBLOCK) {
        locked = true;
        return 0;
    }
    return errno == EINVAL || errno == EOPNOTSUPP ? ENOLCK : errno;
}

std::uint32_t PosixFileSystem::runningUser() {
    return ::geteuid();
}

int PosixFileSystem::syncFolder(WriteFolder& folder) {
    return ::fsync(folder.handle.fd) == 0 ? 0 : errno;
}

int PosixFileSystem::syncFileSystem(Handle& held) {
    return ::syncfs(held.fd) == 0 ? 0 : errno;
}

int PosixFileSystem::makeFolder(WriteFolder& folder, const std::string& name) {
    return ::mkdirat(folder.handle.fd, name.c_str(), 0777) == 0 ? 0 : errno;
}

int PosixFileSystem::syncOpened(Handle& file) {
    return ::fsync(file.fd) == 0 ? 0 : errno;
}

int PosixFileSystem::setModified(WriteFolder& folder, const std::string& name, FileTime modified) {
    if (!modified.known()) return EINVAL;
    struct timespec times[2];
    newTimes(modified, times);
    return ::utimensat(folder.handle.fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

void PosixFileSystem::close(Handle& handle) {
    if (handle.fd >= 0) ::close(handle.fd);
    handle.fd = -1;
}

} // namespace quellomir
