#include "sync/copy_file_overwrite.h"

#include "sync/keep_in_trash.h"

#include <cerrno>
#include <chrono>
#include <thread>

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

void waitUntil(std::chrono::system_clock::time_point moment, const FileSystem::CopyProgress& progress) {
    using std::chrono::system_clock;
    for (auto now = system_clock::now(); now < moment; now = system_clock::now()) {
        std::this_thread::sleep_for(std::min<system_clock::duration>(moment - now, WaitTurn));
        if (progress) progress();
    }
}

// 0 when the source is still as it was opened, and no later write can make it compare
// equal to the copy; -1 when it changed; else the errno of the look.
int settleSource(FileSystem& fs, NewFile& file, TimeRule rule, const FileSystem::CopyProgress& progress) {
    FileFacts now;
    if (int error = fs.restatSource(file, now)) return error;
    if (!now.sameState(file.source)) return -1;
    const auto settled = settledAfter(file.source.modified, rule);
    if (std::chrono::system_clock::now() >= settled) return 0;
    waitUntil(settled, progress);
    if (int error = fs.restatSource(file, now)) return error;
    return now.sameState(file.source) ? 0 : -1;
}

// The steps after the copy, on the new file, but its flush; 0 or the errno of the failing
// step. A copy flushed before it takes its name has its source's time at once.
int finishNewFile(FileSystem& fs, NewFile& file, FileTime sourceTime, const CopyOptions& options) {
    const FileTime time = options.flush == Flush::Later ? provisionalTime(sourceTime, options.timeRule)
                          : options.wholeSeconds        ? sourceTime.roundedToSecond()
                                                        : sourceTime;
    if (int error = fs.setModified(file, time)) return error;
    if (int error = fs.setMode(file, copyMode(file)); error != 0 && !cannotKeepMode(error)) return error;
    return 0;
}

// Gives the new file the destination name, replacing what is there only when asked to.
int takeName(FileSystem& fs, NewFile& file, const std::string& name, Replace replace) {
    const int error = fs.nameNewFile(file, name, replace);
    if (error != EINVAL || replace == Replace::Yes) return error;
    // A file system that cannot refuse in the naming itself (some network and FUSE ones):
    // the look and the naming are two steps there.
    FileFacts facts;
    if (fs.statIn(*file.folder, name, Follow::No, facts) == 0) return EEXIST;
    return fs.nameNewFile(file, name, Replace::Yes);
}

// Whether the destination is still what the copy is to replace.
bool destinationKept(FileSystem& fs, WriteFolder& folder, const std::string& name, const FileFacts& before) {
    FileFacts now;
    return fs.statIn(folder, name, Follow::No, now) == 0 && now.sameState(before);
}

// The text of a time note: the copy's name, then its provisional time.
std::string timeNote(const std::string& name, FileTime time) {
    return std::string(TimeNoteHeading) + name + "\n" + std::to_string(time.seconds) + " " +
           std::to_string(time.nanoseconds) + "\n";
}

// After a renamed copy took its name: the provisional time back where the drive stamped it.
int keepLookingOlder(FileSystem& fs, WriteFolder& folder, const std::string& name, FileTime source,
                     TimeRule rule, RenameTimes& renames) {
    const FileTime provisional = provisionalTime(source, rule);
    if (renames == RenameTimes::Unknown) {
        FileFacts now;
        if (int error = fs.statIn(folder, name, Follow::No, now)) return error;
        if (compareWriteTimes(now.modified, source, rule) < 0) {
            renames = RenameTimes::Kept;
            return 0;
        }
        renames = RenameTimes::Stamped;
    }
    return fs.setModified(folder, name, provisional);
}

CopyResult refuse(FileSystem& fs, NewFile& file, std::string_view reason) {
    fs.discardNewFile(file);
    return CopyResult::failure(std::string(reason));
}

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
        if (made.fs) fs.discardNewFile(made);
        prepared.failure = std::move(failure);
        return std::move(prepared);
    };
    if (int error = fs.copyToNewFile(source, options.followSource, folder, made, options.progress))
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
    if (error == 0) error = settleSource(fs, made, options.timeRule, options.progress);
    if (error < 0) return fail(CopyResult::failure(std::string(ChangedWhileCopiedReason)));
    if (error == 0 && options.fileSystem && !options.fileSystem->open())
        error = fs.holdFileSystem(made, *options.fileSystem);
    if (error != 0) return fail(CopyResult::failure(error));
    prepared.ready = true;
    return prepared;
}

CopyResult placeCopy(FileSystem& fs, PreparedCopy& prepared, WriteFolder& folder, const std::string& name,
                     const CopyOptions& options) {
    if (!prepared.ready) return prepared.failure;
    NewFile& made = *prepared.made;
    const FileTime sourceTime = prepared.sourceTime;
    // The last look before the rename: what the user or another program wrote to the
    // destination during the copy stays.
    if (options.replacing && !destinationKept(fs, folder, name, *options.replacing))
        return refuse(fs, made, ChangedReason);
    KeptFile kept;
    if (options.trash && options.replace == Replace::Yes)
        if (int nameError = fs.nameTemporarily(made)) {
            fs.discardNewFile(made);
            return CopyResult::failure(nameError);
        }
    if (options.trash)
        if (int keepError = keepInTrash(fs, folder, name, *options.trash, kept)) {
            fs.discardNewFile(made);
            return CopyResult::failure(notKeptReason(*options.trash, keepError));
        }
    // A rename may stamp the current time on the copy: until its provisional time is back, a
    // note beside it says what that time is, for the next run should this one be killed.
    Handle note;
    std::string noteName;
    const bool renamed = !made.temporaryName.empty() || options.replace == Replace::Yes;
    if (options.renameTimes && *options.renameTimes != RenameTimes::Kept && renamed)
        if (int noteError = fs.writeNote(
                folder, timeNote(name, provisionalTime(sourceTime, options.timeRule)), note, noteName)) {
            if (options.trash) putBack(fs, folder, name, *options.trash, kept);
            fs.discardNewFile(made);
            return CopyResult::failure(noteError);
        }
    auto dropNote = [&] {
        if (noteName.empty()) return;
        fs.unlinkIn(folder, noteName);
        note.close();
    };
    if (int nameError = takeName(fs, made, name, options.replace)) {
        dropNote();
        if (options.trash) putBack(fs, folder, name, *options.trash, kept);
        const bool vanished = nameError == ENOENT && !made.temporaryName.empty();
        fs.discardNewFile(made);
        return vanished ? CopyResult::failure(std::string(TemporaryVanishedReason))
                        : CopyResult::failure(nameError);
    }
    if (!noteName.empty()) {
        const int timeError =
            keepLookingOlder(fs, folder, name, sourceTime, options.timeRule, *options.renameTimes);
        // Should the time not go back, the note stays for the next run to try again.
        if (timeError != 0) return CopyResult::failure(timeError);
        dropNote();
    }
    if (options.flush == Flush::Now && options.flushFolderNow) {
        int folderError = fs.syncFolder(folder);
        // A folder that may be written but not read cannot be flushed by itself: its whole
        // file system is, through the copy's descriptor.
        if (folderError == EBADF && options.fileSystem && options.fileSystem->open())
            folderError = fs.syncFileSystem(*options.fileSystem);
        if (folderError == 0 && options.trash) folderError = fs.syncTrash(*options.trash);
        if (folderError != 0) return CopyResult::failure(folderError);
    }
    CopyResult result = CopyResult::success(sourceTime);
    result.device = made.device;
    result.inode = made.inode;
    result.bytes = made.source.size;
    return result;
}

CopyResult CopyFileOverwrite(FileSystem& fs, const std::string& source, WriteFolder& folder,
                             const std::string& name, const CopyOptions& options) {
    PreparedCopy prepared = prepareCopy(fs, source, folder, options);
    if (prepared.ready && options.flush == Flush::Now)
        if (int error = fs.syncFile(*prepared.made)) {
            fs.discardNewFile(*prepared.made);
            return CopyResult::failure(error);
        }
    return placeCopy(fs, prepared, folder, name, options);
}

} // namespace quellomir
