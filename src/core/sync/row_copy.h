#pragma once

#include "files/write_folder.h"
#include "fs/file_system.h"
#include "handler/yielder.h"
#include "sync/copy_file_overwrite.h"
#include "sync/copy_result.h"
#include "sync/end_flush.h"
#include "sync/io_threads.h"
#include "sync/learned_drives.h"
#include "sync/row_checks.h"
#include "sync/run_folders.h"
#include "sync/written_copies.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quellomir {

// The steps of one row's copy around the copy itself: before it, the folder, what is at the
// destination and whether it is still what the row is to replace, the Trash; after it, what
// the run wrote and when the copy gets its time.
class RowCopy {
  public:
    RowCopy(FileSystem& fs, Yielder& yielder, LearnedDrives& drives, RunFolders& folders,
            WrittenCopies& written, EndFlush& end)
        : m_fs(fs), m_yielder(yielder), m_drives(drives), m_folders(folders), m_written(written), m_end(end) {
    }

    void setKeepReplacedFiles(bool keep) { m_keepReplaced = keep; }
    void setKeepingOffHint(std::string hint) { m_keepingOffHint = std::move(hint); }

    // The options of the copy to `target`, and the folder it goes into (nullptr for one that
    // cannot be opened, which the copy then explains); a failure when the row is refused.
    CopyResult prepare(const std::string& source, const std::string& target, Replacing replacing,
                       const RowChecks& checks, RunFolders::ForRow& folders, CopyOptions& options,
                       WriteFolder*& folder);
    // For a row whose file to replace holds its source's bytes already (`sourceHeldAlready`):
    // the file is taken as this run's own copy, flushed at the end and given its source's time
    // then, as a copy made now would be; nothing is written and nothing goes to the Trash.
    CopyResult finishHeldCopy(std::size_t row, const std::string& target, const CopyOptions& options,
                              WriteFolder& folder, TimeRule rule);
    // Records what the copy to `target` left, and gives a copy made to last at once its time.
    CopyResult record(std::size_t row, const std::string& target, const CopyOptions& options,
                      WriteFolder* folder, TimeRule rule, CopyResult result);

    // While rows are looked at ahead, a row whose file to replace is to be read is not read
    // in `prepare`: it awaits `checkHeldFiles`, which reads all such files of the batch at once
    // on the run's threads, and its turn takes the finding.
    void setHeldChecksLater(bool later) {
        m_heldChecksLater = later;
        m_heldChecks.clear(); // left by a stop: their turns read them
    }
    bool awaitsHeldCheck(const std::string& target) const {
        return !m_heldChecks.empty() && m_heldChecks.back().target == target;
    }
    void checkHeldFiles(IoThreads& threads, unsigned inFlight);

    // How many bytes the copy of the row under way has copied so far, for a window to show.
    std::int64_t bytesUnderWay() const { return m_underWay.load(std::memory_order_relaxed); }
    void copyEnded() { m_underWay.store(0, std::memory_order_relaxed); }

  private:
    struct HeldCheck {
        std::string target;
        std::string source;
        FileTime sourceTime;
        WriteFolder* folder = nullptr;
        FileFacts there;
    };
    struct HeldFinding {
        std::string source; // the file it was read beside: rows of one name have others
        FileFacts there;    // as it was when it was read
        bool held = false;
    };

    // Whether the entry `name` of `folder` (facts `there`) holds the bytes of `source` at
    // `sourceTime`.
    bool sourceHeldBy(const std::string& source, FileTime sourceTime, WriteFolder& folder,
                      const std::string& name, const FileFacts& there);

    FileSystem& m_fs;
    Yielder& m_yielder;
    std::atomic<std::int64_t> m_underWay{0};
    LearnedDrives& m_drives;
    RunFolders& m_folders;
    WrittenCopies& m_written;
    EndFlush& m_end;
    bool m_keepReplaced = true;
    std::string m_keepingOffHint;
    // Files read when their rows were looked at ahead, by path, with whether they hold their
    // rows' sources already: their turns take that finding while the files are still as read.
    std::unordered_map<std::string, HeldFinding> m_heldFound;
    bool m_heldChecksLater = false;
    std::vector<HeldCheck> m_heldChecks;
    // The folder of the last source looked at so, held for the rows from the same folder.
    WriteFolder m_sourceFolder;
    std::string m_sourceFolderPath;
};

} // namespace quellomir
