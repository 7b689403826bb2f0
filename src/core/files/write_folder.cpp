#include "files/write_folder.h"

#include "fs/drive_kinds.h"

namespace quellomir {
namespace {

// Whether the drive of `path` renames only 8.3 names safely: only a FUSE drive can be one,
// and only for those is the mount table read.
bool shortNamesOnlyAt(FileSystem& fs, const std::string& path) {
    std::uint64_t type = 0;
    std::string mountType;
    return fs.fileSystemType(path, type) == 0 && fuseDrive(type) && fs.mountType(path, mountType) == 0 &&
           renamesOnlyShortNamesSafely(mountType);
}

} // namespace

int openWriteFolder(FileSystem& fs, const std::string& path, WriteFolder& folder) {
    Handle opened;
    bool listable = true;
    int error = fs.openFolder(nullptr, path, Follow::Yes, FolderAccess::List, opened);
    if (error == EACCES) {
        listable = false;
        error = fs.openFolder(nullptr, path, Follow::Yes, FolderAccess::LookUp, opened);
    }
    if (error != 0) return error;
    FileFacts facts;
    if (int statError = fs.statAt(opened, "", Follow::Yes, facts)) return statError;
    folder.path = path.empty() || path.back() != '/' ? path + '/' : path;
    folder.device = facts.device;
    folder.inode = facts.inode;
    folder.listable = listable;
    folder.shortNamesOnly = shortNamesOnlyAt(fs, folder.path);
    folder.handle = std::move(opened);
    folder.handle.path = folder.path;
    return 0;
}

int liesWithin(FileSystem& fs, WriteFolder& folder, std::uint64_t device, std::uint64_t inode, bool& within) {
    within = false;
    return walkUp(fs, folder.handle, [&](const FileFacts& facts, Handle&) {
        within = facts.device == device && facts.inode == inode;
        return !within;
    });
}

} // namespace quellomir
