#include "files/new_file.h"
#include "files/write_folder.h"

#include <cerrno>
#include <utility>

namespace quellomir {
namespace {

// How many fresh "~" names are tried before giving up: a clash needs the same process and
// a leftover of an earlier one with the same pid and start.
constexpr unsigned NameAttempts = 100;

// Tells every other run that the "~" file open at `file` is being written.
void claim(FileSystem& fs, Handle& file) {
    bool taken = false;
    fs.tryLock(file, Lock::Exclusive, taken);
}

// Gives an open file without a name a fresh "~" name in its folder.
int linkTemporaryName(FileSystem& fs, NewFile& file) {
    claim(fs, file.file);
    for (unsigned attempt = 0;; ++attempt) {
        std::string candidate = temporaryName(attempt, temporaryNameFormOf(*file.folder));
        const int error = fs.link(file.file, "", file.folder->handle, candidate);
        if (error == 0) {
            file.temporaryName = std::move(candidate);
            return 0;
        }
        if (error != EEXIST || attempt == NameAttempts) return error;
    }
}

// Gives the file `from` of `folder` the second name `to`, which a link never takes from
// anything; EINVAL where the drive keeps no links.
int linkNamed(FileSystem& fs, Handle& folder, const std::string& from, const std::string& to) {
    const int error = fs.link(folder, from, folder, to);
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK || error == EXDEV
               ? EINVAL
               : error;
}

// The new file is named: nothing of it is to be removed any more.
void named(FileSystem& fs, NewFile& file) {
    file.temporaryName.clear();
    file.fs = nullptr;
    fs.close(file.sourceFile);
}

} // namespace

NewFile::~NewFile() {
    if (fs) discardNewFile(*fs, *this);
}

int createTemporaryFile(FileSystem& fs, Handle& folder, TemporaryNameForm form, std::uint32_t mode,
                        Handle& file, std::string& name) {
    for (unsigned attempt = 0;; ++attempt) {
        std::string candidate = temporaryName(attempt, form);
        const int error = fs.createFile(folder, candidate, mode, file);
        if (error == 0) {
            claim(fs, file);
            name = std::move(candidate);
            return 0;
        }
        if (error != EEXIST || attempt == NameAttempts) return error;
    }
}

int writeNote(FileSystem& fs, WriteFolder& folder, const std::string& contents, Handle& held,
              std::string& noteName) {
    Handle note;
    std::string name;
    if (int error = createTemporaryFile(fs, folder.handle, temporaryNameFormOf(folder), 0600, note, name))
        return error;
    int error = fs.write(note, contents);
    if (error == 0) error = fs.flush(note);
    if (error != 0) {
        fs.unlinkAt(folder.handle, name);
        return error;
    }
    held = std::move(note);
    noteName = std::move(name);
    return 0;
}

int copyToNewFile(FileSystem& fs, const std::string& source, Follow followSource, WriteFolder& folder,
                  NewFile& made, const FileSystem::CopyProgress& progress) {
    Handle from;
    FileFacts opened;
    if (int error = fs.openToRead(nullptr, source, followSource, from, opened)) return error;
    // With the source's permission bits from the start, the mode mostly needs no call of its
    // own afterwards; nobody sees the file before it is complete anyway, or only under a "~"
    // name that no comparison lists.
    const std::uint32_t mode = opened.mode & 0777;
    Handle to;
    std::string temporary;
    int created = EOPNOTSUPP;
    if (!folder.refusesUnnamed->load(std::memory_order_relaxed)) {
        created = fs.createFile(folder.handle, "", mode, to);
        if (created == EOPNOTSUPP) folder.refusesUnnamed->store(true, std::memory_order_relaxed);
    }
    if (created == EOPNOTSUPP)
        created = createTemporaryFile(fs, folder.handle, temporaryNameFormOf(folder), mode, to, temporary);
    if (created != 0) return created;
    // From here the new file is `made`'s: a failure removes it below, an exception from
    // `progress` when `made` goes out of scope.
    made.fs = &fs;
    made.folder = &folder;
    made.file = std::move(to);
    made.sourceFile = std::move(from);
    made.temporaryName = std::move(temporary);
    FileFacts madeFacts;
    int error = fs.statAt(made.file, "", Follow::Yes, madeFacts);
    bool aclGiven = false;
    if (error == 0) error = fs.copyContents(made.sourceFile, made.file, progress, aclGiven);
    // An ACL given changes the permission bits: they are looked at again only then.
    if (error == 0 && aclGiven) error = fs.statAt(made.file, "", Follow::Yes, madeFacts);
    if (error != 0) {
        discardNewFile(fs, made);
        return error;
    }
    made.source = opened;
    made.mode = madeFacts.mode;
    made.createdMode = made.mode;
    made.device = madeFacts.device;
    made.inode = madeFacts.inode;
    made.owner = madeFacts.owner;
    made.group = madeFacts.group;
    return 0;
}

int restatSource(FileSystem& fs, NewFile& file, FileFacts& facts) {
    return fs.statAt(file.sourceFile, "", Follow::Yes, facts);
}

int readSourceAt(FileSystem& fs, NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                 std::size_t& got) {
    return fs.readAt(file.sourceFile, offset, buffer, size, got);
}

int setModified(FileSystem& fs, NewFile& file, FileTime modified) {
    return fs.setModified(file.file, "", modified);
}

int setMode(FileSystem& fs, NewFile& file, std::uint32_t mode) {
    if ((mode & 07777) == file.mode) return 0;
    if (int error = fs.setMode(file.file, mode & 07777)) return error;
    file.mode = mode & 07777;
    return 0;
}

int syncFile(FileSystem& fs, NewFile& file) {
    return fs.flush(file.file);
}

int holdFileSystem(FileSystem& fs, NewFile& file, Handle& held) {
    return fs.duplicate(file.folder->listable ? file.folder->handle : file.file, held);
}

int nameTemporarily(FileSystem& fs, NewFile& file) {
    return file.temporaryName.empty() ? linkTemporaryName(fs, file) : 0;
}

int nameNewFile(FileSystem& fs, NewFile& file, const std::string& name, Replace replace) {
    Handle& folder = file.folder->handle;
    if (file.temporaryName.empty()) {
        if (replace == Replace::No) {
            // A link is never made over anything that is there, a dangling link included.
            if (int error = fs.link(file.file, "", folder, name)) return error;
            named(fs, file);
            // Local file systems, the only ones with files without names, fail no close.
            return fs.close(file.file);
        }
        // Only a rename replaces a file in one step, and a rename needs a name to start from.
        if (int error = linkTemporaryName(fs, file)) return error;
    }
    // A network file system may report a write that failed only when the file is closed:
    // that has to be known before the file takes the destination's name. The lock that says
    // the file is being written stays with a second handle until then.
    Handle claimed;
    fs.duplicate(file.file, claimed);
    if (int error = fs.close(file.file)) return error;
    // Where a rename over a long name damages the folder, what the copy replaces is removed
    // first: the caller has kept it in the Trash already, or was told not to keep it.
    if (replace == Replace::Yes && file.folder->shortNamesOnly)
        if (int error = fs.unlinkAt(folder, name); error != 0 && error != ENOENT) return error;
    if (int error = fs.rename(folder, file.temporaryName, folder, name, replace)) {
        if (error != EINVAL || replace == Replace::Yes) return error;
        // FUSE and some network drives take no such rename; a second link is as sure a claim
        // where the drive keeps links (ntfs-3g). A run stopped before the "~" name goes leaves
        // it as a second name of the copy, which the next run removes.
        if (int linkError = linkNamed(fs, folder, file.temporaryName, name)) return linkError;
        fs.unlinkAt(folder, file.temporaryName);
    }
    named(fs, file);
    return 0;
}

int nameByCopy(FileSystem& fs, NewFile& file, const std::string& name) {
    Handle& folder = file.folder->handle;
    if (int error = nameTemporarily(fs, file)) return error;
    // The claim: an empty file created under the name, which refuses a taken name in that very
    // step; the new file is renamed over it at once, so that the name never shows a copy in the
    // making that someone could write to.
    Handle claim;
    if (int error = fs.createFile(folder, name, 0600, claim)) return error;
    FileFacts claimed;
    int error = fs.statAt(claim, "", Follow::Yes, claimed);
    // Where a rename over a long name damages the folder, the claim is removed, which is safe
    // there, and the copy renamed into the name it freed: a program that saves under the name
    // in between loses its file to the copy, a window of one call as the claim has too.
    if (error == 0 && file.folder->shortNamesOnly) error = fs.unlinkAt(folder, name);
    if (error == 0) error = fs.rename(folder, file.temporaryName, folder, name, Replace::Yes);
    if (error != 0) {
        FileFacts now;
        if (fs.statAt(folder, name, Follow::No, now) == 0 && now.inode == claimed.inode &&
            now.device == claimed.device && now.size == 0)
            fs.unlinkAt(folder, name);
        return error;
    }
    named(fs, file);
    fs.close(file.file);
    return 0;
}

int discardNewFile(FileSystem& fs, NewFile& file) {
    // Nothing of a file that is removed is wanted any more.
    fs.close(file.file);
    fs.close(file.sourceFile);
    int error = 0;
    if (!file.temporaryName.empty()) error = fs.unlinkAt(file.folder->handle, file.temporaryName);
    file.temporaryName.clear();
    file.fs = nullptr;
    return error;
}

} // namespace quellomir
