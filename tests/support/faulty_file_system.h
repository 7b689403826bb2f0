#pragma once

#include "support/forwarding_file_system.h"

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quellomir::testing {

// A file system that fails on demand: the Nth call of an operation, or every call on
// a path, gives a chosen errno instead of reaching the real disk. This is how tests
// get the faults a disk will not give when asked (EACCES as root, EIO, ENOSPC, a
// failure half-way through a run).
class FaultyFileSystem final : public ForwardingFileSystem {
  public:
    // The seam's calls, and what some of them are to the copy and the Trash above it: a call
    // counts as its own operation and as the step it takes, and a fault on either fails it.
    enum class Operation {
        ListFolder, // listFolder and statListed alike: both stand for reading a folder
        EntryStat,  // the stat of one entry during a listing; its path is folder/name
        Stat,
        FileSystemType,
        FatAttributes,
        OpenFolder, // its path is the folder's
        StatAt,     // of an entry by its name; its path is the held folder's and the name
        ListNames,  // its path is the folder's
        MakeFolder, // its path is the new folder's
        Unlink,     // its path is the entry's
        Link,       // these two: their path is the new name's, or the old one's
        Rename,
        OpenToRead, // its path is the file's
        CreateFile, // its path is the new file's, or its folder's for a file without a name
        Write,
        SetModified,
        SetMode,
        Flush, // of any file or folder
        // The steps of a copy. Making it: the open of its source (its path) and the creation of
        // the new file (its folder's path).
        CopyToNewFile,
        RestatSource,   // the look at an open source
        SyncFile,       // the flush of a file a copy was made into
        SyncFolder,     // the flush of a folder opened by its path: a copy's destination
        SyncFileSystem, // the flush of a whole drive; its path is the held folder's or file's
        HoldFileSystem, // the second handle on a folder kept for that flush
        NameNewFile,    // a link or rename of a new file to its name; its path is the destination's
        // The claim of a name by creating it; its path is the destination's. The rename of the
        // copy over its claim is part of it, no NameNewFile.
        NameByCopy,
        DiscardNewFile, // the removal of a "~" copy
        // The Trash's: its path is the name in the Trash.
        CreateTrashInfo,
        LinkIntoTrash,
        MoveIntoTrash,
        MoveOutOfTrash,
        RemoveTrashFile,
        SyncTrash, // the flush of its "files" or "info"
        Count
    };

    using ForwardingFileSystem::ForwardingFileSystem;

    // The `nth` call of `operation` from now on (1 = the next one) fails with `error`.
    void failCall(Operation operation, int nth, int error);
    // Every call of `operation` on `path` fails with `error`. A trailing '/' does not
    // count, so "/a/b" and "/a/b/" are one path. For a copy either the source or the
    // folder matches; the other calls on a new file match the folder it was made in.
    void failPath(Operation operation, std::string path, int error);
    // The `nth` call of `operation` on `path` from now on fails with `error`.
    void failPathCall(Operation operation, std::string path, int nth, int error);
    // Listing `folder` gives its first `entries` entries, then fails with `error`.
    void failListingAfter(std::string folder, std::size_t entries, int error);
    // Right before the `nth` call of `operation` from now on, `action` is given its path: what
    // another program does at that moment.
    void beforeCall(Operation operation, int nth, std::function<void(const std::string& path)> action);

    int calls(Operation operation) const {
        std::lock_guard lock(m_mutex);
        return m_calls[index(operation)];
    }

    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override;
    int statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                   const EntryVisitor& visit) override;
    int stat(const std::string& path, Follow follow, FileFacts& facts) override;
    int fileSystemType(const std::string& path, std::uint64_t& type) override;
    int fatAttributes(const std::string& path, std::uint32_t& attributes) override;
    int openFolder(const Handle* at, const std::string& name, Follow follow, FolderAccess access,
                   Handle& folder) override;
    int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) override;
    int statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) override;
    int makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) override;
    int unlinkAt(Handle& folder, const std::string& name) override;
    int link(Handle& from, const std::string& fromName, Handle& toFolder, const std::string& toName) override;
    int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder, const std::string& toName,
               Replace replace) override;
    int openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                   FileFacts& facts) override;
    int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) override;
    int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                     bool& permissionsChanged) override;
    int write(Handle& file, std::string_view bytes) override;
    int setModified(Handle& at, const std::string& name, FileTime modified) override;
    int setMode(Handle& file, std::uint32_t mode) override;
    int flush(Handle& at) override;
    int flushDrive(Handle& at) override;
    int duplicate(Handle& at, Handle& copy) override;

  private:
    struct Fault {
        Operation operation;
        std::string path;             // empty: any path
        int nth = 0;                  // 0: every matching call
        std::size_t afterEntries = 0; // listings only: entries given before the failure
        int error = 0;
        int seen = 0; // matching calls so far
        std::function<void(const std::string& path)> action{};
    };

    static std::size_t index(Operation operation) { return static_cast<std::size_t>(operation); }
    // Counts the call and gives the errno it is to fail with, or 0.
    int enter(Operation operation, const std::string& path, const std::string& otherPath = {});
    // The same for a call that is also the step `step` (Count: none).
    int enter(Operation operation, Operation step, const std::string& path,
              const std::string& otherPath = {});
    // The faults of a listing, around `list` which reads the folder through the visitor.
    int listing(const std::string& folder, const EntryVisitor& visit,
                const std::function<int(const EntryVisitor&)>& list);
    bool isFolder(Handle& at);
    // Which open files copies were made into, and which folders were opened by their paths,
    // by their descriptors; and the names claimed by a create.
    void copiedInto(const Handle& file, bool copied);
    bool copied(const Handle& file);
    void openedByPath(const Handle& folder, bool byPath);
    bool claimed(const std::string& path, bool take);

    std::vector<Fault> m_faults;
    std::array<int, static_cast<std::size_t>(Operation::Count)> m_calls{};
    std::set<int> m_copies;
    std::set<int> m_pathFolders;
    std::set<std::string> m_claims;
    mutable std::mutex m_mutex; // copies made ahead call in from several threads
};

} // namespace quellomir::testing
