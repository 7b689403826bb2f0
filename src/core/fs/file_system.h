#pragma once

#include "fs/file_time.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quellomir {

// What a directory entry is in itself, before any link is followed.
enum class EntryKind : std::uint8_t {
    Regular,
    Folder,
    Link,
    Other, // FIFO, socket, device: never opened, listed or copied
};

// The facts of one stat. `mountRoot` is true for "/" and for any folder that
// something is mounted on.
struct FileFacts {
    EntryKind kind = EntryKind::Other;
    std::uint32_t mode = 0; // permission bits only (07777)
    std::int64_t size = 0;
    FileTime modified;
    FileTime changed; // the inode's change time, which every write and chmod moves on
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t links = 1; // names the file has
    bool mountRoot = false;

    // The same file in the same state: nothing wrote to it or replaced it in between.
    bool sameState(const FileFacts& other) const {
        return kind == other.kind && device == other.device && inode == other.inode && size == other.size &&
               modified == other.modified && changed == other.changed;
    }
};

// One entry of a folder listing. `name` is valid only during the visit. `facts` is
// filled (with links followed) when the listing was asked to stat entries of this
// kind; `statError` then holds 0 or the errno of that stat.
struct FolderEntry {
    std::string_view name; // NUL-terminated in memory, so name.data() may go to the OS
    EntryKind kind = EntryKind::Other;
    bool statted = false;
    int statError = 0;
    FileFacts facts;
};

// Bits of EntryKind telling listFolder which entries to stat.
namespace stat_kinds {
inline constexpr unsigned None = 0;
inline constexpr unsigned Regular = 1u << static_cast<unsigned>(EntryKind::Regular);
inline constexpr unsigned Folder = 1u << static_cast<unsigned>(EntryKind::Folder);
inline constexpr unsigned Link = 1u << static_cast<unsigned>(EntryKind::Link);
inline constexpr unsigned Other = 1u << static_cast<unsigned>(EntryKind::Other);
} // namespace stat_kinds

enum class Follow : std::uint8_t { No, Yes };

class FileSystem;

// An open descriptor of the file system's own, closed by the file system that opened it
// when it goes out of scope.
struct Handle {
    Handle() = default;
    Handle(Handle&& other) noexcept
        : owner(std::exchange(other.owner, nullptr)), fd(std::exchange(other.fd, -1)),
          path(std::move(other.path)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            close();
            owner = std::exchange(other.owner, nullptr);
            fd = std::exchange(other.fd, -1);
            path = std::move(other.path);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }
    bool open() const { return owner != nullptr; }
    inline void close();

    FileSystem* owner = nullptr;
    int fd = -1;
    std::string path; // what it is open at, where known: a drive that holds a call is named by it
};

// Whether a new name may replace what is at that name already.
enum class Replace : std::uint8_t { Yes, No };

// How a folder is opened: to list it (and flush it), or only to look up and make names in it,
// which a folder of mode -wx allows.
enum class FolderAccess : std::uint8_t { List, LookUp };

// A lock on an open file, which is let go with the file's last descriptor.
enum class Lock : std::uint8_t { Shared, Exclusive };

class ListedNames;

// The one way the core reaches the file system: primitives on paths and on open handles, with
// no rule of the program's in them. Every operation returns 0 or an errno value and never
// throws; the callers decide what a failure means. A name given with a folder handle is one
// entry of that folder; an empty name means the handle's own file or folder. Tests wrap an
// implementation to make a chosen call fail with a chosen errno.
class FileSystem {
  public:
    using EntryVisitor = std::function<void(const FolderEntry&)>;
    // Called between the pieces of a long copy, so that a window can answer meanwhile, with
    // the bytes copied since the last call.
    using CopyProgress = std::function<void(std::int64_t copied)>;

    virtual ~FileSystem() = default;

    // --- By path: the scan, and what a drive is.

    // Visits the entries of `folder` in the order the file system gives them, "." and
    // ".." left out. Entries whose own kind is in `statKinds` are stat'ed relative to
    // the open folder, following links: one call per entry, no full paths. A failure
    // after some entries were visited returns its errno; the visited ones stay visited.
    // An exception thrown by the visitor passes through, with nothing left open.
    virtual int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) = 0;
    // Visits, as listFolder would, the entries a listing of `folder` gave a moment ago,
    // without reading the folder again: it is opened only to stat the entries whose
    // kind (as listed) is in `statKinds` relative to it. An entry gone since then
    // comes with the stat's ENOENT.
    virtual int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                           const EntryVisitor& visit) = 0;
    // The open test of the file helpers is a stat that follows links and finds a
    // regular file: Linux has no share locks, and a stat never opens (so never blocks
    // on a FIFO or touches a device).
    virtual int stat(const std::string& path, Follow follow, FileFacts& facts) = 0;
    // The file-system magic number of statfs (MSDOS_SUPER_MAGIC for FAT).
    virtual int fileSystemType(const std::string& path, std::uint64_t& type) = 0;
    // The type the mount table gives the file system that holds `path`: "ext4", "vfat",
    // and for a FUSE mount "fuse." or "fuseblk." and the driver's subtype
    // ("fuse.fusefat"), which statfs cannot tell apart.
    virtual int mountType(const std::string& path, std::string& type) = 0;
    // The attribute byte a FAT file system keeps for a file or folder
    // (FAT_IOCTL_GET_ATTRIBUTES): read-only 1, hidden 2, system 4, archive 32.
    virtual int fatAttributes(const std::string& path, std::uint32_t& attributes) = 0;

    // --- Folders held open.

    // Opens the folder `name` of the folder held at `at`, or the folder at the path `name`
    // where `at` is null; ENOTDIR for anything else, ELOOP for a link when `follow` is No.
    // ".." is the folder above, reached through no link.
    virtual int openFolder(const Handle* at, const std::string& name, Follow follow, FolderAccess access,
                           Handle& folder) = 0;
    // The names in a folder opened to list, "." and ".." left out; EBADF for one held only
    // for lookups.
    virtual int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) = 0;
    virtual int statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) = 0;
    // Makes the folder `name`, with the permission bits `mode` as the umask leaves them;
    // EEXIST where anything (a link too) has that name.
    virtual int makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) = 0;
    virtual int unlinkAt(Handle& folder, const std::string& name) = 0;
    // Gives the file `fromName` of `from` (or, for an empty name, the open file `from`, which
    // may have no name yet) the second name `toName` in `toFolder`. Never replaces anything,
    // a dangling link included (EEXIST).
    virtual int link(Handle& from, const std::string& fromName, Handle& toFolder,
                     const std::string& toName) = 0;
    // Renames in one step. With Replace::No, anything at `toName` makes it fail with EEXIST
    // in that same step; a drive that cannot refuse so fails with EINVAL and changes nothing.
    virtual int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder,
                       const std::string& toName, Replace replace) = 0;
    // The path of what `at` holds open, every link resolved, as it is now.
    virtual int realPath(Handle& at, std::string& path) = 0;
    // Moves the entry `name` into the system's own bin of deleted files, from which its
    // desktop restores it (Windows's Recycle Bin); ENOTSUP where the system keeps none for the
    // drive, which then leaves the entry where it is.
    virtual int recycle(Handle& folder, const std::string& name) = 0;

    // --- Files.

    // Opens the regular file `name` of the folder held at `at` (at the path `name` where `at`
    // is null) to read it, never blocking on anything that is not a file (EINVAL for it, and
    // EISDIR for a folder; ELOOP for a link when `follow` is No); its facts as opened.
    virtual int openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                           FileFacts& facts) = 0;
    // Creates the file `name` in `folder` to write it, with the permission bits `mode` as the
    // umask (or the folder's default ACL) leaves them, never through a link and never over
    // anything (EEXIST). An empty name makes a file without any name, which only `link` can
    // name; EOPNOTSUPP where the drive cannot make one.
    virtual int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) = 0;
    // Reads up to `size` bytes from `offset` of a file opened to read; `got` is 0 at its end.
    virtual int readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                       std::size_t& got) = 0;
    // Writes all of `bytes` at the end of what was written to a new file so far.
    virtual int write(Handle& file, std::string_view bytes) = 0;
    // Copies the contents of the file `from` opened to read into the new file `to` (the
    // kernel's copy where the drives allow, holes kept), and the extended attributes that go
    // with them where the drive keeps them; `permissionsChanged` tells that an access ACL came
    // with them. An exception from `progress` passes through.
    virtual int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                             bool& permissionsChanged) = 0;
    // Sets the last-write time of the entry `name` of `at` (never through a link), or of the
    // open file `at`, to the nanosecond, and its access time to now.
    virtual int setModified(Handle& at, const std::string& name, FileTime modified) = 0;
    // Sets an open file's permission bits.
    virtual int setMode(Handle& file, std::uint32_t mode) = 0;
    // Flushes an open file's data, or an open folder's entries, to the disk; EBADF for a
    // folder held only for lookups.
    virtual int flush(Handle& at) = 0;
    // Flushes everything written to the drive of `at`: one wait for many small files instead
    // of one per file.
    virtual int flushDrive(Handle& at) = 0;
    // Takes a lock on an open file without waiting: `taken` false where another process, on
    // this machine or (on NFS) another, holds one that conflicts; ENOLCK where the drive keeps
    // no locks.
    virtual int tryLock(Handle& file, Lock lock, bool& taken) = 0;
    // A second handle of what `at` holds open, which keeps it open by itself.
    virtual int duplicate(Handle& at, Handle& copy) = 0;
    // The user the file system acts as: who owns what the program makes.
    virtual std::uint32_t runningUser() = 0;
    // Closes a handle; a drive may report a failed write only here (NFS).
    virtual int close(Handle& handle) = 0;
};

void Handle::close() {
    if (owner) std::exchange(owner, nullptr)->close(*this);
    fd = -1;
}

} // namespace quellomir
