#pragma once

#include "compare/compare_rules.h"
#include "compare/plan.h"
#include "fs/file_system.h"
#include "handler/yielder.h"
#include "sync/copy_file_overwrite.h"
#include "sync/copy_result.h"
#include "sync/earlier_runs.h"
#include "sync/worker_threads.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quellomir {

// What a row asks its copy to make sure of, beyond SafeFileCopy's own checks.
struct RowChecks {
    Side destinationSide = Side::Folder2;
    // The destination side's chosen folder: the copy is written only where it lies within.
    FolderIdentity top;
    std::string_view topPath; // looked up when a plan does not know `top`; the plan's text
    Follow followSource = Follow::Yes;
    std::optional<FileTime> plannedSourceTime;
    std::optional<std::int64_t> plannedSourceSize;
    // For a row that replaces a file the comparison listed: that file's time then.
    std::optional<FileTime> plannedDestinationTime;
    // How the comparison told equal times apart: a copy must come out equal by that rule.
    TimeRule timeRule = TimeRule::SecondExact;
};

// What one sync run carries from row to row: the file system, the window's turn during
// long copies, the folders it writes into (held open, checked to lie within the chosen
// folders, cleared of the leftovers of killed runs), the destination paths the run has
// written (a later row may replace what an earlier one wrote, as planned), and the copies
// that the end of the run is to make last.
//
// A copy that replaces a file is flushed before it takes the file's name, so that the file
// it replaces stays until its replacement is on the disk; its folder and the Trash that took
// the older file, where that lies on the same drive, are flushed with the rest at the end. A copy to a free
// name replaces nothing, and one that replaces what an earlier row of this run wrote replaces only a copy of
// a file that is still there: these are handed to the disk without waiting and carry a provisional time two
// seconds older than their sources' until the end of the run, which flushes each file system once and only
// then gives those copies their sources' times. Waiting for the disk per file would cost milliseconds each,
// against tens of microseconds for the copy of a small file.
class SyncSession {
  public:
    SyncSession(FileSystem& fs, Yielder& yielder);
    ~SyncSession();
    SyncSession(const SyncSession&) = delete;
    SyncSession& operator=(const SyncSession&) = delete;

    FileSystem& fs() { return m_fs; }

    // Whether the files that overwrite rows replace go to the Trash of their drive (the
    // default) or are let go.
    void setKeepReplacedFiles(bool keep) { m_keepReplaced = keep; }
    // What a row that could not keep its older file adds to its reason: how the user turns
    // keeping off.
    void setKeepingOffHint(std::string hint) { m_keepingOffHint = std::move(hint); }

    // Called before the first row: what a run killed earlier left in the two chosen folders,
    // where the copies go, is dealt with first, so that no row works from it: its leftovers
    // are removed, and a copy it renamed on a drive that stamps renames gets back the older
    // time it was to have.
    void finishEarlierRuns(const Plan& plan);

    // Whether an earlier row of this run wrote `path` (compared once its doubled
    // separators are tidied).
    bool wrote(const std::string& path) const;

    // What a copy is to replace at its destination.
    enum class Replacing : std::uint8_t {
        Nothing,      // a file there makes the copy fail with EEXIST
        ThisRunsCopy, // what an earlier row of this run wrote
        OlderFile,    // a file that was there before the run
    };

    // SafeFileCopy for row `row` of the plan, with the window answering during a long copy.
    CopyResult copy(std::size_t row, const std::string& source, const std::string& destination,
                    Replacing replacing, const RowChecks& checks);

    // A row still to come that the run may make ahead of its turn, with what its copy needs
    // to know.
    struct RowAhead {
        std::size_t row = 0;
        std::string source;
        std::string destination;
        RowChecks checks;
    };
    // Makes the copies of these replacements, rows still to come in list order, ahead of
    // their turn, and flushes them with one flush of their drive instead of one each: each
    // then takes its name when its row comes to copy(), after the same checks as ever. Only
    // drives whose flush of the whole file system can be trusted take part (ext4, XFS, Btrfs,
    // F2FS, tmpfs); a copy that cannot be made ahead is made in its turn, as any other. A
    // batch whose flush fails fails its rows, their older files left in place.
    void prepareReplacements(const std::vector<RowAhead>& rows);
    // Makes the copies of these rows, copies to free names still to come in list order, ahead
    // of their turn on a few I/O threads (as many as the drive asks for: a few on a local
    // disk, 16 on FUSE and network drives, where each request waits on its own); each then
    // takes its name when its row comes to copy(), in list order, after the same checks.
    void prepareNewCopies(const std::vector<RowAhead>& rows);
    bool prepared(std::size_t row) const;
    // Called for a row whose turn came but which is not carried out (unticked, or unreadable):
    // a copy made ahead for it is undone, one that took its name already removed again.
    void passOver(std::size_t row);
    // Whether the copy of `row` took its name already: what is left of the row asks nothing
    // of any drive.
    bool namedAhead(std::size_t row) const;
    // Whether rows are made ahead at all (the default); a run without is the measure that a
    // run with must equal, row for row.
    void setRowsAhead(bool ahead) { m_rowsAhead = ahead; }
    bool rowsAhead() const { return m_rowsAhead; }

    // Called once after the last row, and after a run that was stopped. Flushes every file
    // system the copies not flushed yet went to, once each, with the window answering while
    // it waits (for a USB stick that takes a while), then gives those copies their sources'
    // times. A row whose copy could not be flushed, or not be given its time, is marked
    // failed in `plan` (it was marked done when its copy was made). A run that ends without
    // it leaves those copies complete but looking older than their sources, so the next
    // comparison plans them again. A stop thrown from the window's turn meanwhile is held
    // until the copies are finished, then passed on.
    void flush(Plan& plan);
    // The same, for a caller that marks the rows itself, later or on another thread: `done`
    // for a row whose copy was finished by the flush (it was made ahead of a turn that never
    // came), `failed` for one whose copy could not be finished.
    struct Marks {
        std::function<void(std::size_t row)> done;
        std::function<void(std::size_t row, std::string reason)> failed;
        // Whether a row whose turn never came is still wanted (ticked): a copy made ahead for
        // one that is not is undone. Without it, every such row counts as wanted.
        std::function<bool(std::size_t row)> wanted;
    };
    void flush(const Marks& marks);

    // Leftovers of killed runs that could not be removed, and files named like this
    // program's own that were left alone, one line each, for the end message.
    const std::vector<std::string>& notes() const { return m_earlierRuns.notes(); }

  private:
    class RowFolders;

    static constexpr std::size_t NoCopy = SIZE_MAX;
    static constexpr std::size_t NoRow = SIZE_MAX;
    // What the run left at a path it wrote, and the place in m_unflushed of the copy not
    // flushed yet that it holds, or NoCopy once that is finished (or it was flushed at once).
    struct WrittenCopy {
        std::size_t unflushed = NoCopy;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        FileTime modified; // the time the copy was given
        std::optional<std::uint64_t> hash; // of its bytes, on a drive whose writes move no time
    };
    using Written = std::pair<const std::string, WrittenCopy>;
    // Whether `now` is still the copy the run left: a user who edited it meanwhile has made it
    // a file of their own, which no later row and no end of the run may replace or retime.
    static bool stillAsWritten(const FileFacts& now, const WrittenCopy& copy);
    // The same by its bytes, where the drive keeps a file's time when it is written to.
    bool sameBytesAsWritten(WriteFolder& folder, const std::string& name, const FileFacts& now,
                            const WrittenCopy& copy);
    // Whether `there`, the file a row is to replace, may be a copy of the row's source that a
    // run stopped before its flush left behind: worth reading to see.
    static bool mayBeStoppedRunsCopy(const FileFacts& there, const RowChecks& checks);

    struct Unflushed {
        Written* written = nullptr; // elements of an unordered_map stay where they are
        std::size_t row = 0;
        FileTime modified; // the source's, which the copy is to get
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t folderDevice = 0;
        std::uint64_t folderInode = 0;
        TimeRule timeRule = TimeRule::SecondExact;
    };

    // A folder the run writes into, and what is known of where it lies.
    struct OpenFolder {
        WriteFolder folder;
        FolderIdentity checkedTop; // the chosen folder it was last checked against
        bool within = false;
    };

    // The folder `path`, held open; nullptr and the reason when it cannot be opened.
    OpenFolder* openFolder(const std::string& path, CopyResult& failure);
    // The chosen folder of `checks`, looked up once when the plan does not know it.
    std::optional<FolderIdentity> topFolder(const RowChecks& checks);
    // The Trash of `folder`'s drive, found once per drive, or the home Trash where the drive
    // has none of its own that can be used; nullptr and the reason when neither can be.
    TrashCan* trashFor(WriteFolder& folder, CopyResult& failure);
    // The descriptor kept to flush the file system of `device`.
    Handle& fileSystemHandle(std::uint64_t device);

    void finishCopies(const Marks& marks);
    // The steps of copy() before the copy itself: the folder, what is there, the Trash.
    CopyResult prepareOptions(const std::string& target, Replacing replacing, const RowChecks& checks,
                              RowFolders& folders, CopyOptions& options, WriteFolder*& folder);
    // The steps of copy() after it: what the run wrote, and the copy's time.
    CopyResult recordCopy(std::size_t row, const std::string& target, const CopyOptions& options,
                          WriteFolder* folder, const RowChecks& checks, CopyResult result);
    // The type of `folder`'s drive (statfs's f_type), asked once per drive; 0 when it cannot
    // be told.
    std::uint64_t driveType(const WriteFolder& folder);
    // Calls `each` for 0 to count - 1 on `threads` threads (here, when no thread can be had),
    // the window answering meanwhile; a stop is held.
    void onThreads(unsigned threads, std::size_t count, const std::function<void(std::size_t)>& each);
    // The window's turn during the flush, any stop held for later.
    void turn();
    // Whether the drive `device` was seen to cut off a time's fraction: its copies are then
    // given times rounded to the second in one step.
    bool dropsFractions(std::uint64_t device) const;

    // Flushes each held file system of `devices`; the errno of each.
    std::vector<int> flushFileSystems(const std::vector<std::uint64_t>& devices);

    // Makes sure that the copy `name` in `folder` (`device`, `inode`), whose last-write time
    // was just set to `time`, keeps a time the comparison takes for `time`. A drive that
    // keeps only whole seconds (exFAT through FUSE) cuts off the fraction, which can put the
    // copy a second before its source; the copy then gets `time` rounded to the second as
    // the comparison rounds it. A drive that cannot hold the time at all (ext4 before 1901,
    // exFAT before 1980) fails the row, the copy left in place.
    CopyResult keepComparableTime(WriteFolder& folder, const std::string& name, std::uint64_t device,
                                  std::uint64_t inode, FileTime time, TimeRule rule);

    FileSystem& m_fs;
    Yielder& m_yielder;
    std::unordered_map<std::string, WrittenCopy> m_written;
    std::vector<Unflushed> m_unflushed;
    // Replacements whose data is on the disk but whose naming, and what went to the Trash,
    // wait for the end's flush of their file system: the row and that file system.
    std::vector<std::pair<std::size_t, std::uint64_t>> m_namedUnflushed;
    // Replacements made ahead of their turn, in list order.
    struct Ahead {
        std::size_t row = 0;
        Replacing replacing = Replacing::OlderFile;
        std::string target;
        TimeRule timeRule = TimeRule::SecondExact;
        CopyOptions options;
        WriteFolder* folder = nullptr;
        PreparedCopy copy;
        std::optional<CopyResult> named; // for a copy that took its name already: the outcome
    };
    std::deque<Ahead> m_ahead;
    // Records a copy of `ahead` that took its name already as the run's, in its row's place.
    void recordNamedAhead(Ahead& ahead);
    void undoAhead(Ahead& ahead);
    std::size_t m_turnsReached = 0; // rows whose turn came: 0 to this - 1
    // Rows whose copies took their names ahead of their turns, which never came: marked done
    // by the flush.
    std::vector<std::size_t> m_doneAhead;
    bool m_rowsAhead = true;
    std::unordered_map<std::uint64_t, std::uint64_t> m_driveTypes; // by device
    // Whether a write moves a file's time on the drive of `folder`, asked once per drive.
    bool writesMoveTimesOn(const WriteFolder& folder);
    std::unordered_map<std::uint64_t, bool> m_writesMoveTimes; // by device
    std::unordered_map<std::string, std::unique_ptr<OpenFolder>> m_folders;
    std::deque<std::pair<std::uint64_t, Handle>> m_fileSystems; // a deque: handles stay where they are
    bool m_keepReplaced = true;
    std::string m_keepingOffHint;
    struct Trash {
        std::uint64_t device = 0;
        std::string failure; // why the drive has no Trash to use; empty when it has
        TrashCan can;
    };
    std::vector<std::unique_ptr<Trash>> m_trashes;
    std::optional<FolderIdentity> m_tops[2];         // looked up for plans that do not know them
    WriteFolder m_heldTops[2];                       // the folders of m_tops, open
    std::vector<std::uint64_t> m_exactTimeDevices;   // drives seen to keep times to the nanosecond
    std::vector<std::uint64_t> m_wholeSecondDevices; // drives seen to drop a time's fraction
    std::unordered_map<std::uint64_t, RenameTimes> m_renameTimes; // by drive
    EarlierRuns m_earlierRuns;
    std::exception_ptr m_heldStop;
    std::atomic<bool> m_stopping{false}; // a stop was held: the I/O threads end their waits
    // Copies to free names are handed to the disk while the run goes on: how much they wrote
    // since the last such flush was started, and that flush.
    void flushAhead(const WriteFolder& folder, std::int64_t bytes);
    std::uint64_t m_bytesSinceFlushAhead = 0;
    std::future<void> m_flushingAhead;
    WorkerThreads m_workers; // last: its threads end before anything they use goes
};

} // namespace quellomir
