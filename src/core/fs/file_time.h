#pragma once

#include <cstdint>

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
    FileTime roundedToSecond() const { return {roundedSeconds(), 0}; }
    // The same time to the nanosecond (two unknown times as well).
    bool operator==(const FileTime&) const = default;
};

} // namespace quellomir
