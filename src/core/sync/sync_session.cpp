#include "sync/sync_session.h"

#include "files/write_folder.h"
#include "sync/safe_file_copy.h"

namespace quellomir {

SyncSession::SyncSession(FileSystem& fs, Yielder& yielder)
    : m_fs(fs), m_threads(yielder), m_drives(fs), m_folders(fs), m_end(fs, m_drives, m_folders, m_threads),
      m_rows(fs, yielder, m_drives, m_folders, m_written, m_end),
      m_ahead(fs, m_drives, m_folders, m_threads, m_end, m_rows) {}

SyncSession::~SyncSession() = default;

void SyncSession::finishEarlierRuns(const Plan& plan) {
    for (const Side side : {Side::Folder1, Side::Folder2}) {
        if (plan.folder(side).empty()) continue;
        RowChecks checks;
        checks.destinationSide = side;
        checks.top = plan.topFolder(side);
        checks.topPath = plan.folder(side);
        WriteFolder* folder = nullptr;
        RunFolders::ForRow(m_folders, checks).open(plan.folder(side), folder);
        // And where the comparison saw what may be a stopped run's "~" file, even where no
        // row writes.
        const FileList& files = plan.files(side);
        for (const std::uint32_t listed : files.foldersWithOwnNames) {
            RunFolders::ForRow(m_folders, checks).open(files.folders[listed], folder);
            m_folders.letGoOfMany();
        }
    }
}

CopyResult SyncSession::copy(const ResolvedRow& row, Replacing replacing) {
    const std::string& target = row.destination;
    const RowChecks& checks = row.checks;
    // What the row copied is counted with the rows done from here on.
    struct EndOfCopy {
        RowCopy& rows;
        ~EndOfCopy() { rows.copyEnded(); }
    } endOfCopy{m_rows};
    // Folders are let go only when no copy made ahead is in one: each holds on to its folder.
    if (m_ahead.empty()) m_folders.letGoOfMany();
    if (std::optional<CopyResult> placed = m_ahead.place(row, replacing)) return std::move(*placed);
    RunFolders::ForRow folders(m_folders, checks);
    CopyOptions options;
    WriteFolder* folder = nullptr;
    if (CopyResult refused = m_rows.prepare(row.source, target, replacing, checks, folders, options, folder);
        !refused.done)
        return refused;
    if (options.sourceHeldAlready)
        return m_rows.finishHeldCopy(row.row, target, options, *folder, checks.timeRule);
    CopyResult result = copyIntoFolder(m_fs, row.source, row.folder, row.name, options, &folders);
    return m_rows.record(row.row, target, options, folder, checks.timeRule, std::move(result));
}

void SyncSession::flush(Plan& plan) {
    flush([&](std::size_t row, std::string reason) { plan.markFailed(row, std::move(reason)); });
}

void SyncSession::flush(const std::function<void(std::size_t row, std::string reason)>& failed) {
    // Copies made ahead whose rows never came (a stopped run) are removed, nothing replaced.
    m_ahead.finish();
    m_end.finish(failed);
    m_threads.passOnHeldStop();
}

} // namespace quellomir
