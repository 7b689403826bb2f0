#pragma once

#include "fs/file_system.h"

#include <string>
#include <vector>

namespace quellomir {

// 0 when `folder` (with or without its trailing separator, links followed) is a folder
// whose entries the program can read; otherwise the errno that keeps it from being one:
// ENOENT for a path that is not there (an unplugged stick), ENOTDIR for a file, EACCES
// for a folder the user may not list. Reads no more of the folder than its first
// entries, and never opens anything that is not a folder.
int folderReadError(FileSystem& fs, const std::string& folder);

// One line for each of the two chosen folders that cannot be read, naming the folder's
// number, its path and why ("Folder 2 cannot be read: /media/stick/Backup/ — No such file
// or directory"); none when both can. A path that is not a full one ("t1/A/") cannot be
// read either ("Not a full path"), whatever the current folder holds. A missing, unreadable or non-folder one
// would otherwise compare as an empty folder and plan copying everything "into" it.
std::vector<std::string> unreadableFolders(FileSystem& fs, const std::string& folder1,
                                           const std::string& folder2);

} // namespace quellomir
