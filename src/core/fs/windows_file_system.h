#pragma once

#include "fs/file_system.h"

namespace quellomir {

// The file system of Windows, through its wide-character API. Paths come in as UTF-8 with
// either slash and go to the system in their long form (\\?\C:\..., \\?\UNC\server\share\...),
// so that no length limit applies. A folder "held" by a handle is reached by its path again
// for the calls on its entries: Windows opens nothing relative to a handle in its Win32 API.
class WindowsFileSystem final : public FileSystem {
  public:
    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override;
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override;
    int stat(const std::string& path, Follow follow, FileFacts& facts) override;
    int fileSystemType(const std::string& path, std::uint64_t& type) override;
    int mountType(const std::string& path, std::string& type) override;
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override;

    int openFolder(const Handle* at, const std::string& name, Follow follow, FolderAccess access,
                   Handle& folder) override;
    int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) override;
    int statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) override;
    int makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) override;
    int unlinkAt(Handle& folder, const std::string& name) override;
    int link(Handle& from, const std::string& fromName, Handle& toFolder, const std::string& toName) override;
    int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder, const std::string& toName,
               Replace replace) override;
    int realPath(Handle& at, std::string& path) override;
    int recycle(Handle& folder, const std::string& name) override;

    int openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                   FileFacts& facts) override;
    int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) override;
    int readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size, std::size_t& got) override;
    int write(Handle& file, std::string_view bytes) override;
    int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                     bool& permissionsChanged) override;
    int setModified(Handle& at, const std::string& name, FileTime modified) override;
    int setMode(Handle& file, std::uint32_t mode) override;
    int flush(Handle& at) override;
    int flushDrive(Handle& at) override;
    int tryLock(Handle& file, Lock lock, bool& taken) override;
    int duplicate(Handle& at, Handle& copy) override;
    std::uint32_t runningUser() override;
    int close(Handle& handle) override;
};

} // namespace quellomir
