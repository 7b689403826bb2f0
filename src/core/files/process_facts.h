#pragma once

#include <cstdint>
#include <string>

namespace quellomir {

// What tells this process apart from every other writer of temporary names, as the system
// gives it.

// The first eight hex digits of an id of this boot of the machine; "0" where it cannot be
// read.
std::string readBootId();
// This process's id.
unsigned long ownProcessId();
// When this process started, in the system's own unit (clock ticks after boot on Linux,
// 100 ns since 1601 on Windows); UINT64_MAX when that cannot be told.
std::uint64_t readOwnStart();

} // namespace quellomir
