#pragma once

#include "scan/file_list.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

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
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool mountRoot = false;
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

// A copy on its way to its destination: a new file in the destination's folder, open,
// either without any name yet or under a "~" name of its own (where the file system cannot
// make a file without a name). Only the file system that made it works on it; one that
// goes out of scope before it was named is closed and removed.
struct NewFile {
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    inline ~NewFile();

    // For the caller:
    FileFacts source;         // of the open source, links followed, read before its contents
    std::uint64_t device = 0; // the new file's, which its naming keeps
    std::uint64_t inode = 0;

    // Kept by the file system that made it:
    FileSystem* owner = nullptr; // set while there is something to close or remove
    int handle = -1;
    std::uint32_t mode = 0; // its permission bits
    std::string folder;
    std::string temporaryPath; // empty while the file has no name
};

// Whether a new file may replace a file that is at the name it is given.
enum class Replace : std::uint8_t { Yes, No };

class ListedNames;

// The one way the core reaches the file system. Every operation returns 0 or an
// errno value and never throws; the callers decide what a failure means. Tests wrap
// an implementation to make a chosen call fail with a chosen errno.
class FileSystem {
  public:
    using EntryVisitor = std::function<void(const FolderEntry&)>;

    virtual ~FileSystem() = default;

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

    // The attribute byte a FAT file system keeps for a file or folder
    // (FAT_IOCTL_GET_ATTRIBUTES): read-only 1, hidden 2, system 4, archive 32.
    virtual int fatAttributes(const std::string& path, std::uint32_t& attributes) = 0;

    // The type the mount table gives the file system that holds `path`: "ext4", "vfat",
    // and for a FUSE mount "fuse." or "fuseblk." and the driver's subtype
    // ("fuse.fusefat"), which statfs cannot tell apart.
    virtual int mountType(const std::string& path, std::string& type) = 0;

    // Called between the pieces of a long copy, so that a window can answer meanwhile.
    using CopyProgress = std::function<void()>;

    // Creates a new file in `folder`, never replacing anything, and copies the contents of
    // `source` into it (kernel copy where the file systems allow). Where it has a name before
    // it is named, the name begins with "~", so no comparison ever lists it. A source that is
    // not a regular file is never opened: EISDIR for a folder, EINVAL for anything else. On
    // failure nothing is left behind. An exception from `progress` passes through, and the
    // new file is removed first.
    virtual int copyToNewFile(const std::string& source, const std::string& folder, NewFile& made,
                              const CopyProgress& progress = {}) = 0;
    // Sets a new file's last-write time to the nanosecond (and its access time to now), its
    // permission bits, or flushes its data to the disk.
    virtual int setModified(NewFile& file, FileTime modified) = 0;
    virtual int setMode(NewFile& file, std::uint32_t mode) = 0;
    virtual int syncFile(NewFile& file) = 0;
    // Gives a new file the name `destination`, in the folder it was made in, and closes it.
    // With Replace::No, something at `destination` (a link or a folder too) makes it fail
    // with EEXIST, decided in the same step; a file system that cannot decide it so fails
    // with EINVAL. On failure the new file stays as it was, for another try or removal.
    virtual int nameNewFile(NewFile& file, const std::string& destination, Replace replace) = 0;
    // Closes a new file that is not to be named and removes it.
    virtual int discardNewFile(NewFile& file) = 0;

    // Flushes a folder's entries (after a new file was named in it) to the disk.
    virtual int syncFolder(const std::string& folder) = 0;
    // Flushes everything written to the file system that holds `path`: one wait for
    // many small files instead of one per file.
    virtual int syncFileSystem(const std::string& path) = 0;

    // Sets the last-write time of a file to the nanosecond, and its access time to now.
    virtual int setModified(const std::string& path, FileTime modified) = 0;
    virtual int unlink(const std::string& path) = 0;
};

NewFile::~NewFile() {
    if (owner) owner->discardNewFile(*this);
}

} // namespace quellomir
