#pragma once

#include "compare/compare_rules.h"
#include "files/write_folder.h"
#include "fs/file_system.h"
#include "sync/io_threads.h"
#include "sync/learned_drives.h"
#include "sync/run_folders.h"
#include "sync/written_copies.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quellomir {

// The end of a sync run: one flush of each drive the copies not flushed yet went to, and
// only then their sources' times.
//
// A copy to a free name replaces nothing, and one that replaces what an earlier row of this
// run wrote replaces only a copy of a file that is still there: these are handed to the disk
// without waiting and carry a provisional time older than their sources' until the end,
// which flushes each drive once and then gives them their times. Waiting for the disk per
// file would cost milliseconds each, against tens of microseconds for the copy of a small
// file. A replacement was flushed before it took its name; its folder and the Trash that took
// the older file wait for the same flush.
class EndFlush {
  public:
    EndFlush(FileSystem& fs, LearnedDrives& drives, RunFolders& folders, IoThreads& threads)
        : m_fs(fs), m_drives(drives), m_folders(folders), m_threads(threads) {}

    // A copy written to `folder` that waits for the end: it is to get `sourceTime` then.
    void addCopy(WrittenCopies::Entry& written, std::size_t row, FileTime sourceTime,
                 const WriteFolder& folder, TimeRule rule);
    // A replacement whose naming waits for the flush of the drive `device`.
    void addNaming(std::size_t row, std::uint64_t device) {
        m_namings.emplace_back(row, device);
        m_waitingRows.insert(row);
    }
    // Whether the row's outcome waits for the end: its copy or its naming is still to be flushed.
    bool waits(std::size_t row) const { return m_waitingRows.contains(row); }
    // After a copy of `bytes` to `folder`: starts a flush of its drive behind the rows once
    // enough was written, where one flush reaches every file.
    void flushAhead(const WriteFolder& folder, std::int64_t bytes);
    // Flushes the file system of each of `devices`, once each, the window answering; the errno of each.
    std::vector<int> flushFileSystems(const std::vector<std::uint64_t>& devices);

    // Flushes and gives the times; `failed` for each row whose copy could not be finished.
    void finish(const std::function<void(std::size_t row, std::string reason)>& failed);

  private:
    struct Unflushed {
        WrittenCopies::Entry* written = nullptr;
        std::size_t row = 0;
        FileTime modified; // the source's, which the copy is to get
        std::uint64_t folderDevice = 0;
        std::uint64_t folderInode = 0;
        TimeRule timeRule = TimeRule::SecondExact;
    };
    struct Finishing;
    void flushThroughFiles(std::vector<Finishing>& finishing);
    void giveTime(Finishing& one);

    FileSystem& m_fs;
    LearnedDrives& m_drives;
    RunFolders& m_folders;
    IoThreads& m_threads;
    std::vector<Unflushed> m_unflushed;
    std::vector<std::pair<std::size_t, std::uint64_t>> m_namings; // the row, its drive
    std::unordered_set<std::size_t> m_waitingRows;
    std::uint64_t m_bytesSinceFlushAhead = 0;
    std::future<void> m_flushingAhead;
};

} // namespace quellomir
