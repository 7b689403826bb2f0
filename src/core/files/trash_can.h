#pragma once

#include "files/write_folder.h"
#include "fs/file_system.h"

#include <cstdint>
#include <string>

namespace quellomir {

// A Trash, where the desktop's file managers find what was put there and can restore it:
// the home Trash for the drive of the user's home, else a Trash in the top folder of the
// drive; the home Trash also for a drive that has no Trash of its own to use. Nothing is
// ever moved into a Trash on another drive, only copied.
struct TrashCan {
    std::string path;   // where it is (or the one tried, when none could be used), for messages
    std::string topdir; // the real path of the drive's top folder; empty for the home Trash
    bool home = false;
    // The system's own bin (Windows's Recycle Bin): files go there by the system's call, with
    // no folders or info files of the program's.
    bool recycleBin = false;
    std::uint64_t device = 0; // the drive it is on
    Handle files;             // its folders "files" and "info"
    Handle info;
};

// The Trash for files of `near`'s drive, its folders made where they are missing (and on the
// disk when it returns: a stick could lose a folder made in a run's last moments). Only folders
// of the user's own are made, written or taken for a Trash, and in a drive's top folder only
// ones that no other user may enter. On failure, `trash.path` names the Trash that was tried.
int openTrash(FileSystem& fs, WriteFolder& near, TrashCan& trash);
// The user's home Trash, wherever it is, on the same terms.
int openHomeTrash(FileSystem& fs, TrashCan& trash);
// The facts of the user's home Trash folder, links followed, without making it: ENOENT where
// there is none.
int homeTrashFacts(FileSystem& fs, FileFacts& facts);

// Writes the info file `name` into the Trash's "info", never replacing one: EEXIST when the
// name is taken.
int createTrashInfo(FileSystem& fs, TrashCan& trash, const std::string& name, const std::string& contents);
// Puts the entry `name` of `folder` into the Trash's "files" as `trashName`: as a second link,
// which leaves it in place too, or moved, which does not. Neither replaces anything there
// (EEXIST) where the drive can refuse; one that cannot has the move take the name its info
// file claimed, never over another: the Trash's own rule, which every program that puts files
// there keeps.
int linkIntoTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                  const std::string& trashName);
int moveIntoTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                  const std::string& trashName);
// Copies the entry `name` of `folder` (a regular file, no link followed) into the Trash as
// `trashName`, with its last-write time and permission bits, never replacing anything there
// (EEXIST). The copy and the Trash's folders are on the disk when it returns: the file it
// copies may go right after, on a drive of its own.
int copyIntoTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                  const std::string& trashName);
// Moves `trashName` out of the Trash back to `name` in `folder`, never replacing anything
// there (EEXIST).
int moveOutOfTrash(FileSystem& fs, TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                   const std::string& name);
// Flushes the Trash's two folders to the disk.
int syncTrash(FileSystem& fs, TrashCan& trash);

// Whether deleted files go to a bin the system keeps itself (Windows), rather than to the
// desktop's Trash folders, which the program writes (Linux).
bool systemHasRecycleBin();

// Where the user's data lives ($XDG_DATA_HOME, else ~/.local/share), where it is the user's:
// nothing is made or written in another user's data folder, such as the HOME that "sudo -E"
// leaves to root.
std::string dataHome(FileSystem& fs);
// The user's home folder as the system's user database has it.
std::string homeFromUserDatabase();

} // namespace quellomir
