#include "files/process_facts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <string_view>

namespace quellomir {
namespace {

// When process `pid` started, in clock ticks after boot (field 22 of /proc/PID/stat); 0 when
// it does not run; UINT64_MAX when that cannot be told.
std::uint64_t processStart(unsigned long pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lu/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : UINT64_MAX;
    char text[1024];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) return UINT64_MAX;
    const std::string_view line(text, static_cast<std::size_t>(got));
    // The command name in parentheses may hold blanks and parentheses of its own.
    const std::size_t close = line.rfind(')');
    if (close == std::string_view::npos) return UINT64_MAX;
    std::size_t at = close + 1;
    for (int field = 3; field <= 22; ++field) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string_view::npos) return UINT64_MAX;
        if (field == 22) {
            std::uint64_t start = 0;
            std::from_chars(line.data() + at, line.data() + line.size(), start);
            return start;
        }
        at = line.find(' ', at);
    }
    return UINT64_MAX;
}

} // namespace

// The kernel's own id of this boot.
std::string readBootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    if (!(in >> id) || id.size() < 8) return "0";
    return id.substr(0, 8);
}

unsigned long ownProcessId() {
    return static_cast<unsigned long>(::getpid());
}

std::uint64_t readOwnStart() {
    return processStart(ownProcessId());
}

} // namespace quellomir
