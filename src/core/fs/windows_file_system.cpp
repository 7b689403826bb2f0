#include "fs/windows_file_system.h"

#include "fs/drive_kinds.h"
#include "fs/listed_names.h"
#include "fs/windows_text.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quellomir {
namespace {

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
HANDLE openPath(const std::string& path, DWORD access, Follow follow, DWORD disposition = OPEN_EXISTING,
                DWORD flags = 0) {
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

constexpr std::uint64_t ReFsMagic = 0x52654673; // "ReFs": no Linux number, one of our own

std::string lowercase(std::wstring_view text) {
    std::string ascii;
    for (wchar_t c : text)
        ascii += c < 128 ? static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c) : '?';
    return ascii;
}

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

} // namespace

int WindowsFileSystem::listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) {
    // The listing gives names, kinds, sizes and times together, a batch of entries per request
    // to the drive: nothing is opened per file. A folder's identity needs an open of its own.
    std::wstring pattern = systemPath(folder);
    if (!pattern.empty() && !isSeparator(pattern.back())) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : errnoOf(error == ERROR_PATH_NOT_FOUND ? error : error);
    }
    const std::unique_ptr<void, decltype(&::FindClose)> closing(search, &::FindClose);
    std::uint64_t volume = 0;
    bool volumeKnown = false;
    FolderEntry entry;
    std::string name;
    do {
        const std::wstring_view wide(found.cFileName);
        if (wide == L"." || wide == L"..") continue;
        name = fromWide(wide);
        entry.name = std::string_view(name);
        entry.kind = kindOf(found.dwFileAttributes);
        entry.statted = (statKinds & (1u << static_cast<unsigned>(entry.kind))) != 0;
        entry.statError = 0;
        if (entry.statted) {
            FileFacts& facts = entry.facts;
            facts = FileFacts{};
            facts.kind = entry.kind;
            facts.mode = modeOf(found.dwFileAttributes);
            facts.size =
                static_cast<std::int64_t>((std::uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
            facts.modified = timeOf(found.ftLastWriteTime);
            facts.changed = facts.modified;
            if (entry.kind == EntryKind::Folder) {
                // A folder's identity tells the scan of a folder reached twice.
                entry.statError = statPath(entryPath(folder, name), Follow::No, facts);
            } else {
                if (!volumeKnown) {
                    FileFacts own;
                    volumeKnown = statPath(folder, Follow::Yes, own) == 0;
                    volume = own.device;
                }
                facts.device = volume;
            }
        }
        visit(entry);
    } while (::FindNextFileW(search, &found));
    const DWORD end = ::GetLastError();
    return end == ERROR_NO_MORE_FILES ? 0 : errnoOf(end);
}

int WindowsFileSystem::statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                                  const EntryVisitor& visit) {
    FolderEntry entry;
    names.forEach([&](EntryKind kind, std::string_view name) {
        entry.name = name;
        entry.kind = kind;
        entry.statted = (statKinds & (1u << static_cast<unsigned>(kind))) != 0;
        entry.statError =
            entry.statted ? statPath(entryPath(folder, std::string(name)), Follow::Yes, entry.facts) : 0;
        visit(entry);
    });
    return 0;
}

int WindowsFileSystem::stat(const std::string& path, Follow follow, FileFacts& facts) {
    return statPath(path, follow, facts);
}

int WindowsFileSystem::fileSystemType(const std::string& path, std::uint64_t& type) {
    std::string kind;
    if (int error = volumeKind(path, kind)) return error;
    // The drive kinds are told by Linux's statfs numbers: Windows's names map onto them, and a
    // kind the table does not know is told by none.
    type = kind == "fat" || kind == "fat32" ? MsdosMagic
           : kind == "exfat"                ? ExfatMagic
           : kind == "refs"                 ? ReFsMagic
           : kind == "ntfs"                 ? NtfsMagic
                                            : 0;
    return 0;
}

int WindowsFileSystem::mountType(const std::string& path, std::string& type) {
    if (int error = volumeKind(path, type)) return error;
    if (type == "fat" || type == "fat32") type = "vfat";
    if (::GetDriveTypeW(volumeRoot(path).c_str()) == DRIVE_REMOTE) type = "smb3";
    return 0;
}

int WindowsFileSystem::fatAttributes(const std::string& path, std::uint32_t& attributes) {
    const DWORD found = ::GetFileAttributesW(systemPath(path).c_str());
    if (found == INVALID_FILE_ATTRIBUTES) return lastErrno();
    attributes = found;
    return 0;
}

int WindowsFileSystem::openFolder(const Handle* at, const std::string& name, Follow follow,
                                  FolderAccess access, Handle& folder) {
    std::string path = at ? (name == ".." ? parentPath(at->path) : entryPath(at->path, name)) : name;
    const DWORD rights = access == FolderAccess::List
                             ? FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE
                             : FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    HANDLE handle = openPath(path, rights, follow);
    if (handle == INVALID_HANDLE_VALUE) return lastErrno();
    FileFacts facts;
    if (int error = factsOfOpen(handle, facts); error != 0 || facts.kind != EntryKind::Folder) {
        ::CloseHandle(handle);
        return error != 0 ? error : facts.kind == EntryKind::Other ? ELOOP : ENOTDIR;
    }
    folder = Handle();
    folder.owner = this;
    folder.fd = descriptorOf(handle);
    folder.path = withSeparator(std::move(path));
    return 0;
}

int WindowsFileSystem::listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) {
    return listFolder(folder.path, stat_kinds::None, [&](const FolderEntry& entry) { visit(entry.name); });
}

int WindowsFileSystem::statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) {
    if (name.empty()) return factsOfOpen(nativeOf(at), facts);
    return statPath(entryPath(at.path, name), follow, facts);
}

int WindowsFileSystem::makeFolder(Handle& folder, const std::string& name, std::uint32_t) {
    return ::CreateDirectoryW(systemPath(entryPath(folder.path, name)).c_str(), nullptr) ? 0 : lastErrno();
}

int WindowsFileSystem::unlinkAt(Handle& folder, const std::string& name) {
    const std::wstring path = systemPath(entryPath(folder.path, name));
    if (::DeleteFileW(path.c_str())) return 0;
    const DWORD error = ::GetLastError();
    // A read-only file goes like any other, as unlink takes it on Linux.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        if (::DeleteFileW(path.c_str())) return 0;
        const DWORD again = ::GetLastError();
        ::SetFileAttributesW(path.c_str(), attributes);
        return errnoOf(again);
    }
    return errnoOf(error);
}

int WindowsFileSystem::link(Handle& from, const std::string& fromName, Handle& toFolder,
                            const std::string& toName) {
    // Every new file here has a name from the start (createFile refuses to make one without).
    if (fromName.empty()) return EINVAL;
    const std::wstring target = systemPath(entryPath(toFolder.path, toName));
    const std::wstring source = systemPath(entryPath(from.path, fromName));
    return ::CreateHardLinkW(target.c_str(), source.c_str(), nullptr) ? 0 : lastErrno();
}

int WindowsFileSystem::rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder,
                              const std::string& toName, Replace replace) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails on any name that is there, in the same
    // step; write-through returns once the move is on the disk.
    const std::wstring from = systemPath(entryPath(fromFolder.path, fromName));
    const std::wstring to = systemPath(entryPath(toFolder.path, toName));
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace == Replace::Yes ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return 0;
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    // A read-only file is replaced like any other.
    if (error == ERROR_ACCESS_DENIED && replace == Replace::Yes && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        ::SetFileAttributesW(to.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return 0;
        const DWORD again = ::GetLastError();
        ::SetFileAttributesW(to.c_str(), attributes);
        return errnoOf(again);
    }
    return errnoOf(error);
}

int WindowsFileSystem::realPath(Handle& at, std::string& path) {
    wchar_t buffer[32768];
    const DWORD length =
        ::GetFinalPathNameByHandleW(nativeOf(at), buffer, DWORD(std::size(buffer)), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= std::size(buffer)) return lastErrno();
    std::wstring_view found(buffer, length);
    if (found.starts_with(L"\\\\?\\UNC\\"))
        path = "\\\\" + fromWide(found.substr(8));
    else if (found.starts_with(L"\\\\?\\"))
        path = fromWide(found.substr(4));
    else
        path = fromWide(found);
    std::replace(path.begin(), path.end(), '\\', '/'); // the program's form
    return 0;
}

int WindowsFileSystem::recycle(Handle& folder, const std::string& name) {
    // The shell deletes for good, without a word, what it cannot put in a Recycle Bin: only a
    // fixed drive whose bin answers is given the file (removable and network drives keep none).
    const std::string path = entryPath(folder.path, name);
    const std::wstring root = volumeRoot(path);
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    if (root.empty() || ::GetDriveTypeW(root.c_str()) != DRIVE_FIXED ||
        FAILED(::SHQueryRecycleBinW(root.c_str(), &bin)))
        return ENOTSUP;
    // The shell takes no \\?\ path: the plain one, ended by two NULs.
    std::wstring from = systemPath(path);
    if (from.starts_with(L"\\\\?\\UNC\\"))
        from = L"\\\\" + from.substr(8);
    else if (from.starts_with(L"\\\\?\\"))
        from = from.substr(4);
    if (from.size() >= MAX_PATH) return ENAMETOOLONG;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags =
        FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_NO_CONNECTED_ELEMENTS;
    const int result = ::SHFileOperationW(&operation);
    if (result != 0 || operation.fAnyOperationsAborted) return result == 0 ? ECANCELED : EIO;
    // Gone from its folder, or it was not moved at all.
    return ::GetFileAttributesW(systemPath(path).c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : EIO;
}

int WindowsFileSystem::openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                                  FileFacts& facts) {
    const std::string path = at ? entryPath(at->path, name) : name;
    // A file another program holds open for writing without sharing it fails with EBUSY, and
    // never half-read.
    HANDLE handle = openPath(path, GENERIC_READ, follow, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (handle == INVALID_HANDLE_VALUE) return lastErrno();
    int error = factsOfOpen(handle, facts);
    if (error == 0 && facts.kind != EntryKind::Regular)
        error = facts.kind == EntryKind::Folder ? EISDIR : follow == Follow::No ? ELOOP : EINVAL;
    if (error != 0) {
        ::CloseHandle(handle);
        return error;
    }
    file = Handle();
    file.owner = this;
    file.fd = descriptorOf(handle);
    file.path = path;
    return 0;
}

int WindowsFileSystem::createFile(Handle& folder, const std::string& name, std::uint32_t, Handle& file) {
    // A file without a name is a Linux thing; callers give new files "~" names here.
    if (name.empty()) return EOPNOTSUPP;
    const std::string path = entryPath(folder.path, name);
    HANDLE handle =
        ::CreateFileW(systemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | FILE_WRITE_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return lastErrno();
    file = Handle();
    file.owner = this;
    file.fd = descriptorOf(handle);
    file.path = path;
    return 0;
}

int WindowsFileSystem::readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                              std::size_t& got) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD read = 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!::ReadFile(nativeOf(file), buffer, asked, &read, &at)) {
        if (::GetLastError() != ERROR_HANDLE_EOF) return lastErrno();
        read = 0;
    }
    got = read;
    return 0;
}

int WindowsFileSystem::write(Handle& file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD put = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(nativeOf(file), bytes.data(), asked, &put, nullptr)) return lastErrno();
        if (put == 0) return EIO;
        bytes.remove_prefix(put);
    }
    return 0;
}

int WindowsFileSystem::copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                                    bool& permissionsChanged) {
    permissionsChanged = false;
    // Pieces of a megabyte: the window gets its turn between them.
    constexpr DWORD PieceSize = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[PieceSize]);
    std::int64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        if (int error = readAt(from, offset, buffer.get(), PieceSize, got)) return error;
        if (got == 0) return 0;
        if (int error = write(to, std::string_view(buffer.get(), got))) return error;
        offset += static_cast<std::int64_t>(got);
        if (progress) progress(static_cast<std::int64_t>(got));
    }
}

int WindowsFileSystem::setModified(Handle& at, const std::string& name, FileTime modified) {
    if (!modified.known()) return EINVAL;
    HANDLE handle = nativeOf(at);
    HANDLE opened = INVALID_HANDLE_VALUE;
    if (!name.empty()) {
        opened = openPath(entryPath(at.path, name), FILE_WRITE_ATTRIBUTES, Follow::No);
        if (opened == INVALID_HANDLE_VALUE) return lastErrno();
        handle = opened;
    }
    const std::uint64_t ticks = static_cast<std::uint64_t>(ticksOf(modified));
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const int error = ::SetFileTime(handle, nullptr, &now, &written) ? 0 : lastErrno();
    if (opened != INVALID_HANDLE_VALUE) ::CloseHandle(opened);
    return error;
}

int WindowsFileSystem::setMode(Handle& file, std::uint32_t mode) {
    // Of the permission bits, Windows keeps only whether anyone may write.
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandleEx(nativeOf(file), FileBasicInfo, &basic, sizeof basic))
        return lastErrno();
    const DWORD readOnly = (mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : 0;
    if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == readOnly) return 0;
    basic.FileAttributes = (basic.FileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) | readOnly;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    basic.CreationTime.QuadPart = 0; // 0: leave as it is
    basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = 0;
    basic.ChangeTime.QuadPart = 0;
    return ::SetFileInformationByHandle(nativeOf(file), FileBasicInfo, &basic, sizeof basic) ? 0
                                                                                             : lastErrno();
}

int WindowsFileSystem::flush(Handle& at) {
    if (::FlushFileBuffers(nativeOf(at))) return 0;
    if (::GetLastError() != ERROR_ACCESS_DENIED) return lastErrno();
    // A flush needs a handle that may write: a file opened to read, or a folder, is opened
    // again for writing (a folder's entries are flushed so on NTFS).
    HANDLE writable =
        ::ReOpenFile(nativeOf(at), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     FILE_FLAG_BACKUP_SEMANTICS);
    if (writable == INVALID_HANDLE_VALUE) writable = openPath(at.path, GENERIC_WRITE, Follow::Yes);
    if (writable == INVALID_HANDLE_VALUE) {
        // A folder that cannot be opened for writing cannot be flushed by itself.
        FileFacts facts;
        return factsOfOpen(nativeOf(at), facts) == 0 && facts.kind == EntryKind::Folder ? EBADF : lastErrno();
    }
    const int error = ::FlushFileBuffers(writable) ? 0 : lastErrno();
    ::CloseHandle(writable);
    return error;
}

int WindowsFileSystem::flushDrive(Handle& at) {
    // Flushing a whole volume takes an administrator. The drive kinds say that no flush of a
    // whole drive reaches it here, so every copy is flushed on its own besides; this flushes
    // what the handle holds.
    const int error = flush(at);
    return error == EBADF ? 0 : error;
}

int WindowsFileSystem::tryLock(Handle& file, Lock lock, bool& taken) {
    // Windows locks bytes, and a lock keeps other handles from reading them: the lock is put
    // far beyond any file's end, where it blocks no read, and still tells one run from another.
    OVERLAPPED beyondEnd{};
    beyondEnd.OffsetHigh = 0x7fffffff;
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (lock == Lock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    taken = ::LockFileEx(nativeOf(file), flags, 0, 1, 0, &beyondEnd) != 0;
    if (taken) {
        if (lock == Lock::Shared) ::UnlockFileEx(nativeOf(file), 0, 1, 0, &beyondEnd);
        return 0;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? 0 : errnoOf(error);
}

int WindowsFileSystem::duplicate(Handle& at, Handle& copy) {
    HANDLE duplicated = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), nativeOf(at), ::GetCurrentProcess(), &duplicated, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return lastErrno();
    copy = Handle();
    copy.owner = this;
    copy.fd = descriptorOf(duplicated);
    copy.path = at.path;
    return 0;
}

std::uint32_t WindowsFileSystem::runningUser() {
    return 0; // every file shows owner 0 here: whose it is, Windows says through its ACL
}

int WindowsFileSystem::close(Handle& handle) {
    const int fd = std::exchange(handle.fd, -1);
    handle.owner = nullptr;
    if (fd == -1) return 0;
    return ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd))) ? 0 : lastErrno();
}

} // namespace quellomir
