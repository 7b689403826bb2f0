#pragma once

#include "fs/file_time.h"

#include <sys/stat.h>

namespace quellomir {

// The two times utimensat and futimens take to give a file the last-write time `modified`.
// The access time becomes "now" rather than being left alone (UTIME_OMIT): exFAT through
// FUSE (exfat-fuse, common for USB sticks) ignores a change that leaves one of the two alone,
// and reports success.
inline void newTimes(FileTime modified, struct timespec (&times)[2]) {
    times[0] = {0, UTIME_NOW};
    times[1] = {modified.seconds, modified.nanoseconds};
}

} // namespace quellomir
