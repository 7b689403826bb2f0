#include "support/fake_drive.h"

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

int FakeDrive::openToRead(Handle& folder, const std::string& name, Handle& file, FileFacts& facts) {
    int error = m_inner.openToRead(folder, name, file, facts);
    if (error == ENOENT)
        if (auto other = caseBlindName(folder.path, name))
            error = m_inner.openToRead(folder, *other, file, facts);
    if (error == 0) show(folder.path + name, facts);
    return error;
}

int FakeDrive::copyToNewFile(const std::string& source, Follow followSource, WriteFolder& folder,
                             NewFile& made, const CopyProgress& progress) {
    run(0, Call::CopyToNewFile, source);
    if (mine(folder.path)) std::this_thread::sleep_for(m_options.copyDelay);
    if (int error = m_inner.copyToNewFile(source, followSource, folder, made, progress)) return error;
    if (m_options.ownDevice && mine(folder.path)) made.device = ~made.device;
    run(1, Call::CopyToNewFile, source);
    return 0;
}

int FakeDrive::setModified(WriteFolder& folder, const std::string& name, FileTime modified) {
    if (mine(folder.path)) {
        modified = kept(modified);
        std::lock_guard lock(m_mutex);
        m_kept.emplace_back(folder.path + name, modified);
    }
    return m_inner.setModified(folder, name, modified);
}

int FakeDrive::nameNewFile(NewFile& file, const std::string& name, Replace replace) {
    WriteFolder& folder = *file.folder;
    run(0, Call::NameNewFile, folder.path + name);
    // The look for the name in another case and the naming are one step, as on the drive.
    std::unique_lock lock(m_mutex, std::defer_lock);
    if (m_options.caseBlind) lock.lock();
    if (replace == Replace::No && caseBlindName(folder.path, name)) return EEXIST;
    if (replace == Replace::No && m_options.noRefusingRename) return EINVAL;
    if (int error = m_inner.nameNewFile(file, name, replace)) return error;
    if (lock) lock.unlock();
    if (m_options.stampsRenames && mine(folder.path) &&
        ::utimensat(folder.handle.fd, name.c_str(), nullptr, 0))
        return errno;
    run(1, Call::NameNewFile, folder.path + name);
    return 0;
}

} // namespace quellomir::testing
