#include "fs/posix_file_system.h"

#include "fs/new_times.h"
#include "fs/posix_facts.h"
#include "fs/unique_fd.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace quellomir {
namespace {

// The nearest folder of `path` that exists: where a folder made at `path` goes.
int nearestExisting(std::string path, struct stat& facts) {
    for (;;) {
        if (::stat(path.c_str(), &facts) == 0) return 0;
        const std::size_t slash = path.rfind('/');
        if (errno != ENOENT || slash == std::string::npos || path == "/") return errno;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

// Whether `path` is an absolute path of this user's: nothing is made or written in another
// user's data folder, such as the HOME that "sudo -E" leaves to root.
bool ownPath(const char* path) {
    struct stat facts;
    return path && path[0] == '/' && nearestExisting(path, facts) == 0 && facts.st_uid == ::geteuid();
}

// $XDG_DATA_HOME, or ~/.local/share, where they are this user's; else the user's home as the
// password database has it.
std::string dataHome() {
    if (const char* set = std::getenv("XDG_DATA_HOME"); ownPath(set)) return set;
    const char* home = std::getenv("HOME");
    if (!ownPath(home)) {
        const passwd* user = ::getpwuid(::geteuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.local/share";
}

// Flushes the folder `path` of `at`, after a folder was made in it: a stick may write out the
// new folder and what it holds, yet lose the folder itself, after a power cut.
int flushFolderAt(int at, const char* path) {
    UniqueFd folder(::openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return errno;
    return ::fsync(folder.get()) == 0 ? 0 : errno;
}

// Makes `path` and the folders above it that are missing, each only its owner may enter, and
// only in folders of this user's.
int makeFolders(const std::string& path) {
    bool ownParent = false;
    for (std::size_t slash = 0; slash != std::string::npos;) {
        slash = path.find('/', slash + 1);
        const std::string part = path.substr(0, slash);
        struct stat facts;
        if (::stat(part.c_str(), &facts) == 0) {
            ownParent = facts.st_uid == ::geteuid();
            continue;
        }
        if (errno != ENOENT) return errno;
        if (!ownParent) return EACCES;
        if (::mkdir(part.c_str(), 0700) != 0) {
            if (errno != EEXIST) return errno;
        } else if (int error = flushFolderAt(AT_FDCWD, part.substr(0, part.rfind('/') + 1).c_str())) {
            return error;
        }
    }
    return 0;
}

// Drives whose folders all show the mount's permission bits (FAT, exFAT, FUSE drivers of
// them): no other user can have set them, and no folder there can be given its own.
bool keepsNoPermissions(int folder) {
    struct statfs drive;
    if (::fstatfs(folder, &drive) != 0) return false;
    return drive.f_type == MSDOS_SUPER_MAGIC || drive.f_type == EXFAT_SUPER_MAGIC ||
           drive.f_type == FUSE_SUPER_MAGIC;
}

// Opens (making it where missing) the folder `name` in `at`, which must be a folder of its
// own, not a link to one, and this user's; with `privateOnly`, also one that only the user
// may enter (mode 0700), so that no other user can read or remove what is kept in a shared
// drive's Trash.
int openOwnFolder(int at, const char* name, int flags, UniqueFd& folder, bool privateOnly = false) {
    const bool made = ::mkdirat(at, name, 0700) == 0;
    if (!made && errno != EEXIST) return errno;
    if (made)
        if (int error = flushFolderAt(at, ".")) return error;
    folder.reset(::openat(at, name, flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid()) return errno;
    struct stat facts;
    if (::fstat(folder.get(), &facts) != 0) return errno;
    // A folder of that name that someone else made, or may look into, is no Trash of this
    // user's: another user could read or remove what is put there.
    if (facts.st_uid != ::geteuid()) return EACCES;
    if (privateOnly && (facts.st_mode & 07777) != 0700 && !keepsNoPermissions(folder.get())) return EACCES;
    return 0;
}

// Fills `trash` with the "files" and "info" folders of the Trash folder `at`.
int openFilesAndInfo(int at, TrashCan& trash, FileSystem* owner) {
    UniqueFd files;
    UniqueFd info;
    if (int error = openOwnFolder(at, "files", O_RDONLY, files)) return error;
    if (int error = openOwnFolder(at, "info", O_RDONLY, info)) return error;
    struct stat facts;
    if (::fstat(files.get(), &facts) != 0) return errno;
    trash.device = facts.st_dev;
    trash.files = Handle();
    trash.files.owner = owner;
    trash.files.fd = files.release();
    trash.info = Handle();
    trash.info.owner = owner;
    trash.info.fd = info.release();
    return 0;
}

int readLinkOfFd(int fd, std::string& path) {
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(self, target, sizeof target - 1);
    if (length < 0) return errno;
    path.assign(target, static_cast<std::size_t>(length));
    return 0;
}

// The top folder of the drive that `folder` lies on: the last folder up through ".." that is
// still on its drive.
int openTopFolder(int folder, UniqueFd& top) {
    std::optional<std::uint64_t> drive;
    return posix::walkUp(folder, [&](const FileFacts& facts, UniqueFd& here) {
        if (drive && facts.device != *drive) return false;
        drive = facts.device;
        top = std::move(here);
        return true;
    });
}

// The Trash in the top folder `top` of a drive: $topdir/.Trash/$uid where the drive has a
// shared ".Trash" (a folder of its own with the sticky bit) and that folder is the user's
// alone, else $topdir/.Trash-$uid, which must be so too. `trash.path` names the last one tried.
int openTopTrash(int top, TrashCan& trash, FileSystem* owner) {
    const std::string uid = std::to_string(::geteuid());
    UniqueFd shared(::openat(top, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat facts;
    if (shared.valid() && ::fstat(shared.get(), &facts) == 0 && (facts.st_mode & S_ISVTX) != 0) {
        UniqueFd own;
        trash.path = "/.Trash/" + uid;
        if (openOwnFolder(shared.get(), uid.c_str(), O_PATH, own, true) == 0 &&
            openFilesAndInfo(own.get(), trash, owner) == 0)
            return 0;
    }
    UniqueFd own;
    const std::string name = ".Trash-" + uid;
    trash.path = "/" + name;
    if (int error = openOwnFolder(top, name.c_str(), O_PATH, own, true)) return error;
    return openFilesAndInfo(own.get(), trash, owner);
}

// The home Trash, its folders made where they are missing, in this user's folders only.
int openHomeTrash(TrashCan& trash, FileSystem* owner) {
    trash.path = dataHome() + "/Trash";
    trash.topdir.clear();
    trash.home = true;
    if (int error = makeFolders(trash.path)) return error;
    UniqueFd folder(::open(trash.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return errno;
    struct stat facts;
    if (::fstat(folder.get(), &facts) != 0) return errno;
    if (facts.st_uid != ::geteuid()) return EACCES;
    return openFilesAndInfo(folder.get(), trash, owner);
}

// The Trash's two folders are named by its path, once that is whole.
int named(TrashCan& trash, int error) {
    trash.files.path = trash.path + "/files/";
    trash.info.path = trash.path + "/info/";
    return error;
}

} // namespace

int PosixFileSystem::openTrash(WriteFolder& near, TrashCan& trash) {
    struct stat homeDrive;
    if (nearestExisting(dataHome(), homeDrive) == 0 && homeDrive.st_dev == near.device)
        return named(trash, quellomir::openHomeTrash(trash, this));
    trash.home = false;
    UniqueFd top;
    if (int error = openTopFolder(near.handle.fd, top)) return error;
    if (int error = readLinkOfFd(top.get(), trash.topdir)) return error;
    const int error = openTopTrash(top.get(), trash, this);
    trash.path = (trash.topdir == "/" ? "" : trash.topdir) + trash.path;
    return named(trash, error);
}

int PosixFileSystem::openHomeTrash(TrashCan& trash) {
    return named(trash, quellomir::openHomeTrash(trash, this));
}

int PosixFileSystem::homeTrashFacts(FileFacts& facts) {
    return posix::statAt(AT_FDCWD, (dataHome() + "/Trash").c_str(), 0, facts);
}

int PosixFileSystem::realPath(WriteFolder& folder, std::string& path) {
    return readLinkOfFd(folder.handle.fd, path);
}

int PosixFileSystem::createTrashInfo(TrashCan& trash, const std::string& name, const std::string& contents) {
    UniqueFd file(
        ::openat(trash.info.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) return errno;
    for (std::size_t done = 0; done < contents.size();) {
        const ssize_t put = ::write(file.get(), contents.data() + done, contents.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : EIO;
            ::unlinkat(trash.info.fd, name.c_str(), 0);
            return error;
        }
        done += static_cast<std::size_t>(put);
    }
    if (int error = file.close()) {
        ::unlinkat(trash.info.fd, name.c_str(), 0);
        return error;
    }
    return 0;
}

int PosixFileSystem::linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                   const std::string& trashName) {
    return ::linkat(folder.handle.fd, name.c_str(), trash.files.fd, trashName.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                   const std::string& trashName) {
    if (::renameat2(folder.handle.fd, name.c_str(), trash.files.fd, trashName.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL) return errno;
    // A drive that cannot refuse in the rename itself keeps no links either (this is called
    // where a link failed): exFAT and FAT through FUSE. The name in the Trash is the one its
    // info file, made before and never over another, claimed: the Trash's own rule, which
    // every program that puts files there keeps.
    return ::renameat(folder.handle.fd, name.c_str(), trash.files.fd, trashName.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystem::moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                                    const std::string& name) {
    if (::renameat2(trash.files.fd, trashName.c_str(), folder.handle.fd, name.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL) return errno;
    // Only on a drive that takes no such rename, and only to undo a replacement whose naming
    // failed: the one place a name is looked at before a rename. What appeared meanwhile stays,
    // and the older file in the Trash.
    struct stat there;
    if (::fstatat(folder.handle.fd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return ::renameat(trash.files.fd, trashName.c_str(), folder.handle.fd, name.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystem::setTrashFileModified(TrashCan& trash, const std::string& name, FileTime modified) {
    if (!modified.known()) return EINVAL;
    struct timespec times[2];
    newTimes(modified, times);
    return ::utimensat(trash.files.fd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int PosixFileSystem::removeTrashFile(TrashCan& trash, const std::string& name) {
    return ::unlinkat(trash.files.fd, name.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::removeTrashInfo(TrashCan& trash, const std::string& name) {
    return ::unlinkat(trash.info.fd, name.c_str(), 0) == 0 ? 0 : errno;
}

int PosixFileSystem::syncTrash(TrashCan& trash) {
    if (::fsync(trash.info.fd) != 0) return errno;
    return ::fsync(trash.files.fd) == 0 ? 0 : errno;
}

} // namespace quellomir
