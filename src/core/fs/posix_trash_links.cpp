#include "fs/posix_file_system.h"

#include "fs/posix_facts.h"
#include "fs/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

namespace quellomir {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The original path an info file records, as a path to stat; empty when it cannot be read.
std::string recordedPath(int info, const std::string& name, const TrashCan& trash) {
    UniqueFd file(
        ::openat(info, (name + ".trashinfo").c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) return {};
    char text[8192];
    const ssize_t got = ::read(file.get(), text, sizeof text);
    if (got <= 0) return {};
    const std::string_view contents(text, static_cast<std::size_t>(got));
    const std::size_t key = contents.find("\nPath=");
    if (key == std::string_view::npos) return {};
    const std::size_t start = key + 6;
    const std::string path = percentDecoded(contents.substr(start, contents.find('\n', start) - start));
    if (path.empty() || path.front() == '/') return path;
    if (trash.topdir.empty()) return {};
    return trash.topdir == "/" ? "/" + path : trash.topdir + "/" + path;
}

} // namespace

int PosixFileSystem::findLiveTrashLinks(TrashCan& trash, std::vector<std::string>& names) {
    posix::Listing listing(nullptr, ::closedir);
    if (int error = posix::listOpenFolder(trash.files.fd, listing)) return error;
    DIR* dir = listing.get();
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        // Only a file with a second link can be one; a file moved into the Trash has one.
        struct stat kept;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
        if (::fstatat(trash.files.fd, entry->d_name, &kept, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(kept.st_mode) || kept.st_nlink < 2)
            continue;
        const std::string path = recordedPath(trash.info.fd, entry->d_name, trash);
        struct stat live;
        if (!path.empty() && ::lstat(path.c_str(), &live) == 0 && live.st_dev == kept.st_dev &&
            live.st_ino == kept.st_ino)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    return errno;
}

} // namespace quellomir
