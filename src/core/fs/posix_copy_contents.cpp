#include "fs/drive_kinds.h"
#include "fs/posix_copy.h"

#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>

namespace quellomir {
namespace {

// The errors with which copy_file_range and sendfile say "not between these two
// files", as opposed to a real failure of the disk.
bool cannotUseHere(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

using Way = PosixFileSystem::CopyWay;

Way nextWay(Way way) {
    return way == Way::KernelRange ? Way::Sendfile : Way::ReadWrite;
}

// Copies up to `length` bytes from offset `at` of one file to the same offset of the other;
// the byte count, or -1 and errno. Every way is told its offsets rather than trusting the
// files' own: looking for data and holes moves the source's offset.
ssize_t copyPiece(Way way, int from, int to, off_t at, std::size_t length, std::unique_ptr<char[]>& buffer) {
    if (way == Way::KernelRange) {
        off_t in = at;
        off_t out = at;
        return ::copy_file_range(from, &in, to, &out, length, 0);
    }
    if (way == Way::Sendfile) {
        // sendfile writes where the destination's offset is.
        if (::lseek(to, at, SEEK_SET) < 0) return -1;
        off_t in = at;
        return ::sendfile(to, from, &in, length);
    }
    constexpr std::size_t BufferSize = 256 * 1024;
    if (!buffer) buffer = std::make_unique<char[]>(BufferSize);
    const ssize_t got = ::pread(from, buffer.get(), std::min(length, BufferSize), at);
    if (got <= 0) return got;
    for (ssize_t done = 0; done < got;) {
        const ssize_t put =
            ::pwrite(to, buffer.get() + done, static_cast<std::size_t>(got - done), at + done);
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

constexpr off_t Unbounded = std::numeric_limits<off_t>::max();

// Copies `length` bytes (or up to the end, when Unbounded) from offset `at` of one file to the same offset of
// the other, handing the window its turn after every piece; `way` is the one that worked so far.
int copyRange(int from, int to, off_t at, off_t length, Way& way, std::unique_ptr<char[]>& buffer,
              const FileSystem::CopyProgress& progress) {
    off_t done = 0;
    off_t lastTurn = 0;
    while (done < length) {
        const auto want = static_cast<std::size_t>(std::min<off_t>(length - done, PieceSize));
        ssize_t moved = copyPiece(way, from, to, at + done, want, buffer);
        if (moved < 0) {
            if (errno == EINTR) continue;
            // A way is only given up before it moved a byte of this range, so the next one
            // starts where this one did.
            if (done == 0 && way != Way::ReadWrite && cannotUseHere(errno)) {
                way = nextWay(way);
                continue;
            }
            return errno;
        }
        if (moved == 0) {
            // Some file systems (/proc, /sys and a few network ones) answer a kernel copy
            // with "nothing" although the file has contents.
            if (done == 0 && length != Unbounded && way != Way::ReadWrite) {
                way = nextWay(way);
                continue;
            }
            break; // the source is shorter than it was: the look after the copy tells
        }
        done += moved;
        if (done - lastTurn >= static_cast<off_t>(PieceSize)) {
            const off_t copied = done - lastTurn;
            lastTurn = done;
            if (progress) progress(copied);
        }
    }
    return 0;
}

// A file whose blocks hold less than its size has holes.
bool hasHoles(const struct stat& s) {
    return s.st_size > 0 && static_cast<off_t>(s.st_blocks) * 512 < s.st_size;
}

// Copies the parts of the source that hold data and leaves its holes holes, as
// "cp --sparse=auto" does: a 2 GB disk image with 1 MB in it takes 1 MB of the drive.
int copyWithHoles(int from, int to, off_t size, Way& way, std::unique_ptr<char[]>& buffer,
                  const FileSystem::CopyProgress& progress) {
    for (off_t at = 0; at < size;) {
        const off_t data = ::lseek(from, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break; // only a hole is left
            return errno;
        }
        if (data >= size) break;
        off_t hole = ::lseek(from, data, SEEK_HOLE);
        if (hole < 0) return errno;
        hole = std::min(hole, size);
        if (int error = copyRange(from, to, data, hole - data, way, buffer, progress)) return error;
        at = hole;
    }
    return ::ftruncate(to, size) == 0 ? 0 : errno;
}

bool holesKeptOn(int to) {
    struct statfs facts;
    return ::fstatfs(to, &facts) == 0 && keepsHoles(static_cast<std::uint64_t>(facts.f_type));
}

} // namespace

// The size the source had when it was opened is all there is to copy, without a call to find
// the end; should it grow or shrink meanwhile, the look at the source after the copy tells.
int posix::copyContents(int from, int to, const struct stat& source, const FileSystem::CopyProgress& progress,
                        PosixFileSystem::CopyWay firstWay) {
    Way way = firstWay;
    std::unique_ptr<char[]> buffer;
    if (hasHoles(source) && holesKeptOn(to)) {
        const int error = copyWithHoles(from, to, source.st_size, way, buffer, progress);
        // A file system that cannot tell where the data is gets a plain copy.
        if (error != EINVAL && error != ENOTSUP && error != EOPNOTSUPP) return error;
        if (::ftruncate(to, 0) != 0) return errno;
    }
    // A file that says it is empty may still give contents when read (some kernel files).
    return copyRange(from, to, 0, source.st_size > 0 ? source.st_size : Unbounded, way, buffer, progress);
}

} // namespace quellomir
