#pragma once

#include "scan/file_list.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace quellomir::testing {

struct PathAndTime {
    std::string path; // a full path: folder, separator, name
    FileTime modified;
    std::uint64_t size = 0;
};

// A file list as the listing would give it, from full paths in listing order.
FileList fileList(std::initializer_list<PathAndTime> files);

// A time on one fixed day, to the nanosecond.
FileTime timeOfDay(int hours, int minutes, int seconds, std::int32_t nanoseconds = 0);

// A time that could not be read.
inline constexpr FileTime UnknownTime{};

} // namespace quellomir::testing
