#include "files/trash_can.h"

#include "files/new_file.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace quellomir {
namespace {

// The nearest folder of `path` that exists: where a folder made at `path` goes.
int nearestExisting(FileSystem& fs, std::string path, FileFacts& facts) {
    for (;;) {
        const int error = fs.stat(path, Follow::Yes, facts);
        if (error == 0) return 0;
        const std::size_t slash = path.rfind('/');
        if (error != ENOENT || slash == std::string::npos || path == "/") return error;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

bool ownPath(FileSystem& fs, const char* path) {
    FileFacts facts;
    return path && path[0] == '/' && nearestExisting(fs, path, facts) == 0 && facts.owner == fs.runningUser();
}

// Flushes the folder held at `at`, after a folder was made in it: a stick may write out the new
// folder and what it holds, yet lose the folder itself, after a power cut.
int flushFolder(FileSystem& fs, const Handle* at, const std::string& name) {
    Handle folder;
    if (int error = fs.openFolder(at, name, Follow::Yes, FolderAccess::List, folder)) return error;
    return fs.flush(folder);
}

// Makes `path` and the folders above it that are missing, each only its owner may enter, and
// only in folders of this user's.
int makeFolders(FileSystem& fs, const std::string& path) {
    bool ownParent = false;
    for (std::size_t slash = 0; slash != std::string::npos;) {
        slash = path.find('/', slash + 1);
        const std::string part = path.substr(0, slash);
        FileFacts facts;
        const int looked = fs.stat(part, Follow::Yes, facts);
        if (looked == 0) {
            ownParent = facts.owner == fs.runningUser();
            continue;
        }
        if (looked != ENOENT) return looked;
        if (!ownParent) return EACCES;
        const std::string parentPath = part.substr(0, part.rfind('/') + 1);
        Handle parent;
        if (int error = fs.openFolder(nullptr, parentPath, Follow::Yes, FolderAccess::LookUp, parent))
            return error;
        const int made = fs.makeFolder(parent, part.substr(parentPath.size()), 0700);
        if (made == 0) {
            if (int error = flushFolder(fs, nullptr, parentPath)) return error;
        } else if (made != EEXIST) {
            return made;
        }
    }
    return 0;
}

// Drives whose folders all show the mount's permission bits (FAT, exFAT, FUSE drivers of
// them): no other user can have set them, and no folder there can be given its own.
bool keepsNoPermissions(FileSystem& fs, const Handle& folder) {
    std::uint64_t type = 0;
    if (fs.fileSystemType(folder.path, type) != 0) return false;
    return fatFamily(type) || fuseDrive(type);
}

// Opens (making it where missing) the folder `name` in `at`, which must be a folder of its
// own, not a link to one, and this user's; with `privateOnly`, also one that only the user
// may enter (mode 0700), so that no other user can read or remove what is kept in a shared
// drive's Trash.
int openOwnFolder(FileSystem& fs, Handle& at, const std::string& name, FolderAccess access, Handle& folder,
                  bool privateOnly = false) {
    const int made = fs.makeFolder(at, name, 0700);
    if (made != 0 && made != EEXIST) return made;
    if (made == 0)
        if (int error = flushFolder(fs, &at, ".")) return error;
    if (int error = fs.openFolder(&at, name, Follow::No, access, folder)) return error;
    FileFacts facts;
    if (int error = fs.statAt(folder, "", Follow::Yes, facts)) return error;
    // A folder of that name that someone else made, or may look into, is no Trash of this
    // user's: another user could read or remove what is put there.
    if (facts.owner != fs.runningUser()) return EACCES;
    if (privateOnly && facts.mode != 0700 && !keepsNoPermissions(fs, folder)) return EACCES;
    return 0;
}

// Fills `trash` with the "files" and "info" folders of the Trash folder `at`.
int openFilesAndInfo(FileSystem& fs, Handle& at, TrashCan& trash) {
    Handle files;
    Handle info;
    if (int error = openOwnFolder(fs, at, "files", FolderAccess::List, files)) return error;
    if (int error = openOwnFolder(fs, at, "info", FolderAccess::List, info)) return error;
    FileFacts facts;
    if (int error = fs.statAt(files, "", Follow::Yes, facts)) return error;
    trash.device = facts.device;
    trash.files = std::move(files);
    trash.info = std::move(info);
    return 0;
}

// The top folder of the drive that `folder` lies on: the last folder up through ".." that is
// still on its drive.
int openTopFolder(FileSystem& fs, Handle& folder, Handle& top) {
    std::optional<std::uint64_t> drive;
    return walkUp(fs, folder, [&](const FileFacts& facts, Handle& here) {
        if (drive && facts.device != *drive) return false;
        drive = facts.device;
        top = std::move(here);
        return true;
    });
}

// The Trash in the top folder `top` of a drive: $topdir/.Trash/$uid where the drive has a
// shared ".Trash" (a folder of its own with the sticky bit) and that folder is the user's
// alone, else $topdir/.Trash-$uid, which must be so too. `trash.path` names the last one tried.
int openTopTrash(FileSystem& fs, Handle& top, TrashCan& trash) {
    const std::string uid = std::to_string(fs.runningUser());
    Handle shared;
    FileFacts facts;
    if (fs.openFolder(&top, ".Trash", Follow::No, FolderAccess::LookUp, shared) == 0 &&
        fs.statAt(shared, "", Follow::Yes, facts) == 0 && (facts.mode & 01000) != 0) {
        Handle own;
        trash.path = "/.Trash/" + uid;
        if (openOwnFolder(fs, shared, uid, FolderAccess::LookUp, own, true) == 0 &&
            openFilesAndInfo(fs, own, trash) == 0)
            return 0;
    }
    Handle own;
    const std::string name = ".Trash-" + uid;
    trash.path = "/" + name;
    if (int error = openOwnFolder(fs, top, name, FolderAccess::LookUp, own, true)) return error;
    return openFilesAndInfo(fs, own, trash);
}

int openHome(FileSystem& fs, TrashCan& trash) {
    trash.path = dataHome(fs) + "/Trash";
    trash.topdir.clear();
    trash.home = true;
    if (int error = makeFolders(fs, trash.path)) return error;
    Handle folder;
    if (int error = fs.openFolder(nullptr, trash.path, Follow::Yes, FolderAccess::LookUp, folder))
        return error;
    FileFacts facts;
    if (int error = fs.statAt(folder, "", Follow::Yes, facts)) return error;
    if (facts.owner != fs.runningUser()) return EACCES;
    return openFilesAndInfo(fs, folder, trash);
}

// The Trash's two folders are named by its path, once that is whole.
int named(TrashCan& trash, int error) {
    trash.files.path = trash.path + "/files/";
    trash.info.path = trash.path + "/info/";
    return error;
}

// Drives without permission bits of their own refuse them; a copy is kept all the same.
bool cannotKeepMode(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

int copyOpenFile(FileSystem& fs, Handle& from, const FileFacts& source, Handle& to) {
    bool aclGiven = false;
    if (int error = fs.copyContents(from, to, {}, aclGiven)) return error;
    if (int error = fs.setModified(to, "", source.modified)) return error;
    if (int error = fs.setMode(to, source.mode); error != 0 && !cannotKeepMode(error)) return error;
    if (int error = fs.flush(to)) return error;
    return fs.close(to);
}

// copyIntoTrash for a Trash on the file's own drive: made under a "~" name beside the file and
// moved into the Trash once complete, so that a run killed meanwhile leaves a "~" file that the
// next run removes, never a torn file in the Trash that looks like a version the user had.
int copyBesideThenMove(FileSystem& fs, Handle& from, const FileFacts& source, WriteFolder& folder,
                       TrashCan& trash, const std::string& trashName) {
    Handle to;
    std::string temporary;
    if (int error = createTemporaryFile(fs, folder.handle, temporaryNameFormOf(folder), 0600, to, temporary))
        return error;
    int error = copyOpenFile(fs, from, source, to);
    if (error == 0) error = moveIntoTrash(fs, folder, temporary, trash, trashName);
    if (error != 0) {
        fs.unlinkAt(folder.handle, temporary);
        return error;
    }
    // A move is on the disk once both folders are: a stick may keep the removal of the file
    // that goes next without the move, unless the folder it left is flushed too.
    if (int flushError = fs.flush(folder.handle); flushError != 0 && flushError != EBADF) return flushError;
    return syncTrash(fs, trash);
}

} // namespace

std::string dataHome(FileSystem& fs) {
    if (const char* set = std::getenv("XDG_DATA_HOME"); ownPath(fs, set)) return set;
    const char* home = std::getenv("HOME");
    return (ownPath(fs, home) ? std::string(home) : homeFromUserDatabase()) + "/.local/share";
}

int openTrash(FileSystem& fs, WriteFolder& near, TrashCan& trash) {
    if (systemHasRecycleBin()) {
        // Whether the drive has one is told by the move itself.
        trash.recycleBin = true;
        trash.path = "the Recycle Bin";
        trash.device = near.device;
        return 0;
    }
    FileFacts homeDrive;
    if (nearestExisting(fs, dataHome(fs), homeDrive) == 0 && homeDrive.device == near.device)
        return named(trash, openHome(fs, trash));
    trash.home = false;
    Handle top;
    if (int error = openTopFolder(fs, near.handle, top)) return error;
    if (int error = fs.realPath(top, trash.topdir)) return error;
    const int error = openTopTrash(fs, top, trash);
    trash.path = (trash.topdir == "/" ? "" : trash.topdir) + trash.path;
    return named(trash, error);
}

int openHomeTrash(FileSystem& fs, TrashCan& trash) {
    return named(trash, openHome(fs, trash));
}

int homeTrashFacts(FileSystem& fs, FileFacts& facts) {
    return fs.stat(dataHome(fs) + "/Trash", Follow::Yes, facts);
}

int createTrashInfo(FileSystem& fs, TrashCan& trash, const std::string& name, const std::string& contents) {
    Handle file;
    if (int error = fs.createFile(trash.info, name, 0600, file)) return error;
    int error = fs.write(file, contents);
    if (error == 0) error = fs.close(file);
    if (error != 0) fs.unlinkAt(trash.info, name);
    return error;
}

int linkIntoTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                  const std::string& trashName) {
    return fs.link(folder.handle, name, trash.files, trashName);
}

int moveIntoTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                  const std::string& trashName) {
    const int error = fs.rename(folder.handle, name, trash.files, trashName, Replace::No);
    // A drive that cannot refuse in the rename itself keeps no links either (this is called
    // where a link failed): exFAT and FAT through FUSE.
    if (error != EINVAL) return error;
    return fs.rename(folder.handle, name, trash.files, trashName, Replace::Yes);
}

int copyIntoTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                  const std::string& trashName) {
    Handle from;
    FileFacts source;
    if (int error = fs.openToRead(&folder.handle, name, Follow::No, from, source)) return error;
    if (trash.device == folder.device) return copyBesideThenMove(fs, from, source, folder, trash, trashName);
    Handle to;
    if (int error = fs.createFile(trash.files, trashName, 0600, to)) return error;
    int error = copyOpenFile(fs, from, source, to);
    if (error == 0) error = syncTrash(fs, trash);
    if (error != 0) fs.unlinkAt(trash.files, trashName);
    return error;
}

int moveOutOfTrash(FileSystem& fs, TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                   const std::string& name) {
    const int error = fs.rename(trash.files, trashName, folder.handle, name, Replace::No);
    if (error != EINVAL) return error;
    // Only on a drive that takes no such rename, and only to undo a replacement whose naming
    // failed: the one place a name is looked at before a rename. What appeared meanwhile stays,
    // and the older file in the Trash.
    FileFacts there;
    if (fs.statAt(folder.handle, name, Follow::No, there) == 0) return EEXIST;
    return fs.rename(trash.files, trashName, folder.handle, name, Replace::Yes);
}

int syncTrash(FileSystem& fs, TrashCan& trash) {
    if (trash.recycleBin) return 0; // the system's move is its own
    if (int error = fs.flush(trash.info)) return error;
    return fs.flush(trash.files);
}

} // namespace quellomir
