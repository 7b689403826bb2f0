#include "fs/posix_file_system.h"

#include "fs/new_times.h"
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
namespace {

// Whether no run writes the "~" file `name` of `folder` any more: a run that writes one holds a
// lock on it, which a shared lock of ours would conflict with, in any PID namespace and (on
// NFS) on any machine. Where the drive has no locks, or the file cannot be opened to try, only
// a file nobody touched for an hour counts as a leftover.
bool nobodyWrites(int folder, const char* name, const struct stat& facts) {
    UniqueFd file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.valid()) {
        if (::flock(file.get(), LOCK_SH | LOCK_NB) == 0) return true;
        if (errno == EWOULDBLOCK) return false;
    }
    return untouchedForAnHour(facts.st_ctim.tv_sec);
}

} // namespace

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
    folder.handle = Handle();
    folder.handle.owner = this;
    folder.handle.fd = opened.release();
    return 0;
}

int PosixFileSystem::liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode,
                                bool& within) {
    within = false;
    return posix::walkUp(folder.handle.fd, [&](const FileFacts& facts, UniqueFd&) {
        within = facts.device == device && facts.inode == inode;
        return !within;
    });
}

int PosixFileSystem::statIn(WriteFolder& folder, const std::string& name, Follow follow, FileFacts& facts) {
    return posix::statAt(folder.handle.fd, name.c_str(), follow == Follow::Yes ? 0 : AT_SYMLINK_NOFOLLOW,
                         facts);
}

int PosixFileSystem::findLeftovers(WriteFolder& folder, std::vector<std::string>& names) {
    // A folder that cannot be listed cannot be searched either; its leftovers wait for a run
    // that may list it.
    if (!folder.listable) return 0;
    posix::Listing listing(nullptr, ::closedir);
    if (int error = posix::listOpenFolder(folder.handle.fd, listing)) return error;
    DIR* dir = listing.get();
    std::vector<std::string> candidates;
    errno = 0;
    while (const dirent* entry = ::readdir(dir))
        if (isTemporaryName(entry->d_name)) candidates.emplace_back(entry->d_name);
    if (errno != 0) return errno;
    for (std::string& name : candidates) {
        struct stat facts;
        if (::fstatat(folder.handle.fd, name.c_str(), &facts, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(facts.st_mode) && nobodyWrites(folder.handle.fd, name.c_str(), facts))
            names.push_back(std::move(name));
    }
    return 0;
}

int PosixFileSystem::unlinkIn(WriteFolder& folder, const std::string& name) {
    return ::unlinkat(folder.handle.fd, name.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::writeNote(WriteFolder& folder, const std::string& contents, Handle& held,
                               std::string& noteName) {
    for (unsigned attempt = 0;; ++attempt) {
        std::string candidate = temporaryName(attempt);
        UniqueFd note(::openat(folder.handle.fd, candidate.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!note.valid()) {
            if (errno != EEXIST || attempt == 100) return errno;
            continue;
        }
        ::flock(note.get(), LOCK_EX | LOCK_NB); // a run that finds it locked leaves it alone
        int error =
            ::write(note.get(), contents.data(), contents.size()) == ssize_t(contents.size()) ? 0 : errno;
        if (error == 0 && ::fsync(note.get()) != 0) error = errno;
        if (error != 0) {
            ::unlinkat(folder.handle.fd, candidate.c_str(), 0);
            return error;
        }
        held = Handle();
        held.owner = this;
        held.fd = note.release();
        noteName = std::move(candidate);
        return 0;
    }
}

int PosixFileSystem::readNote(WriteFolder& folder, const std::string& noteName, std::string& contents) {
    UniqueFd note(
        ::openat(folder.handle.fd, noteName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!note.valid()) return errno;
    char text[4096];
    const ssize_t got = ::read(note.get(), text, sizeof text);
    if (got < 0) return errno;
    contents.assign(text, static_cast<std::size_t>(got));
    return 0;
}

int PosixFileSystem::syncFolder(WriteFolder& folder) {
    return ::fsync(folder.handle.fd) == 0 ? 0 : errno;
}

int PosixFileSystem::syncFileSystem(Handle& held) {
    return ::syncfs(held.fd) == 0 ? 0 : errno;
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
