#pragma once

#include "fs/forwarding_file_system.h"

namespace quellomir {

// Passes every call on, marking the calling thread as waiting for the call's folder or
// file meanwhile (WaitingCalls), so that a drive which never answers can be named.
class WatchedFileSystem final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;

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
};

} // namespace quellomir
