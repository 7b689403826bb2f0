#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quellomir {

// Threads kept for the whole of a sync run, so that each round of rows made ahead does not
// start threads of its own: a run of 20,000 small files has hundreds of rounds.
class WorkerThreads {
  public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Calls `each` for 0 to count - 1, on at most `threads` of these threads, and `waiting`
    // every `interval` until all are done. Where no thread can be started, the calls are
    // made here. Neither `each` nor `waiting` may throw.
    void run(unsigned threads, std::size_t count, const std::function<void(std::size_t)>& each,
             std::chrono::milliseconds interval, const std::function<void()>& waiting);

  private:
    struct Round;
    void work(unsigned index);

    std::mutex m_mutex;
    std::condition_variable m_started;
    std::condition_variable m_finished;
    std::shared_ptr<Round> m_round;
    std::size_t m_roundNumber = 0;
    bool m_ending = false;
    std::vector<std::thread> m_threads;
};

} // namespace quellomir
