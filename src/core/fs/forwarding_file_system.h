#pragma once

#include "fs/file_system.h"

namespace quellomir {

// Passes every call on to another file system. A wrapper derives from it and overrides
// the calls it adds to: the watch on calls that may hang, a test's failing call.
class ForwardingFileSystem : public FileSystem {
  public:
    explicit ForwardingFileSystem(FileSystem& inner) : m_inner(inner) {}

    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override {
        return m_inner.listFolder(folder, statKinds, visit);
    }
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override {
        return m_inner.statListed(folder, names, statKinds, visit);
    }
    int stat(const std::string& path, Follow follow, FileFacts& facts) override {
        return m_inner.stat(path, follow, facts);
    }
    int mountType(const std::string& path, std::string& type) override {
        return m_inner.mountType(path, type);
    }
    int fileSystemType(const std::string& path, std::uint64_t& type) override {
        return m_inner.fileSystemType(path, type);
    }
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override {
        return m_inner.fatAttributes(path, attributes);
    }
    int openWriteFolder(const std::string& path, WriteFolder& folder) override {
        return m_inner.openWriteFolder(path, folder);
    }
    int liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode, bool& within) override {
        return m_inner.liesWithin(folder, device, inode, within);
    }
    int unlinkIn(WriteFolder& folder, const std::string& name) override {
        return m_inner.unlinkIn(folder, name);
    }
    int writeNote(WriteFolder& folder, const std::string& contents, Handle& held,
                  std::string& noteName) override {
        return m_inner.writeNote(folder, contents, held, noteName);
    }
    int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) override {
        return m_inner.listNames(folder, visit);
    }
    int statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) override {
        return m_inner.statAt(folder, name, follow, facts);
    }
    int openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) override {
        return m_inner.openToRead(folder, name, file, facts);
    }
    int readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size, std::size_t& got) override {
        return m_inner.readAt(file, offset, buffer, size, got);
    }
    int lockedByAnother(Handle& file, bool& locked) override { return m_inner.lockedByAnother(file, locked); }
    std::uint32_t runningUser() override { return m_inner.runningUser(); }
    int copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder, NewFile& made,
                      const CopyProgress& progress = {}) override {
        return m_inner.copyToNewFile(source, followSource, folder, made, progress);
    }
    int restatSource(NewFile& file, FileFacts& facts) override { return m_inner.restatSource(file, facts); }
    int readSourceAt(NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                     std::size_t& got) override {
        return m_inner.readSourceAt(file, offset, buffer, size, got);
    }
    int setModified(NewFile& file, FileTime modified) override { return m_inner.setModified(file, modified); }
    int setMode(NewFile& file, std::uint32_t mode) override { return m_inner.setMode(file, mode); }
    int syncFile(NewFile& file) override { return m_inner.syncFile(file); }
    int holdFileSystem(NewFile& file, Handle& held) override { return m_inner.holdFileSystem(file, held); }
    int nameTemporarily(NewFile& file) override { return m_inner.nameTemporarily(file); }
    int nameNewFile(NewFile& file, const std::string& name, Replace replace) override {
        return m_inner.nameNewFile(file, name, replace);
    }
    int nameByCopy(NewFile& file, const std::string& name) override { return m_inner.nameByCopy(file, name); }
    int discardNewFile(NewFile& file) override { return m_inner.discardNewFile(file); }
    int syncFolder(WriteFolder& folder) override { return m_inner.syncFolder(folder); }
    int syncFileSystem(Handle& held) override { return m_inner.syncFileSystem(held); }
    int syncOpened(Handle& file) override { return m_inner.syncOpened(file); }
    int makeFolder(WriteFolder& folder, const std::string& name) override {
        return m_inner.makeFolder(folder, name);
    }
    int setModified(WriteFolder& folder, const std::string& name, FileTime modified) override {
        return m_inner.setModified(folder, name, modified);
    }
    int openTrash(WriteFolder& near, TrashCan& trash) override { return m_inner.openTrash(near, trash); }
    int openHomeTrash(TrashCan& trash) override { return m_inner.openHomeTrash(trash); }
    int homeTrashFacts(FileFacts& facts) override { return m_inner.homeTrashFacts(facts); }
    int realPath(WriteFolder& folder, std::string& path) override { return m_inner.realPath(folder, path); }
    int createTrashInfo(TrashCan& trash, const std::string& name, const std::string& contents) override {
        return m_inner.createTrashInfo(trash, name, contents);
    }
    int linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override {
        return m_inner.linkIntoTrash(folder, name, trash, trashName);
    }
    int moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override {
        return m_inner.moveIntoTrash(folder, name, trash, trashName);
    }
    int copyIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override {
        return m_inner.copyIntoTrash(folder, name, trash, trashName);
    }
    int setTrashFileModified(TrashCan& trash, const std::string& name, FileTime modified) override {
        return m_inner.setTrashFileModified(trash, name, modified);
    }
    int moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                       const std::string& name) override {
        return m_inner.moveOutOfTrash(trash, trashName, folder, name);
    }
    int removeTrashFile(TrashCan& trash, const std::string& name) override {
        return m_inner.removeTrashFile(trash, name);
    }
    int removeTrashInfo(TrashCan& trash, const std::string& name) override {
        return m_inner.removeTrashInfo(trash, name);
    }
    int syncTrash(TrashCan& trash) override { return m_inner.syncTrash(trash); }
    int unlink(const std::string& path) override { return m_inner.unlink(path); }
    void close(Handle& handle) override { m_inner.close(handle); }

  protected:
    FileSystem& m_inner;
};

} // namespace quellomir
