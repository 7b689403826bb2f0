#pragma once

#include "compare/plan.h"
#include "fs/file_system.h"
#include "handler/yielder.h"
#include "sync/copies_ahead.h"
#include "sync/copy_result.h"
#include "sync/end_flush.h"
#include "sync/io_threads.h"
#include "sync/learned_drives.h"
#include "sync/row_checks.h"
#include "sync/row_copy.h"
#include "sync/run_folders.h"
#include "sync/written_copies.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quellomir {

// One sync run, from the first row to the end's flush: it calls on the units that do each
// job, in a run's order. What the run holds open and finds left by earlier runs
// (RunFolders), what each drive does (LearnedDrives), what it wrote (WrittenCopies), the
// steps around each row's copy (RowCopy), the copies made ahead of their turn (CopiesAhead),
// and the flush and times at the end (EndFlush). docs/internals.md tells the life of a copy.
//
// A copy that replaces a file is flushed before it takes the file's name, so that the file
// it replaces stays until its replacement is on the disk. A copy to a free name carries a
// provisional time, older than its source's by two days and a few seconds, until the end of
// the run has flushed its drive: a copy cut short by a power cut looks older than its source,
// so the next comparison copies it again, and the next sync reads it to see whether it is
// worth a place in the Trash.
class SyncSession {
  public:
    SyncSession(FileSystem& fs, Yielder& yielder);
    ~SyncSession();
    SyncSession(const SyncSession&) = delete;
    SyncSession& operator=(const SyncSession&) = delete;

    FileSystem& fs() { return m_fs; }

    // Whether the files that overwrite rows replace go to the Trash of their drive (the
    // default) or are let go.
    void setKeepReplacedFiles(bool keep) { m_rows.setKeepReplacedFiles(keep); }
    // What a row that could not keep its older file adds to its reason: how the user turns
    // keeping off.
    void setKeepingOffHint(std::string hint) {
        m_rows.setKeepingOffHint(hint);
        m_folders.setKeepingOffHint(std::move(hint));
    }

    // Called before the first row: what runs stopped earlier left in the two chosen folders is
    // dealt with first, so that no row works from it.
    void finishEarlierRuns(const Plan& plan);

    // Whether an earlier row of this run wrote `path` (a resolved row's path, tidied).
    bool wrote(const std::string& path) const { return m_written.wrote(path); }

    using Replacing = quellomir::Replacing;

    // SafeFileCopy for a row of the plan, with the window answering during a long copy.
    CopyResult copy(const ResolvedRow& row, Replacing replacing);

    // Rows still to come, made ahead of their turn (CopiesAhead).
    void prepareReplacements(const std::vector<ResolvedRow>& rows) { m_ahead.makeReplacements(rows); }
    void prepareNewCopies(const std::vector<ResolvedRow>& rows) { m_ahead.makeNewCopies(rows); }
    bool prepared(std::size_t row) const { return m_ahead.prepared(row); }
    // Called for a row whose turn came but which is not carried out (unticked, or unreadable):
    // a copy made ahead for it is undone.
    void passOver(std::size_t row) { m_ahead.passOver(row); }
    // Whether rows are made ahead at all (the default); a run without is the measure that a
    // run with must equal, row for row.
    void setRowsAhead(bool ahead) { m_rowsAhead = ahead; }
    bool rowsAhead() const { return m_rowsAhead; }
    // Whether a done row's outcome is known only after flush(): its copy may yet fail there.
    bool waitsForEnd(std::size_t row) const { return m_end.waits(row); }
    // The bytes the row under way has copied so far (read from any thread).
    std::int64_t bytesUnderWay() const { return m_rows.bytesUnderWay(); }

    // Called once after the last row, and after a run that was stopped. Flushes every file
    // system the copies not flushed yet went to, once each, with the window answering while
    // it waits (for a USB stick that takes a while), then gives those copies their sources'
    // times. A row whose copy could not be flushed, or not be given its time, is marked
    // failed in `plan` (it was marked done when its copy was made). A run that ends without
    // it leaves those copies complete but looking older than their sources, so the next
    // comparison plans them again. A stop thrown from the window's turn meanwhile is held
    // until the copies are finished, then passed on.
    void flush(Plan& plan);
    // The same, for a caller that marks the rows itself, later or on another thread: `failed`
    // for a row whose copy could not be finished.
    void flush(const std::function<void(std::size_t row, std::string reason)>& failed);

    // Leftovers of killed runs that could not be removed, and files named like this
    // program's own that were left alone, one line each, for the end message.
    const std::vector<std::string>& notes() const { return m_folders.notes(); }

  private:
    FileSystem& m_fs;
    // Declared in the order they are needed; destroyed the other way round, so that no copy
    // made ahead outlives the folder it was made in, and the threads end before the rest.
    IoThreads m_threads;
    LearnedDrives m_drives;
    RunFolders m_folders;
    WrittenCopies m_written;
    EndFlush m_end;
    RowCopy m_rows;
    CopiesAhead m_ahead;
    bool m_rowsAhead = true;
};

} // namespace quellomir
