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

    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override;
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override;
    int stat(const std::string& path, Follow follow, FileFacts& facts) override;
    int mountType(const std::string& path, std::string& type) override;
    int fileSystemType(const std::string& path, std::uint64_t& type) override;
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override;
    int copyToNewFile(const std::string& source, const std::string& folder, NewFile& made,
                      const CopyProgress& progress = {}) override;
    int setModified(NewFile& file, FileTime modified) override;
    int setMode(NewFile& file, std::uint32_t mode) override;
    int syncFile(NewFile& file) override;
    int nameNewFile(NewFile& file, const std::string& destination, Replace replace) override;
    int discardNewFile(NewFile& file) override;
    int syncFolder(const std::string& folder) override;
    int syncFileSystem(const std::string& path) override;
    int setModified(const std::string& path, FileTime modified) override;
    int unlink(const std::string& path) override;

  private:
    bool m_unnamedNewFiles = true;
};

} // namespace quellomir
