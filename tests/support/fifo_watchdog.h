#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quellomir::testing {

// Guards code that must never open a FIFO. Should it block in such an open, the
// watchdog opens the FIFO itself after a while, which lets the blocked open return,
// and says so: the test then fails instead of hanging.
class FifoWatchdog {
  public:
    explicit FifoWatchdog(std::string fifo, int seconds = 10);
    ~FifoWatchdog();
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    bool fired() const;

  private:
    std::string m_fifo;
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_fired = false;
    int m_fd = -1;
    std::thread m_thread;
};

} // namespace quellomir::testing
