#include "tree_generator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace quellomir::bench {
namespace {

// splitmix64: tiny, and the same numbers from the same seed on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
    bool chance(double share) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < share; }

  private:
    std::uint64_t m_state;
};

void check(bool ok, const std::string& path) {
    if (!ok) throw std::system_error(errno, std::generic_category(), path);
}

struct Folder {
    std::string path; // relative, ending with '/'
    std::uint64_t depth;
};

// Names of the lengths one meets in home folders: short ones, camera names, long
// document titles.
std::string uniqueName(std::uint64_t index, Random& random) {
    char name[96];
    switch (random.below(4)) {
    case 0:
        std::snprintf(name, sizeof name, "%llu.txt", static_cast<unsigned long long>(index));
        break;
    case 1:
        std::snprintf(name, sizeof name, "IMG_2019%04llu_%06llu.jpg",
                      static_cast<unsigned long long>(index % 1231), static_cast<unsigned long long>(index));
        break;
    case 2:
        std::snprintf(name, sizeof name, "notes-%llu.md", static_cast<unsigned long long>(index));
        break;
    default:
        std::snprintf(name, sizeof name, "Quarterly report %llu (final version).docx",
                      static_cast<unsigned long long>(index));
    }
    return name;
}

std::string folderName(std::uint64_t index, Random& random) {
    static const char* const Stems[] = {"src", "Photos ", "project-", "Documents", "backup_", "lib"};
    return Stems[random.below(6)] + std::to_string(index);
}

// False when the name was drawn twice for one folder and the file is there already.
bool writeFile(const std::string& path, std::uint64_t bytes, std::uint64_t seconds, std::uint32_t nanoseconds,
               std::uint64_t contentSeed) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) return false;
    check(fd >= 0, path);
    if (bytes > 0) {
        std::vector<char> contents(bytes);
        Random random(contentSeed);
        for (char& c : contents)
            c = static_cast<char>('a' + random.below(26));
        check(::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size()), path);
    }
    const struct timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds},
                                      {static_cast<time_t>(seconds), nanoseconds}};
    check(::futimens(fd, times) == 0, path);
    check(::close(fd) == 0, path);
    return true;
}

} // namespace

GeneratedTrees generateTrees(const std::string& out, const TreeShape& shape) {
    Random random(shape.seed);
    const std::string sides[2] = {out + "/side1/", out + "/side2/"};
    ::mkdir(out.c_str(), 0755);

    std::vector<Folder> folders{{"", 0}};
    std::vector<std::uint64_t> open{0}; // folders that may still have children
    for (std::uint64_t i = 1; i < std::max<std::uint64_t>(shape.folders, 1); ++i) {
        const Folder& parent = folders[open[random.below(open.size())]];
        folders.push_back({parent.path + folderName(i, random) + "/", parent.depth + 1});
        if (folders.back().depth < shape.depth) open.push_back(folders.size() - 1);
    }
    for (const std::string& side : sides)
        for (const Folder& folder : folders) {
            std::string path = side + folder.path;
            check(::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST, path);
        }

    GeneratedTrees made;
    made.folders = folders.size();
    const std::uint64_t commonNames = std::max<std::uint64_t>(1, shape.files * shape.repeated / 8);
    for (std::uint64_t i = 0; i < shape.files; ++i) {
        const Folder& folder = folders[random.below(folders.size())];
        std::string name = random.chance(shape.repeated)
                               ? "common-" + std::to_string(random.below(commonNames)) + ".txt"
                               : uniqueName(i, random);
        std::uint64_t seconds = 1'500'000'000 + random.below(100'000'000);
        auto nanoseconds = static_cast<std::uint32_t>(random.below(1'000'000'000));
        bool missing = random.chance(shape.missing);
        bool newer = random.chance(shape.newer);
        if (!writeFile(sides[0] + folder.path + name, shape.bytes, seconds, nanoseconds, i)) {
            // A recurring name drawn twice for one folder: this file gets a name of its own.
            name = "again-" + uniqueName(i, random);
            if (!writeFile(sides[0] + folder.path + name, shape.bytes, seconds, nanoseconds, i)) continue;
        }
        ++made.side1Files;
        if (missing) continue;
        writeFile(sides[1] + folder.path + name, shape.bytes, newer ? seconds + 3'600 : seconds, nanoseconds,
                  i);
        ++made.side2Files;
    }
    const auto extras = static_cast<std::uint64_t>(static_cast<double>(shape.files) * shape.extra);
    for (std::uint64_t i = 0; i < extras; ++i) {
        const Folder& folder = folders[random.below(folders.size())];
        if (writeFile(sides[1] + folder.path + "extra-" + std::to_string(i) + ".dat", shape.bytes,
                      1'600'000'000 + random.below(10'000'000), 0, shape.files + i))
            ++made.side2Files;
    }
    return made;
}

void fillWithOlderCopies(const std::string& source, const std::string& folder) {
    namespace fsys = std::filesystem;
    fsys::copy(source, folder, fsys::copy_options::recursive);
    for (const fsys::directory_entry& entry : fsys::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) {
            const fsys::path original = fsys::path(source) / fsys::relative(entry.path(), folder);
            fsys::last_write_time(entry.path(), fsys::last_write_time(original) - std::chrono::seconds(10));
        }
}

} // namespace quellomir::bench
