#include "fs/posix_file_system.h"

#include "fs/listed_names.h"
#include "fs/posix_facts.h"
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

using posix::statAt;

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
                int error = posix::statAt(dir.get(), name, AT_SYMLINK_NOFOLLOW, own);
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
                entry.statError = posix::statAt(dir.get(), name, 0, entry.facts);
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
        entry.statError = entry.statted ? posix::statAt(dir.get(), name.data(), 0, entry.facts) : 0;
        visit(entry);
    });
    return 0;
}

int PosixFileSystem::stat(const std::string& path, Follow follow, FileFacts& facts) {
    return posix::statAt(AT_FDCWD, path.c_str(), follow == Follow::Yes ? 0 : AT_SYMLINK_NOFOLLOW, facts);
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

} // namespace quellomir
