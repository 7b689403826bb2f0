#include "fs/posix_file_system.h"

#include "fs/listed_names.h"
#include "fs/new_times.h"
#include "fs/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quellomir {
namespace {

EntryKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::Regular;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    if (S_ISLNK(mode)) return EntryKind::Link;
    return EntryKind::Other;
}

EntryKind kindOfDirentType(unsigned char type) {
    switch (type) {
    case DT_REG:
        return EntryKind::Regular;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
        return EntryKind::Link;
    default:
        return EntryKind::Other;
    }
}

void fillFacts(const struct statx& s, FileFacts& facts) {
    facts.kind = kindOfMode(s.stx_mode);
    facts.mode = s.stx_mode & 07777;
    facts.size = static_cast<std::int64_t>(s.stx_size);
    facts.modified = {s.stx_mtime.tv_sec, static_cast<std::int32_t>(s.stx_mtime.tv_nsec)};
    facts.device = makedev(s.stx_dev_major, s.stx_dev_minor);
    facts.inode = s.stx_ino;
    facts.mountRoot = (s.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                      (s.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

constexpr unsigned FactsMask = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME;

int statAt(int dirFd, const char* name, int flags, FileFacts& facts) {
    struct statx s;
    if (::statx(dirFd, name, flags, FactsMask, &s) != 0) return errno;
    fillFacts(s, facts);
    return 0;
}

// getdents64 hands over many entries per call; 32 KiB is what glibc's readdir uses.
constexpr std::size_t ListBufferSize = 32 * 1024;

} // namespace

int PosixFileSystem::listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) {
    // O_DIRECTORY makes the open fail, without waiting, on anything but a folder, FIFOs
    // included.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (!dir.valid()) return errno;
    auto buffer = std::make_unique<char[]>(ListBufferSize);
    FolderEntry entry;
    for (;;) {
        ssize_t filled = ::getdents64(dir.get(), buffer.get(), ListBufferSize);
        if (filled == 0) return 0;
        if (filled < 0) return errno;
        for (ssize_t offset = 0; offset < filled;) {
            auto* d = reinterpret_cast<struct dirent64*>(buffer.get() + offset);
            offset += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            entry.name = std::string_view(name);
            entry.statted = false;
            entry.statError = 0;
            if (d->d_type == DT_UNKNOWN) {
                // Some file systems do not tell the kind in the listing.
                FileFacts own;
                int error = statAt(dir.get(), name, AT_SYMLINK_NOFOLLOW, own);
                if (error == ENOENT) continue; // gone since the listing
                if (error != 0) {
                    // A kind that cannot be told is nothing the program may open.
                    entry.kind = EntryKind::Other;
                    entry.statted = true;
                    entry.statError = error;
                    visit(entry);
                    continue;
                }
                entry.kind = own.kind;
            } else {
                entry.kind = kindOfDirentType(d->d_type);
            }
            if (statKinds & (1u << static_cast<unsigned>(entry.kind))) {
                entry.statted = true;
                entry.statError = statAt(dir.get(), name, 0, entry.facts);
            }
            visit(entry);
        }
    }
}

int PosixFileSystem::statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                                const EntryVisitor& visit) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
    if (!dir.valid()) return errno;
    FolderEntry entry;
    names.forEach([&](EntryKind kind, std::string_view name) {
        entry.name = name;
        entry.kind = kind;
        entry.statted = (statKinds & (1u << static_cast<unsigned>(kind))) != 0;
        entry.statError = entry.statted ? statAt(dir.get(), name.data(), 0, entry.facts) : 0;
        visit(entry);
    });
    return 0;
}

int PosixFileSystem::stat(const std::string& path, Follow follow, FileFacts& facts) {
    return statAt(AT_FDCWD, path.c_str(), follow == Follow::Yes ? 0 : AT_SYMLINK_NOFOLLOW, facts);
}

int PosixFileSystem::fileSystemType(const std::string& path, std::uint64_t& type) {
    struct statfs s;
    if (::statfs(path.c_str(), &s) != 0) return errno;
    type = static_cast<std::uint64_t>(s.f_type);
    return 0;
}

int PosixFileSystem::fatAttributes(const std::string& path, std::uint32_t& attributes) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return errno;
    __u32 value = 0;
    if (::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &value) != 0) return errno;
    attributes = value;
    return 0;
}

int PosixFileSystem::syncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return errno;
    if (::fsync(fd.get()) != 0) return errno;
    return fd.close();
}

int PosixFileSystem::syncFileSystem(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return errno;
    if (::syncfs(fd.get()) != 0) return errno;
    return fd.close();
}

int PosixFileSystem::setModified(const std::string& path, FileTime modified) {
    if (!modified.known()) return EINVAL;
    struct timespec times[2];
    newTimes(modified, times);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : errno;
}

int PosixFileSystem::unlink(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

} // namespace quellomir
