#include "support/faulty_file_system.h"

#include "files/temporary_names.h"

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

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The "files" and "info" folders of a Trash, as the tests' Trash folders are named.
bool inTrashFiles(const Handle& folder) {
    return folder.path.ends_with("/files/") && folder.path.find("Trash") != std::string::npos;
}

bool inTrashInfo(const Handle& folder) {
    return folder.path.ends_with("/info/") && folder.path.find("Trash") != std::string::npos;
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

int FaultyFileSystem::enter(Operation operation, Operation step, const std::string& path,
                            const std::string& otherPath) {
    const int error = enter(operation, path, otherPath);
    const int stepError = step == Operation::Count ? 0 : enter(step, path, otherPath);
    return error != 0 ? error : stepError;
}

bool FaultyFileSystem::isFolder(Handle& at) {
    FileFacts facts;
    return m_inner.statAt(at, "", Follow::Yes, facts) == 0 && facts.kind == EntryKind::Folder;
}

int FaultyFileSystem::openFolder(const Handle* at, const std::string& name, Follow follow,
                                 FolderAccess access, Handle& folder) {
    if (int error = enter(Operation::OpenFolder, at ? at->path + name : name)) return error;
    const int error = m_inner.openFolder(at, name, follow, access, folder);
    if (error == 0) openedByPath(folder, at == nullptr);
    return error;
}

int FaultyFileSystem::statAt(Handle& at, const std::string& name, Follow follow, FileFacts& facts) {
    // The look at an open file by its handle is one at a copy's source: new files are looked at
    // only as they are made, and their handles are named for their folder or a "~" name.
    const bool openSource = name.empty() && !at.path.ends_with('/') && !isTemporaryName(baseName(at.path));
    if (int error = name.empty() ? (openSource ? enter(Operation::RestatSource, at.path) : 0)
                                 : enter(Operation::StatAt, at.path + name))
        return error;
    return m_inner.statAt(at, name, follow, facts);
}

int FaultyFileSystem::listNames(Handle& folder, const std::function<void(std::string_view name)>& visit) {
    if (int error = enter(Operation::ListNames, folder.path)) return error;
    return m_inner.listNames(folder, visit);
}

int FaultyFileSystem::makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) {
    if (int error = enter(Operation::MakeFolder, folder.path + name)) return error;
    return m_inner.makeFolder(folder, name, mode);
}

int FaultyFileSystem::unlinkAt(Handle& folder, const std::string& name) {
    const bool inTrash = inTrashFiles(folder) || inTrashInfo(folder);
    const Operation operation = inTrash ? Operation::RemoveTrashFile : Operation::Unlink;
    const Operation step = !inTrash && isTemporaryName(name) ? Operation::DiscardNewFile : Operation::Count;
    if (int error = enter(operation, step, folder.path + name)) return error;
    return m_inner.unlinkAt(folder, name);
}

int FaultyFileSystem::link(Handle& from, const std::string& fromName, Handle& toFolder,
                           const std::string& toName) {
    const bool ofNewFile = fromName.empty() || isTemporaryName(fromName);
    const Operation step = inTrashFiles(toFolder)                  ? Operation::LinkIntoTrash
                           : ofNewFile && !isTemporaryName(toName) ? Operation::NameNewFile
                                                                   : Operation::Count;
    const std::string path = inTrashFiles(toFolder) ? toName : toFolder.path + toName;
    if (int error = enter(Operation::Link, step, path, from.path + fromName)) return error;
    return m_inner.link(from, fromName, toFolder, toName);
}

int FaultyFileSystem::rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder,
                             const std::string& toName, Replace replace) {
    const std::string path = inTrashFiles(toFolder) ? toName : toFolder.path + toName;
    const bool overClaim = isTemporaryName(fromName) && claimed(path, true);
    const Operation step = inTrashFiles(toFolder)     ? Operation::MoveIntoTrash
                           : inTrashFiles(fromFolder) ? Operation::MoveOutOfTrash
                           : isTemporaryName(fromName) && !isTemporaryName(toName) && !overClaim
                               ? Operation::NameNewFile
                               : Operation::Count;
    if (int error = enter(Operation::Rename, step, path, fromFolder.path + fromName)) return error;
    return m_inner.rename(fromFolder, fromName, toFolder, toName, replace);
}

int FaultyFileSystem::openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                                 FileFacts& facts) {
    // Only a copy opens a file by its path: its source.
    const Operation step = at ? Operation::Count : Operation::CopyToNewFile;
    if (int error = enter(Operation::OpenToRead, step, at ? at->path + name : name)) return error;
    const int error = m_inner.openToRead(at, name, follow, file, facts);
    if (error == 0) copiedInto(file, false);
    return error;
}

int FaultyFileSystem::createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) {
    const bool newFile = name.empty() || isTemporaryName(name);
    const Operation step = inTrashInfo(folder)    ? Operation::CreateTrashInfo
                           : inTrashFiles(folder) ? Operation::Count
                           : newFile              ? Operation::CopyToNewFile
                                                  : Operation::NameByCopy;
    const std::string path = inTrashInfo(folder) ? name : folder.path + name;
    if (int error = enter(Operation::CreateFile, step, path, folder.path)) return error;
    const int error = m_inner.createFile(folder, name, mode, file);
    if (error == 0) copiedInto(file, false);
    if (error == 0 && step == Operation::NameByCopy) claimed(path, false);
    return error;
}

int FaultyFileSystem::copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                                   bool& permissionsChanged) {
    copiedInto(to, true);
    return m_inner.copyContents(from, to, progress, permissionsChanged);
}

void FaultyFileSystem::copiedInto(const Handle& file, bool copied) {
    std::lock_guard lock(m_mutex);
    if (copied)
        m_copies.insert(file.fd);
    else
        m_copies.erase(file.fd);
}

bool FaultyFileSystem::copied(const Handle& file) {
    std::lock_guard lock(m_mutex);
    return m_copies.contains(file.fd);
}

void FaultyFileSystem::openedByPath(const Handle& folder, bool byPath) {
    std::lock_guard lock(m_mutex);
    if (byPath)
        m_pathFolders.insert(folder.fd);
    else
        m_pathFolders.erase(folder.fd);
}

bool FaultyFileSystem::claimed(const std::string& path, bool take) {
    std::lock_guard lock(m_mutex);
    if (!take) return m_claims.insert(path).second;
    return m_claims.erase(path) > 0;
}

int FaultyFileSystem::write(Handle& file, std::string_view bytes) {
    if (int error = enter(Operation::Write, file.path)) return error;
    return m_inner.write(file, bytes);
}

int FaultyFileSystem::setModified(Handle& at, const std::string& name, FileTime modified) {
    if (int error = enter(Operation::SetModified, at.path + name)) return error;
    return m_inner.setModified(at, name, modified);
}

int FaultyFileSystem::setMode(Handle& file, std::uint32_t mode) {
    if (int error = enter(Operation::SetMode, file.path)) return error;
    return m_inner.setMode(file, mode);
}

int FaultyFileSystem::flush(Handle& at) {
    Operation step = Operation::Count;
    if (inTrashFiles(at) || inTrashInfo(at)) {
        step = Operation::SyncTrash;
    } else if (isFolder(at)) {
        std::lock_guard lock(m_mutex);
        if (m_pathFolders.contains(at.fd)) step = Operation::SyncFolder;
    } else if (copied(at)) {
        step = Operation::SyncFile;
    }
    if (int error = enter(Operation::Flush, step, at.path)) return error;
    return m_inner.flush(at);
}

int FaultyFileSystem::flushDrive(Handle& at) {
    if (int error = enter(Operation::SyncFileSystem, "")) return error;
    return m_inner.flushDrive(at);
}

int FaultyFileSystem::duplicate(Handle& at, Handle& copy) {
    if (isFolder(at))
        if (int error = enter(Operation::HoldFileSystem, at.path)) return error;
    return m_inner.duplicate(at, copy);
}

} // namespace quellomir::testing
