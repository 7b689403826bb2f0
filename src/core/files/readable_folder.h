#pragma once

#include "fs/file_system.h"

#include <string>

namespace quellomir {

// 0 when `folder` (with or without its trailing separator, links followed) is a folder
// whose entries the program can read; otherwise the errno that keeps it from being one:
// ENOENT for a path that is not there (an unplugged stick), ENOTDIR for a file, EACCES
// for a folder the user may not list. Reads no more of the folder than its first
// entries, and never opens anything that is not a folder.
int folderReadError(FileSystem& fs, const std::string& folder);

} // namespace quellomir
