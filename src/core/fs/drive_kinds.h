#pragma once

#include "fs/file_system.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quellomir {

// Magic numbers of file systems (statfs's f_type) the program tells drives apart by. Those
// <linux/magic.h> has are written out too, so that the Windows build, whose file system
// names its drives with the same numbers, has them.
inline constexpr std::uint64_t Ext4Magic = 0xEF53; // ext2 and ext3 share it
inline constexpr std::uint64_t XfsMagic = 0x58465342;
inline constexpr std::uint64_t BtrfsMagic = 0x9123683E;
inline constexpr std::uint64_t F2fsMagic = 0xF2F52010;
inline constexpr std::uint64_t TmpfsMagic = 0x01021994;
inline constexpr std::uint64_t MsdosMagic = 0x4D44; // FAT, through vfat or msdos
inline constexpr std::uint64_t FuseMagic = 0x65735546;
inline constexpr std::uint64_t NfsMagic = 0x6969;
// Those of network file systems that <linux/magic.h> lacks.
inline constexpr std::uint64_t SmbMagic = 0x517B;
inline constexpr std::uint64_t CifsMagic = 0xFF534D42;
inline constexpr std::uint64_t Smb2Magic = 0xFE534D42;
// And those of drives kept on USB sticks and external disks that it lacks too.
inline constexpr std::uint64_t ExfatMagic = 0x2011BAB0;
inline constexpr std::uint64_t NtfsMagic = 0x5346544E; // ntfs3 and the older ntfs driver
inline constexpr std::uint64_t ZfsMagic = 0x2FC12FC1;
inline constexpr std::uint64_t OverlayMagic = 0x794C7630;

// Whether the drive is FAT or exFAT, which keep no owners or permission bits, hidden and
// system attributes of their own, and times to 2 seconds (FAT) from 1980.
bool fatFamily(std::uint64_t type);

// Whether the drive keeps the permission bits a file is given: not FAT, exFAT, NTFS, nor a
// FUSE drive (whose driver may show every file with the mount's bits).
bool driveKeepsPermissionBits(std::uint64_t type);

// Whether the drive keeps holes in files: a copy of a sparse file there is written sparse.
// FAT and exFAT write a hole out as zeros anyway, and FAT through FUSE even refuses writes
// past the end.
bool keepsHoles(std::uint64_t type);

// Whether a write to a file moves its last-write time at once, as the mount table names the
// drive. FAT through fusefat does not: it keeps the time a file had until it is set, so an
// edit there can only be told by the file's bytes.
bool writesMoveTimes(const std::string& mountType);
// Whether the drive's driver damages a folder when it renames or replaces an entry with a
// long name (FAT through fusefat: of 40 files copied under long "~" names and renamed, 26
// lost their bytes; renamed from 8.3 names into free names, none). Such a drive is written
// with 8.3 temporary names, and a name is only ever freed by a removal, never by a rename.
bool renamesOnlyShortNamesSafely(const std::string& mountType);

// Whether the drive is one of FUSE's, whose kind only the mount table tells.
bool fuseDrive(std::uint64_t type);

// Whether a drive of this type answers each request over a network or through a program
// of its own: NFS, SMB and FUSE.
bool networkOrFuse(std::uint64_t type);

// How many requests a drive of this type is best given at once: many where each waits on a
// network or a user-space driver, a few on a local disk.
unsigned requestsInFlight(std::uint64_t type);

// Whether one flush of a whole file system of this type (syncfs) is sure to reach every file
// written to it: local drives that flush everything they hold, not FUSE or network drives.
bool flushReachesEveryFile(std::uint64_t type);

// Whether a flush of the whole file system (syncfs) reaches the drive's driver at all: the
// kernel never passes it on to a FUSE driver (exfat-fuse, fusefat, ntfs-3g), and a network
// drive is not sure to commit it. A drive of a type that cannot be told counts as not reached.
bool wholeFlushReachesDriver(std::uint64_t type);

// Whether a power cut leaves the drive's names as they were at some moment of their making, in
// the order they were made: drives with a journal (ext4, XFS, btrfs, F2FS), and memory. A
// stick's FAT or exFAT writes what it holds in any order.
bool namesLandInOrder(std::uint64_t type);

// Whether every drive keeps `time` as it is given: the times from 1980 to 2037 (FAT's range
// and 32-bit seconds). Outside them, a drive that kept one time exactly may still clamp another.
bool heldByEveryDrive(FileTime time);

// The driver part of a FUSE mount's type in the mount table ("fusefat" of "fuse.fusefat",
// "exfat" of "fuseblk.exfat"); empty for any other mount.
std::string_view fuseDriverOf(std::string_view mountType);

// Whether the drive is one whose times run from 1980 to 2107 only, FAT or exFAT, by its type
// or, through FUSE, by the mount table's name for it ("fuse.fusefat", "fuseblk.exfat").
bool timesFrom1980To2107(std::uint64_t type, const std::string& mountType);
// Whether such a drive can hold `time`: a time outside the range is clamped, and exfat-fuse
// even reports the time it was given until the stick is mounted again.
bool within1980To2107(FileTime time);

// What names a kind of drive holds: FAT and exFAT none with a control character or one of
// " * : < > ? \ |, nor longer than 255 UTF-16 units; fusefat only ASCII ones besides.
// Windows holds on every drive what FAT and exFAT hold, less the device names (CON, NUL,
// COM1, with any extension) and names that end with a dot or a blank.
enum class NameRule : std::uint8_t { Any, FatOrExfat, AsciiFat, Windows };
NameRule nameRuleOf(std::uint64_t type, const std::string& mountType);
// Why a drive of the rule cannot hold the name, in words after "the drive cannot hold this
// name: "; empty where it can.
std::string nameRefusal(NameRule rule, std::string_view name);

// Whether the inode numbers `folder`'s drive gives may change while the folder stays: a
// FUSE driver without stable numbers (exfat-fuse gives a folder a new one once the kernel
// has forgotten it) or a network drive. A drive whose type cannot be told counts as such.
bool inodeNumbersMayChange(FileSystem& fs, const std::string& folder);

} // namespace quellomir
