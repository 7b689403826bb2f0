#pragma once

#include "fs/file_system.h"

namespace quellomir::testing {

// Passes every call on to another file system. Tests derive from it and override
// the one call they want to change.
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
    int copyToNewFile(const std::string& source, const std::string& folder, NewFile& made,
                      const CopyProgress& progress = {}) override {
        return m_inner.copyToNewFile(source, folder, made, progress);
    }
    int setModified(NewFile& file, FileTime modified) override { return m_inner.setModified(file, modified); }
    int setMode(NewFile& file, std::uint32_t mode) override { return m_inner.setMode(file, mode); }
    int syncFile(NewFile& file) override { return m_inner.syncFile(file); }
    int nameNewFile(NewFile& file, const std::string& destination, Replace replace) override {
        return m_inner.nameNewFile(file, destination, replace);
    }
    int discardNewFile(NewFile& file) override { return m_inner.discardNewFile(file); }
    int syncFolder(const std::string& folder) override { return m_inner.syncFolder(folder); }
    int syncFileSystem(const std::string& path) override { return m_inner.syncFileSystem(path); }
    int setModified(const std::string& path, FileTime modified) override {
        return m_inner.setModified(path, modified);
    }
    int unlink(const std::string& path) override { return m_inner.unlink(path); }

  protected:
    FileSystem& m_inner;
};

} // namespace quellomir::testing
