#pragma once

#include "fs/posix_file_system.h"

#include <gtest/gtest.h>

#include <string>

namespace quellomir::testing {

// Tests of writing run twice: with new files that have no name until they are named, as on
// the disk the tests run on, and with "~" names, as on FAT or a network drive.
inline auto bothNewFileKinds() {
    return ::testing::Values(PosixFileSystem::NewFiles::UnnamedWherePossible,
                             PosixFileSystem::NewFiles::AlwaysNamed);
}

inline std::string newFileKindName(const ::testing::TestParamInfo<PosixFileSystem::NewFiles>& info) {
    return info.param == PosixFileSystem::NewFiles::AlwaysNamed ? "TildeNames" : "Unnamed";
}

} // namespace quellomir::testing
