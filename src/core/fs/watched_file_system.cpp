#include "fs/watched_file_system.h"

#include "fs/waiting_calls.h"

namespace quellomir {
namespace {

// What calls without a path of their own are said to wait for.
const std::string FlushedDrive = "a drive being flushed";
const std::string HomeTrash = "the Trash in the home folder";

const std::string& folderOf(const NewFile& file) {
    static const std::string unknown = "a folder being written";
    return file.folder ? file.folder->path : unknown;
}

} // namespace

int WatchedFileSystem::listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) {
    const WaitingCalls::Call waiting(folder);
    return m_inner.listFolder(folder, statKinds, visit);
}

int WatchedFileSystem::statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                                  const EntryVisitor& visit) {
    const WaitingCalls::Call waiting(folder);
    return m_inner.statListed(folder, names, statKinds, visit);
}

int WatchedFileSystem::stat(const std::string& path, Follow follow, FileFacts& facts) {
    const WaitingCalls::Call waiting(path);
    return m_inner.stat(path, follow, facts);
}

int WatchedFileSystem::mountType(const std::string& path, std::string& type) {
    const WaitingCalls::Call waiting(path);
    return m_inner.mountType(path, type);
}

int WatchedFileSystem::fileSystemType(const std::string& path, std::uint64_t& type) {
    const WaitingCalls::Call waiting(path);
    return m_inner.fileSystemType(path, type);
}

int WatchedFileSystem::fatAttributes(const std::string& path, std::uint32_t& attributes) {
    const WaitingCalls::Call waiting(path);
    return m_inner.fatAttributes(path, attributes);
}

int WatchedFileSystem::openWriteFolder(const std::string& path, WriteFolder& folder) {
    const WaitingCalls::Call waiting(path); // `folder` is only filled in by the call
    return m_inner.openWriteFolder(path, folder);
}

int WatchedFileSystem::liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode,
                                  bool& within) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.liesWithin(folder, device, inode, within);
}

int WatchedFileSystem::unlinkIn(WriteFolder& folder, const std::string& name) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.unlinkIn(folder, name);
}

int WatchedFileSystem::writeNote(WriteFolder& folder, const std::string& contents, Handle& held,
                                 std::string& noteName) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.writeNote(folder, contents, held, noteName);
}

int WatchedFileSystem::listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.listNames(folder, visit);
}

int WatchedFileSystem::statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.statAt(folder, name, follow, facts);
}

int WatchedFileSystem::openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.openToRead(folder, name, file, facts);
}

int WatchedFileSystem::readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                              std::size_t& got) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.readAt(file, offset, buffer, size, got);
}

int WatchedFileSystem::lockedByAnother(Handle& file, bool& locked) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.lockedByAnother(file, locked);
}

// A copy reads its source before it writes anything: the source is what it waits for first.
int WatchedFileSystem::copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder,
                                     NewFile& made, const CopyProgress& progress) {
    // Either side may be the drive that holds the copy: both are named.
    const WaitingCalls::Call waiting(source + " \u2192 " + folder.path);
    return m_inner.copyToNewFile(source, followSource, folder, made, progress);
}

int WatchedFileSystem::restatSource(NewFile& file, FileFacts& facts) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.restatSource(file, facts);
}

int WatchedFileSystem::readSourceAt(NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                                    std::size_t& got) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.readSourceAt(file, offset, buffer, size, got);
}

int WatchedFileSystem::setModified(NewFile& file, FileTime modified) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.setModified(file, modified);
}

int WatchedFileSystem::setMode(NewFile& file, std::uint32_t mode) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.setMode(file, mode);
}

int WatchedFileSystem::syncFile(NewFile& file) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.syncFile(file);
}

int WatchedFileSystem::holdFileSystem(NewFile& file, Handle& held) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.holdFileSystem(file, held);
}

int WatchedFileSystem::nameTemporarily(NewFile& file) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.nameTemporarily(file);
}

int WatchedFileSystem::nameNewFile(NewFile& file, const std::string& name, Replace replace) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.nameNewFile(file, name, replace);
}

int WatchedFileSystem::nameByCopy(NewFile& file, const std::string& name) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.nameByCopy(file, name);
}

int WatchedFileSystem::discardNewFile(NewFile& file) {
    const WaitingCalls::Call waiting(folderOf(file));
    return m_inner.discardNewFile(file);
}

int WatchedFileSystem::syncFolder(WriteFolder& folder) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.syncFolder(folder);
}

int WatchedFileSystem::syncFileSystem(Handle& held) {
    const WaitingCalls::Call waiting(FlushedDrive);
    return m_inner.syncFileSystem(held);
}

int WatchedFileSystem::makeFolder(WriteFolder& folder, const std::string& name) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.makeFolder(folder, name);
}

int WatchedFileSystem::syncOpened(Handle& file) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.syncOpened(file);
}

int WatchedFileSystem::setModified(WriteFolder& folder, const std::string& name, FileTime modified) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.setModified(folder, name, modified);
}

int WatchedFileSystem::openTrash(WriteFolder& near, TrashCan& trash) {
    const WaitingCalls::Call waiting(near.path);
    return m_inner.openTrash(near, trash);
}

int WatchedFileSystem::openHomeTrash(TrashCan& trash) {
    // Its path is known only once the call has found it.
    const WaitingCalls::Call waiting(HomeTrash);
    return m_inner.openHomeTrash(trash);
}

int WatchedFileSystem::homeTrashFacts(FileFacts& facts) {
    const WaitingCalls::Call waiting(HomeTrash);
    return m_inner.homeTrashFacts(facts);
}

int WatchedFileSystem::realPath(WriteFolder& folder, std::string& path) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.realPath(folder, path);
}

int WatchedFileSystem::createTrashInfo(TrashCan& trash, const std::string& name,
                                       const std::string& contents) {
    const WaitingCalls::Call waiting(trash.path);
    return m_inner.createTrashInfo(trash, name, contents);
}

int WatchedFileSystem::linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                     const std::string& trashName) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.linkIntoTrash(folder, name, trash, trashName);
}

int WatchedFileSystem::moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                     const std::string& trashName) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.moveIntoTrash(folder, name, trash, trashName);
}

int WatchedFileSystem::copyIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                     const std::string& trashName) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.copyIntoTrash(folder, name, trash, trashName);
}

int WatchedFileSystem::moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                                      const std::string& name) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.moveOutOfTrash(trash, trashName, folder, name);
}

int WatchedFileSystem::setTrashFileModified(TrashCan& trash, const std::string& name, FileTime modified) {
    const WaitingCalls::Call waiting(trash.path);
    return m_inner.setTrashFileModified(trash, name, modified);
}

int WatchedFileSystem::removeTrashFile(TrashCan& trash, const std::string& name) {
    const WaitingCalls::Call waiting(trash.path);
    return m_inner.removeTrashFile(trash, name);
}

int WatchedFileSystem::removeTrashInfo(TrashCan& trash, const std::string& name) {
    const WaitingCalls::Call waiting(trash.path);
    return m_inner.removeTrashInfo(trash, name);
}

int WatchedFileSystem::syncTrash(TrashCan& trash) {
    const WaitingCalls::Call waiting(trash.path);
    return m_inner.syncTrash(trash);
}

int WatchedFileSystem::unlink(const std::string& path) {
    const WaitingCalls::Call waiting(path);
    return m_inner.unlink(path);
}

} // namespace quellomir
