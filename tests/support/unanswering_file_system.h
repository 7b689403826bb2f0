#pragma once

#include "support/forwarding_file_system.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quellomir::testing {

// A drive that stops answering under one folder: listing or looking at anything below it
// waits until the test releases it, as a FUSE daemon that hangs holds its callers. After
// 20 s it gives up with EIO, so that a test that went wrong still ends.
class UnansweringFileSystem final : public ForwardingFileSystem {
  public:
    // With `writesOnly`, only the writing of a file into it hangs: a comparison of the drive
    // still answers, even where it opens the folders to tell whether one lies inside the
    // other; the sync after it does not.
    UnansweringFileSystem(FileSystem& inner, std::string hangingFolder, bool writesOnly = false)
        : ForwardingFileSystem(inner), m_hanging(std::move(hangingFolder)), m_writesOnly(writesOnly) {}

    void release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    bool reached() {
        std::lock_guard lock(m_mutex);
        return m_reached;
    }

    int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) override {
        if (m_writesOnly && hangsAt(folder.path)) return EIO;
        return m_inner.createFile(folder, name, mode, file);
    }
    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override {
        if (!m_writesOnly && hangsAt(folder)) return EIO;
        return m_inner.listFolder(folder, statKinds, visit);
    }
    int stat(const std::string& path, Follow follow, FileFacts& facts) override {
        if (!m_writesOnly && hangsAt(path)) return EIO;
        return m_inner.stat(path, follow, facts);
    }

  private:
    // Whether the call gave up: false once released.
    bool hangsAt(const std::string& path) {
        if (path.compare(0, m_hanging.size(), m_hanging) != 0) return false;
        std::unique_lock lock(m_mutex);
        m_reached = true;
        return !m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_released; });
    }

    std::string m_hanging;
    bool m_writesOnly;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    bool m_reached = false;
};

} // namespace quellomir::testing
