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

// What copyToTemporary made: the new file, and the facts of the source as it was copied.
struct TemporaryCopy {
    std::string path;         // the new file's full path
    FileFacts source;         // of the open source, links followed, read before its contents
    std::uint64_t device = 0; // the new file's, which a rename keeps
    std::uint64_t inode = 0;
};

// Whether a rename may replace a file that is at the new name.
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

    // Called between the pieces of a long copy, so that a window can answer meanwhile.
    using CopyProgress = std::function<void()>;

    // Creates a new file with a name of its own in `folder`, never replacing anything,
    // and copies the contents of `source` into it (kernel copy where the file systems
    // allow). The name begins with "~", so no comparison ever lists it. A source that is
    // not a regular file is never opened: EISDIR for a folder, EINVAL for anything else.
    // On success `made` tells what was made; on failure nothing is left behind. An
    // exception from `progress` passes through, and the new file is removed first.
    virtual int copyToTemporary(const std::string& source, const std::string& folder, TemporaryCopy& made,
                                const CopyProgress& progress = {}) = 0;
    // The same for a caller that wants only the new file's path.
    int copyToTemporary(const std::string& source, const std::string& folder, std::string& created,
                        const CopyProgress& progress = {}) {
        TemporaryCopy made;
        const int error = copyToTemporary(source, folder, made, progress);
        if (error == 0) created = std::move(made.path);
        return error;
    }

    // Flushes a file's data, or a folder's entries (after a rename), to the disk.
    virtual int syncFile(const std::string& path) = 0;
    virtual int syncFolder(const std::string& folder) = 0;
    // Flushes everything written to the file system that holds `path`: one wait for
    // many small files instead of one per file.
    virtual int syncFileSystem(const std::string& path) = 0;

    // Replaces `to` by `from` in one step when both are in the same file system. With
    // Replace::No, something at `to` (a link or a folder too) makes it fail with EEXIST,
    // decided in the same step; a file system that cannot decide it so fails with EINVAL.
    virtual int rename(const std::string& from, const std::string& to, Replace replace = Replace::Yes) = 0;
    // Sets the last-write time to the nanosecond; the access time is left alone.
    virtual int setModified(const std::string& path, FileTime modified) = 0;
    virtual int setMode(const std::string& path, std::uint32_t mode) = 0;
    virtual int unlink(const std::string& path) = 0;
};

} // namespace quellomir
