#include "support/temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace quellomir::testing {
namespace {

void throwIfFailed(int result, const std::string& path) {
    if (result != 0) throw std::system_error(errno, std::generic_category(), path);
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
    std::error_code ignored;
    // Tests may leave read-only folders behind; give the owner rights back first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
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
