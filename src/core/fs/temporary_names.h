#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace quellomir {

// The "~" names of this program's copies in the making, on drives where a new file needs a
// name before it is complete. A name tells who writes it: this boot of this machine, the
// process and the moment that process started (pids are reused), so that a later run can
// tell a leftover of a killed run from a copy another run is making right now.
//   ~quellomir-<boot>-<pid>-<process start>-<unique>.tmp
std::string temporaryName(unsigned attempt);

// Whether `name` is one of this program's temporary names.
bool isTemporaryName(std::string_view name);

// Whether the process that wrote the temporary file `name`, last changed at `changed`, is
// gone: one of this boot whose process no longer runs (or is another process of the same
// pid), or one of another boot or machine that nobody has written for an hour. Names of an
// earlier version of this program, which told only the pid, count as of another boot.
bool writerIsGone(std::string_view name, std::time_t changed);

} // namespace quellomir
