#pragma once

#include "fs/posix_file_system.h"

#include <sys/stat.h>

namespace quellomir::posix {

// Copies the contents of the open file `from`, whose facts at opening are `source`, into the
// open new file `to`, holes kept and with the window's turn between the pieces. 0 or errno.
int copyContents(int from, int to, const struct stat& source, const FileSystem::CopyProgress& progress,
                 PosixFileSystem::CopyWay firstWay = PosixFileSystem::CopyWay::KernelRange);

} // namespace quellomir::posix
