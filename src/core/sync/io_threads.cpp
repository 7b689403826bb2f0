#include "sync/io_threads.h"

#include <utility>

namespace quellomir {

void IoThreads::run(unsigned threads, std::size_t count, const std::function<void(std::size_t)>& each) {
    m_workers.run(threads, count, each, TurnInterval, [this] { turn(); });
}

void IoThreads::turn() {
    try {
        m_yielder.tick();
    } catch (...) {
        if (!m_heldStop) m_heldStop = std::current_exception();
        m_stopping.store(true, std::memory_order_relaxed);
    }
}

void IoThreads::passOnHeldStop() {
    if (m_heldStop) std::rethrow_exception(std::exchange(m_heldStop, nullptr));
}

} // namespace quellomir
