#include "support/fake_drive.h"

#include "files/new_file.h"
#include "files/temporary_names.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <thread>

namespace quellomir::testing {

FakeDrive::FakeDrive(FileSystem& inner, Options options)
    : ForwardingFileSystem(inner), m_options(std::move(options)),
      m_root(m_options.root.substr(0, m_options.root.find_last_not_of('/') + 1)) {}

void FakeDrive::run(int when, Call call, const std::string& path) const {
    for (const auto& [hooked, hook] : m_hooks[when])
        if (hooked == call) hook(path);
}

bool FakeDrive::mine(const std::string& path) const {
    return m_options.root.empty() ||
           (path.starts_with(m_root) && (path.size() == m_root.size() || path[m_root.size()] == '/'));
}

void FakeDrive::show(const std::string& path, FileFacts& facts) const {
    if (!mine(path)) return;
    if (m_options.ownDevice) facts.device = ~facts.device;
    const std::int64_t seconds = facts.modified.seconds;
    if (m_options.fatTimes) facts.modified = {seconds - (seconds & 1) + m_options.clockShift, 0};
    if (!m_options.root.empty() && path.size() <= m_root.size() + 1)
        facts.mountRoot = true; // the root itself
}

FileSystem::EntryVisitor FakeDrive::showing(const std::string& folder, const EntryVisitor& visit) const {
    return [this, folder = folder.ends_with('/') ? folder : folder + '/', &visit](const FolderEntry& entry) {
        FolderEntry shown = entry;
        if (shown.statted) show(folder + std::string(entry.name), shown.facts);
        visit(shown);
    };
}

FileTime FakeDrive::kept(FileTime time) const {
    if (m_options.wholeSeconds) time.nanoseconds = 0;
    return time.seconds < m_options.earliest.seconds ? m_options.earliest : time;
}

std::optional<std::string> FakeDrive::caseBlindName(const std::string& folder, const std::string& name) {
    std::optional<std::string> found;
    if (!m_options.caseBlind || name.empty() || !mine(folder)) return found;
    m_inner.listFolder(folder, stat_kinds::None, [&](const FolderEntry& entry) {
        if (!found && ::strcasecmp(entry.name.data(), name.c_str()) == 0) found = std::string(entry.name);
    });
    return found;
}

int FakeDrive::listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) {
    run(0, Call::ListFolder, folder);
    std::unique_lock lock(m_mutex);
    const auto wait = m_options.listingJitter * std::uniform_real_distribution<>(0, 1)(m_random);
    lock.unlock();
    std::this_thread::sleep_for(wait);
    std::vector<std::pair<std::string, FolderEntry>> entries;
    const EntryVisitor keep = [&](const FolderEntry& entry) { entries.emplace_back(entry.name, entry); };
    const int error =
        m_inner.listFolder(folder, statKinds, showing(folder, m_options.reversedListings ? keep : visit));
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        it->second.name = it->first;
        visit(it->second);
    }
    if (error == 0) run(1, Call::ListFolder, folder);
    return error;
}

int FakeDrive::stat(const std::string& path, Follow follow, FileFacts& facts) {
    int error = m_inner.stat(path, follow, facts);
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    if (error == ENOENT)
        if (auto other = caseBlindName(folder, path.substr(folder.size())))
            error = m_inner.stat(folder + *other, follow, facts);
    if (error == 0) show(path, facts);
    return error;
}

int FakeDrive::statAt(Handle& folder, const std::string& name, Follow follow, FileFacts& facts) {
    int error = m_inner.statAt(folder, name, follow, facts);
    if (error == ENOENT)
        if (auto other = caseBlindName(folder.path, name))
            error = m_inner.statAt(folder, *other, follow, facts);
    if (error == 0) show(folder.path + name, facts);
    return error;
}

int FakeDrive::openToRead(const Handle* at, const std::string& name, Follow follow, Handle& file,
                          FileFacts& facts) {
    // A file opened by its path is a copy's source.
    if (!at) run(0, Call::CopyToNewFile, name);
    int error = m_inner.openToRead(at, name, follow, file, facts);
    const std::string folder = at ? at->path : name.substr(0, name.rfind('/') + 1);
    const std::string own = at ? name : name.substr(folder.size());
    if (error == ENOENT)
        if (auto other = caseBlindName(folder, own))
            error = m_inner.openToRead(at, at ? *other : folder + *other, follow, file, facts);
    if (error == 0) show(folder + own, facts);
    return error;
}

int FakeDrive::copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                            bool& permissionsChanged) {
    if (mine(to.path)) std::this_thread::sleep_for(m_options.copyDelay);
    if (int error = m_inner.copyContents(from, to, progress, permissionsChanged)) return error;
    run(1, Call::CopyToNewFile, from.path);
    return 0;
}

int FakeDrive::setModified(Handle& at, const std::string& name, FileTime modified) {
    if (mine(at.path)) {
        modified = kept(modified);
        std::lock_guard lock(m_mutex);
        if (!name.empty()) m_kept.emplace_back(at.path + name, modified);
    }
    return m_inner.setModified(at, name, modified);
}

int FakeDrive::naming(Handle& folder, const std::string& name, bool replacing,
                      const std::function<int()>& name_) {
    run(0, Call::NameNewFile, folder.path + name);
    // The look for the name in another case and the naming are one step, as on the drive.
    std::unique_lock lock(m_mutex, std::defer_lock);
    if (m_options.caseBlind) lock.lock();
    if (!replacing && caseBlindName(folder.path, name)) return EEXIST;
    if (int error = name_()) return error;
    if (lock) lock.unlock();
    if (m_options.stampsRenames && mine(folder.path) && ::utimensat(folder.fd, name.c_str(), nullptr, 0))
        return errno;
    run(1, Call::NameNewFile, folder.path + name);
    return 0;
}

int FakeDrive::link(Handle& from, const std::string& fromName, Handle& toFolder, const std::string& toName) {
    // The drives that refuse no name in a rename keep no links either (exfat-fuse, fusefat).
    if (m_options.noRefusingRename && mine(toFolder.path) && !isTemporaryName(toName)) return EPERM;
    if (!(fromName.empty() || isTemporaryName(fromName)) || isTemporaryName(toName)) {
        if (m_options.caseBlind && caseBlindName(toFolder.path, toName)) return EEXIST;
        return m_inner.link(from, fromName, toFolder, toName);
    }
    return naming(toFolder, toName, false, [&] { return m_inner.link(from, fromName, toFolder, toName); });
}

int FakeDrive::rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder,
                      const std::string& toName, Replace replace) {
    if (replace == Replace::No && m_options.noRefusingRename && mine(toFolder.path)) return EINVAL;
    if (!isTemporaryName(fromName) || isTemporaryName(toName)) {
        if (replace == Replace::No && m_options.caseBlind && caseBlindName(toFolder.path, toName))
            return EEXIST;
        return m_inner.rename(fromFolder, fromName, toFolder, toName, replace);
    }
    return naming(toFolder, toName, replace == Replace::Yes,
                  [&] { return m_inner.rename(fromFolder, fromName, toFolder, toName, replace); });
}

} // namespace quellomir::testing
