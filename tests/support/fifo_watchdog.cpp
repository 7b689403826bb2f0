#include "support/fifo_watchdog.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

namespace quellomir::testing {

FifoWatchdog::FifoWatchdog(std::string fifo, int seconds) : m_fifo(std::move(fifo)) {
    m_thread = std::thread([this, seconds] {
        std::unique_lock lock(m_mutex);
        if (m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_finished; })) return;
        // Opening for reading and writing never blocks, and counts as the writer a
        // blocked reader waits for.
        m_fd = ::open(m_fifo.c_str(), O_RDWR | O_CLOEXEC);
        m_fired = true;
    });
}

FifoWatchdog::~FifoWatchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
    m_thread.join();
    if (m_fd >= 0) ::close(m_fd);
}

bool FifoWatchdog::fired() const {
    std::lock_guard lock(m_mutex);
    return m_fired;
}

} // namespace quellomir::testing
