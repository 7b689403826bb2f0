#include "support/sync_fixture.h"

#include "compare/compare_run.h"
#include "files/code_page.h"
#include "support/recording_report.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace quellomir::testing {
namespace {

struct stat lstatOf(const std::string& path) {
    struct stat facts;
    if (::lstat(path.c_str(), &facts) != 0) throw std::system_error(errno, std::generic_category(), path);
    return facts;
}

} // namespace

std::string contentsOf(const std::string& path) {
    // In large reads: the crash replay and the torture run read every file of many trees,
    // and a stream's 8 KB reads made most of their system time.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot read " + path);
    struct stat facts;
    std::string bytes(
        ::fstat(fd, &facts) == 0 && facts.st_size > 0 ? std::size_t(facts.st_size) + 1 : 1 << 16, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t read = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (read < 0 && errno == EINTR) continue;
        // A folder opens but cannot be read: it holds no bytes, as a stream found.
        if (read <= 0) break;
        got += std::size_t(read);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

FileTime timeOf(const std::string& path) {
    const struct stat facts = lstatOf(path);
    return {facts.st_mtim.tv_sec, static_cast<std::int32_t>(facts.st_mtim.tv_nsec)};
}

std::uint32_t modeOf(const std::string& path) {
    return lstatOf(path).st_mode & 07777;
}

bool exists(const std::string& path) {
    struct stat facts;
    return ::lstat(path.c_str(), &facts) == 0;
}

void setTime(const std::string& path, FileTime time) {
    // The access time goes with it: exFAT through FUSE takes a last-write time set alone for
    // "now", and ignores one set alone after that.
    const struct timespec times[2] = {{0, UTIME_NOW}, {time.seconds, time.nanoseconds}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::system_error(errno, std::generic_category(), path);
}

std::string withTime(std::string path, FileTime time) {
    setTime(path, time);
    return path;
}

void setMode(const std::string& path, std::uint32_t mode) {
    if (::chmod(path.c_str(), mode) != 0) throw std::system_error(errno, std::generic_category(), path);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) throw std::system_error(errno, std::generic_category(), folder);
    while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> temporaryNamesIn(const std::string& folder) {
    std::vector<std::string> names = namesIn(folder);
    std::erase_if(names, [](const std::string& name) { return name.empty() || name[0] != '~'; });
    return names;
}

Plan comparePlan(FileSystem& fs, const std::string& folder1, const std::string& folder2, UnreadParts* unread,
                 Pairing pairing, Exclusions exclusions) {
    RecordingReport report;
    NumberedHandler handler(report, CompareRunLocation);
    const CodePage codePage;
    NoYield noYield;
    std::size_t listed = 0;
    // One thread: the wrappers of the tests count and fail calls in the order they come.
    CompareContext context{fs, codePage, report, noYield, listed, 0, unread, pairing};
    context.exclusions = std::move(exclusions);
    Plan plan = compareFolders(
        handler, [&] { return folder1; }, [&] { return folder2; }, context);
    if (!report.entries.empty())
        throw std::runtime_error("the comparison reported: " + report.entries.front().description);
    return plan;
}

std::vector<std::string> rowTexts(const Plan& plan) {
    std::vector<std::string> texts;
    for (std::size_t row = 0; row < plan.size(); ++row)
        texts.push_back(plan.sourceText(row) + "|" + plan.actionText(row) + "|" + plan.destinationText(row));
    return texts;
}

} // namespace quellomir::testing
