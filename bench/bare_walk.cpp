#include "bare_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace quellomir::bench {

Measured bareWalk(const std::string& root) {
    Measured result;
    struct timespec start = now();
    std::vector<std::string> folders{root};
    constexpr std::size_t BufferSize = 32 * 1024;
    auto buffer = std::make_unique<char[]>(BufferSize);
    while (!folders.empty()) {
        std::string folder = std::move(folders.back());
        folders.pop_back();
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        ++result.folders;
        ssize_t filled;
        while ((filled = ::getdents64(fd, buffer.get(), BufferSize)) > 0) {
            for (ssize_t offset = 0; offset < filled;) {
                auto* entry = reinterpret_cast<struct dirent64*>(buffer.get() + offset);
                offset += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                if (entry->d_type == DT_DIR) {
                    folders.push_back(folder + '/' + name);
                    continue;
                }
                struct stat facts;
                if (::fstatat(fd, name, &facts, 0) == 0 && S_ISREG(facts.st_mode)) ++result.files;
            }
        }
        ::close(fd);
    }
    result.seconds = secondsSince(start);
    return result;
}

} // namespace quellomir::bench
