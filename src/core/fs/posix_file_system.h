#pragma once

#include "fs/file_system.h"

#include <cstdint>

namespace quellomir {

// The file system of the running Linux system, through POSIX and Linux calls.
class PosixFileSystem final : public FileSystem {
  public:
    // Where the file system allows, a new file has no name at all until it is named, so
    // that nothing of it is left should the program be killed; elsewhere (FAT, exFAT,
    // network file systems) it has a "~" name meanwhile. Tests ask for the "~" names
    // where the disk they run on would not need them.
    enum class NewFiles : std::uint8_t { UnnamedWherePossible, AlwaysNamed };
    explicit PosixFileSystem(NewFiles newFiles = NewFiles::UnnamedWherePossible)
        : m_unnamedNewFiles(newFiles == NewFiles::UnnamedWherePossible) {}

    // How a copy moves its data: the kernel's range copy where both files' drives allow it,
    // else sendfile, else reads and writes; a way the drives refuse hands over to the next.
    // Tests start further down to try each way on its own.
    enum class CopyWay : std::uint8_t { KernelRange, Sendfile, ReadWrite };
    void startCopiesWith(CopyWay way) { m_firstCopyWay = way; }

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

  private:
    Handle handleOf(int fd, std::string path);

    bool m_unnamedNewFiles = true;
    CopyWay m_firstCopyWay = CopyWay::KernelRange;
};

} // namespace quellomir
