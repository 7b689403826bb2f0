#pragma once

#include "scan/file_list.h"

#include <cstdint>
#include <string>
#include <utility>

namespace quellomir {

// Failures that the caller treats in a way of their own.
enum class CopyFailure : std::uint8_t {
    None,
    Other,
    NotKept, // the file to be replaced could not be kept in the Trash
};

// What a copy made of its task: done, or the reason it was not, in words a user reads
// after "Failed: ".
struct CopyResult {
    bool done = false;
    std::string reason;
    FileTime modified; // done: the source's last-write time, which the copy carries
    int error = 0;     // the errno value the reason stands for, if one does
    // done: the file the copy made, as its file system knows it, so that the caller can tell
    // it from one put there since
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t bytes = 0; // done: how many the copy holds
    std::uint64_t hash = 0; // done, where asked for: the checksum of the copy's bytes
    CopyFailure failed = CopyFailure::None;

    static CopyResult success(FileTime modified) {
        CopyResult result;
        result.done = true;
        result.modified = modified;
        return result;
    }
    static CopyResult failure(std::string reason, CopyFailure kind = CopyFailure::Other) {
        CopyResult result;
        result.reason = std::move(reason);
        result.failed = kind;
        return result;
    }
    // The platform's own words for an errno value ("No space left on device").
    static CopyResult failure(int error);
};

} // namespace quellomir
