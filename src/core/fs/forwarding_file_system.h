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
    int fileSystemType(const std::string& path, std::uint64_t& type) override {
        return m_inner.fileSystemType(path, type);
    }
    int mountType(const std::string& path, std::string& type) override {
        return m_inner.mountType(path, type);
    }
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override {
        return m_inner.fatAttributes(path, attributes);
    }
    int openFolder(const Handle* at, const std::string& name, Follow follow, FolderAccess access,
                   Handle& folder) override {
        return m_inner.openFolder(at, name, follow, access, folder);
    }
    int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) override {
        return m_inner.listNames(folder, visit);
    }
    int statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) override {
        return m_inner.statAt(at, name, follow, facts);
    }
    int makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) override {
        return m_inner.makeFolder(folder, name, mode);
    }
    int unlinkAt(Handle& folder, const std::string& name) override { return m_inner.unlinkAt(folder, name); }
    int link(Handle& from, const std::string& fromName, Handle& toFolder,
             const std::string& toName) override {
        return m_inner.link(from, fromName, toFolder, toName);
    }
    int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder, const std::string& toName,
               Replace replace) override {
        return m_inner.rename(fromFolder, fromName, toFolder, toName, replace);
    }
    int realPath(Handle& at, std::string& path) override { return m_inner.realPath(at, path); }
    int recycle(Handle& folder, const std::string& name) override { return m_inner.recycle(folder, name); }
    int openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                   FileFacts& facts) override {
        return m_inner.openToRead(at, name, follow, file, facts);
    }
    int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) override {
        return m_inner.createFile(folder, name, mode, file);
    }
    int readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size, std::size_t& got) override {
        return m_inner.readAt(file, offset, buffer, size, got);
    }
    int write(Handle& file, std::string_view bytes) override { return m_inner.write(file, bytes); }
    int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                     bool& permissionsChanged) override {
        return m_inner.copyContents(from, to, progress, permissionsChanged);
    }
    int setModified(Handle& at, const std::string& name, FileTime modified) override {
        return m_inner.setModified(at, name, modified);
    }
    int setMode(Handle& file, std::uint32_t mode) override { return m_inner.setMode(file, mode); }
    int flush(Handle& at) override { return m_inner.flush(at); }
    int flushDrive(Handle& at) override { return m_inner.flushDrive(at); }
    int tryLock(Handle& file, Lock lock, bool& taken) override { return m_inner.tryLock(file, lock, taken); }
    int duplicate(Handle& at, Handle& copy) override { return m_inner.duplicate(at, copy); }
    std::uint32_t runningUser() override { return m_inner.runningUser(); }
    int close(Handle& handle) override { return m_inner.close(handle); }

  protected:
    FileSystem& m_inner;
};

} // namespace quellomir
