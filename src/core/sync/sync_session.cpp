#include "sync/sync_session.h"

#include "files/path_text.h"
#include "sync/normalize_backslashes.h"
#include "sync/safe_file_copy.h"

#include <algorithm>
#include <system_error>

namespace quellomir {
namespace {

// A group is flushed at whichever comes first. Big enough that the flush costs little per
// file, small enough that a power cut costs little to copy again and that the wait for one
// flush stays short.
constexpr std::size_t GroupFiles = 4096;
constexpr std::int64_t GroupBytes = 64 * 1024 * 1024;

// Flushes each file system once per step, named by a folder on it. Copies go into few
// folders (a copy row's into the top folder of the other side), so a short list serves.
class FolderFlushes {
  public:
    explicit FolderFlushes(FileSystem& fs) : m_fs(fs) {}

    void add(const std::string& folder) {
        if (find(folder) == m_folders.end()) m_folders.push_back({folder, 0});
    }
    void flushAll() {
        for (Folder& folder : m_folders)
            if (folder.error == 0) folder.error = m_fs.syncFileSystem(folder.path);
    }
    // The first failure of a flush of that folder, or 0.
    int error(const std::string& folder) const { return find(folder)->error; }

  private:
    struct Folder {
        std::string path;
        int error = 0;
    };
    std::vector<Folder>::const_iterator find(const std::string& path) const {
        return std::find_if(m_folders.begin(), m_folders.end(),
                            [&](const Folder& f) { return f.path == path; });
    }

    FileSystem& m_fs;
    std::vector<Folder> m_folders;
};

} // namespace

SyncSession::SyncSession(FileSystem& fs, Yielder& yielder) : m_fs(fs), m_yielder(yielder) {}

bool SyncSession::wrote(const std::string& path) const {
    return m_written.count(NormalizeBackslashes(path)) != 0;
}

CopyResult SyncSession::copy(Plan& plan, std::size_t row, const std::string& source,
                             const std::string& destination, bool replaces) {
    // Before this row's copy, so that a failing flush marks only rows already marked done.
    // A source this run wrote gets its time first, so that its copy carries that time.
    if (m_unflushed.size() >= GroupFiles || m_unflushedBytes >= GroupBytes || wrote(source)) flush(plan);

    CopyOptions options;
    options.flush = replaces ? Flush::Now : Flush::Later;
    options.progress = [this] { m_yielder.tick(); };
    CopyResult result = SafeFileCopy(m_fs, source, destination, options);
    if (!result.done) return result;

    std::string path = NormalizeBackslashes(destination);
    if (!replaces) remember(row, path, result.modified);
    m_written.insert(std::move(path));
    return result;
}

void SyncSession::remember(std::size_t row, const std::string& path, FileTime modified) {
    FileFacts facts;
    if (m_fs.stat(path, Follow::No, facts) != 0) return; // gone already: nothing to give a time
    m_unflushed.push_back({path, row, modified, facts.device, facts.inode});
    m_unflushedBytes += facts.size;
}

void SyncSession::flush(Plan& plan) {
    if (m_unflushed.empty()) return;
    FolderFlushes flushes(m_fs);
    for (const Unflushed& copy : m_unflushed)
        flushes.add(GetParentFolder(copy.path));

    flushes.flushAll(); // the data, before any copy gets the time that says it is complete
    std::vector<int> failures(m_unflushed.size(), 0);
    for (std::size_t i = 0; i < m_unflushed.size(); ++i) {
        const Unflushed& copy = m_unflushed[i];
        if ((failures[i] = flushes.error(GetParentFolder(copy.path)))) continue;
        // A later row of this run, or someone else, may have replaced the file since: then
        // nothing of this copy is left to finish.
        FileFacts now;
        if (m_fs.stat(copy.path, Follow::No, now) != 0 || now.device != copy.device ||
            now.inode != copy.inode)
            continue;
        failures[i] = m_fs.setModified(copy.path, copy.modified);
    }
    flushes.flushAll(); // the times

    for (std::size_t i = 0; i < m_unflushed.size(); ++i) {
        const Unflushed& copy = m_unflushed[i];
        if (int error = failures[i] ? failures[i] : flushes.error(GetParentFolder(copy.path)))
            plan.markFailed(copy.row, std::generic_category().message(error));
    }
    m_unflushed.clear();
    m_unflushedBytes = 0;
}

} // namespace quellomir
