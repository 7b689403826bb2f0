#include "fs/posix_file_system.h"

#include "fs/new_times.h"
#include "fs/unique_fd.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

namespace quellomir {
namespace {

// The errors with which copy_file_range and sendfile say "not between these two
// files", as opposed to a real failure of the disk.
bool cannotUseHere(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

enum class Way { KernelRange, Sendfile, ReadWrite };

Way nextWay(Way way) {
    return way == Way::KernelRange ? Way::Sendfile : Way::ReadWrite;
}

// Copies up to `length` bytes from the current offsets; the byte count, or -1 and errno.
ssize_t copyPiece(Way way, int from, int to, std::size_t length, std::unique_ptr<char[]>& buffer) {
    if (way == Way::KernelRange) return ::copy_file_range(from, nullptr, to, nullptr, length, 0);
    if (way == Way::Sendfile) return ::sendfile(to, from, nullptr, length);
    constexpr std::size_t BufferSize = 256 * 1024;
    if (!buffer) buffer = std::make_unique<char[]>(BufferSize);
    ssize_t got = ::read(from, buffer.get(), BufferSize);
    if (got <= 0) return got;
    for (ssize_t done = 0; done < got;) {
        ssize_t put = ::write(to, buffer.get() + done, static_cast<std::size_t>(got - done));
        if (put < 0 && errno != EINTR) return -1;
        if (put == 0) { // never for a regular file; no endless loop should it happen
            errno = EIO;
            return -1;
        }
        if (put > 0) done += put;
    }
    return got;
}

// The data goes in pieces of this size; after each, the window gets its turn.
//
// Nothing asks the kernel to write a piece to the disk early (sync_file_range): that makes
// the copying thread do the writing, and large copies measured 15-30 % slower with it. It
// would only overlap the writing with the copying into memory, which is short beside the
// writing itself on any real drive; the flush at the end of the run writes it all, and on
// a slow drive the kernel starts writing on its own once enough is waiting.
constexpr std::size_t PieceSize = 8 * 1024 * 1024;

int copyContents(int from, int to, std::int64_t expectedSize, const FileSystem::CopyProgress& progress) {
    Way way = Way::KernelRange;
    std::unique_ptr<char[]> buffer;
    off_t done = 0;
    off_t lastTurn = 0;
    for (;;) {
        ssize_t moved = copyPiece(way, from, to, PieceSize, buffer);
        if (moved < 0) {
            if (errno == EINTR) continue;
            // A way is only given up before it moved a byte, so the next one starts
            // where this one did: at the start of both files.
            if (done == 0 && way != Way::ReadWrite && cannotUseHere(errno)) {
                way = nextWay(way);
                continue;
            }
            return errno;
        }
        if (moved == 0) {
            // Some file systems (/proc, /sys and a few network ones) answer a kernel copy
            // with "nothing" although the file has contents.
            if (done == 0 && expectedSize > 0 && way != Way::ReadWrite) {
                way = nextWay(way);
                continue;
            }
            break;
        }
        done += moved;
        // The size the source had when it was opened is all there is to copy, without a call
        // to find the end. Should it have grown since, it also has a newer time than the one
        // the copy carries, and the next comparison plans it again.
        if (expectedSize > 0 && done >= expectedSize) break;
        if (done - lastTurn >= static_cast<off_t>(PieceSize)) {
            lastTurn = done;
            if (progress) progress();
        }
    }
    return 0;
}

FileFacts factsOf(const struct stat& s) {
    FileFacts facts;
    facts.kind = EntryKind::Regular; // the only kind that is copied
    facts.mode = s.st_mode & 07777;
    facts.size = s.st_size;
    facts.modified = {s.st_mtim.tv_sec, static_cast<std::int32_t>(s.st_mtim.tv_nsec)};
    facts.device = s.st_dev;
    facts.inode = s.st_ino;
    return facts;
}

std::string temporaryName(const std::string& folder, unsigned attempt) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    char name[64];
    std::snprintf(name, sizeof name, "~quellomir-%x-%lx-%x.tmp", static_cast<unsigned>(::getpid()),
                  static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(now.tv_sec), attempt);
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path + name;
}

// How many fresh "~" names are tried before giving up: a clash needs the same process, the
// same nanosecond and a leftover of an earlier run.
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

int linkUnnamed(int fd, const std::string& path) {
    const LinkWay way = linkWay.load(std::memory_order_relaxed);
    if (way != LinkWay::Proc) {
        if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
            linkWay.store(LinkWay::Descriptor, std::memory_order_relaxed);
            return 0;
        }
        // ENOENT is also how a kernel says "not allowed" here.
        if (errno != ENOENT || way == LinkWay::Descriptor) return errno;
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
    linkWay.store(LinkWay::Proc, std::memory_order_relaxed);
    return 0;
}

// The errors with which a file system says that it cannot make a file without a name
// (EISDIR from kernels that do not know how).
bool cannotMakeUnnamed(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Opens a new file in `folder` for writing, with the permission bits `mode` as the umask
// lets them be: one without a name where the file system can make it, else one under a
// fresh "~" name, which `temporaryPath` then holds.
int createNewFile(const std::string& folder, bool unnamed, mode_t mode, UniqueFd& fd,
                  std::string& temporaryPath) {
    if (unnamed && canNameUnnamed()) {
        fd.reset(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (fd.valid()) return 0;
        if (!cannotMakeUnnamed(errno)) return errno;
    }
    for (unsigned attempt = 0;; ++attempt) {
        std::string path = temporaryName(folder, attempt);
        fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (fd.valid()) {
            temporaryPath = std::move(path);
            return 0;
        }
        if (errno != EEXIST || attempt == NameAttempts) return errno;
    }
}

// Gives an open file without a name a fresh "~" name in its folder.
int linkTemporaryName(NewFile& file) {
    for (unsigned attempt = 0;; ++attempt) {
        std::string path = temporaryName(file.folder, attempt);
        const int error = linkUnnamed(file.handle, path);
        if (error == 0) {
            file.temporaryPath = std::move(path);
            return 0;
        }
        if (error != EEXIST || attempt == NameAttempts) return error;
    }
}

int closeHandle(NewFile& file) {
    if (file.handle < 0) return 0;
    return ::close(std::exchange(file.handle, -1)) == 0 ? 0 : errno;
}

} // namespace

int PosixFileSystem::copyToNewFile(const std::string& source, const std::string& folder, NewFile& made,
                                   const CopyProgress& progress) {
    // Look before opening: opening a FIFO or a device can block or have effects.
    struct stat before;
    if (::stat(source.c_str(), &before) != 0) return errno;
    if (S_ISDIR(before.st_mode)) return EISDIR;
    if (!S_ISREG(before.st_mode)) return EINVAL;
    UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!from.valid()) return errno;
    struct stat opened;
    if (::fstat(from.get(), &opened) != 0) return errno;
    if (!S_ISREG(opened.st_mode)) return EINVAL; // swapped between the look and the open

    UniqueFd to;
    std::string temporaryPath;
    // With the source's permission bits from the start, the mode mostly needs no call of
    // its own afterwards; nobody sees the file before it is complete anyway, or only
    // under a "~" name that no comparison lists.
    if (int error = createNewFile(folder, m_unnamedNewFiles, opened.st_mode & 0777, to, temporaryPath))
        return error;
    // From here the new file is `made`'s: a failure removes it below, an exception from
    // `progress` when `made` goes out of scope.
    made.owner = this;
    made.handle = to.release();
    made.folder = folder;
    made.temporaryPath = std::move(temporaryPath);
    struct stat madeFacts;
    int error = ::fstat(made.handle, &madeFacts) == 0 ? 0 : errno;
    if (error == 0) error = copyContents(from.get(), made.handle, opened.st_size, progress);
    if (error != 0) {
        discardNewFile(made);
        return error;
    }
    made.source = factsOf(opened);
    made.mode = madeFacts.st_mode & 07777;
    made.device = madeFacts.st_dev;
    made.inode = madeFacts.st_ino;
    return 0;
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

int PosixFileSystem::nameNewFile(NewFile& file, const std::string& destination, Replace replace) {
    if (file.temporaryPath.empty()) {
        if (replace == Replace::No) {
            // A link is never made over anything that is there, a dangling link included.
            if (int error = linkUnnamed(file.handle, destination)) return error;
            file.owner = nullptr;
            // Local file systems, the only ones with files without names, fail no close.
            return closeHandle(file);
        }
        // Only a rename replaces a file in one step, and a rename needs a name to start from.
        if (int error = linkTemporaryName(file)) return error;
    }
    // A network file system may report a write that failed only when the file is closed:
    // that has to be known before the file takes the destination's name.
    if (int error = closeHandle(file)) return error;
    const unsigned flags = replace == Replace::No ? RENAME_NOREPLACE : 0;
    if (::renameat2(AT_FDCWD, file.temporaryPath.c_str(), AT_FDCWD, destination.c_str(), flags) != 0)
        return errno;
    file.temporaryPath.clear();
    file.owner = nullptr;
    return 0;
}

int PosixFileSystem::discardNewFile(NewFile& file) {
    closeHandle(file); // nothing of a file that is removed is wanted any more
    int error = 0;
    if (!file.temporaryPath.empty() && ::unlink(file.temporaryPath.c_str()) != 0) error = errno;
    file.temporaryPath.clear();
    file.owner = nullptr;
    return error;
}

} // namespace quellomir
