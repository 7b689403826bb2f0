#pragma once

#include "fs/file_system.h"
#include "sync/copy_result.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quellomir {

// When a copy is made to last through a power cut.
enum class Flush : std::uint8_t {
    // Before it takes the destination name, the copy's data is flushed, and the folder
    // after: the file it replaces stays until its replacement is on the disk.
    Now,
    // For a name nothing is at: the data is handed to the disk without waiting for it,
    // and the copy gets a provisional last-write time two seconds older than the source's.
    // Until the caller flushes the file system and sets the source's time, a copy cut
    // short by a power cut looks older than its source, so the next comparison copies it
    // again instead of taking it for equal.
    Later,
};

struct CopyOptions {
    Flush flush = Flush::Now;
    // Replace::No: the copy takes the destination name only if nothing is there, decided
    // in the one step that names the copy; else it fails with EEXIST.
    Replace replace = Replace::Yes;
    FileSystem::CopyProgress progress; // called between the pieces of a long copy
    // Set when the source is a copy flushed later that has not had its time yet: the time
    // it is to get. While the source carries the provisional time of it, the copy is made
    // as from a source of this time.
    std::optional<FileTime> sourceFinalTime;
};

// The time a copy flushed later carries until then.
FileTime provisionalTime(FileTime sourceTime);

// Copies `source` over `destination`, whose folder must exist: the contents go into a new
// file beside the destination (without a name, or with a "~" one where the file system
// needs it), which gets the source's last-write time (to the nanosecond) and permission
// bits and then takes the destination's name in one step. A destination that is a link is
// replaced, never written through; a read-only one is replaced like any other. Any failure
// removes the new file and leaves the destination as it was, except a failing flush of the
// folder after the naming, which is reported with the copy in place. Never throws, except
// what `progress` throws.
CopyResult CopyFileOverwrite(FileSystem& fs, const std::string& source, const std::string& destination,
                             const CopyOptions& options = {});

} // namespace quellomir
