#pragma once

#include "fs/file_time.h"

#include <compare>
#include <cstdint>

namespace quellomir {

// How far apart two last-write times may be and still count as equal. FAT keeps a time
// in local time and to two seconds, so a pair with a file on FAT is equal within 2
// seconds, and also one hour apart give or take 2 seconds when both have the same size:
// a change of daylight-saving time, or a stick written in another time zone, moves every
// time on it by an hour, but a file saved again an hour later mostly has another size.
enum class TimeRule : std::uint8_t { SecondExact, FatTolerant };

// Orders two last-write times as the rules see them: whole seconds, rounded to the
// nearest, equal where the rule lets them be; a time that could not be read is earlier
// than any time, and two such are equal. `sameSize` says whether the two files have one
// size; the times of one file (a copy against its source) have.
std::strong_ordering compareWriteTimes(FileTime a, FileTime b, TimeRule rule = TimeRule::SecondExact,
                                       bool sameSize = true);

} // namespace quellomir
