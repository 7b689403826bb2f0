#include "sync/worker_threads.h"

#include <atomic>
#include <system_error>

namespace quellomir {

struct WorkerThreads::Round {
    const std::function<void(std::size_t)>* each = nullptr;
    std::size_t count = 0;
    unsigned threads = 0;
    std::atomic<std::size_t> next{0};
    std::size_t left = 0; // calls not finished yet; under the mutex
};

WorkerThreads::~WorkerThreads() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_started.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void WorkerThreads::work(unsigned index) {
    std::size_t seen = 0;
    for (;;) {
        std::shared_ptr<Round> round;
        {
            std::unique_lock lock(m_mutex);
            m_started.wait(lock, [&] { return m_ending || m_roundNumber != seen; });
            if (m_ending) return;
            seen = m_roundNumber;
            round = m_round;
        }
        if (index >= round->threads) continue;
        std::size_t finished = 0;
        for (std::size_t i = round->next++; i < round->count; i = round->next++) {
            (*round->each)(i);
            ++finished;
        }
        if (finished == 0) continue;
        std::lock_guard lock(m_mutex);
        round->left -= finished;
        if (round->left == 0) m_finished.notify_all();
    }
}

void WorkerThreads::run(unsigned threads, std::size_t count, const std::function<void(std::size_t)>& each,
                        std::chrono::milliseconds interval, const std::function<void()>& waiting) {
    if (count == 0) return;
    try {
        while (m_threads.size() < threads && m_threads.size() < count) {
            const auto index = static_cast<unsigned>(m_threads.size());
            m_threads.emplace_back([this, index] { work(index); });
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those there are do the work.
    }
    auto round = std::make_shared<Round>();
    round->each = &each;
    round->count = count;
    round->threads = threads;
    round->left = count;
    if (m_threads.empty()) {
        for (std::size_t i = 0; i < count; ++i)
            each(i);
        return;
    }
    std::unique_lock lock(m_mutex);
    m_round = round;
    ++m_roundNumber;
    m_started.notify_all();
    while (!m_finished.wait_for(lock, interval, [&] { return round->left == 0; })) {
        lock.unlock();
        waiting();
        lock.lock();
    }
}

} // namespace quellomir
