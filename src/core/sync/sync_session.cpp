#include "sync/sync_session.h"

#include "compare/compare_rules.h"
#include "files/path_text.h"
#include "sync/normalize_backslashes.h"
#include "sync/safe_file_copy.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <system_error>

namespace quellomir {
namespace {

// How often the window gets its turn while a flush runs: often enough to repaint and
// answer without a visible lag.
constexpr std::chrono::milliseconds TurnInterval{5};

} // namespace

SyncSession::SyncSession(FileSystem& fs, Yielder& yielder) : m_fs(fs), m_yielder(yielder) {}

bool SyncSession::wrote(const std::string& path) const {
    return m_written.contains(NormalizeBackslashes(path));
}

CopyResult SyncSession::copy(std::size_t row, const std::string& source, const std::string& destination,
                             Replacing replacing) {
    CopyOptions options;
    // Only a file that was there before the run is worth the wait for the disk.
    options.flush = replacing == Replacing::OlderFile ? Flush::Now : Flush::Later;
    options.replace = replacing == Replacing::Nothing ? Replace::No : Replace::Yes;
    options.progress = [this] { m_yielder.tick(); };
    // A source this run copied without waiting for the disk still has its provisional time;
    // its copy is to carry the time it will get.
    if (auto earlier = m_written.find(NormalizeBackslashes(source));
        earlier != m_written.end() && earlier->second != NoCopy)
        options.sourceFinalTime = m_unflushed[earlier->second].modified;
    CopyResult result = SafeFileCopy(m_fs, source, destination, options);
    if (!result.done) return result;
    Written& written = *m_written.try_emplace(NormalizeBackslashes(destination), NoCopy).first;
    written.second = NoCopy;
    if (options.flush == Flush::Later) {
        written.second = m_unflushed.size();
        m_unflushed.push_back({&written, row, result.modified, result.device, result.inode});
    } else if (int error = keepComparableTime(written.first, result.device, result.inode, result.modified)) {
        // A copy made to last at once has its final time at once too.
        return CopyResult::failure(error);
    }
    return result;
}

int SyncSession::keepComparableTime(const std::string& path, std::uint64_t device, std::uint64_t inode,
                                    FileTime time) {
    if (std::find(m_exactTimeDevices.begin(), m_exactTimeDevices.end(), device) != m_exactTimeDevices.end())
        return 0;
    FileFacts kept;
    if (int error = m_fs.stat(path, Follow::No, kept)) return error;
    if (kept.device != device || kept.inode != inode) return 0; // not the copy any more
    if (kept.modified == time) {
        m_exactTimeDevices.push_back(device);
        return 0;
    }
    if (compareWriteTimes(kept.modified, time) == 0) return 0;
    return m_fs.setModified(path, {time.roundedSeconds(), 0});
}

std::vector<int> SyncSession::flushFileSystems(const std::vector<std::string>& folders) {
    std::vector<int> errors(folders.size(), 0);
    auto flushAll = [&] {
        for (std::size_t i = 0; i < folders.size(); ++i)
            errors[i] = m_fs.syncFileSystem(folders[i]);
    };
    std::future<void> flushing;
    try {
        flushing = std::async(std::launch::async, flushAll);
    } catch (const std::system_error&) {
        flushAll(); // no thread to be had: the window waits with the flush
        return errors;
    }
    try {
        while (flushing.wait_for(TurnInterval) != std::future_status::ready)
            m_yielder.tick();
    } catch (...) {
        // The flush uses this session and the list above: it has to end before they do.
        flushing.wait();
        throw;
    }
    flushing.get();
    return errors;
}

void SyncSession::flush(Plan& plan) {
    if (m_unflushed.empty()) return;
    // One flush per file system, named by the folder of its first copy.
    std::vector<std::uint64_t> devices;
    std::vector<std::string> folders;
    for (const Unflushed& copy : m_unflushed)
        if (std::find(devices.begin(), devices.end(), copy.device) == devices.end()) {
            devices.push_back(copy.device);
            folders.push_back(GetParentFolder(copy.written->first));
        }
    // The data, before any copy gets the time that says it is complete. The times are not
    // flushed in their turn: should they be lost, the copies look older than their sources
    // and are copied again.
    const std::vector<int> flushErrors = flushFileSystems(folders);

    std::vector<Unflushed> copies = std::move(m_unflushed);
    m_unflushed.clear();
    for (const Unflushed& copy : copies)
        copy.written->second = NoCopy;
    for (const Unflushed& copy : copies) {
        m_yielder.tick();
        const std::string& path = copy.written->first;
        const auto device = std::find(devices.begin(), devices.end(), copy.device) - devices.begin();
        int error = flushErrors[static_cast<std::size_t>(device)];
        if (error == 0) {
            // A later row of this run, or someone else, may have replaced the file since:
            // then nothing of this copy is left to finish.
            FileFacts now;
            if (m_fs.stat(path, Follow::No, now) != 0 || now.device != copy.device || now.inode != copy.inode)
                continue;
            error = m_fs.setModified(path, copy.modified);
            if (error == 0) error = keepComparableTime(path, copy.device, copy.inode, copy.modified);
        }
        if (error != 0) plan.markFailed(copy.row, std::generic_category().message(error));
    }
}

} // namespace quellomir
