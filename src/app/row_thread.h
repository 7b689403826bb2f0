#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace quellomir {

// The one thread that the rows of a sync started from the window run on, each in its turn,
// while the window's own thread waits and answers: a drive that stops answering then holds
// this thread, not the window.
class RowThread {
  public:
    RowThread();
    ~RowThread();
    RowThread(const RowThread&) = delete;
    RowThread& operator=(const RowThread&) = delete;

    // Runs `task` there and returns when it has returned, calling `waiting` every few
    // milliseconds meanwhile; what `task` throws is thrown here. Where no thread could be
    // started, `task` runs here.
    void run(const std::function<void()>& task, const std::function<void()>& waiting);

    // Whether the caller is this thread.
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

  private:
    void serve();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::function<void()>* m_task = nullptr; // under the mutex, until done
    bool m_done = false;
    bool m_ending = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

} // namespace quellomir
