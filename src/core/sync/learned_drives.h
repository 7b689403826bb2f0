#pragma once

#include "compare/compare_rules.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"
#include "fs/file_system.h"
#include "sync/copy_file_overwrite.h"
#include "sync/copy_result.h"

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quellomir {

// What a run learns of each drive it writes to, asked or seen once per drive: its type, what
// it does to times (drops their fractions, stamps renamed files, keeps a time when a file is
// written to), and a descriptor kept to flush it. Used from the run's own thread only.
class LearnedDrives {
  public:
    explicit LearnedDrives(FileSystem& fs) : m_fs(fs) {}

    // The type of `folder`'s drive (statfs's f_type); 0 when it cannot be told.
    std::uint64_t type(const WriteFolder& folder);
    // Whether a write moves a file's time on `folder`'s drive.
    bool writesMoveTimes(const WriteFolder& folder);
    // Whether `folder`'s drive is known to hold no time outside 1980 to 2107 (FAT, exFAT).
    bool timesFrom1980To2107(const WriteFolder& folder);
    // Which names `folder`'s drive holds.
    NameRule nameRule(const WriteFolder& folder);
    // Whether the drive `device` was seen to cut off a time's fraction: its copies are then
    // given times rounded to the second in one step.
    bool dropsFractions(std::uint64_t device) const;
    RenameTimes& renameTimes(std::uint64_t device) { return m_renameTimes[device]; }
    // The descriptor kept to flush the file system of `device`; not open until a copy fills it.
    Handle& fileSystemHandle(std::uint64_t device);

    // Makes sure that the copy `name` in `folder` (`device`, `inode`), whose last-write time
    // was just set to `time`, keeps a time the comparison takes for `time`. A drive that
    // keeps only whole seconds (exFAT through FUSE) cuts off the fraction, which can put the
    // copy a second before its source; the copy then gets `time` rounded to the second as
    // the comparison rounds it. A drive that cannot hold the time at all (ext4 before 1901,
    // exFAT before 1980) fails the row, the copy left in place.
    CopyResult keepComparableTime(WriteFolder& folder, const std::string& name, std::uint64_t device,
                                  std::uint64_t inode, FileTime time, TimeRule rule);

  private:
    FileSystem& m_fs;
    std::unordered_map<std::uint64_t, std::uint64_t> m_types;     // by device
    std::unordered_map<std::uint64_t, bool> m_writesMoveTimes;    // by device
    std::unordered_map<std::uint64_t, bool> m_timesFrom1980;      // by device
    std::unordered_map<std::uint64_t, NameRule> m_nameRules;      // by device
    std::unordered_map<std::uint64_t, RenameTimes> m_renameTimes; // by device
    std::vector<std::uint64_t> m_exactTimeDevices;                // seen to keep times to the nanosecond
    std::vector<std::uint64_t> m_wholeSecondDevices;              // seen to drop a time's fraction
    std::deque<std::pair<std::uint64_t, Handle>> m_fileSystems;   // a deque: handles stay where they are
};

} // namespace quellomir
