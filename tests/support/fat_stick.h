#pragma once

#include "support/forwarding_file_system.h"

#include <linux/magic.h>

#include <string>

namespace quellomir::testing {

// A folder that keeps times as a FAT stick does: to the even second below, read back
// `shift` seconds off (an hour once daylight-saving time has changed since they were
// written), on a file system of the given mount table type ("vfat", "fuse.fusefat";
// "fuse.exfat" or "ext4" for one that is no FAT). Other folders are passed through.
class FatStick final : public ForwardingFileSystem {
  public:
    FatStick(FileSystem& inner, std::string root, std::string type, std::int64_t shift)
        : ForwardingFileSystem(inner), m_root(std::move(root)), m_type(std::move(type)), m_shift(shift) {}

    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override {
        return m_inner.listFolder(folder, statKinds, kept(folder, visit));
    }
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override {
        return m_inner.statListed(folder, names, statKinds, kept(folder, visit));
    }
    int stat(const std::string& path, Follow follow, FileFacts& facts) override {
        const int result = m_inner.stat(path, follow, facts);
        if (result == 0 && onStick(path)) keep(facts.modified);
        return result;
    }
    int fileSystemType(const std::string& path, std::uint64_t& type) override {
        if (!onStick(path)) return m_inner.fileSystemType(path, type);
        type = m_type == "vfat"             ? MSDOS_SUPER_MAGIC
               : m_type.starts_with("fuse") ? FUSE_SUPER_MAGIC
                                            : EXT4_SUPER_MAGIC;
        return 0;
    }
    int mountType(const std::string& path, std::string& type) override {
        if (!onStick(path)) return m_inner.mountType(path, type);
        type = m_type;
        return 0;
    }

  private:
    bool onStick(const std::string& path) const { return path.starts_with(m_root); }
    void keep(FileTime& time) const {
        if (!time.known()) return;
        time = {time.seconds - (time.seconds & 1) + m_shift, 0};
    }
    EntryVisitor kept(const std::string& folder, const EntryVisitor& visit) const {
        if (!onStick(folder)) return visit;
        return [this, &visit](const FolderEntry& entry) {
            FolderEntry shown = entry;
            keep(shown.facts.modified);
            visit(shown);
        };
    }

    std::string m_root;
    std::string m_type;
    std::int64_t m_shift;
};

} // namespace quellomir::testing
