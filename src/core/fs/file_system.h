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

// A folder that copies are written into, held open: every step of a copy, from the new
// file to its name, happens in this one folder, wherever its path leads by then. A folder
// swapped for a link meanwhile is not followed.
struct WriteFolder {
    std::string path;         // as it was opened, ending with '/'
    std::uint64_t device = 0; // the folder's own
    std::uint64_t inode = 0;
    bool listable = false; // opened for reading; else only for lookups (a folder of mode -wx)
    // On a drive that renames only 8.3 names safely: its temporary names are 8.3 names, and
    // a long name is freed by removing what holds it, never renamed away or over.
    bool shortNamesOnly = false;
    Handle handle;
};

// A copy on its way to its destination: a new file in a WriteFolder, open, either without
// any name yet or under a "~" name of its own (where the file system cannot make a file
// without a name). Only the file system that made it works on it; one that goes out of
// scope before it was named is closed and removed. Its folder must outlive it.
struct NewFile {
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    inline ~NewFile();

    // For the caller:
    FileFacts source;         // of the open source, links followed, read before its contents
    std::uint64_t device = 0; // the new file's, which its naming keeps
    std::uint64_t inode = 0;
    std::uint32_t owner = 0; // who the new file belongs to
    std::uint32_t group = 0;
    // Its permission bits as it was made with the source's: what the umask (or the folder's
    // default ACL) lets a new file have of them.
    std::uint32_t createdMode = 0;

    // Kept by the file system that made it:
    FileSystem* fs = nullptr; // set while there is something to close or remove
    WriteFolder* folder = nullptr;
    int handle = -1;
    int sourceHandle = -1;     // the source, open until the copy is named or discarded
    std::uint32_t mode = 0;    // its permission bits
    std::string temporaryName; // empty while the file has no name
};

// A Trash, where the desktop's file managers find what was put there and can restore it:
// the home Trash for the drive of the user's home, else a Trash in the top folder of the
// drive; the home Trash also for a drive that has no Trash of its own to use. Nothing is
// ever moved into a Trash on another drive, only copied.
struct TrashCan {
    std::string path;   // where it is (or the one tried, when none could be used), for messages
    std::string topdir; // the real path of the drive's top folder; empty for the home Trash
    bool home = false;
    std::uint64_t device = 0; // the drive it is on
    Handle files;             // its folders "files" and "info"
    Handle info;
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

    // Called between the pieces of a long copy, so that a window can answer meanwhile, with
    // the bytes copied since the last call.
    using CopyProgress = std::function<void(std::int64_t copied)>;

    // Opens `path` (links followed) as a folder to write into; ENOTDIR for anything else.
    virtual int openWriteFolder(const std::string& path, WriteFolder& folder) = 0;
    // Whether `folder` is the folder (`device`, `inode`) or lies anywhere below it, told by
    // going up through ".." from the folder itself, so through no link.
    virtual int liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode, bool& within) = 0;
    // Removes the entry `name` of `folder`.
    virtual int unlinkIn(WriteFolder& folder, const std::string& name) = 0;
    // Makes the folder `name` in `folder`, with the bits the umask leaves; EEXIST where
    // anything (a link too) has that name.
    virtual int makeFolder(WriteFolder& folder, const std::string& name) = 0;
    // Writes a small note of this run's into `folder` under a "~" name of its own, which
    // `noteName` then holds: a leftover of this program's like its other "~" files, held by
    // this run (its lock stays with `held`) until it is removed.
    virtual int writeNote(WriteFolder& folder, const std::string& contents, Handle& held,
                          std::string& noteName) = 0;

    // The names in the folder held open at `folder` (a WriteFolder's or a Trash's), "." and
    // ".." left out; EBADF for a folder held only for lookups.
    virtual int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) = 0;
    // The facts of the entry `name` of the folder held open at `folder`.
    virtual int statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) = 0;
    // Opens the regular file `name` of the folder held open at `folder` to read it, never
    // through a link and never blocking on anything that is not a file; its facts as opened.
    virtual int openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) = 0;
    // Reads up to `size` bytes from `offset` of a file opened to read; `got` is 0 at its end.
    virtual int readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                       std::size_t& got) = 0;
    // Whether another process, on this machine or (on NFS) another, holds a lock on a file
    // opened to read; ENOLCK where the drive keeps no locks.
    virtual int lockedByAnother(Handle& file, bool& locked) = 0;
    // The user the file system acts as: who owns what the program makes.
    virtual std::uint32_t runningUser() = 0;

    // Creates a new file in `folder`, never replacing anything, and copies the contents of
    // `source` into it (kernel copy where the file systems allow, holes kept). Where it has a
    // name before it is named, the name begins with "~", so no comparison ever lists it. A
    // source that is not a regular file is never opened: EISDIR for a folder, EINVAL for
    // anything else, and ELOOP for a link when `followSource` is No. On failure nothing is
    // left behind. An exception from `progress` passes through, and the new file is removed
    // first.
    virtual int copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder,
                              NewFile& made, const CopyProgress& progress = {}) = 0;
    // The facts of the copy's source as they are now, read through the descriptor the copy
    // read it through.
    virtual int restatSource(NewFile& file, FileFacts& facts) = 0;
    // Reads the copy's source as readAt does, through that same descriptor.
    virtual int readSourceAt(NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                             std::size_t& got) = 0;
    // Sets a new file's last-write time to the nanosecond (and its access time to now), its
    // permission bits, or flushes its data to the disk.
    virtual int setModified(NewFile& file, FileTime modified) = 0;
    virtual int setMode(NewFile& file, std::uint32_t mode) = 0;
    virtual int syncFile(NewFile& file) = 0;
    // Keeps a descriptor of the new file's file system, so that it can be flushed after the
    // file was named and closed, whether or not its folder can be read.
    virtual int holdFileSystem(NewFile& file, Handle& held) = 0;
    // Gives a new file without a name a "~" name of its own in its folder, as it would get
    // on its way to a name it replaces; nothing for one that has a name already. Done before
    // the older file goes to the Trash, it leaves a run killed in between a leftover that the
    // next run finds.
    virtual int nameTemporarily(NewFile& file) = 0;
    // Gives a new file the name `name` in its folder, and closes it. With Replace::No,
    // something of that name (a link or a folder too) makes it fail with EEXIST, decided in
    // the same step (by a rename that replaces nothing, or a second link where the drive has
    // no such rename); a file system that can do neither fails with EINVAL. On failure
    // the new file stays as it was, for another try or removal.
    virtual int nameNewFile(NewFile& file, const std::string& name, Replace replace) = 0;
    // Gives a new file the name `name` where the drive can decide "nothing is there" neither in
    // a rename nor in a link (nameNewFile's EINVAL): creates `name` exclusively, empty, which
    // fails with EEXIST in that one step when anything has the name, and renames the new file
    // over that claim at once. On failure the claim is removed again while the name still holds
    // it, empty, and the new file stays as it was.
    virtual int nameByCopy(NewFile& file, const std::string& name) = 0;
    // Closes a new file that is not to be named and removes it.
    virtual int discardNewFile(NewFile& file) = 0;

    // Flushes a folder's entries (after a new file was named in it) to the disk; EBADF for
    // a folder that was not opened for reading.
    virtual int syncFolder(WriteFolder& folder) = 0;
    // Flushes everything written to the file system of a held descriptor: one wait for
    // many small files instead of one per file.
    virtual int syncFileSystem(Handle& held) = 0;
    // Flushes a file opened by openToRead to the disk: on FUSE and network drives, where a
    // flush of the whole file system never reaches the driver, the way to flush what was
    // written to it.
    virtual int syncOpened(Handle& file) = 0;
    // Sets the last-write time of the entry `name` of `folder` (never through a link) to the
    // nanosecond, and its access time to now.
    virtual int setModified(WriteFolder& folder, const std::string& name, FileTime modified) = 0;

    // The Trash for files of `near`'s drive, its folders made where they are missing (and on
    // the disk when it returns: a stick could lose a folder made in a run's last moments). Only
    // folders of the user's own are made, written or taken for a Trash, and in a drive's top
    // folder only ones that no other user may enter. On failure, `trash.path` names the Trash
    // that was tried.
    virtual int openTrash(WriteFolder& near, TrashCan& trash) = 0;
    // The user's home Trash, wherever it is, on the same terms.
    virtual int openHomeTrash(TrashCan& trash) = 0;
    // The facts of the user's home Trash folder, links followed, without making it: ENOENT
    // where there is none.
    virtual int homeTrashFacts(FileFacts& facts) = 0;
    // The path of `folder` with every link resolved, as it is now.
    virtual int realPath(WriteFolder& folder, std::string& path) = 0;
    // Writes the info file `name` into the Trash's "info", never replacing one: EEXIST when
    // the name is taken.
    virtual int createTrashInfo(TrashCan& trash, const std::string& name, const std::string& contents) = 0;
    // Puts the entry `name` of `folder` into the Trash's "files" as `trashName`: as a second
    // link, which leaves it in place too, or moved, which does not. Neither replaces
    // anything there (EEXIST).
    virtual int linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                              const std::string& trashName) = 0;
    virtual int moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                              const std::string& trashName) = 0;
    // Copies the entry `name` of `folder` (a regular file, no link followed) into a Trash on
    // another drive as `trashName`, with its last-write time and permission bits, never
    // replacing anything there (EEXIST). The copy and the Trash's folders are on the disk
    // when it returns: the file it copies may go right after, on a drive of its own.
    virtual int copyIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                              const std::string& trashName) = 0;
    // Gives the entry `name` of the Trash's "files" the last-write time `modified`: what a drive
    // that stamps renamed files took from a file moved there.
    virtual int setTrashFileModified(TrashCan& trash, const std::string& name, FileTime modified) = 0;
    // Moves `trashName` out of the Trash back to `name` in `folder`, never replacing anything
    // there (EEXIST).
    virtual int moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                               const std::string& name) = 0;
    // Removes the entry `name` of the Trash's "files", or of its "info".
    virtual int removeTrashFile(TrashCan& trash, const std::string& name) = 0;
    virtual int removeTrashInfo(TrashCan& trash, const std::string& name) = 0;
    // Flushes the Trash's two folders to the disk.
    virtual int syncTrash(TrashCan& trash) = 0;

    virtual int unlink(const std::string& path) = 0;
    virtual void close(Handle& handle) = 0;
};

void Handle::close() {
    if (owner) std::exchange(owner, nullptr)->close(*this);
    fd = -1;
}

NewFile::~NewFile() {
    if (fs) fs->discardNewFile(*this);
}

} // namespace quellomir
