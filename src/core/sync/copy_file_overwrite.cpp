#include "sync/copy_file_overwrite.h"

#include "files/contents.h"
#include "files/new_file.h"
#include "files/time_note.h"
#include "files/trash_can.h"
#include "files/write_folder.h"
#include "sync/copy_clock.h"
#include "sync/keep_in_trash.h"
#include "sync/sync_reasons.h"

#include <cerrno>
#include <chrono>
#include <utility>

namespace quellomir {
namespace {

// File systems without Unix permission bits (FAT, exFAT, NTFS by some drivers) refuse
// to take them; the copy is still good there.
bool cannotKeepMode(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// The permission bits a copy gets: the source's as far as the umask lets a new file have them,
// as cp and rsync give them without -p (a stick's FAT or exFAT gives every file the mount's
// bits, often rwxrwxrwx, which are no one's choice); set-user-ID and set-group-ID only for a
// copy that belongs to the source's owner and group (a copy made by root of a user's
// program must not run as root).
std::uint32_t copyMode(const NewFile& file) {
    const std::uint32_t mode = (file.source.mode & file.createdMode & 0777) | (file.source.mode & 01000);
    const bool sameOwners = file.owner == file.source.owner && file.group == file.source.group;
    return sameOwners ? mode | (file.source.mode & 06000) : mode;
}

// A file's time comes from a clock that may lag the real one by a tick of the kernel.
constexpr std::chrono::milliseconds ClockLag{20};
// How often the window gets its turn while a copy waits for its source's second to end.
constexpr std::chrono::milliseconds WaitTurn{20};

// The moment from which a write to a file can no longer give it a time that the rule takes
// as equal to `time`: once the clock has left the second `time` rounds to, and on FAT the
// two seconds after it that count as equal too.
std::chrono::system_clock::time_point settledAfter(FileTime time, TimeRule rule) {
    using namespace std::chrono;
    const seconds tolerance{rule == TimeRule::FatTolerant ? 2 : 0};
    return system_clock::time_point{seconds(time.roundedSeconds()) + tolerance + milliseconds(500) +
                                    ClockLag};
}

// Whether the wait ran to its end: a stop ends it at once.
bool waitUntil(std::chrono::system_clock::time_point moment, const CopyOptions& options) {
    using std::chrono::system_clock;
    CopyClock& clock = copyClock();
    for (auto now = clock.now(); now < moment; now = clock.now()) {
        if (options.stopping && options.stopping->load(std::memory_order_relaxed)) return false;
        clock.sleepFor(std::min<system_clock::duration>(moment - now, WaitTurn));
        if (options.progress) options.progress(0);
    }
    return true;
}

// Whether `time` lies ahead of the clock: a camera's clock set a day ahead, a FAT stick
// written east of here. Nothing written from now on can give its file that time again, so
// there is nothing to wait for.
bool inTheFuture(FileTime time) {
    using namespace std::chrono;
    return system_clock::time_point{seconds(time.seconds) + nanoseconds(time.nanoseconds)} >
           copyClock().now() + ClockLag;
}

// 0 when the source is still as it was opened, and no later write can make it compare
// equal to the copy; -1 when it changed; ECANCELED when a stop ended the wait; else the
// errno of the look.
int settleSource(FileSystem& fs, NewFile& file, const CopyOptions& options) {
    FileFacts now;
    if (int error = restatSource(fs, file, now)) return error;
    if (!now.sameState(file.source)) return -1;
    if (inTheFuture(file.source.modified)) return 0;
    const auto settled = settledAfter(file.source.modified, options.timeRule);
    if (copyClock().now() >= settled) return 0;
    if (!waitUntil(settled, options)) return ECANCELED;
    if (int error = restatSource(fs, file, now)) return error;
    return now.sameState(file.source) ? 0 : -1;
}

// The time a copy is given before it takes its name: a copy flushed before then has its
// source's time at once, one flushed later its provisional time.
FileTime givenTime(FileTime sourceTime, const CopyOptions& options) {
    return options.flush == Flush::Later ? provisionalTime(sourceTime, options.timeRule)
           : options.wholeSeconds        ? sourceTime.roundedToSecond()
                                         : sourceTime;
}

// The steps after the copy, on the new file, but its flush; 0 or the errno of the failing
// step.
int finishNewFile(FileSystem& fs, NewFile& file, FileTime sourceTime, const CopyOptions& options) {
    if (int error = setModified(fs, file, givenTime(sourceTime, options))) return error;
    if (int error = setMode(fs, file, copyMode(file)); error != 0 && !cannotKeepMode(error)) return error;
    return 0;
}

// Where the drive can refuse a taken name neither in a rename nor in a link (exFAT and FAT
// through FUSE), the name is claimed by creating it, empty, and the copy's "~" file renamed
// over the claim. A note says so until then: a run stopped in between leaves the empty claim,
// which the next run proves (the start of the "~" file's bytes: none) and removes.
int claimName(FileSystem& fs, NewFile& file, const std::string& name, FileTime given, bool namesLandInOrder) {
    WriteFolder& folder = *file.folder;
    if (int error = nameTemporarily(fs, file)) return error;
    Handle held;
    std::string noteName;
    const TimeNote note{name, given, file.source.size, 0, file.temporaryName};
    if (int error = writeNote(fs, folder, timeNoteText(note), held, noteName)) return error;
    auto flushNames = [&] {
        const int error = namesLandInOrder ? 0 : fs.flush(folder.handle);
        return error == EBADF ? 0 : error;
    };
    int error = flushNames();
    if (error == 0) error = nameByCopy(fs, file, name);
    if (error != 0) {
        fs.unlinkAt(folder.handle, noteName);
        return error;
    }
    // Should the copy's name not reach the disk, the note stays for the next run.
    if (int flushError = flushNames()) return flushError;
    fs.unlinkAt(folder.handle, noteName);
    return 0;
}

// Gives the new file the destination name, replacing what is there only when asked to.
int takeName(FileSystem& fs, NewFile& file, const std::string& name, Replace replace, FileTime given,
             const CopyOptions& options) {
    const int error = nameNewFile(fs, file, name, replace);
    if (error != EINVAL || replace == Replace::Yes) return error;
    return claimName(fs, file, name, given, options.namesLandInOrder);
}

// Whether the destination is still what the copy is to replace.
bool destinationKept(FileSystem& fs, WriteFolder& folder, const std::string& name, const FileFacts& before) {
    FileFacts now;
    return fs.statAt(folder.handle, name, Follow::No, now) == 0 && now.sameState(before);
}

// The note of the copy `made`, to take the name `name` with the time `given`: what proves
// it is still that copy is read from its source, which it holds the bytes of.
int timeNoteOf(FileSystem& fs, NewFile& made, const std::string& name, FileTime given, std::string& text) {
    TimeNote note{name, given, made.source.size, 0};
    if (int error = hashOfSource(fs, made, note.hash)) return error;
    text = timeNoteText(note);
    return 0;
}

// Whether a stamp of the current time could pass for `time` by the rule: a time of the last
// few seconds, such as a source's that was written just before the run.
bool nearNow(FileTime time) {
    using namespace std::chrono;
    const auto now = duration_cast<seconds>(copyClock().now().time_since_epoch()).count();
    return time.seconds > now - 10 && time.seconds < now + 10;
}

// After a renamed copy took its name: the time it was given back where the drive stamped
// the current one on it.
int keepGivenTime(FileSystem& fs, WriteFolder& folder, const std::string& name, FileTime given, TimeRule rule,
                  RenameTimes& renames) {
    if (renames == RenameTimes::Unknown) {
        FileFacts now;
        if (int error = fs.statAt(folder.handle, name, Follow::No, now)) return error;
        // Kept is told by the given time itself: a stamp of now is older than a source dated
        // ahead of the clock too. A drive of whole seconds cuts the fraction off. A time close
        // to now tells nothing: the time is set again all the same.
        const bool cut = now.modified.seconds == given.seconds && now.modified.nanoseconds == 0;
        if (cut || compareWriteTimes(now.modified, given, rule) == 0) {
            if (nearNow(given)) return fs.setModified(folder.handle, name, given);
            renames = RenameTimes::Kept;
            return 0;
        }
        renames = RenameTimes::Stamped;
    }
    return fs.setModified(folder.handle, name, given);
}

// What a copy did before it took its name, undone last first on every way out before it
// does: the note beside it goes, an older file kept in the Trash goes back to its place, and
// the copy itself is removed. Once the copy has its name, nothing is undone: a note left
// then stays for the next run.
class RollBack {
  public:
    RollBack(FileSystem& fs, NewFile& made, WriteFolder& folder, const std::string& name, FileTime olderTime)
        : m_fs(fs), m_made(made), m_folder(folder), m_name(name), m_olderTime(olderTime) {}
    RollBack(const RollBack&) = delete;
    RollBack& operator=(const RollBack&) = delete;
    ~RollBack() {
        if (!m_named) undo();
    }

    int writeNote(const std::string& text) {
        return quellomir::writeNote(m_fs, m_folder, text, m_note, m_noteName);
    }
    bool noted() const { return !m_noteName.empty(); }
    void dropNote() {
        if (m_noteName.empty()) return;
        m_fs.unlinkAt(m_folder.handle, std::exchange(m_noteName, {}));
        m_note.close();
    }
    int keepInTrash(TrashCan& trash) {
        const int error = quellomir::keepInTrash(m_fs, m_folder, m_name, trash, m_kept);
        if (error == 0) m_trash = &trash;
        return error;
    }
    const KeptFile& kept() const { return m_kept; }
    void named() { m_named = true; }
    // Undoes now; not 0 when the older file could not go back (it stays in the Trash).
    int undo() {
        if (m_named) return 0;
        m_named = true; // once
        dropNote();
        const int backError = m_trash ? putBack(m_fs, m_folder, m_name, *m_trash, m_kept, m_olderTime) : 0;
        discardNewFile(m_fs, m_made);
        return backError;
    }

  private:
    FileSystem& m_fs;
    NewFile& m_made;
    WriteFolder& m_folder;
    const std::string& m_name;
    const FileTime m_olderTime;
    Handle m_note;
    std::string m_noteName;
    TrashCan* m_trash = nullptr; // where the older file was kept
    KeptFile m_kept;
    bool m_named = false;
};

} // namespace

FileTime provisionalTime(FileTime sourceTime, TimeRule rule) {
    constexpr std::int64_t TwoDays = 2 * 24 * 60 * 60;
    return {sourceTime.seconds - TwoDays - (rule == TimeRule::FatTolerant ? 10 : 2), sourceTime.nanoseconds};
}

PreparedCopy prepareCopy(FileSystem& fs, const std::string& source, WriteFolder& folder,
                         const CopyOptions& options) {
    PreparedCopy prepared;
    NewFile& made = *prepared.made;
    auto fail = [&](CopyResult failure) {
        if (made.fs) discardNewFile(fs, made);
        prepared.failure = std::move(failure);
        return std::move(prepared);
    };
    if (int error = copyToNewFile(fs, source, options.followSource, folder, made, options.progress))
        return fail(error == ELOOP && options.followSource == Follow::No
                        ? CopyResult::failure(std::string(ChangedReason))
                        : CopyResult::failure(error));
    if (options.plannedSourceTime && made.source.modified != *options.plannedSourceTime)
        return fail(CopyResult::failure(std::string(ChangedReason)));
    // The source's time as it was opened, before its contents were read; the look below
    // makes sure that it is still the time of what was read.
    prepared.sourceTime = made.source.modified;
    int error = prepared.sourceTime.known() ? 0 : EIO;
    // The data is flushed by the caller, or below, before the copy takes its name.
    if (error == 0) error = finishNewFile(fs, made, prepared.sourceTime, options);
    if (error == 0) error = settleSource(fs, made, options);
    if (error < 0) return fail(CopyResult::failure(std::string(ChangedWhileCopiedReason)));
    if (error == 0 && options.fileSystem && !options.fileSystem->open())
        error = holdFileSystem(fs, made, *options.fileSystem);
    if (error != 0) return fail(CopyResult::failure(error));
    prepared.ready = true;
    return prepared;
}

CopyResult placeCopy(FileSystem& fs, PreparedCopy& prepared, WriteFolder& folder, const std::string& name,
                     const CopyOptions& options) {
    if (!prepared.ready) return prepared.failure;
    NewFile& made = *prepared.made;
    const FileTime sourceTime = prepared.sourceTime;
    // Every way out before the copy has its name undoes what was done so far.
    RollBack rollBack(fs, made, folder, name, options.replacing ? options.replacing->modified : FileTime{});
    // The last look before the rename: what the user or another program wrote to the
    // destination during the copy stays.
    if (options.replacing && !destinationKept(fs, folder, name, *options.replacing))
        return CopyResult::failure(std::string(ChangedReason));
    // A rename may stamp the current time on the copy: until the time it was given is back, a
    // note beside it says what that time is, for the next run should this one be killed or
    // the time not go back.
    const bool renamed = !made.temporaryName.empty() || options.replace == Replace::Yes;
    std::uint64_t hash = 0;
    if (options.hashContents)
        if (int hashError = hashOfSource(fs, made, hash)) return CopyResult::failure(hashError);
    if (options.renameTimes && *options.renameTimes != RenameTimes::Kept && renamed) {
        std::string noteText;
        if (int noteError = timeNoteOf(fs, made, name, givenTime(sourceTime, options), noteText))
            return CopyResult::failure(noteError);
        if (int noteError = rollBack.writeNote(noteText)) return CopyResult::failure(noteError);
    }
    // After a power cut a drive that writes names out of order may hold the copy's name with
    // the stamp of now but not the note, or both without the copy's bytes: the bytes and the
    // note's name go to the disk before the rename. (A folder held only for lookups cannot be
    // flushed by itself.)
    if (rollBack.noted() && !options.namesLandInOrder) {
        int flushError = options.flush == Flush::Later ? syncFile(fs, made) : 0;
        if (flushError == 0) flushError = fs.flush(folder.handle);
        if (flushError != 0 && flushError != EBADF) return CopyResult::failure(flushError);
    }
    // What a stopped run left is read as late as can be, right before the rename: a write to
    // it after the read would be lost with it.
    TrashCan* trash = options.trash;
    if (trash && options.mayHoldSameBytes && options.replacing) {
        bool same = false;
        if (sameContents(fs, made, folder, name, *options.replacing, same) == 0 && same) trash = nullptr;
    }
    if (trash && options.replace == Replace::Yes)
        if (int nameError = nameTemporarily(fs, made)) return CopyResult::failure(nameError);
    if (trash)
        if (int keepError = rollBack.keepInTrash(*trash))
            return CopyResult::failure(notKeptReason(*trash, keepError), CopyFailure::NotKept);
    const bool moved = trash && rollBack.kept().moved;
    // A drive that stamps renamed files gave the older file the time of now on its way into the
    // Trash: restored, it would look newer than the copy that replaced it. (Should the time not
    // go back, the file is kept all the same.)
    if (moved && !trash->recycleBin && options.replacing && options.renameTimes &&
        *options.renameTimes != RenameTimes::Kept)
        fs.setModified(trash->files, rollBack.kept().trashName, options.replacing->modified);
    // A drive that writes its names out in any order (a stick) could keep the copy's name after
    // a power cut and lose the older file's place in the Trash: that place is on the disk first.
    if (trash && !options.namesLandInOrder)
        if (int flushError = syncTrash(fs, *trash)) return CopyResult::failure(flushError);
    // An older file moved into the Trash left its name free: what takes it in between is not
    // the file that was looked at, and the copy replaces nothing then.
    const Replace naming = moved ? Replace::No : options.replace;
    if (int nameError = takeName(fs, made, name, naming, givenTime(sourceTime, options), options)) {
        const bool vanished = nameError == ENOENT && !made.temporaryName.empty();
        CopyResult failed = vanished ? CopyResult::failure(std::string(TemporaryVanishedReason))
                            : nameError == EEXIST && naming != options.replace
                                ? CopyResult::failure(std::string(AppearedReason))
                                : CopyResult::failure(nameError);
        if (rollBack.undo() != 0) failed.reason += "; the older file stays in the Trash, " + trash->path;
        return failed;
    }
    rollBack.named();
    if (rollBack.noted()) {
        const int timeError = keepGivenTime(fs, folder, name, givenTime(sourceTime, options),
                                            options.timeRule, *options.renameTimes);
        // Should the time not go back, the note stays for the next run to try again; and it
        // goes only once the time it names is on the disk, which a stick keeps in the folder.
        if (timeError != 0) return CopyResult::failure(timeError);
        if (*options.renameTimes != RenameTimes::Kept && !options.namesLandInOrder)
            if (int flushError = fs.flush(folder.handle); flushError != 0 && flushError != EBADF)
                return CopyResult::failure(flushError);
        rollBack.dropNote();
    }
    if (options.flush == Flush::Now && options.flushFolderNow) {
        int folderError = fs.flush(folder.handle);
        // A folder that may be written but not read cannot be flushed by itself: its whole
        // file system is, through the copy's descriptor.
        if (folderError == EBADF && options.fileSystem && options.fileSystem->open())
            folderError = fs.flushDrive(*options.fileSystem);
        if (folderError == 0 && trash) folderError = syncTrash(fs, *trash);
        if (folderError != 0) return CopyResult::failure(folderError);
    }
    CopyResult result = CopyResult::success(sourceTime);
    result.device = made.device;
    result.inode = made.inode;
    result.bytes = made.source.size;
    result.hash = hash;
    return result;
}

CopyResult CopyFileOverwrite(FileSystem& fs, const std::string& source, WriteFolder& folder,
                             const std::string& name, const CopyOptions& options) {
    PreparedCopy prepared = prepareCopy(fs, source, folder, options);
    if (prepared.ready && options.flush == Flush::Now)
        if (int error = syncFile(fs, *prepared.made)) {
            discardNewFile(fs, *prepared.made);
            return CopyResult::failure(error);
        }
    return placeCopy(fs, prepared, folder, name, options);
}

} // namespace quellomir
