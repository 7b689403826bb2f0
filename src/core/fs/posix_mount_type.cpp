#include "fs/mount_table.h"
#include "fs/posix_file_system.h"
#include "fs/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quellomir {

int PosixFileSystem::mountType(const std::string& path, std::string& type) {
    struct statx s;
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &s) != 0) return errno;
    if (!(s.stx_mask & STATX_MNT_ID)) return ENOTSUP; // a kernel before 5.8
    UniqueFd table(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (!table.valid()) return errno;
    std::string text;
    char buffer[16 * 1024];
    for (ssize_t got; (got = ::read(table.get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0) return errno;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    const std::optional<std::string> found = mountTypeById(text, s.stx_mnt_id);
    if (!found) return ENOENT;
    type = *found;
    return 0;
}

} // namespace quellomir
