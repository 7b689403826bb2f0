#include "sync/sync_session.h"

#include "compare/compare_rules.h"
#include "files/path_text.h"
#include "fs/drive_kinds.h"
#include "sync/contents.h"
#include "sync/keep_in_trash.h"
#include "sync/normalize_backslashes.h"
#include "sync/safe_file_copy.h"
#include "sync/sync_reasons.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <exception>
#include <future>
#include <system_error>

namespace quellomir {
namespace {

// How often the window gets its turn while a flush runs: often enough to repaint and
// answer without a visible lag.
constexpr std::chrono::milliseconds TurnInterval{5};

// How much the copies to free names write before a flush is started behind the rows, on
// drives where one flush reaches every file. The end of the run still flushes everything and
// waits for it; an earlier flush only leaves it less to write.
constexpr std::uint64_t FlushAheadBytes = std::uint64_t(32) << 20;

// Folders held open at once, between the copies made ahead; a run that writes into more
// opens them again as it needs.
constexpr std::size_t HeldFolders = 64;

// Every drive keeps the times from 1980 to 2037 (FAT's range and 32-bit seconds): outside
// them, a drive that kept one time exactly may still clamp another.
bool heldByEveryDrive(FileTime time) {
    constexpr std::int64_t From1980 = 315'532'800;
    constexpr std::int64_t Until2038 = 2'147'483'647;
    return time.seconds >= From1980 && time.seconds < Until2038;
}

std::string words(int error) {
    return std::generic_category().message(error);
}

} // namespace

// The folders one row writes into: the run's, checked to lie within the row's chosen folder.
class SyncSession::RowFolders final : public WriteFolders {
  public:
    RowFolders(SyncSession& session, const RowChecks& checks) : m_session(session), m_checks(checks) {}

    // Once per row: the folder the row's checks looked at is the one its copy goes to, even
    // when a second try would open it.
    CopyResult open(const std::string& path, WriteFolder*& folder) override {
        if (!m_result) m_result = openOnce(path, m_folder);
        folder = m_folder;
        return *m_result;
    }

  private:
    CopyResult openOnce(const std::string& path, WriteFolder*& folder) {
        CopyResult failure;
        OpenFolder* open = m_session.openFolder(path, failure);
        if (!open) return failure;
        const std::optional<FolderIdentity> top = m_session.topFolder(m_checks);
        if (!top) return CopyResult::failure(std::string(DestinationFolderMissingReason));
        if (open->checkedTop.device != top->device || open->checkedTop.inode != top->inode ||
            !open->checkedTop.known) {
            bool within = false;
            if (int error = m_session.m_fs.liesWithin(open->folder, top->device, top->inode, within))
                return CopyResult::failure(error);
            open->checkedTop = *top;
            open->within = within;
        }
        if (!open->within) return CopyResult::failure(outsideReason(m_checks.destinationSide));
        folder = &open->folder;
        return CopyResult::success({});
    }

    SyncSession& m_session;
    const RowChecks& m_checks;
    std::optional<CopyResult> m_result;
    WriteFolder* m_folder = nullptr;
};

SyncSession::SyncSession(FileSystem& fs, Yielder& yielder)
    : m_fs(fs), m_yielder(yielder), m_earlierRuns(fs, [this](WriteFolder& folder) {
          CopyResult failure;
          return trashFor(folder, failure);
      }) {}

SyncSession::~SyncSession() = default;

void SyncSession::finishEarlierRuns(const Plan& plan) {
    for (const Side side : {Side::Folder1, Side::Folder2}) {
        CopyResult failure;
        if (!plan.folder(side).empty()) openFolder(plan.folder(side), failure);
    }
}

bool SyncSession::wrote(const std::string& path) const {
    // Asked several times a row: a path without doubled separators is looked up as it is.
    if (path.find("//") == std::string::npos) return m_written.contains(path);
    return m_written.contains(NormalizeBackslashes(path));
}

SyncSession::OpenFolder* SyncSession::openFolder(const std::string& path, CopyResult& failure) {
    if (auto found = m_folders.find(path); found != m_folders.end()) return found->second.get();
    auto open = std::make_unique<OpenFolder>();
    if (int error = m_fs.openWriteFolder(path, open->folder)) {
        failure = CopyResult::failure(error);
        return nullptr;
    }
    m_earlierRuns.finishIn(open->folder);
    return m_folders.emplace(path, std::move(open)).first->second.get();
}

std::optional<FolderIdentity> SyncSession::topFolder(const RowChecks& checks) {
    if (checks.top.known) return checks.top;
    const int side = checks.destinationSide == Side::Folder1 ? 0 : 1;
    std::optional<FolderIdentity>& top = m_tops[side];
    if (!top) {
        // Held open for the whole run: a drive that numbers a folder anew once the kernel
        // forgets it cannot forget this one, nor the folders between it and a destination
        // held open too, while the rows are checked against it.
        if (m_fs.openWriteFolder(std::string(checks.topPath), m_heldTops[side]) != 0) return std::nullopt;
        top = FolderIdentity{m_heldTops[side].device, m_heldTops[side].inode, true};
    }
    return top;
}

TrashCan* SyncSession::trashFor(WriteFolder& folder, CopyResult& failure) {
    auto found = std::find_if(m_trashes.begin(), m_trashes.end(),
                              [&](const auto& trash) { return trash->device == folder.device; });
    if (found == m_trashes.end()) {
        auto trash = std::make_unique<Trash>();
        trash->device = folder.device;
        if (int error = m_fs.openTrash(folder, trash->can)) {
            trash->failure = notKeptReason(trash->can, error);
            // A drive whose top folder the user may not write, or whose Trash another user
            // could enter: the home Trash takes a copy of the older file.
            if (!trash->can.home) {
                TrashCan home;
                if (int homeError = m_fs.openHomeTrash(home)) {
                    trash->failure += ", nor in " + home.path + " \u2014 " + words(homeError);
                } else {
                    trash->can = std::move(home);
                    trash->failure.clear();
                }
            }
        }
        found = m_trashes.insert(m_trashes.end(), std::move(trash));
    }
    if ((*found)->failure.empty()) return &(*found)->can;
    failure = CopyResult::failure((*found)->failure + m_keepingOffHint);
    return nullptr;
}

Handle& SyncSession::fileSystemHandle(std::uint64_t device) {
    for (auto& [held, handle] : m_fileSystems)
        if (held == device) return handle;
    return m_fileSystems.emplace_back(device, Handle()).second;
}

CopyResult SyncSession::prepareOptions(const std::string& target, Replacing replacing,
                                       const RowChecks& checks, RowFolders& folders, CopyOptions& options,
                                       WriteFolder*& folder) {
    const std::string name = GetFileName(target);
    // Only a file that was there before the run is worth the wait for the disk.
    options.flush = replacing == Replacing::OlderFile ? Flush::Now : Flush::Later;
    options.replace = replacing == Replacing::Nothing ? Replace::No : Replace::Yes;
    options.progress = [this] { m_yielder.tick(); };
    options.followSource = checks.followSource;
    options.plannedSourceTime = checks.plannedSourceTime;
    options.timeRule = checks.timeRule;

    // A folder that cannot be opened is left to SafeFileCopy to explain.
    if (!folders.open(GetParentFolder(target), folder).done) {
        folder = nullptr;
        return CopyResult::success({});
    }
    options.fileSystem = &fileSystemHandle(folder->device);
    if (options.flush == Flush::Later) options.renameTimes = &m_renameTimes[folder->device];
    options.wholeSeconds = dropsFractions(folder->device);
    options.hashContents = options.flush == Flush::Later && !writesMoveTimesOn(*folder);
    bool keepOlder = replacing == Replacing::OlderFile && m_keepReplaced;
    if (replacing != Replacing::Nothing) {
        FileFacts there;
        if (int error = m_fs.statIn(*folder, name, Follow::No, there))
            return error == ENOENT ? CopyResult::failure(std::string(ChangedReason))
                                   : CopyResult::failure(error);
        // The comparison saw what a link leads to.
        FileFacts seen = there;
        if (there.kind == EntryKind::Link && checks.plannedDestinationTime)
            if (m_fs.statIn(*folder, name, Follow::Yes, seen) != 0) seen = {};
        if (checks.plannedDestinationTime && seen.modified != *checks.plannedDestinationTime)
            return CopyResult::failure(std::string(ChangedReason));
        if (replacing == Replacing::ThisRunsCopy)
            if (auto found = m_written.find(target);
                found == m_written.end() || !stillAsWritten(there, found->second) ||
                !sameBytesAsWritten(*folder, name, there, found->second))
                return CopyResult::failure(std::string(ChangedReason));
        options.replacing = there;
        options.mayHoldSameBytes = mayBeStoppedRunsCopy(there, checks);
    }
    if (keepOlder) {
        CopyResult failure;
        options.trash = trashFor(*folder, failure);
        if (!options.trash) return failure;
    }
    // The end's flush reaches only the destination's drive: a Trash on another one (the
    // home Trash for a drive without its own) is flushed with each row.
    options.flushFolderNow = options.trash && options.trash->device != folder->device;
    return CopyResult::success({});
}

CopyResult SyncSession::recordCopy(std::size_t row, const std::string& target, const CopyOptions& options,
                                   WriteFolder* folder, const RowChecks& checks, CopyResult result) {
    if (result.failed == CopyFailure::NotKept)
        result.reason += m_keepingOffHint;
    if (!result.done) return result;
    Written& written = *m_written.try_emplace(target).first;
    written.second = {NoCopy, result.device, result.inode, result.bytes,
                      options.flush == Flush::Later ? provisionalTime(result.modified, checks.timeRule)
                                                    : result.modified,
                      options.hashContents ? std::optional(result.hash) : std::nullopt};
    if (options.flush == Flush::Later) {
        written.second.unflushed = m_unflushed.size();
        m_unflushed.push_back({&written, row, result.modified, result.device, result.inode, folder->device,
                               folder->inode, checks.timeRule});
        flushAhead(*folder, result.bytes);
        return result;
    }
    // A copy made to last at once has its final time at once too.
    if (CopyResult kept = keepComparableTime(*folder, GetFileName(target), result.device, result.inode,
                                             result.modified, checks.timeRule);
        !kept.done)
        return kept;
    if (!options.flushFolderNow) m_namedUnflushed.emplace_back(row, folder->device);
    return result;
}

CopyResult SyncSession::copy(std::size_t row, const std::string& source, const std::string& destination,
                             Replacing replacing, const RowChecks& checks) {
    const std::string target = NormalizeBackslashes(destination);
    // Folders are let go only when no copy made ahead is in one: each holds on to its folder.
    if (m_ahead.empty() && m_folders.size() >= HeldFolders) m_folders.clear();
    passOver(row == 0 ? NoRow : row - 1);
    m_turnsReached = std::max(m_turnsReached, row + 1);
    if (!m_ahead.empty() && m_ahead.front().row == row && m_ahead.front().replacing == replacing) {
        Ahead ahead = std::move(m_ahead.front());
        m_ahead.pop_front();
        CopyResult placed =
            ahead.named ? std::move(*ahead.named)
                        : placeCopy(m_fs, ahead.copy, *ahead.folder, GetFileName(target), ahead.options);
        return recordCopy(row, target, ahead.options, ahead.folder, checks, std::move(placed));
    }
    RowFolders folders(*this, checks);
    CopyOptions options;
    WriteFolder* folder = nullptr;
    if (CopyResult prepared = prepareOptions(target, replacing, checks, folders, options, folder);
        !prepared.done)
        return prepared;
    CopyResult result = SafeFileCopy(m_fs, source, destination, options, &folders);
    return recordCopy(row, target, options, folder, checks, std::move(result));
}

void SyncSession::prepareNewCopies(const std::vector<RowAhead>& rows) {
    std::vector<Ahead> aheads;
    std::vector<std::string> sources;
    for (const RowAhead& copy : rows) {
        Ahead ahead;
        ahead.row = copy.row;
        ahead.replacing = Replacing::Nothing;
        ahead.target = NormalizeBackslashes(copy.destination);
        ahead.timeRule = copy.checks.timeRule;
        RowFolders folders(*this, copy.checks);
        if (!prepareOptions(ahead.target, Replacing::Nothing, copy.checks, folders, ahead.options,
                            ahead.folder)
                 .done ||
            !ahead.folder)
            continue; // its turn tells what is wrong
        aheads.push_back(std::move(ahead));
        sources.push_back(NormalizeBackslashes(copy.source));
    }
    if (aheads.size() < 2) return;
    // The threads touch nothing of the session: the window's turn and the descriptor kept to
    // flush the drive stay on this thread. Each copy takes its name on its thread too, a round
    // trip of its own on a network drive, unless the naming needs the session: to hold the
    // drive's descriptor (so the first copy of a run is made here), or to learn what the drive
    // does to the time of a renamed file (a file without a name is linked, not renamed).
    std::size_t first = 0;
    if (!aheads.front().options.fileSystem->open()) {
        aheads.front().copy =
            prepareCopy(m_fs, sources.front(), *aheads.front().folder, aheads.front().options);
        first = 1;
    }
    std::vector<CopyOptions> threadOptions;
    std::vector<char> descriptorHeld;
    for (const Ahead& ahead : aheads) {
        CopyOptions options = ahead.options;
        options.progress = nullptr;
        options.stopping = &m_stopping;
        options.fileSystem = nullptr;
        threadOptions.push_back(std::move(options));
        descriptorHeld.push_back(ahead.options.fileSystem->open());
    }
    onThreads(requestsInFlight(driveType(*aheads.front().folder)), aheads.size() - first, [&](std::size_t i) {
        i += first;
        Ahead& ahead = aheads[i];
        const CopyOptions& options = threadOptions[i];
        ahead.copy = prepareCopy(m_fs, sources[i], *ahead.folder, options);
        const bool renamed = !ahead.copy.made->temporaryName.empty();
        if (ahead.copy.ready && descriptorHeld[i] &&
            (!renamed || !options.renameTimes || *options.renameTimes == RenameTimes::Kept))
            ahead.named = placeCopy(m_fs, ahead.copy, *ahead.folder, GetFileName(ahead.target), options);
    });
    for (Ahead& ahead : aheads) {
        if (!ahead.named && !ahead.copy.ready)
            continue; // made again in its turn, which says why it cannot be
        if (!ahead.named && !ahead.options.fileSystem->open())
            if (m_fs.holdFileSystem(*ahead.copy.made, *ahead.options.fileSystem) != 0) {
                m_fs.discardNewFile(*ahead.copy.made);
                continue;
            }
        m_ahead.push_back(std::move(ahead));
    }
    if (m_heldStop) std::rethrow_exception(std::exchange(m_heldStop, nullptr));
}

void SyncSession::passOver(std::size_t row) {
    if (row == NoRow) return;
    m_turnsReached = std::max(m_turnsReached, row + 1);
    while (!m_ahead.empty() && m_ahead.front().row <= row) {
        undoAhead(m_ahead.front());
        m_ahead.pop_front();
    }
}

void SyncSession::undoAhead(Ahead& ahead) {
    // A copy not named yet goes with its NewFile. One named already took a name nothing held,
    // so removing it leaves the folder as the row found it; only the very copy is removed.
    if (!ahead.named || !ahead.named->done) return;
    const std::string name = GetFileName(ahead.target);
    FileFacts there;
    if (m_fs.statIn(*ahead.folder, name, Follow::No, there) == 0 && there.device == ahead.named->device &&
        there.inode == ahead.named->inode && there.size == ahead.named->bytes)
        m_fs.unlinkIn(*ahead.folder, name);
}

void SyncSession::recordNamedAhead(Ahead& ahead) {
    if (!ahead.named || !ahead.named->done) return;
    RowChecks checks;
    checks.timeRule = ahead.timeRule;
    if (recordCopy(ahead.row, ahead.target, ahead.options, ahead.folder, checks, std::move(*ahead.named))
            .done)
        m_doneAhead.push_back(ahead.row);
}

bool SyncSession::namedAhead(std::size_t row) const {
    return std::any_of(m_ahead.begin(), m_ahead.end(), [&](const Ahead& ahead) {
        return ahead.row == row && ahead.named && ahead.named->done;
    });
}

bool SyncSession::prepared(std::size_t row) const {
    return std::any_of(m_ahead.begin(), m_ahead.end(), [&](const Ahead& ahead) { return ahead.row == row; });
}

bool SyncSession::writesMoveTimesOn(const WriteFolder& folder) {
    auto [known, isNew] = m_writesMoveTimes.try_emplace(folder.device, true);
    std::string type;
    if (isNew && m_fs.mountType(folder.path, type) == 0) known->second = writesMoveTimes(type);
    return known->second;
}

std::uint64_t SyncSession::driveType(const WriteFolder& folder) {
    auto [known, isNew] = m_driveTypes.try_emplace(folder.device, 0);
    if (isNew && m_fs.fileSystemType(folder.path, known->second) != 0) known->second = 0;
    return known->second;
}

void SyncSession::onThreads(unsigned threads, std::size_t count,
                            const std::function<void(std::size_t)>& each) {
    m_workers.run(threads, count, each, TurnInterval, [this] { turn(); });
}

void SyncSession::prepareReplacements(const std::vector<RowAhead>& rows) {
    std::vector<std::uint64_t> devices;
    for (const RowAhead& replacement : rows) {
        const std::string target = NormalizeBackslashes(replacement.destination);
        RowFolders folders(*this, replacement.checks);
        Ahead ahead;
        ahead.row = replacement.row;
        if (!prepareOptions(target, Replacing::OlderFile, replacement.checks, folders, ahead.options,
                            ahead.folder)
                 .done ||
            !ahead.folder || !flushReachesEveryFile(driveType(*ahead.folder)))
            continue; // its turn tells what is wrong
        ahead.copy =
            prepareCopy(m_fs, NormalizeBackslashes(replacement.source), *ahead.folder, ahead.options);
        if (!ahead.copy.ready) continue; // made again in its turn, which says why it cannot be
        if (std::find(devices.begin(), devices.end(), ahead.folder->device) == devices.end())
            devices.push_back(ahead.folder->device);
        m_ahead.push_back(std::move(ahead));
    }
    // One flush for all: each copy is on the disk before it replaces anything.
    const std::vector<int> errors = flushFileSystems(devices);
    for (Ahead& ahead : m_ahead) {
        const auto device = std::find(devices.begin(), devices.end(), ahead.folder->device) - devices.begin();
        if (device == static_cast<std::ptrdiff_t>(devices.size())) continue;
        if (int error = errors[static_cast<std::size_t>(device)]) {
            m_fs.discardNewFile(*ahead.copy.made);
            ahead.copy.ready = false;
            ahead.copy.failure = CopyResult::failure(error);
        }
    }
    if (m_heldStop) std::rethrow_exception(std::exchange(m_heldStop, nullptr));
}

bool SyncSession::mayBeStoppedRunsCopy(const FileFacts& there, const RowChecks& checks) {
    // A copy that a run stopped before its flush left carries its provisional time. Only a file
    // of the source's size at about that age is worth reading to see whether it holds the
    // copy's bytes; what the row decides rests on those bytes, never on the time: a daily job
    // writes files of one size two days apart too.
    if (there.kind != EntryKind::Regular || !checks.plannedSourceTime || !checks.plannedSourceTime->known() ||
        !checks.plannedSourceSize || there.size != *checks.plannedSourceSize || !there.modified.known())
        return false;
    const FileTime provisional = provisionalTime(*checks.plannedSourceTime, checks.timeRule);
    const std::int64_t apart = (there.modified.seconds - provisional.seconds) * 1'000'000'000 +
                               (there.modified.nanoseconds - provisional.nanoseconds);
    return apart >= -2'000'000'000 && apart <= 2'000'000'000;
}

bool SyncSession::stillAsWritten(const FileFacts& now, const WrittenCopy& copy) {
    // Drives of whole or even seconds cut the time the copy was given; an edit gives the time
    // of now, which a copy's (its source's, or older) is seconds at least before.
    // A time no drive may hold is not looked at.
    const std::int64_t apart = now.modified.seconds - copy.modified.seconds;
    return now.device == copy.device && now.inode == copy.inode && now.size == copy.size &&
           (!heldByEveryDrive(copy.modified) || (apart >= -2 && apart <= 2));
}

bool SyncSession::sameBytesAsWritten(WriteFolder& folder, const std::string& name, const FileFacts& now,
                                     const WrittenCopy& copy) {
    if (!copy.hash) return true; // the drive moves the time of a file written to
    Handle file;
    FileFacts opened;
    std::uint64_t hash = 0;
    return m_fs.openToRead(folder.handle, name, file, opened) == 0 && opened.sameState(now) &&
           hashOfFile(m_fs, file, hash) == 0 && hash == *copy.hash;
}

bool SyncSession::dropsFractions(std::uint64_t device) const {
    return std::find(m_wholeSecondDevices.begin(), m_wholeSecondDevices.end(), device) !=
           m_wholeSecondDevices.end();
}

CopyResult SyncSession::keepComparableTime(WriteFolder& folder, const std::string& name, std::uint64_t device,
                                           std::uint64_t inode, FileTime time, TimeRule rule) {
    const bool exactDrive =
        std::find(m_exactTimeDevices.begin(), m_exactTimeDevices.end(), device) != m_exactTimeDevices.end();
    if (exactDrive && heldByEveryDrive(time)) return CopyResult::success(time);
    FileFacts kept;
    if (int error = m_fs.statIn(folder, name, Follow::No, kept)) return CopyResult::failure(error);
    if (kept.device != device || kept.inode != inode)
        return CopyResult::success(time); // not the copy any more
    if (time.nanoseconds != 0 && kept.modified.nanoseconds == 0 && !dropsFractions(device))
        m_wholeSecondDevices.push_back(device);
    if (kept.modified == time) {
        // A time without a fraction comes back whole from a drive of whole seconds too.
        if (time.nanoseconds != 0 && !exactDrive) m_exactTimeDevices.push_back(device);
        return CopyResult::success(time);
    }
    if (compareWriteTimes(kept.modified, time, rule) == 0) return CopyResult::success(time);
    if (int error = m_fs.setModified(folder, name, time.roundedToSecond())) return CopyResult::failure(error);
    if (int error = m_fs.statIn(folder, name, Follow::No, kept)) return CopyResult::failure(error);
    if (compareWriteTimes(kept.modified, time, rule) != 0)
        return CopyResult::failure(std::string(TimeNotKeptReason));
    return CopyResult::success(time);
}

void SyncSession::flushAhead(const WriteFolder& folder, std::int64_t bytes) {
    if (!flushReachesEveryFile(driveType(folder))) return;
    // A new file costs the disk about a block of its own besides its data.
    m_bytesSinceFlushAhead += std::uint64_t(bytes) + 4096;
    if (m_bytesSinceFlushAhead < FlushAheadBytes) return;
    if (m_flushingAhead.valid() &&
        m_flushingAhead.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    Handle& handle = fileSystemHandle(folder.device);
    if (!handle.open()) return;
    m_bytesSinceFlushAhead = 0;
    try {
        m_flushingAhead = std::async(std::launch::async, [this, &handle] { m_fs.syncFileSystem(handle); });
    } catch (const std::system_error&) {
        // No thread to be had: the end's flush does it all.
    }
}

std::vector<int> SyncSession::flushFileSystems(const std::vector<std::uint64_t>& devices) {
    std::vector<Handle*> handles;
    for (std::uint64_t device : devices)
        handles.push_back(&fileSystemHandle(device));
    std::vector<int> errors(devices.size(), 0);
    // On a thread of its own: a USB stick takes a while, and the window answers meanwhile.
    onThreads(1, handles.size(), [&](std::size_t i) {
        errors[i] = handles[i]->open() ? m_fs.syncFileSystem(*handles[i]) : EBADF;
    });
    return errors;
}

void SyncSession::turn() {
    try {
        m_yielder.tick();
    } catch (...) {
        // A stop (the window closed, Ctrl+C) waits until the copies made are on the disk with
        // their times: cut short here, they would stay with provisional times.
        if (!m_heldStop) m_heldStop = std::current_exception();
        m_stopping.store(true, std::memory_order_relaxed);
    }
}

void SyncSession::flush(Plan& plan) {
    flush(Marks{[&](std::size_t row) { plan.markDoneIfPending(row); },
                [&](std::size_t row, std::string reason) { plan.markFailed(row, std::move(reason)); },
                [&](std::size_t row) { return plan.tickedNow(row); }});
}

void SyncSession::flush(const Marks& marks) {
    finishCopies(marks);
    if (m_heldStop) std::rethrow_exception(std::exchange(m_heldStop, nullptr));
}

void SyncSession::finishCopies(const Marks& marks) {
    // Copies made ahead whose rows never came (a stopped run) are removed, nothing replaced,
    // but those that took their names already are finished as their rows' own, unless the row
    // was passed over or unticked meanwhile.
    for (Ahead& ahead : m_ahead)
        if (ahead.row < m_turnsReached || (marks.wanted && !marks.wanted(ahead.row)))
            undoAhead(ahead);
        else
            recordNamedAhead(ahead);
    m_ahead.clear();
    for (const std::size_t row : std::exchange(m_doneAhead, {}))
        marks.done(row);
    // The window answers while a flush started behind the rows ends: on a slow drive that takes a while.
    if (m_flushingAhead.valid())
        while (m_flushingAhead.wait_for(TurnInterval) != std::future_status::ready)
            turn();
    if (m_unflushed.empty() && m_namedUnflushed.empty()) return;
    // One flush per file system.
    std::vector<std::uint64_t> devices;
    auto addDevice = [&](std::uint64_t device) {
        if (std::find(devices.begin(), devices.end(), device) == devices.end()) devices.push_back(device);
    };
    for (const Unflushed& copy : m_unflushed)
        addDevice(copy.folderDevice);
    for (const auto& [row, device] : m_namedUnflushed)
        addDevice(device);
    // The data, before any copy gets the time that says it is complete. The times are not
    // flushed in their turn: should they be lost, the copies look older than their sources
    // and are copied again.
    const std::vector<int> flushErrors = flushFileSystems(devices);
    auto flushErrorOf = [&](std::uint64_t device) {
        return flushErrors[static_cast<std::size_t>(std::find(devices.begin(), devices.end(), device) -
                                                    devices.begin())];
    };
    // A replacement whose naming could not be flushed may yet be undone by a power cut; its
    // older file is then back in its place, and the row is not done.
    for (const auto& [row, device] : std::exchange(m_namedUnflushed, {}))
        if (int error = flushErrorOf(device)) marks.failed(row, words(error));

    std::vector<Unflushed> copies = std::move(m_unflushed);
    m_unflushed.clear();
    // The copies still to finish, with their folders: looked up here, on this thread.
    struct Finishing {
        const Unflushed* copy;
        WriteFolder* folder;
        std::string name;
        int timeError = 0;
        bool gone = false; // a later row or someone else replaced it, or its folder moved
    };
    std::vector<Finishing> finishing;
    for (std::size_t index = 0; index < copies.size(); ++index) {
        const Unflushed& copy = copies[index];
        // A copy a later row of this run replaced has nothing left to finish, even where the
        // file system gave the later copy the same inode number.
        if (copy.written->second.unflushed != index) continue;
        copy.written->second.unflushed = NoCopy;
        turn();
        const std::string& path = copy.written->first;
        if (int error = flushErrorOf(copy.folderDevice); error != 0) {
            marks.failed(copy.row, words(error));
            continue;
        }
        // The folder the copy went to: one moved away leaves nothing of the copy to finish.
        CopyResult failure;
        OpenFolder* open = openFolder(GetParentFolder(path), failure);
        if (!open || open->folder.device != copy.folderDevice || open->folder.inode != copy.folderInode)
            continue;
        finishing.push_back({&copy, &open->folder, GetFileName(path)});
    }
    // The copy is looked at in its folder, then given its source's time: two requests each,
    // which on a network drive are round trips, made many at a time there.
    auto giveTime = [&](Finishing& one) {
        FileFacts now;
        const WrittenCopy& written = one.copy->written->second;
        if (m_fs.statIn(*one.folder, one.name, Follow::No, now) != 0 || now.device != one.copy->device ||
            now.inode != one.copy->inode || !stillAsWritten(now, written) ||
            !sameBytesAsWritten(*one.folder, one.name, now, written)) {
            one.gone = true;
            return;
        }
        // A drive that dropped the fraction of the provisional time would cut the source's to
        // a second earlier, and a stop before that was mended would leave the copy looking
        // older: it gets the time rounded as the comparison rounds it, in this one step.
        const FileTime time = one.copy->modified;
        const bool whole = dropsFractions(one.copy->device) ||
                           (written.modified.nanoseconds > 0 && now.modified.nanoseconds == 0);
        one.timeError = m_fs.setModified(*one.folder, one.name, whole ? time.roundedToSecond() : time);
    };
    // Many at a time: on network and FUSE drives each is a round trip, and on a local one the
    // lookups in a big folder keep a core busy.
    if (!finishing.empty())
        onThreads(requestsInFlight(driveType(*finishing.front().folder)), finishing.size(),
                  [&](std::size_t i) { giveTime(finishing[i]); });
    for (Finishing& one : finishing) {
        if (one.gone) continue;
        if (one.timeError != 0) {
            marks.failed(one.copy->row, words(one.timeError));
            continue;
        }
        CopyResult kept = keepComparableTime(*one.folder, one.name, one.copy->device, one.copy->inode,
                                             one.copy->modified, one.copy->timeRule);
        if (!kept.done) marks.failed(one.copy->row, kept.reason);
    }
}

} // namespace quellomir
