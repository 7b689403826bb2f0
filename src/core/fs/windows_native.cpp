#include "fs/windows_native.h"

#include "fs/windows_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

namespace quellomir::windows {

// The errno a failed call's GetLastError stands for, so that the core reads one kind of error
// on every platform.
int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTSUP;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_CANT_RESOLVE_FILENAME:
        return ELOOP;
    default:
        return EIO;
    }
}

int lastErrno() {
    return errnoOf(::GetLastError());
}

HANDLE nativeOf(const Handle& handle) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle.fd));
}

// Windows keeps kernel handles to 32 significant bits, so that they pass between 64- and
// 32-bit processes: the descriptor field holds one as it is.
int descriptorOf(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The long form of `path` for the system: absolute, backslashes, "." and ".." resolved, and
// the \\?\ prefix that lifts the 260-character limit. A drive root keeps its backslash.
std::wstring systemPath(const std::string& path) {
    std::wstring wide = toWide(path);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    if (wide.starts_with(L"\\\\?\\")) return wide;
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed > 0) {
        std::wstring full(needed, L'\0');
        const DWORD got = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
        if (got > 0 && got < needed) {
            full.resize(got);
            wide = std::move(full);
        }
    }
    while (wide.size() > 3 && isSeparator(wide.back()))
        wide.pop_back();
    if (wide.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
    return L"\\\\?\\" + wide;
}

// The path of the entry `name` of a folder reached by `folderPath` (name empty: the folder).
std::string entryPath(const std::string& folderPath, const std::string& name) {
    if (name.empty() || name == ".") return folderPath;
    if (folderPath.empty()) return name;
    const char last = folderPath.back();
    return last == '/' || last == '\\' ? folderPath + name : folderPath + '/' + name;
}

std::string withSeparator(std::string path) {
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path;
}

// The folder above `path`, by its text. A drive's root ("C:/") and a share ("//server/share/")
// have none: the root is its own parent, as "/" is on Linux.
std::string parentPath(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    if (path.size() == 2 && path[1] == ':') return path + '/';
    const bool share =
        path.size() > 2 && (path[0] == '/' || path[0] == '\\') && (path[1] == '/' || path[1] == '\\');
    if (share && path.find_first_of("/\\", 2) == path.find_last_of("/\\")) return path + '/';
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(0, cut + 1);
}

constexpr std::int64_t UnixEpochIn1601 = 11'644'473'600; // seconds from 1601 to 1970

FileTime timeOf(std::int64_t ticks) {
    // 100 ns ticks since 1601; floor division, so that times before 1970 keep a positive fraction.
    std::int64_t seconds = ticks / 10'000'000;
    std::int64_t rest = ticks % 10'000'000;
    if (rest < 0) {
        rest += 10'000'000;
        --seconds;
    }
    return {seconds - UnixEpochIn1601, static_cast<std::int32_t>(rest * 100)};
}

FileTime timeOf(const FILETIME& time) {
    return timeOf(static_cast<std::int64_t>((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime));
}

std::int64_t ticksOf(FileTime time) {
    return (time.seconds + UnixEpochIn1601) * 10'000'000 + time.nanoseconds / 100;
}

// Permission bits as a POSIX program would read them: Windows has the read-only attribute.
std::uint32_t modeOf(DWORD attributes) {
    const std::uint32_t mode = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0777 : 0666;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? mode & ~0222u : mode;
}

EntryKind kindOf(DWORD attributes) {
    // Links and junctions are never followed: the program neither lists nor copies through them.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Other;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Other;
    return EntryKind::Regular;
}

// The facts of an open file or folder, in two calls that read the same record.
int factsOfOpen(HANDLE handle, FileFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return lastErrno();
    facts.kind = kindOf(info.dwFileAttributes);
    facts.mode = modeOf(info.dwFileAttributes);
    facts.size = static_cast<std::int64_t>((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    facts.modified = timeOf(info.ftLastWriteTime);
    facts.device = info.dwVolumeSerialNumber;
    facts.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    facts.owner = 0;
    facts.group = 0;
    facts.links = info.nNumberOfLinks;
    facts.mountRoot = false;
    // The change time moves with every write and every change of attributes, as a POSIX
    // ctime does; where the drive keeps none, the write time stands in.
    FILE_BASIC_INFO basic;
    facts.changed = ::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
                            basic.ChangeTime.QuadPart != 0
                        ? timeOf(basic.ChangeTime.QuadPart)
                        : facts.modified;
    return 0;
}

// Opens what is at `path` for the access `access`, never through a link when `follow` is No;
// folders too (backup semantics), without the privilege that name suggests.
HANDLE openPath(const std::string& path, DWORD access, Follow follow, DWORD disposition, DWORD flags) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    flags |= FILE_FLAG_BACKUP_SEMANTICS | (follow == Follow::No ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    return ::CreateFileW(systemPath(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
}

int statPath(const std::string& path, Follow follow, FileFacts& facts) {
    HANDLE handle = openPath(path, FILE_READ_ATTRIBUTES, follow);
    if (handle == INVALID_HANDLE_VALUE) return lastErrno();
    const int error = factsOfOpen(handle, facts);
    ::CloseHandle(handle);
    return error;
}

// The volume's root, where GetVolumeInformationW wants it, for `path`.
std::wstring volumeRoot(const std::string& path) {
    wchar_t root[MAX_PATH + 1];
    const std::wstring wide = systemPath(path);
    if (!::GetVolumePathNameW(wide.c_str(), root, MAX_PATH)) return {};
    return root;
}

namespace {

std::string lowercase(std::wstring_view text) {
    std::string ascii;
    for (wchar_t c : text)
        ascii += c < 128 ? static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c) : '?';
    return ascii;
}

} // namespace

// The file system's name of the volume `path` lies on, in lower case: "ntfs", "fat32", "exfat".
int volumeKind(const std::string& path, std::string& kind) {
    const std::wstring root = volumeRoot(path);
    wchar_t name[MAX_PATH + 1];
    if (root.empty() ||
        !::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1))
        return lastErrno();
    kind = lowercase(name);
    return 0;
}

} // namespace quellomir::windows
