#include "fs/posix_copy.h"
#include "fs/posix_file_system.h"
#include "fs/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quellomir {
namespace {

int copyOpenFile(int from, const struct stat& source, int to) {
    if (int error = posix::copyContents(from, to, source, {})) return error;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::futimens(to, times) != 0) return errno;
    // Drives without permission bits of their own refuse them; the copy is kept all the same.
    if (::fchmod(to, source.st_mode & 07777) != 0 && errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return errno;
    return ::fsync(to) == 0 ? 0 : errno;
}

} // namespace

int PosixFileSystem::copyIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                   const std::string& trashName) {
    UniqueFd from(
        ::openat(folder.handle.fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!from.valid()) return errno;
    struct stat source;
    if (::fstat(from.get(), &source) != 0) return errno;
    if (!S_ISREG(source.st_mode)) return EINVAL;
    if (trash.device == folder.device)
        return copyBesideThenMove(from.get(), source, folder, trash, trashName);
    UniqueFd to(::openat(trash.files.fd, trashName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!to.valid()) return errno;
    int error = copyOpenFile(from.get(), source, to.get());
    if (error == 0) error = to.close();
    if (error == 0) error = syncTrash(trash);
    if (error != 0) ::unlinkat(trash.files.fd, trashName.c_str(), 0);
    return error;
}

int PosixFileSystem::copyBesideThenMove(int from, const struct stat& source, WriteFolder& folder,
                                        TrashCan& trash, const std::string& trashName) {
    // Made under a "~" name beside the file and moved into the Trash once complete: a run
    // killed meanwhile leaves a "~" file that the next run removes, never a torn file in the
    // Trash that looks like a version the user had.
    UniqueFd to;
    std::string temporary;
    if (int error =
            posix::createTemporaryFile(folder.handle.fd, temporaryNameFormOf(folder), 0600, to, temporary))
        return error;
    int error = copyOpenFile(from, source, to.get());
    if (error == 0) error = to.close();
    if (error == 0) error = moveIntoTrash(folder, temporary, trash, trashName);
    if (error != 0) {
        ::unlinkat(folder.handle.fd, temporary.c_str(), 0);
        return error;
    }
    return syncTrash(trash);
}

} // namespace quellomir
