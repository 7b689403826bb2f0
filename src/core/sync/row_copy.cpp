#include "sync/row_copy.h"

#include "files/contents.h"
#include "files/path_text.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"
#include "sync/sync_reasons.h"

#include <cerrno>
#include <optional>

namespace quellomir {
namespace {

// Whether `there`, the file a row is to replace, may be a copy of the row's source that a run
// stopped before its flush left behind: worth reading to see. Such a copy carries its
// provisional time, but the decision rests on its bytes, never on the time: a daily job
// writes files of one size two days apart too.
bool mayBeStoppedRunsCopy(const FileFacts& there, const RowChecks& checks) {
    if (there.kind != EntryKind::Regular || !checks.plannedSourceTime || !checks.plannedSourceTime->known() ||
        !checks.plannedSourceSize || there.size != *checks.plannedSourceSize || !there.modified.known())
        return false;
    // Drives round the time to 2 seconds (FAT, exFAT) or to a whole second.
    const FileTime provisional = provisionalTime(*checks.plannedSourceTime, checks.timeRule);
    const std::int64_t apart = (there.modified.seconds - provisional.seconds) * 1'000'000'000 +
                               (there.modified.nanoseconds - provisional.nanoseconds);
    return apart >= -2'000'000'000 && apart <= 2'000'000'000;
}

} // namespace

CopyResult RowCopy::prepare(const std::string& source, const std::string& target, Replacing replacing,
                            const RowChecks& checks, RunFolders::ForRow& folders, CopyOptions& options,
                            WriteFolder*& folder) {
    const std::string name = GetFileName(target);
    // Only a file that was there before the run is worth the wait for the disk.
    options.flush = replacing == Replacing::OlderFile ? Flush::Now : Flush::Later;
    options.replace = replacing == Replacing::Nothing ? Replace::No : Replace::Yes;
    m_underWay.store(0, std::memory_order_relaxed);
    options.progress = [this](std::int64_t copied) {
        m_underWay.fetch_add(copied, std::memory_order_relaxed);
        m_yielder.tick();
    };
    options.followSource = checks.followSource;
    options.plannedSourceTime = checks.plannedSourceTime;
    options.timeRule = checks.timeRule;

    // A folder that cannot be opened is left to SafeFileCopy to explain.
    if (!folders.open(GetParentFolder(target), folder).done) {
        folder = nullptr;
        return CopyResult::success({});
    }
    // Such a drive would clamp the time, and the copy would look newer than its source to the
    // next comparison, or older: nothing is written.
    if (checks.plannedSourceTime && checks.plannedSourceTime->known() &&
        m_drives.timesFrom1980To2107(*folder) && !within1980To2107(*checks.plannedSourceTime))
        return CopyResult::failure(std::string(TimeNotKeptReason));
    // A name the drive refuses would fail at its naming, after the whole copy, with the drive's
    // own words ("Operation not permitted"), and again at every run.
    if (replacing == Replacing::Nothing)
        if (const std::string why = nameRefusal(m_drives.nameRule(*folder), name); !why.empty())
            return CopyResult::failure(std::string(NameNotHeldReason) + why);
    options.fileSystem = &m_drives.fileSystemHandle(folder->device);
    options.renameTimes = &m_drives.renameTimes(folder->device);
    options.wholeSeconds = m_drives.dropsFractions(folder->device);
    // A later row of the run may replace the copy: only its bytes tell whether someone wrote to it.
    options.hashContents = !m_drives.writesMoveTimes(*folder);
    if (replacing != Replacing::Nothing) {
        FileFacts there;
        if (int error = m_fs.statAt(folder->handle, name, Follow::No, there))
            return error == ENOENT ? CopyResult::failure(std::string(ChangedReason))
                                   : CopyResult::failure(error);
        // The comparison saw what a link leads to.
        FileFacts seen = there;
        if (there.kind == EntryKind::Link && checks.plannedDestinationTime)
            if (m_fs.statAt(folder->handle, name, Follow::Yes, seen) != 0) seen = {};
        if (checks.plannedDestinationTime && seen.modified != *checks.plannedDestinationTime)
            return CopyResult::failure(std::string(ChangedReason));
        if (replacing == Replacing::ThisRunsCopy) {
            const WrittenCopy* written = m_written.find(target);
            if (!written || !WrittenCopies::stillAsWritten(m_fs, *folder, name, there, *written))
                return CopyResult::failure(std::string(ChangedReason));
        }
        options.replacing = there;
        // Where a write moves no time, nothing tells a write made after the read.
        options.mayHoldSameBytes = mayBeStoppedRunsCopy(there, checks) && m_drives.writesMoveTimes(*folder);
        // A stopped run's copy, complete: reading it costs far less than writing it again,
        // above all on a stick. Only its bytes prove it, and only a file of the running user's
        // with one name, as the run makes its copies, gets a time from the run: a time given to
        // a file with another name would show there too. Any other is copied over.
        if (options.mayHoldSameBytes && replacing == Replacing::OlderFile &&
            there.owner == m_fs.runningUser() && there.links == 1) {
            std::optional<bool> held;
            if (const auto found = m_heldFound.find(target); found != m_heldFound.end()) {
                if (found->second.source == source && found->second.there.sameState(there))
                    held = found->second.held;
                m_heldFound.erase(found);
            }
            if (!held && m_heldChecksLater) {
                m_heldChecks.push_back({target, source, *checks.plannedSourceTime, folder, there});
                return CopyResult::success({});
            }
            if (!held) held = sourceHeldBy(source, *checks.plannedSourceTime, *folder, name, there);
            if (*held) {
                m_heldFound.emplace(target, HeldFinding{source, there, true});
                options.sourceHeldAlready = true;
                return CopyResult::success({});
            }
        }
    }
    if (replacing == Replacing::OlderFile && m_keepReplaced) {
        CopyResult failure;
        options.trash = m_folders.trashFor(*folder, failure);
        if (!options.trash) return failure;
    }
    // The end's flush reaches only the destination's drive, and not even that one through
    // FUSE or a network: a Trash on another drive (the home Trash for a drive without its
    // own), or a folder the end cannot flush, is flushed with each row.
    options.flushFolderNow = (options.trash && options.trash->device != folder->device) ||
                             !wholeFlushReachesDriver(m_drives.type(*folder));
    options.namesLandInOrder = namesLandInOrder(m_drives.type(*folder));
    return CopyResult::success({});
}

bool RowCopy::sourceHeldBy(const std::string& source, FileTime sourceTime, WriteFolder& folder,
                           const std::string& name, const FileFacts& there) {
    const std::string sourceFolder = GetParentFolder(source);
    if (!m_sourceFolder.handle.open() || m_sourceFolderPath != sourceFolder) {
        m_sourceFolder = WriteFolder();
        m_sourceFolderPath.clear();
        if (openWriteFolder(m_fs, sourceFolder, m_sourceFolder) != 0) return false;
        m_sourceFolderPath = sourceFolder;
    }
    bool held = false;
    return holdsBytesOf(m_fs, m_sourceFolder.handle, GetFileName(source), sourceTime, folder, name, there,
                        held) == 0 &&
           held;
}

void RowCopy::checkHeldFiles(IoThreads& threads, unsigned inFlight) {
    std::vector<HeldCheck> checks = std::move(m_heldChecks);
    m_heldChecks.clear();
    if (checks.empty()) return;
    // Each source folder is opened once, here; the threads share the handles.
    std::unordered_map<std::string, WriteFolder> sourceFolders;
    std::vector<WriteFolder*> sourceFolderOf(checks.size(), nullptr);
    for (std::size_t i = 0; i < checks.size(); ++i) {
        auto [folder, added] = sourceFolders.try_emplace(GetParentFolder(checks[i].source));
        if (added && openWriteFolder(m_fs, folder->first, folder->second) != 0)
            folder->second = WriteFolder();
        if (folder->second.handle.open()) sourceFolderOf[i] = &folder->second;
    }
    // 0 not read (its turn reads it), 1 read and not held, 2 held.
    std::vector<char> findings(checks.size(), 0);
    threads.run(inFlight, checks.size(), [&](std::size_t i) {
        const HeldCheck& check = checks[i];
        if (!sourceFolderOf[i]) return;
        bool held = false;
        if (holdsBytesOf(m_fs, sourceFolderOf[i]->handle, GetFileName(check.source), check.sourceTime,
                         *check.folder, GetFileName(check.target), check.there, held) == 0)
            findings[i] = held ? 2 : 1;
    });
    for (std::size_t i = 0; i < checks.size(); ++i)
        if (findings[i] != 0)
            m_heldFound[checks[i].target] = HeldFinding{checks[i].source, checks[i].there, findings[i] == 2};
}

CopyResult RowCopy::finishHeldCopy(std::size_t row, const std::string& target, const CopyOptions& options,
                                   WriteFolder& folder, TimeRule rule) {
    const FileFacts& there = *options.replacing;
    m_heldFound.erase(target);
    // The end flushes the drive through a descriptor of any file on it: a copy made fills it,
    // and where none was made yet this one does.
    if (options.fileSystem && !options.fileSystem->open()) {
        Handle file;
        FileFacts opened;
        if (int error = m_fs.openToRead(&folder.handle, GetFileName(target), Follow::No, file, opened))
            return CopyResult::failure(error);
        if (!opened.sameState(there)) return CopyResult::failure(std::string(ChangedReason));
        *options.fileSystem = std::move(file);
    }
    WrittenCopies::Entry& written =
        m_written.record(target, {WrittenCopy::NoCopy, there.device, there.inode, there.size, there.modified,
                                  std::nullopt, there.changed});
    // Its data may never have reached the disk: the end flushes it before it gets its time.
    m_end.addCopy(written, row, *options.plannedSourceTime, folder, rule);
    CopyResult result = CopyResult::success(*options.plannedSourceTime);
    result.device = there.device;
    result.inode = there.inode;
    result.bytes = there.size;
    return result;
}

CopyResult RowCopy::record(std::size_t row, const std::string& target, const CopyOptions& options,
                           WriteFolder* folder, TimeRule rule, CopyResult result) {
    if (result.failed == CopyFailure::NotKept) result.reason += m_keepingOffHint;
    if (!result.done) return result;
    const bool later = options.flush == Flush::Later;
    WrittenCopies::Entry& written =
        m_written.record(target, {WrittenCopy::NoCopy, result.device, result.inode, result.bytes,
                                  later ? provisionalTime(result.modified, rule) : result.modified,
                                  options.hashContents ? std::optional(result.hash) : std::nullopt});
    if (later) {
        m_end.addCopy(written, row, result.modified, *folder, rule);
        m_end.flushAhead(*folder, result.bytes);
        return result;
    }
    // A copy made to last at once has its final time at once too.
    if (CopyResult kept = m_drives.keepComparableTime(*folder, GetFileName(target), result.device,
                                                      result.inode, result.modified, rule);
        !kept.done)
        return kept;
    if (!options.flushFolderNow) m_end.addNaming(row, folder->device);
    return result;
}

} // namespace quellomir
