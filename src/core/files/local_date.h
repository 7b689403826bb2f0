#pragma once

#include "fs/file_time.h"

#include <cstdint>

namespace quellomir {

// 100-nanosecond units since 1 January 1601 UTC, the unit of a Windows file time.
std::int64_t WindowsFileTime(FileTime time);

// The date value of a file time: days since 30 December 1899, 00:00 local time, the
// fraction being the time of day. The local offset is the one in force at that
// instant. A time that has no local equivalent gives 0.
double FileTimeToLocalDate(std::int64_t fileTime);

} // namespace quellomir
