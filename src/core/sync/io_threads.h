#pragma once

#include "handler/yielder.h"
#include "sync/worker_threads.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>

namespace quellomir {

// The I/O threads a sync run keeps, and the window's turn while the run waits for them. A
// stop thrown from a turn (the window closed, Ctrl+C) is held until the work under way is
// finished: cut short, copies made would stay with provisional times. Meanwhile the threads
// see that a stop came, and end their waits at once.
class IoThreads {
  public:
    explicit IoThreads(Yielder& yielder) : m_yielder(yielder) {}

    Yielder& yielder() { return m_yielder; }
    // Calls `each` for 0 to count - 1 on `threads` threads (here, when no thread can be had),
    // with a turn every few milliseconds meanwhile.
    void run(unsigned threads, std::size_t count, const std::function<void(std::size_t)>& each);
    // A turn, any stop held for later.
    void turn();
    // Set once a stop is held.
    const std::atomic<bool>* stopping() const { return &m_stopping; }
    // Throws the stop held, if any.
    void passOnHeldStop();

  private:
    Yielder& m_yielder;
    std::exception_ptr m_heldStop;
    std::atomic<bool> m_stopping{false};
    WorkerThreads m_workers; // last: its threads end before anything they use goes
};

// How often the window gets its turn while the run waits: often enough to repaint and
// answer without a visible lag.
inline constexpr std::chrono::milliseconds TurnInterval{5};

} // namespace quellomir
