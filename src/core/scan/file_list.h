#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quellomir {

// A last-write time as the file system gives it. Nanoseconds of -1 mean that the time
// could not be read (a file that vanished between the listing and the stat).
struct FileTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = -1;

    bool known() const { return nanoseconds >= 0; }
    // Whole seconds, rounded to the nearest; seconds are the floor, so this holds for
    // times before 1970 as well.
    std::int64_t roundedSeconds() const { return seconds + (nanoseconds >= 500'000'000 ? 1 : 0); }
};

struct ListedFile {
    std::string name;
    std::uint32_t folder = 0; // index into FileList::folders
    FileTime modified;
};

// The files of one side of a comparison, in listing order. Each file names its folder
// by index, so a million files do not carry a million copies of their folder paths.
struct FileList {
    std::vector<std::string> folders; // folder paths as the scan gives them, ending with '/'
    std::vector<ListedFile> files;

    // The full path: the folder without its trailing separator, a separator, the name.
    std::string path(std::size_t file) const { return folders[files[file].folder] + files[file].name; }
};

} // namespace quellomir
