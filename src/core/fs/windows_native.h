#pragma once

#include "fs/file_system.h"

#include <windows.h>

#include <cstdint>
#include <string>

// What the Windows file system's calls share: errors, handles, paths, times and facts as the
// wide-character API gives and takes them.
namespace quellomir::windows {

// The errno a failed call's GetLastError stands for, so that the core reads one kind of error
// on every platform; lastErrno() for the calling thread's last one.
int errnoOf(DWORD error);
int lastErrno();

// Windows keeps kernel handles to 32 significant bits, so that they pass between 64- and
// 32-bit processes: the descriptor field of a Handle holds one as it is.
HANDLE nativeOf(const Handle& handle);
int descriptorOf(HANDLE handle);

bool isSeparator(wchar_t c);
// The long form of `path` for the system: absolute, backslashes, "." and ".." resolved, and
// the \\?\ prefix that lifts the 260-character limit. A drive root keeps its backslash.
std::wstring systemPath(const std::string& path);
// The path of the entry `name` of a folder reached by `folderPath` (name empty: the folder).
std::string entryPath(const std::string& folderPath, const std::string& name);
std::string withSeparator(std::string path);
// The folder above `path`, by its text. A drive's root ("C:/") and a share ("//server/share/")
// have none: the root is its own parent, as "/" is on Linux.
std::string parentPath(std::string path);

// 100 ns ticks from 1601, and the program's times from 1970.
FileTime timeOf(std::int64_t ticks);
FileTime timeOf(const FILETIME& time);
std::int64_t ticksOf(FileTime time);
// Permission bits as a POSIX program would read them, and the kind of an entry: links and
// junctions are never followed.
std::uint32_t modeOf(DWORD attributes);
EntryKind kindOf(DWORD attributes);

// The facts of an open file or folder.
int factsOfOpen(HANDLE handle, FileFacts& facts);
// Opens what is at `path` for the access `access`, never through a link when `follow` is No;
// folders too (backup semantics).
HANDLE openPath(const std::string& path, DWORD access, Follow follow, DWORD disposition = OPEN_EXISTING,
                DWORD flags = 0);
int statPath(const std::string& path, Follow follow, FileFacts& facts);

// The volume's root, where GetVolumeInformationW wants it, for `path`; and the file system's
// name of that volume in lower case: "ntfs", "fat32", "exfat".
std::wstring volumeRoot(const std::string& path);
int volumeKind(const std::string& path, std::string& kind);
// ReFS has no Linux statfs number: one of our own.
inline constexpr std::uint64_t ReFsMagic = 0x52654673;

} // namespace quellomir::windows
