#pragma once

#include "support/forwarding_file_system.h"

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quellomir::testing {

// A file system that fails on demand: the Nth call of an operation, or every call on
// a path, gives a chosen errno instead of reaching the real disk. This is how tests
// get the faults a disk will not give when asked (EACCES as root, EIO, ENOSPC, a
// failure half-way through a run).
class FaultyFileSystem final : public ForwardingFileSystem {
  public:
    enum class Operation {
        ListFolder, // listFolder and statListed alike: both stand for reading a folder
        EntryStat,  // the stat of one entry during a listing; its path is folder/name
        Stat,
        FileSystemType,
        FatAttributes,
        OpenWriteFolder,
        LiesWithin,
        StatAt,    // its path is the held folder's and the name
        ListNames, // its path is the folder's
        CopyToNewFile,
        RestatSource,
        SyncFile,
        HoldFileSystem,
        SyncFolder,
        SyncFileSystem, // its path is empty
        NameNewFile,    // its path is the destination's
        NameByCopy,     // its path is the destination's
        OpenToRead,     // its path is the held folder's and the name
        SetModified,    // of a new file or an entry of a folder alike
        SetMode,
        DiscardNewFile,
        OpenTrash,       // its path is the folder's it is for; the Trash is looked for first
        OpenHomeTrash,   // its path is empty; the Trash is looked for first
        CreateTrashInfo, // these five: their path is the name in the Trash
        LinkIntoTrash,
        MoveIntoTrash,
        MoveOutOfTrash,
        RemoveTrashFile,
        SyncTrash,
        Unlink,     // of a path or an entry of a folder alike
        MakeFolder, // its path is the new folder's
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
    int openWriteFolder(const std::string& path, WriteFolder& folder) override;
    int liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode, bool& within) override;
    int statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) override;
    int listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) override;
    int unlinkIn(WriteFolder& folder, const std::string& name) override;
    int copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder, NewFile& made,
                      const CopyProgress& progress = {}) override;
    int restatSource(NewFile& file, FileFacts& facts) override;
    int setModified(NewFile& file, FileTime modified) override;
    int setMode(NewFile& file, std::uint32_t mode) override;
    int syncFile(NewFile& file) override;
    int holdFileSystem(NewFile& file, Handle& held) override;
    int nameNewFile(NewFile& file, const std::string& name, Replace replace) override;
    int nameByCopy(NewFile& file, const std::string& name) override;
    int discardNewFile(NewFile& file) override;
    int syncFolder(WriteFolder& folder) override;
    int syncFileSystem(Handle& held) override;
    int syncOpened(Handle& file) override;
    int openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) override;
    int makeFolder(WriteFolder& folder, const std::string& name) override;
    int setModified(WriteFolder& folder, const std::string& name, FileTime modified) override;
    int openTrash(WriteFolder& near, TrashCan& trash) override;
    int openHomeTrash(TrashCan& trash) override;
    int createTrashInfo(TrashCan& trash, const std::string& name, const std::string& contents) override;
    int linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override;
    int moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                      const std::string& trashName) override;
    int moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                       const std::string& name) override;
    int removeTrashFile(TrashCan& trash, const std::string& name) override;
    int syncTrash(TrashCan& trash) override;
    int unlink(const std::string& path) override;

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
    // The faults of a listing, around `list` which reads the folder through the visitor.
    int listing(const std::string& folder, const EntryVisitor& visit,
                const std::function<int(const EntryVisitor&)>& list);

    std::vector<Fault> m_faults;
    std::array<int, static_cast<std::size_t>(Operation::Count)> m_calls{};
    mutable std::mutex m_mutex; // copies made ahead call in from several threads
};

} // namespace quellomir::testing
