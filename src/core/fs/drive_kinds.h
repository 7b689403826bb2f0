#pragma once

#include "fs/file_system.h"

#include <cstdint>
#include <string>

namespace quellomir {

// Magic numbers of network file systems (statfs's f_type) that <linux/magic.h> lacks.
inline constexpr std::uint64_t SmbMagic = 0x517B;
inline constexpr std::uint64_t CifsMagic = 0xFF534D42;
inline constexpr std::uint64_t Smb2Magic = 0xFE534D42;

// Whether a drive of this type answers each request over a network or through a program
// of its own: NFS, SMB and FUSE.
bool networkOrFuse(std::uint64_t type);

// How many requests a drive of this type is best given at once: many where each waits on a
// network or a user-space driver, a few on a local disk.
unsigned requestsInFlight(std::uint64_t type);

// Whether one flush of a whole file system of this type (syncfs) is sure to reach every file
// written to it: local drives that flush everything they hold, not FUSE or network drives.
bool flushReachesEveryFile(std::uint64_t type);

// Whether the inode numbers `folder`'s drive gives may change while the folder stays: a
// FUSE driver without stable numbers (exfat-fuse gives a folder a new one once the kernel
// has forgotten it) or a network drive. A drive whose type cannot be told counts as such.
bool inodeNumbersMayChange(FileSystem& fs, const std::string& folder);

} // namespace quellomir
