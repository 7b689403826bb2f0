#include "fs/watched_file_system.h"

#include "fs/waiting_calls.h"

namespace quellomir {

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

int WatchedFileSystem::fileSystemType(const std::string& path, std::uint64_t& type) {
    const WaitingCalls::Call waiting(path);
    return m_inner.fileSystemType(path, type);
}

int WatchedFileSystem::mountType(const std::string& path, std::string& type) {
    const WaitingCalls::Call waiting(path);
    return m_inner.mountType(path, type);
}

int WatchedFileSystem::fatAttributes(const std::string& path, std::uint32_t& attributes) {
    const WaitingCalls::Call waiting(path);
    return m_inner.fatAttributes(path, attributes);
}

int WatchedFileSystem::openFolder(const Handle* at, const std::string& name, Follow follow,
                                  FolderAccess access, Handle& folder) {
    const WaitingCalls::Call waiting(at ? at->path : name);
    return m_inner.openFolder(at, name, follow, access, folder);
}

int WatchedFileSystem::listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.listNames(folder, visit);
}

int WatchedFileSystem::statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) {
    const WaitingCalls::Call waiting(at.path);
    return m_inner.statAt(at, name, follow, facts);
}

int WatchedFileSystem::makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.makeFolder(folder, name, mode);
}

int WatchedFileSystem::unlinkAt(Handle& folder, const std::string& name) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.unlinkAt(folder, name);
}

int WatchedFileSystem::link(Handle& from, const std::string& fromName, Handle& toFolder,
                            const std::string& toName) {
    const WaitingCalls::Call waiting(from.path);
    return m_inner.link(from, fromName, toFolder, toName);
}

int WatchedFileSystem::rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder,
                              const std::string& toName, Replace replace) {
    const WaitingCalls::Call waiting(fromFolder.path);
    return m_inner.rename(fromFolder, fromName, toFolder, toName, replace);
}

int WatchedFileSystem::realPath(Handle& at, std::string& path) {
    const WaitingCalls::Call waiting(at.path);
    return m_inner.realPath(at, path);
}

int WatchedFileSystem::recycle(Handle& folder, const std::string& name) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.recycle(folder, name);
}

int WatchedFileSystem::openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                                  FileFacts& facts) {
    const WaitingCalls::Call waiting(at ? at->path : name);
    return m_inner.openToRead(at, name, follow, file, facts);
}

int WatchedFileSystem::createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) {
    const WaitingCalls::Call waiting(folder.path);
    return m_inner.createFile(folder, name, mode, file);
}

int WatchedFileSystem::readAt(Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                              std::size_t& got) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.readAt(file, offset, buffer, size, got);
}

int WatchedFileSystem::write(Handle& file, std::string_view bytes) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.write(file, bytes);
}

int WatchedFileSystem::copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                                    bool& permissionsChanged) {
    const WaitingCalls::Call waiting(from.path);
    return m_inner.copyContents(from, to, progress, permissionsChanged);
}

int WatchedFileSystem::setModified(Handle& at, const std::string& name, FileTime modified) {
    const WaitingCalls::Call waiting(at.path);
    return m_inner.setModified(at, name, modified);
}

int WatchedFileSystem::setMode(Handle& file, std::uint32_t mode) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.setMode(file, mode);
}

int WatchedFileSystem::flush(Handle& at) {
    const WaitingCalls::Call waiting(at.path);
    return m_inner.flush(at);
}

int WatchedFileSystem::flushDrive(Handle& at) {
    static const std::string flushedDrive = "a drive being flushed";
    const WaitingCalls::Call waiting(at.path.empty() ? flushedDrive : at.path);
    return m_inner.flushDrive(at);
}

int WatchedFileSystem::tryLock(Handle& file, Lock lock, bool& taken) {
    const WaitingCalls::Call waiting(file.path);
    return m_inner.tryLock(file, lock, taken);
}

int WatchedFileSystem::duplicate(Handle& at, Handle& copy) {
    const WaitingCalls::Call waiting(at.path);
    return m_inner.duplicate(at, copy);
}

int WatchedFileSystem::close(Handle& handle) {
    return m_inner.close(handle);
}

} // namespace quellomir
