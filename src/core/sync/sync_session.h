#pragma once

#include "compare/plan.h"
#include "fs/file_system.h"
#include "handler/yielder.h"
#include "sync/copy_result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace quellomir {

// What one sync run carries from row to row: the file system, the window's turn during
// long copies, the destination paths the run has written (a later row may replace what an
// earlier one wrote, as planned), and the copies to free names not yet flushed.
//
// Flushing each small file on its own costs a wait for the disk per file (milliseconds,
// against tens of microseconds for the copy of a small file), so copies to free names are
// flushed in groups with one file-system flush, and get the source's last-write time only
// after it. Copies that
// replace a file are flushed one by one before the rename, so that the file they replace
// stays until its replacement is on the disk.
class SyncSession {
  public:
    SyncSession(FileSystem& fs, Yielder& yielder);
    SyncSession(const SyncSession&) = delete;
    SyncSession& operator=(const SyncSession&) = delete;

    FileSystem& fs() { return m_fs; }

    // Whether an earlier row of this run wrote `path` (compared once its doubled
    // separators are tidied).
    bool wrote(const std::string& path) const;

    // SafeFileCopy for row `row` of `plan`, with the window answering during a long copy.
    // `replaces` tells whether a file is at the destination now.
    CopyResult copy(Plan& plan, std::size_t row, const std::string& source, const std::string& destination,
                    bool replaces);

    // Flushes the copies to free names made so far and gives them their sources' times;
    // a row whose copy could not be flushed is marked failed in `plan` (it was marked done
    // when its copy was made). Runs by itself before a copy when enough have gathered; the
    // run calls it once after its last row. A run that ends without it leaves those copies
    // complete but looking older than their sources, so the next comparison plans them
    // again.
    void flush(Plan& plan);

  private:
    struct Unflushed {
        std::string path;
        std::size_t row = 0;
        FileTime modified;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
    };

    void remember(std::size_t row, const std::string& path, FileTime modified);

    FileSystem& m_fs;
    Yielder& m_yielder;
    std::unordered_set<std::string> m_written;
    std::vector<Unflushed> m_unflushed;
    std::int64_t m_unflushedBytes = 0;
};

} // namespace quellomir
