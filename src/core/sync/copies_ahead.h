#pragma once

#include "files/write_folder.h"
#include "fs/file_system.h"
#include "sync/copy_file_overwrite.h"
#include "sync/end_flush.h"
#include "sync/io_threads.h"
#include "sync/learned_drives.h"
#include "sync/row_checks.h"
#include "sync/row_copy.h"
#include "sync/run_folders.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace quellomir {

// Copies of rows still to come, made ahead of their turn: replacements flushed together with
// one flush of their drive, and copies to free names made several at a time on the I/O
// threads. Each is placed in its row's turn, after the same checks as ever; one whose row is
// passed over (unticked meanwhile) is undone.
class CopiesAhead {
  public:
    CopiesAhead(FileSystem& fs, LearnedDrives& drives, RunFolders& folders, IoThreads& threads, EndFlush& end,
                RowCopy& rows)
        : m_fs(fs), m_drives(drives), m_folders(folders), m_threads(threads), m_end(end), m_rows(rows) {}
    ~CopiesAhead();

    // Replacements, rows still to come in list order. Only drives whose flush of the whole
    // file system can be trusted take part; a copy that cannot be made ahead is made in its
    // turn. A batch whose flush fails fails its rows, their older files left in place.
    void makeReplacements(const std::vector<ResolvedRow>& rows);
    // Copies to free names, rows still to come in list order, on as many threads as the drive
    // asks for; each takes its name only in its row's turn.
    void makeNewCopies(const std::vector<ResolvedRow>& rows);

    bool prepared(std::size_t row) const;
    bool empty() const { return m_ahead.empty(); }
    // The rows up to `row` had their turn and were not carried out: their copies are undone.
    void passOver(std::size_t row);
    // Row `row`'s turn: the outcome of its copy made ahead, now placed; nothing when none was
    // made for it (it is then copied as any other).
    std::optional<CopyResult> place(const ResolvedRow& row, Replacing replacing);
    // At the end of the run, or after a stop: a copy whose row's turn never came is undone.
    void finish() { m_ahead.clear(); }

  private:
    struct Ahead {
        std::size_t row = 0;
        Replacing replacing = Replacing::OlderFile;
        TimeRule timeRule = TimeRule::SecondExact;
        CopyOptions options;
        WriteFolder* folder = nullptr;
        PreparedCopy copy; // unnamed: it goes with its NewFile
    };

    FileSystem& m_fs;
    LearnedDrives& m_drives;
    RunFolders& m_folders;
    IoThreads& m_threads;
    EndFlush& m_end;
    RowCopy& m_rows;
    std::deque<Ahead> m_ahead;
    // Rows left to their turns, once looked at ahead: a stopped run's copy of their source to
    // finish, or a replacement on a drive where it is not made ahead.
    std::vector<std::size_t> m_inTurn;
};

} // namespace quellomir
