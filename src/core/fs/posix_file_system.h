#pragma once

#include "fs/file_system.h"

namespace quellomir {

// The file system of the running Linux system, through POSIX and Linux calls.
class PosixFileSystem final : public FileSystem {
  public:
    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override;
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override;
    int stat(const std::string& path, Follow follow, FileFacts& facts) override;
    int fileSystemType(const std::string& path, std::uint64_t& type) override;
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override;
    using FileSystem::copyToTemporary;
    int copyToTemporary(const std::string& source, const std::string& folder, TemporaryCopy& made,
                        const CopyProgress& progress = {}) override;
    int syncFile(const std::string& path) override;
    int syncFolder(const std::string& folder) override;
    int syncFileSystem(const std::string& path) override;
    int rename(const std::string& from, const std::string& to, Replace replace = Replace::Yes) override;
    int setModified(const std::string& path, FileTime modified) override;
    int setMode(const std::string& path, std::uint32_t mode) override;
    int unlink(const std::string& path) override;
};

} // namespace quellomir
