#pragma once

#include "fs/file_system.h"

#include <sys/stat.h>

#include <cstdint>
#include <mutex>
#include <vector>

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
    int mountType(const std::string& path, std::string& type) override;
    int fileSystemType(const std::string& path, std::uint64_t& type) override;
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override;
    int openWriteFolder(const std::string& path, WriteFolder& folder) override;
    int liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode, bool& within) override;
    int unlinkIn(WriteFolder& folder, const std::string& name) override;
    int writeNote(WriteFolder& folder, const std::string& contents, Handle& held,
                  std::string& noteName) override;
    int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) override;
    int statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) override;
    int openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) override;
    int readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size, std::size_t& got) override;
    int lockedByAnother(Handle& file, bool& locked) override;
    std::uint32_t runningUser() override;
    int copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder, NewFile& made,
                      const CopyProgress& progress = {}) override;
    int restatSource(NewFile& file, FileFacts& facts) override;
    int readSourceAt(NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                     std::size_t& got) override;
    int setModified(NewFile& file, FileTime modified) override;
    int setMode(NewFile& file, std::uint32_t mode) override;
    int syncFile(NewFile& file) override;
    int holdFileSystem(NewFile& file, Handle& held) override;
    int nameTemporarily(NewFile& file) override;
    int nameNewFile(NewFile& file, const std::string& name, Replace replace) override;
    int nameByCopy(NewFile& file, const std::string& name) override;
    int discardNewFile(NewFile& file) override;
    int syncFolder(WriteFolder& folder) override;
    int syncFileSystem(Handle& held) override;
    int syncOpened(Handle& file) override;
    int makeFolder(WriteFolder& folder, const std::string& name) override;
    int setModified(WriteFolder& folder, const std::string& name, FileTime modified) override;
    int openTrash(WriteFolder& near, TrashCan& trash) override;
    int openHomeTrash(TrashCan& trash) override;
    int homeTrashFacts(FileFacts& facts) override;
    int realPath(WriteFolder& folder, std::string& path) override;
    int createTrashInfo(TrashCan& trash, const std::string& name, const std::string& contents) override;
    int linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override;
    int moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override;
    int copyIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override;
    int moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                       const std::string& name) override;
    int setTrashFileModified(TrashCan& trash, const std::string& name, FileTime modified) override;
    int removeTrashFile(TrashCan& trash, const std::string& name) override;
    int removeTrashInfo(TrashCan& trash, const std::string& name) override;
    int syncTrash(TrashCan& trash) override;
    int unlink(const std::string& path) override;
    void close(Handle& handle) override;

  private:
    // Whether new files on the drive `device` may be made without a name: a drive that
    // refused once is not asked again, which on a network drive saves a round trip a row.
    bool mayMakeUnnamedOn(std::uint64_t device);
    void refusedUnnamedOn(std::uint64_t device);
    // Whether the drive `device`, on which `path` lies, renames only 8.3 names safely; asked
    // of the mount table once a drive.
    bool shortNamesOnlyOn(std::uint64_t device, const std::string& path);
    // copyIntoTrash for a Trash on the file's own drive.
    int copyBesideThenMove(int from, const struct stat& source, WriteFolder& folder, TrashCan& trash,
                           const std::string& trashName);

    bool m_unnamedNewFiles = true;
    CopyWay m_firstCopyWay = CopyWay::KernelRange;
    std::mutex m_refusingMutex;
    std::vector<std::uint64_t> m_refusingUnnamed; // drives, few
    std::mutex m_shortNamesMutex;
    std::vector<std::pair<std::uint64_t, bool>> m_shortNamesOnly; // drives, few
};

} // namespace quellomir
