#pragma once

#include "fs/posix_file_system.h"
#include "fs/temporary_names.h"
#include "fs/unique_fd.h"

#include <sys/stat.h>

#include <string>

namespace quellomir::posix {

// Copies the contents of the open file `from`, whose facts at opening are `source`, into the
// open new file `to`, holes kept and with the window's turn between the pieces. 0 or errno.
int copyContents(int from, int to, const struct stat& source, const FileSystem::CopyProgress& progress,
                 PosixFileSystem::CopyWay firstWay = PosixFileSystem::CopyWay::KernelRange);

// Creates a new file under a fresh "~" name of the form `form` in the folder open at `folder`,
// with the permission bits `mode`, and locks it: a run that finds it locked leaves it alone,
// whatever PID namespace or machine it runs in (where the drive has no locks, leftovers wait
// an hour before they are removed). 0 or errno; `name` is the name it took.
int createTemporaryFile(int folder, TemporaryNameForm form, mode_t mode, UniqueFd& fd, std::string& name);

} // namespace quellomir::posix
