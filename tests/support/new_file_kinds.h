#pragma once

#include "fs/posix_file_system.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace quellomir::testing {

// Tests of writing run twice: with new files that have no name until they are named, as on
// the disk the tests run on, and with "~" names, as on FAT or a network drive.
inline auto bothNewFileKinds() {
    return ::testing::Values(PosixFileSystem::NewFiles::UnnamedWherePossible,
                             PosixFileSystem::NewFiles::AlwaysNamed);
}

// Whether the file system of `folder` makes files without names; where it does not (an
// overlay or network file system under the tests), new files have "~" names either way.
inline bool makesUnnamedFiles(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Whether new files made by a file system of `kind` in `folder` have "~" names.
inline bool hasTildeNames(PosixFileSystem::NewFiles kind, const std::string& folder) {
    return kind == PosixFileSystem::NewFiles::AlwaysNamed || !makesUnnamedFiles(folder);
}

inline std::string newFileKindName(const ::testing::TestParamInfo<PosixFileSystem::NewFiles>& info) {
    return info.param == PosixFileSystem::NewFiles::AlwaysNamed ? "TildeNames" : "Unnamed";
}

} // namespace quellomir::testing
