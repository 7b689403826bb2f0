#include "fs/posix_file_system.h"

#include "fs/unique_fd.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

namespace quellomir {
namespace {

// The errors with which copy_file_range and sendfile say "not between these two
// files", as opposed to a real failure of the disk.
bool cannotUseHere(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

int copyByKernel(int from, int to, bool& unsupported) {
    for (bool first = true;; first = false) {
        ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0) return 0;
        if (copied < 0) {
            if (errno == EINTR) continue;
            unsupported = first && cannotUseHere(errno);
            return errno;
        }
    }
}

int copyBySendfile(int from, int to, bool& unsupported) {
    for (bool first = true;; first = false) {
        ssize_t copied = ::sendfile(to, from, nullptr, 1 << 30);
        if (copied == 0) return 0;
        if (copied < 0) {
            if (errno == EINTR) continue;
            unsupported = first && cannotUseHere(errno);
            return errno;
        }
    }
}

int copyByReading(int from, int to) {
    constexpr std::size_t Size = 256 * 1024;
    auto buffer = std::make_unique<char[]>(Size);
    for (;;) {
        ssize_t got = ::read(from, buffer.get(), Size);
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t done = 0; done < got;) {
            ssize_t put = ::write(to, buffer.get() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            done += put;
        }
    }
}

// Each way starts where the failed one left the two file offsets, which is at the
// start: a way is only given up before it moved a byte.
int copyContents(int from, int to) {
    bool unsupported = false;
    int error = copyByKernel(from, to, unsupported);
    if (!unsupported) return error;
    unsupported = false;
    error = copyBySendfile(from, to, unsupported);
    if (!unsupported) return error;
    return copyByReading(from, to);
}

std::string temporaryName(const std::string& folder, unsigned attempt) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    char name[64];
    std::snprintf(name, sizeof name, ".quellomir-%x-%lx-%x.tmp", static_cast<unsigned>(::getpid()),
                  static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(now.tv_sec), attempt);
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path + name;
}

} // namespace

int PosixFileSystem::copyToTemporary(const std::string& source, const std::string& folder,
                                     std::string& created) {
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

    std::string path;
    UniqueFd to;
    for (unsigned attempt = 0; !to.valid(); ++attempt) {
        path = temporaryName(folder, attempt);
        to.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!to.valid() && (errno != EEXIST || attempt == 100)) return errno;
    }
    int error = copyContents(from.get(), to.get());
    if (error == 0) error = to.close();
    if (error != 0) {
        to.reset();
        ::unlink(path.c_str());
        return error;
    }
    created = std::move(path);
    return 0;
}

} // namespace quellomir
