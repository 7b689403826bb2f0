#include "support/faulty_file_system.h"

#include <algorithm>
#include <cerrno>

namespace quellomir::testing {
namespace {

std::string_view withoutTrailingSlash(std::string_view path) {
    if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

bool samePath(std::string_view a, std::string_view b) {
    return withoutTrailingSlash(a) == withoutTrailingSlash(b);
}

} // namespace

void FaultyFileSystem::failCall(Operation operation, int nth, int error) {
    m_faults.push_back({operation, {}, nth, 0, error});
}

void FaultyFileSystem::failPath(Operation operation, std::string path, int error) {
    m_faults.push_back({operation, std::move(path), 0, 0, error});
}

void FaultyFileSystem::failPathCall(Operation operation, std::string path, int nth, int error) {
    m_faults.push_back({operation, std::move(path), nth, 0, error});
}

void FaultyFileSystem::failListingAfter(std::string folder, std::size_t entries, int error) {
    m_faults.push_back({Operation::ListFolder, std::move(folder), 0, entries + 1, error});
}

void FaultyFileSystem::beforeCall(Operation operation, int nth,
                                  std::function<void(const std::string& path)> action) {
    m_faults.push_back({operation, {}, nth, 0, 0, 0, std::move(action)});
}

int FaultyFileSystem::enter(Operation operation, const std::string& path, const std::string& otherPath) {
    std::function<void(const std::string&)> action;
    int result = 0;
    {
        std::lock_guard lock(m_mutex);
        ++m_calls[index(operation)];
        for (Fault& fault : m_faults) {
            if (fault.operation != operation || fault.afterEntries > 0) continue;
            if (!fault.path.empty() && !samePath(fault.path, path) &&
                !(!otherPath.empty() && samePath(fault.path, otherPath)))
                continue;
            ++fault.seen;
            if (fault.nth != 0 && fault.nth != fault.seen) continue;
            if (fault.action)
                action = fault.action;
            else if (result == 0)
                result = fault.error;
        }
    }
    if (action) action(path);
    return result;
}

int FaultyFileSystem::listing(const std::string& folder, const EntryVisitor& visit,
                              const std::function<int(const EntryVisitor&)>& list) {
    if (int error = enter(Operation::ListFolder, folder)) return error;
    auto partial = std::find_if(m_faults.begin(), m_faults.end(), [&](const Fault& fault) {
        return fault.operation == Operation::ListFolder && fault.afterEntries > 0 &&
               samePath(fault.path, folder);
    });
    std::size_t allowed = partial == m_faults.end() ? SIZE_MAX : partial->afterEntries - 1;
    std::size_t visited = 0;
    std::string folderSlash = folder.empty() || folder.back() == '/' ? folder : folder + '/';
    int result = list([&](const FolderEntry& entry) {
        if (visited == allowed) return;
        ++visited;
        if (entry.statted) {
            std::string path = folderSlash + std::string(entry.name);
            if (int error = enter(Operation::EntryStat, path)) {
                FolderEntry failed = entry;
                failed.statError = error;
                visit(failed);
                return;
            }
        }
        visit(entry);
    });
    if (result == 0 && partial != m_faults.end()) return partial->error;
    return result;
}

int FaultyFileSystem::listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) {
    return listing(folder, visit, [&](const EntryVisitor& wrapped) {
        return m_inner.listFolder(folder, statKinds, wrapped);
    });
}

int FaultyFileSystem::statListed(const std::string& folder, const ListedNames& names, unsigned statKinds,
                                 const EntryVisitor& visit) {
    return listing(folder, visit, [&](const EntryVisitor& wrapped) {
        return m_inner.statListed(folder, names, statKinds, wrapped);
    });
}

int FaultyFileSystem::stat(const std::string& path, Follow follow, FileFacts& facts) {
    if (int error = enter(Operation::Stat, path)) return error;
    return m_inner.stat(path, follow, facts);
}

int FaultyFileSystem::fileSystemType(const std::string& path, std::uint64_t& type) {
    if (int error = enter(Operation::FileSystemType, path)) return error;
    return m_inner.fileSystemType(path, type);
}

int FaultyFileSystem::fatAttributes(const std::string& path, std::uint32_t& attributes) {
    if (int error = enter(Operation::FatAttributes, path)) return error;
    return m_inner.fatAttributes(path, attributes);
}

int FaultyFileSystem::openWriteFolder(const std::string& path, WriteFolder& folder) {
    if (int error = enter(Operation::OpenWriteFolder, path)) return error;
    return m_inner.openWriteFolder(path, folder);
}

int FaultyFileSystem::liesWithin(WriteFolder& folder, std::uint64_t device, std::uint64_t inode,
                                 bool& within) {
    if (int error = enter(Operation::LiesWithin, folder.path)) return error;
    return m_inner.liesWithin(folder, device, inode, within);
}

int FaultyFileSystem::statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) {
    if (int error = enter(Operation::StatAt, folder.path + name)) return error;
    return m_inner.statAt(folder, name, follow, facts);
}

int FaultyFileSystem::listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) {
    if (int error = enter(Operation::ListNames, folder.path)) return error;
    return m_inner.listNames(folder, visit);
}

int FaultyFileSystem::unlinkIn(WriteFolder& folder, const std::string& name) {
    if (int error = enter(Operation::Unlink, folder.path + name)) return error;
    return m_inner.unlinkIn(folder, name);
}

int FaultyFileSystem::copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder,
                                    NewFile& made, const CopyProgress& progress) {
    if (int error = enter(Operation::CopyToNewFile, source, folder.path)) return error;
    return m_inner.copyToNewFile(source, followSource, folder, made, progress);
}

int FaultyFileSystem::restatSource(NewFile& file, FileFacts& facts) {
    if (int error = enter(Operation::RestatSource, file.folder->path)) return error;
    return m_inner.restatSource(file, facts);
}

int FaultyFileSystem::setModified(NewFile& file, FileTime modified) {
    if (int error = enter(Operation::SetModified, file.folder->path)) return error;
    return m_inner.setModified(file, modified);
}

int FaultyFileSystem::setMode(NewFile& file, std::uint32_t mode) {
    if (int error = enter(Operation::SetMode, file.folder->path)) return error;
    return m_inner.setMode(file, mode);
}

int FaultyFileSystem::syncFile(NewFile& file) {
    if (int error = enter(Operation::SyncFile, file.folder->path)) return error;
    return m_inner.syncFile(file);
}

int FaultyFileSystem::holdFileSystem(NewFile& file, Handle& held) {
    if (int error = enter(Operation::HoldFileSystem, file.folder->path)) return error;
    return m_inner.holdFileSystem(file, held);
}

int FaultyFileSystem::nameNewFile(NewFile& file, const std::string& name, Replace replace) {
    if (int error = enter(Operation::NameNewFile, file.folder->path + name)) return error;
    return m_inner.nameNewFile(file, name, replace);
}

int FaultyFileSystem::nameByCopy(NewFile& file, const std::string& name) {
    if (int error = enter(Operation::NameByCopy, file.folder->path + name)) return error;
    return m_inner.nameByCopy(file, name);
}

// A failing removal removes nothing here; the new file is then removed when it goes out of
// scope, as after any failure that leaves it behind.
int FaultyFileSystem::discardNewFile(NewFile& file) {
    if (int error = enter(Operation::DiscardNewFile, file.folder->path)) return error;
    return m_inner.discardNewFile(file);
}

int FaultyFileSystem::syncFolder(WriteFolder& folder) {
    if (int error = enter(Operation::SyncFolder, folder.path)) return error;
    return m_inner.syncFolder(folder);
}

int FaultyFileSystem::syncFileSystem(Handle& held) {
    if (int error = enter(Operation::SyncFileSystem, {})) return error;
    return m_inner.syncFileSystem(held);
}

int FaultyFileSystem::makeFolder(WriteFolder& folder, const std::string& name) {
    if (int error = enter(Operation::MakeFolder, folder.path + name + "/")) return error;
    return m_inner.makeFolder(folder, name);
}

int FaultyFileSystem::openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) {
    if (int error = enter(Operation::OpenToRead, folder.path + name)) return error;
    return m_inner.openToRead(folder, name, file, facts);
}

int FaultyFileSystem::syncOpened(Handle& file) {
    if (int error = enter(Operation::SyncFile, file.path)) return error;
    return m_inner.syncOpened(file);
}

int FaultyFileSystem::setModified(WriteFolder& folder, const std::string& name, FileTime modified) {
    if (int error = enter(Operation::SetModified, folder.path + name)) return error;
    return m_inner.setModified(folder, name, modified);
}

// The Trash is looked for first, so that the failure names the one a real failure would.
int FaultyFileSystem::openTrash(WriteFolder& near, TrashCan& trash) {
    const int found = m_inner.openTrash(near, trash);
    const int error = enter(Operation::OpenTrash, near.path);
    return error != 0 ? error : found;
}

int FaultyFileSystem::openHomeTrash(TrashCan& trash) {
    const int found = m_inner.openHomeTrash(trash);
    const int error = enter(Operation::OpenHomeTrash, {});
    return error != 0 ? error : found;
}

int FaultyFileSystem::createTrashInfo(TrashCan& trash, const std::string& name, const std::string& contents) {
    if (int error = enter(Operation::CreateTrashInfo, name)) return error;
    return m_inner.createTrashInfo(trash, name, contents);
}

int FaultyFileSystem::linkIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                    const std::string& trashName) {
    if (int error = enter(Operation::LinkIntoTrash, trashName)) return error;
    return m_inner.linkIntoTrash(folder, name, trash, trashName);
}

int FaultyFileSystem::moveIntoTrash(WriteFolder& folder, const std::string& name, TrashCan& trash,
                                    const std::string& trashName) {
    if (int error = enter(Operation::MoveIntoTrash, trashName)) return error;
    return m_inner.moveIntoTrash(folder, name, trash, trashName);
}

int FaultyFileSystem::moveOutOfTrash(TrashCan& trash, const std::string& trashName, WriteFolder& folder,
                                     const std::string& name) {
    if (int error = enter(Operation::MoveOutOfTrash, trashName)) return error;
    return m_inner.moveOutOfTrash(trash, trashName, folder, name);
}

int FaultyFileSystem::removeTrashFile(TrashCan& trash, const std::string& name) {
    if (int error = enter(Operation::RemoveTrashFile, name)) return error;
    return m_inner.removeTrashFile(trash, name);
}

int FaultyFileSystem::syncTrash(TrashCan& trash) {
    if (int error = enter(Operation::SyncTrash, trash.path)) return error;
    return m_inner.syncTrash(trash);
}

int FaultyFileSystem::unlink(const std::string& path) {
    if (int error = enter(Operation::Unlink, path)) return error;
    return m_inner.unlink(path);
}

} // namespace quellomir::testing
