#include "fs/windows_file_system.h"

#include "fs/drive_kinds.h"
#include "fs/listed_names.h"
#include "fs/windows_native.h"
#include "fs/windows_text.h"

#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

// The listing, the drive's kind and the calls on folders and names; the calls on open files
// are in windows_files.cpp.
namespace quellomir {

using namespace windows;

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

} // namespace quellomir
