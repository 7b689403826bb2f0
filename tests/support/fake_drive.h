#pragma once

#include "support/forwarding_file_system.h"

#include <linux/magic.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quellomir::testing {

// A drive of another kind than the disk the tests run on, made of real folders of that disk:
// each option makes it answer as such a drive does. Hooks run a test's own code around a
// call, for what befalls a drive while it is in use.
class FakeDrive final : public ForwardingFileSystem {
  public:
    struct Options {
        // Where it is mounted: it is what lies under this folder, which a stat shows as a mount
        // root, and the disk shows through elsewhere. Empty: it is everywhere.
        std::string root{};
        // What statfs and the mount table tell of it; 0 and empty leave the disk's. A FAT drive
        // (MSDOS_SUPER_MAGIC) gives the attribute bytes of `attributes`, else 0x10 (a folder).
        std::uint64_t type = 0;
        std::string mountType{};
        std::map<std::string, std::uint32_t> attributes{};
        // Its files are on a device of their own, as those of a USB stick beside the disk.
        bool ownDevice = false;
        // Names that differ only in letter case are one name, as on FAT and exFAT: a look finds
        // a file in any case, and a new file is refused a name held in another case.
        bool caseBlind = false;
        // A time given is kept without its fraction, as exFAT through FUSE keeps it, and one
        // before `earliest` as `earliest`, as exFAT keeps none before 1980; neither is said.
        bool wholeSeconds = false;
        FileTime earliest{INT64_MIN, 0};
        // A new file given its name gets the current time, as fusefat gives a renamed file.
        bool stampsRenames = false;
        // A rename that is to replace nothing is refused (EINVAL), as exfat-fuse, fusefat and
        // ntfs-3g refuse it.
        bool noRefusingRename = false;
        // Times show as FAT keeps them: to the even second below, and `clockShift` seconds off
        // (an hour once daylight-saving time has changed).
        bool fatTimes = false;
        int clockShift = 0;
        // Listings give their entries in the reverse of the disk's order; each comes after a
        // random wait up to `listingJitter`, so that listings on several threads end out of order.
        bool reversedListings = false;
        std::chrono::microseconds listingJitter{0};
        // Copies into the drive, and every flush of a whole file system, take this long, as on
        // a USB stick.
        std::chrono::milliseconds copyDelay{0};
        std::chrono::milliseconds flushDelay{0};
    };
    static constexpr FileTime Year1980{315'532'800, 0};

    // The calls a hook can be put around. It is given the path of the folder listed, of a
    // copy's source, of a new file's name, or of the descriptor held for a flush (maybe empty).
    enum class Call { ListFolder, CopyToNewFile, NameNewFile, SyncFileSystem };
    using Hook = std::function<void(const std::string& path)>;

    explicit FakeDrive(FileSystem& inner) : FakeDrive(inner, Options{}) {}
    FakeDrive(FileSystem& inner, Options options);

    // `hook` runs before each call of `call`, or after each one that succeeded.
    void before(Call call, Hook hook) { m_hooks[0].emplace_back(call, std::move(hook)); }
    void after(Call call, Hook hook) { m_hooks[1].emplace_back(call, std::move(hook)); }

    // Each time given to an entry of a folder, by its path, as the drive kept it.
    std::vector<std::pair<std::string, FileTime>> keptTimes() const {
        std::lock_guard lock(m_mutex);
        return m_kept;
    }

    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override;
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override {
        return m_inner.statListed(folder, names, statKinds, showing(folder, visit));
    }
    int stat(const std::string& path, Follow follow, FileFacts& facts) override;
    int statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) override;
    int openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                   FileFacts& facts) override;
    int fileSystemType(const std::string& path, std::uint64_t& type) override {
        if (m_options.type == 0 || !mine(path)) return m_inner.fileSystemType(path, type);
        return type = m_options.type, 0;
    }
    int mountType(const std::string& path, std::string& type) override {
        if (m_options.mountType.empty() || !mine(path)) return m_inner.mountType(path, type);
        return type = m_options.mountType, 0;
    }
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override {
        if (m_options.type != MSDOS_SUPER_MAGIC || !mine(path))
            return m_inner.fatAttributes(path, attributes);
        const auto found = m_options.attributes.find(path);
        return attributes = found == m_options.attributes.end() ? 0x10 : found->second, 0;
    }
    int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) override {
        // A drive that cannot refuse a name in a rename is a FUSE one, which makes no file
        // without a name either.
        if (name.empty() && m_options.noRefusingRename && mine(folder.path)) return EOPNOTSUPP;
        return m_inner.createFile(folder, name, mode, file);
    }
    int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                     bool& permissionsChanged) override;
    int setModified(Handle& at, const std::string& name, FileTime modified) override;
    int link(Handle& from, const std::string& fromName, Handle& toFolder, const std::string& toName) override;
    int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder, const std::string& toName,
               Replace replace) override;
    int flushDrive(Handle& at) override {
        run(0, Call::SyncFileSystem, at.path);
        std::this_thread::sleep_for(m_options.flushDelay);
        if (int error = m_inner.flushDrive(at)) return error;
        run(1, Call::SyncFileSystem, at.path);
        return 0;
    }

  private:
    void run(int when, Call call, const std::string& path) const;
    bool mine(const std::string& path) const;
    // Facts of `path` as the drive shows them, and a listing's visitor that shows them so.
    void show(const std::string& path, FileFacts& facts) const;
    EntryVisitor showing(const std::string& folder, const EntryVisitor& visit) const;
    FileTime kept(FileTime time) const;
    // The name in `folder` that is `name` in any case, on a case-blind drive.
    std::optional<std::string> caseBlindName(const std::string& folder, const std::string& name);
    // A new file taking its name, by a link or a rename, as the drive does it.
    int naming(Handle& folder, const std::string& name, bool replacing, const std::function<int()>& name_);

    const Options m_options;
    const std::string m_root;                                  // without its trailing '/'
    std::array<std::vector<std::pair<Call, Hook>>, 2> m_hooks; // before, after
    mutable std::mutex m_mutex; // copies made ahead call in from several threads
    std::vector<std::pair<std::string, FileTime>> m_kept;
    std::mt19937 m_random{7};
};

} // namespace quellomir::testing
