#include "app/row_thread.h"

#include "handler/stop_signals.h"

#include <system_error>
#include <utility>

namespace quellomir {

namespace {
// How long the window's thread waits for a row before it answers: most rows end well within.
constexpr std::chrono::milliseconds WaitTurn{5};
} // namespace

RowThread::RowThread() {
    try {
        m_thread = startWithoutStopSignals([this] { serve(); });
    } catch (const std::system_error&) {
        // No thread to be had: the rows run on the window's thread, as they did before.
    }
}

RowThread::~RowThread() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void RowThread::serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_ending || (m_task && !m_done); });
        if (m_ending) return;
        const std::function<void()>& task = *m_task;
        lock.unlock();
        std::exception_ptr failure;
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        m_failure = failure;
        m_done = true;
        m_changed.notify_all();
    }
}

void RowThread::run(const std::function<void()>& task, const std::function<void()>& waiting) {
    if (!m_thread.joinable()) {
        task();
        return;
    }
    std::unique_lock lock(m_mutex);
    m_task = &task;
    m_done = false;
    m_failure = nullptr;
    m_changed.notify_all();
    while (!m_changed.wait_for(lock, WaitTurn, [&] { return m_done; })) {
        lock.unlock();
        waiting();
        lock.lock();
    }
    m_task = nullptr;
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
}

} // namespace quellomir
