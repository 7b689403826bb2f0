#include "fs/windows_file_system.h"

#include "fs/windows_native.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

namespace quellomir {

using namespace windows;

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
