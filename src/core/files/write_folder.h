#pragma once

#include "fs/file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

namespace quellomir {

// A folder that copies are written into, held open: every step of a copy, from the new
// file to its name, happens in this one folder, wherever its path leads by then. A folder
// swapped for a link meanwhile is not followed.
struct WriteFolder {
    std::string path;         // as it was opened, ending with '/'
    std::uint64_t device = 0; // the folder's own
    std::uint64_t inode = 0;
    bool listable = false; // opened for reading; else only for lookups (a folder of mode -wx)
    // On a drive that renames only 8.3 names safely: its temporary names are 8.3 names, and
    // a long name is freed by removing what holds it, never renamed away or over.
    bool shortNamesOnly = false;
    // Set once the drive refused a new file without a name here: it is not asked again, which
    // on a network drive saves a round trip a row. Copies made ahead set it from their threads.
    std::shared_ptr<std::atomic<bool>> refusesUnnamed = std::make_shared<std::atomic<bool>>(false);
    Handle handle;
};

// Opens `path` (links followed) as a folder to write into; ENOTDIR for anything else. A folder
// one may write into but not list (mode -wx) is opened for lookups only.
int openWriteFolder(FileSystem& fs, const std::string& path, WriteFolder& folder);

// Folders nest no deeper than this on any drive a path can name (PATH_MAX / 2): a walk up
// through ".." that goes on longer is going round in circles.
inline constexpr int MaxFolderDepth = 2048;

// Walks up from the folder held at `from` through ".." (so through no link) to the root,
// handing `visit` each folder on the way, `from` first, with its facts and a handle it may
// keep, until `visit` returns false. 0, or the errno of a failing step.
template <class Visit> int walkUp(FileSystem& fs, Handle& from, Visit&& visit) {
    Handle here;
    if (int error = fs.openFolder(&from, ".", Follow::Yes, FolderAccess::LookUp, here)) return error;
    here.path = from.path;
    FileFacts facts;
    if (int error = fs.statAt(here, "", Follow::Yes, facts)) return error;
    for (int depth = 0; depth < MaxFolderDepth; ++depth) {
        Handle parent;
        if (int error = fs.openFolder(&here, "..", Follow::Yes, FolderAccess::LookUp, parent)) return error;
        FileFacts up;
        if (int error = fs.statAt(parent, "", Follow::Yes, up)) return error;
        const bool root = up.device == facts.device && up.inode == facts.inode;
        if (!visit(facts, here) || root) return 0;
        facts = up;
        here = std::move(parent);
    }
    return ELOOP;
}

// Whether `folder` is the folder (`device`, `inode`) or lies anywhere below it, told by going
// up through ".." from the folder itself, so through no link.
int liesWithin(FileSystem& fs, WriteFolder& folder, std::uint64_t device, std::uint64_t inode, bool& within);

} // namespace quellomir
