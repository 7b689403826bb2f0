#pragma once

#include <ctime>

namespace quellomir {

// The local time at `seconds` since 1970 UTC, and the offset from UTC (in seconds, east
// positive) in force at that instant, under the rules of the time zone for that year; false
// where the system cannot tell, `local` and `offset` then left as they were.
bool localTimeAt(std::time_t seconds, std::tm& local, long& offset);

} // namespace quellomir
