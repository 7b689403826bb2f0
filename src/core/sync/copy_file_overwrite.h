#pragma once

#include "compare/compare_rules.h"
#include "files/new_file.h"
#include "files/trash_can.h"
#include "files/write_folder.h"
#include "fs/file_system.h"
#include "sync/copy_result.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quellomir {

// Why a copy is refused at the last moment; in words a user reads after "Failed: ".
inline constexpr std::string_view ChangedReason = "the file changed since the comparison";
// No reason holds "copied" or "overwrite": those words tell the plan's actions apart.
inline constexpr std::string_view ChangedWhileCopiedReason = "the file changed while it was read";
inline constexpr std::string_view TemporaryVanishedReason =
    "its temporary file was removed by another program before it could take its name";

// When a copy is made to last through a power cut.
enum class Flush : std::uint8_t {
    // Before it takes the destination name, the copy's data is flushed, and the folder
    // after: the file it replaces stays until its replacement is on the disk.
    Now,
    // For a name nothing is at: the data is handed to the disk without waiting for it,
    // and the copy gets a provisional last-write time two days older than the source's.
    // Until the caller flushes the file system and sets the source's time, a copy cut
    // short by a power cut looks older than its source, so the next comparison copies it
    // again instead of taking it for equal.
    Later,
};

// What a drive does to the time of a file that is renamed: keeps it, or gives it the
// current time (FAT through fusefat), which would make a copy not finished yet look newer
// than its source.
enum class RenameTimes : std::uint8_t { Unknown, Kept, Stamped };

struct CopyOptions {
    Flush flush = Flush::Now;
    // Replace::No: the copy takes the destination name only if nothing is there, decided
    // in the one step that names the copy; else it fails with EEXIST.
    Replace replace = Replace::Yes;
    FileSystem::CopyProgress progress; // called between the pieces of a long copy
    // Set once the run is to stop: a copy on an I/O thread, which has no turn to throw from,
    // ends its wait for its source's second at once and is not made.
    const std::atomic<bool>* stopping = nullptr;
    // Follow::No for a source that was a file of its own at the comparison: a link put in
    // its place since is refused (ChangedReason), never read through.
    Follow followSource = Follow::Yes;
    // The source's last-write time at the comparison; a source with another is refused.
    std::optional<FileTime> plannedSourceTime;
    // What is at the destination, as it was before the copy began: should anything have
    // written to it or replaced it by the time the copy is to take its name, it is kept and
    // the copy refused (ChangedReason).
    std::optional<FileFacts> replacing;
    // How the comparison tells equal times apart: a source saved so recently that a write
    // still to come could give it a time equal to this one by the rule is looked at again
    // once that can no longer happen.
    TimeRule timeRule = TimeRule::SecondExact;
    // For a copy flushed now: its drive is known to drop a time's fraction, so it is given
    // its source's time rounded to the second, which the comparison takes as equal, instead
    // of one the drive would cut to a second earlier.
    bool wholeSeconds = false;
    // Where the file the copy replaces is kept, or nullptr to let it go.
    TrashCan* trash = nullptr;
    // With a Trash: the file the copy replaces may be a copy that a stopped run left of this
    // same source. It is read, and where it holds the very bytes of the copy it makes way
    // without a place in the Trash, which would fill with copies of the sources otherwise.
    bool mayHoldSameBytes = false;
    // Set where the file to replace was found to hold the source's bytes already (a stopped
    // run's copy): no copy is made, the file only gets what the stop took from it.
    bool sourceHeldAlready = false;
    // Whether the result carries the checksum of the copy's bytes: on a drive where a write
    // does not move a file's time, only the bytes tell a copy from the user's edit of it.
    bool hashContents = false;
    // For a copy flushed now: whether its folder (and its Trash) are flushed after the
    // naming too. A caller that flushes their file system at the end of its run, before it
    // says that the run is done, leaves them to that one flush: what the file replaced
    // stays until its replacement is on the disk either way, since the copy's data is
    // flushed before it takes the name.
    bool flushFolderNow = true;
    // Whether a power cut leaves the drive's names as they were at some moment, in the order
    // they were made (a journal's). Elsewhere the Trash that took the replaced file, and a
    // time note with the copy it names, are flushed before the copy takes its name.
    bool namesLandInOrder = false;
    // Where a descriptor of the destination's file system is kept for flushing it later; the
    // copy fills it when it is not open yet.
    Handle* fileSystem = nullptr;
    // What is known of the drive's renames, which the copy learns from: on a drive not seen to
    // keep a renamed file's time, a copy that is renamed into place leaves a note of the time
    // it was given first, looks at its time after the rename, and gets that time back where
    // the drive changed it.
    RenameTimes* renameTimes = nullptr;
};

// The time a copy flushed later carries until then: older than its source by the comparison's
// own rule, so that a copy cut short by a power cut or a pulled stick is copied again. FAT
// takes times 2 seconds apart as equal, so there the copy is made older by more. Two days
// more besides: a drive that keeps times to 2 seconds rounds the fraction away, and only so
// odd an age still tells such a copy from a version of the user's that is a little older.
FileTime provisionalTime(FileTime sourceTime, TimeRule rule = TimeRule::SecondExact);

// Copies `source` into the entry `name` of `folder`: the contents go into a new file in that
// folder (without a name, or with a "~" one where the file system needs it), which gets the
// source's last-write time (to the nanosecond) and permission bits and then takes the
// name in one step. A destination that is a link is replaced, never written through; a
// read-only one is replaced like any other. A source that changed while it was copied, or
// whose time is so recent that a write still to come could give it a time that compares
// as equal, is looked at again once that second is over; one that changed is refused
// (ChangedWhileCopiedReason), so that no copy ever carries a time that compares equal to a
// later state of its source. Set-user-ID and set-group-ID bits are kept only where the copy
// belongs to the source's owner and group. With a Trash, the file the copy replaces goes
// there just before the copy takes its name (and comes back should the naming fail); one
// that cannot be kept fails the copy (NotKeptReason). Any failure removes the new file and leaves the
// destination as it was, except a failing flush of the folder after the naming, which is
// reported with the copy in place. Never throws, except what `progress` throws.
CopyResult CopyFileOverwrite(FileSystem& fs, const std::string& source, WriteFolder& folder,
                             const std::string& name, const CopyOptions& options = {});

// CopyFileOverwrite in two halves, for replacements whose data a caller flushes together,
// one flush of the file system for many copies, between the halves. The first makes the
// copy and gives it its time and mode, without flushing it; the second takes the name, with
// every check and the Trash, as CopyFileOverwrite does after its flush.
struct PreparedCopy {
    bool ready = false;
    CopyResult failure;                                          // when the copy could not be made
    std::unique_ptr<NewFile> made = std::make_unique<NewFile>(); // removed unless named
    FileTime sourceTime;
};
PreparedCopy prepareCopy(FileSystem& fs, const std::string& source, WriteFolder& folder,
                         const CopyOptions& options);
CopyResult placeCopy(FileSystem& fs, PreparedCopy& prepared, WriteFolder& folder, const std::string& name,
                     const CopyOptions& options);

} // namespace quellomir
