#pragma once

#include "files/write_folder.h"
#include "fs/file_system.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace quellomir {

// What a run left at a path it wrote, so that a later row may replace it as planned, and the
// end of the run may give it its time: but only while it is still that copy. A user who
// edited it meanwhile has made it a file of their own.
struct WrittenCopy {
    static constexpr std::size_t NoCopy = SIZE_MAX;
    // The copy's place among those the end of the run is to finish, or NoCopy once it is
    // finished (or it was flushed at once).
    std::size_t unflushed = NoCopy;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    FileTime modified;                 // the time the copy was given
    std::optional<std::uint64_t> hash; // of its bytes, on a drive whose writes move no time
    // A stopped run's copy finished where it is: its change time when it was found to hold its
    // source's bytes. Any write since moves it, a write whose time was put back too; the row is
    // done only while it stays.
    std::optional<FileTime> heldChanged{};
};

class WrittenCopies {
  public:
    using Entry = std::pair<const std::string, WrittenCopy>; // elements stay where they are

    // Whether the run wrote `path`, a resolved row's path (tidied).
    bool wrote(const std::string& path) const;
    const WrittenCopy* find(const std::string& path) const;
    Entry& record(const std::string& path, const WrittenCopy& copy);

    // Whether the file `name` of `folder`, whose facts are `now`, is still `copy`: the same
    // file at the same size with the time it was given, and on a drive where writing moves no
    // time, the same bytes.
    static bool stillAsWritten(FileSystem& fs, WriteFolder& folder, const std::string& name,
                               const FileFacts& now, const WrittenCopy& copy);

  private:
    std::unordered_map<std::string, WrittenCopy> m_written;
};

} // namespace quellomir
