#include "support/temp_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace quellomir::testing {
namespace {

void throwIfFailed(int result, const std::string& path) {
    if (result != 0) throw std::system_error(errno, std::generic_category(), path);
}

// Removes what is in an open folder by names relative to it, so that trees deeper
// than PATH_MAX go too.
void removeContents(int folder) {
    DIR* listing = ::fdopendir(::dup(folder));
    if (!listing) return;
    while (dirent* entry = ::readdir(listing)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (entry->d_type == DT_DIR) {
            int child = ::openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                ::fchmod(child, 0700);
                removeContents(child);
                ::close(child);
            }
            ::unlinkat(folder, entry->d_name, AT_REMOVEDIR);
        } else {
            ::unlinkat(folder, entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

void makeParents(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
}

} // namespace

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quellomir-test-XXXXXX";
    throwIfFailed(::mkdtemp(pattern.data()) ? 0 : -1, pattern);
    m_path = pattern + '/';
}

TempFolder::~TempFolder() {
    std::error_code failed;
    std::filesystem::remove_all(m_path, failed);
    if (!failed) return;
    // Left-over read-only folders or a tree too deep for whole paths.
    int folder = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    removeContents(folder);
    ::close(folder);
    ::rmdir(m_path.c_str());
}

std::string TempFolder::beyondPathMax(const std::string& relative, int count) const {
    std::string path = folder(relative);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string name(200, 'd');
    // Each folder of the chain, with its trailing '/', is within PATH_MAX; the next is not.
    while (fd >= 0 && path.size() + 1 + name.size() + 1 < PATH_MAX) {
        throwIfFailed(::mkdirat(fd, name.c_str(), 0755), path + "/" + name);
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
        path += "/" + name;
    }
    for (int i = 0; i < count && fd >= 0; ++i)
        throwIfFailed(::mkdirat(fd, (name + std::to_string(i)).c_str(), 0755), path);
    ::close(fd);
    return path;
}

std::string TempFolder::folder(const std::string& relative) const {
    std::string path = m_path + relative;
    std::filesystem::create_directories(path);
    return path;
}

std::string TempFolder::file(const std::string& relative, const std::string& contents) const {
    std::string path = m_path + relative;
    makeParents(path);
    std::ofstream out(path, std::ios::binary);
    out << contents;
    if (!out.flush()) throw std::system_error(errno, std::generic_category(), path);
    return path;
}

std::string TempFolder::link(const std::string& relative, const std::string& target) const {
    std::string path = m_path + relative;
    makeParents(path);
    throwIfFailed(::symlink(target.c_str(), path.c_str()), path);
    return path;
}

std::string TempFolder::fifo(const std::string& relative) const {
    std::string path = m_path + relative;
    makeParents(path);
    throwIfFailed(::mkfifo(path.c_str(), 0600), path);
    return path;
}

} // namespace quellomir::testing
