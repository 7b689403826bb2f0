#pragma once

#include "files/trash_can.h"
#include "files/write_folder.h"
#include "fs/file_system.h"

#include <ctime>
#include <string>
#include <string_view>

namespace quellomir {

// The start of the reason a row fails when the file it was to replace could not be kept.
inline constexpr std::string_view NotKeptReason = "the older file could not be kept in the Trash: ";

// An older file put into the Trash to make way for its replacement.
struct KeptFile {
    std::string trashName; // its name in the Trash's "files"
    bool moved = false;    // moved there (a drive without hard links), not linked or copied
};

// Why a file could not be kept in `trash`: NotKeptReason, the Trash and the error.
std::string notKeptReason(const TrashCan& trash, int error);

// The text of the info file that tells the desktop where a file in the Trash came from and
// when it was put there: `originalPath` percent-encoded, the time in local time.
std::string trashInfoText(std::string_view originalPath, std::time_t deleted);
// The path an info file of `trash` records, whole; empty when it records none.
std::string recordedPath(std::string_view infoText, const TrashCan& trash);

// Puts the entry `name` of `folder` into `trash` under a name of its own there (the name
// itself, or "name.2", "name.3", ... where it is taken, cut short where the info file's name
// would be too long), its info file written first. Where the drive allows, as a second link,
// so that `name` stays in place until its replacement takes it; elsewhere (FAT, exFAT) it is
// moved, which is to happen just before the replacement is renamed into place; into a Trash
// on another drive, as a copy. 0 or the errno of the failing step, with nothing left
// in the Trash.
int keepInTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                KeptFile& kept);

// Undoes keepInTrash when the replacement could not take the name after all; a file moved
// back gets its last-write time `modified` again where the move changed it.
int putBack(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
            const KeptFile& kept, FileTime modified);

} // namespace quellomir
