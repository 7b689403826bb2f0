#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace quellomir {

// The "~" names of this program's copies in the making, on drives where a new file needs a
// name before it is complete. A name is unique to its writer: this boot of this machine, the
// process and the moment that process started (pids are reused), and a counter. Whether its
// writer still runs is told by the lock the writer holds on the file, not by the name: a pid
// means nothing in another PID namespace.
//   ~quellomir-<boot>-<pid>-<process start>-<unique>.tmp
std::string temporaryName(unsigned attempt);

// Whether `name` is one of this program's temporary names.
bool isTemporaryName(std::string_view name);

// Whether a "~" file of this program that no run holds a lock on is a leftover all the same on
// a drive without locks: only once nobody has written to it for an hour, since its writer may
// be on another machine or in a container whose processes this one cannot see.
bool untouchedForAnHour(std::time_t changed);

} // namespace quellomir
