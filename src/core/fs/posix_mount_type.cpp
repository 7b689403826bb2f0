#include "fs/mount_table.h"
#include "fs/posix_file_system.h"
#include "fs/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

namespace quellomir {
namespace {

// A text file of the kernel's or udev's, whole; the errno where it cannot be read.
int readText(const std::string& path, std::string& text) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return errno;
    char buffer[16 * 1024];
    for (ssize_t got; (got = ::read(file.get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0) return errno;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return 0;
}

// The rest of the line that begins with `line` ("DEVNAME=", "E:ID_FS_TYPE=").
std::string valueOf(const std::string& text, const std::string& line) {
    const std::size_t at = text.find(line);
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return {};
    const std::size_t from = at + line.size();
    return text.substr(from, text.find('\n', from) - from);
}

// exfat-fuse and ntfs-3g mount as a bare "fuseblk": what lies on the block device says which
// it is, from its first sector where it can be read (root, or the disk group), else from
// what udev found there when the device appeared.
std::string fileSystemOnDevice(unsigned major, unsigned minor) {
    const std::string numbers = std::to_string(major) + ":" + std::to_string(minor);
    if (std::string uevent; readText("/sys/dev/block/" + numbers + "/uevent", uevent) == 0) {
        const std::string name = valueOf(uevent, "DEVNAME=");
        UniqueFd device;
        if (!name.empty() && name.find("..") == std::string::npos)
            device = UniqueFd(::open(("/dev/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        char sector[512];
        // The device must still be the one mounted, not a node made anew meanwhile.
        struct stat opened;
        if (device.valid() && ::fstat(device.get(), &opened) == 0 && S_ISBLK(opened.st_mode) &&
            ::major(opened.st_rdev) == major && ::minor(opened.st_rdev) == minor &&
            ::pread(device.get(), sector, sizeof sector, 0) == ssize_t(sizeof sector))
            return fileSystemOfFirstSector(std::string_view(sector, sizeof sector));
    }
    if (std::string found; readText("/run/udev/data/b" + numbers, found) == 0)
        return valueOf(found, "E:ID_FS_TYPE=");
    return {};
}

} // namespace

int PosixFileSystem::mountType(const std::string& path, std::string& type) {
    struct statx s;
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &s) != 0) return errno;
    if (!(s.stx_mask & STATX_MNT_ID)) return ENOTSUP; // a kernel before 5.8
    std::string text;
    if (int error = readText("/proc/self/mountinfo", text)) return error;
    const std::optional<std::string> found = mountTypeById(text, s.stx_mnt_id);
    if (!found) return ENOENT;
    type = *found;
    if (type == "fuseblk") {
        const std::string fileSystem = fileSystemOnDevice(s.stx_dev_major, s.stx_dev_minor);
        if (!fileSystem.empty()) type += "." + fileSystem;
    }
    return 0;
}

} // namespace quellomir
