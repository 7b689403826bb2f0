#pragma once

#include "sync/copy_clock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace quellomir::testing {

// Put in the real clock's place for its lifetime: a wait of a copy for its source's second
// to end moves this clock on at once, so that a test of a source written just now takes no
// second of real time. What the wait guards against, a write within that second, is what
// such a test does not make, unless it makes it in `onWait`.
class SkippingClock final : public CopyClock {
  public:
    SkippingClock() { setCopyClock(this); }
    ~SkippingClock() override { setCopyClock(nullptr); }
    SkippingClock(const SkippingClock&) = delete;
    SkippingClock& operator=(const SkippingClock&) = delete;

    std::chrono::system_clock::time_point now() override {
        return std::chrono::system_clock::now() + std::chrono::nanoseconds(m_ahead.load());
    }
    void sleepFor(std::chrono::system_clock::duration span) override {
        if (onWait) onWait();
        m_ahead += std::chrono::duration_cast<std::chrono::nanoseconds>(span).count();
    }

    std::function<void()> onWait; // at each wait, before the clock moves on

  private:
    std::atomic<std::int64_t> m_ahead{0};
};

} // namespace quellomir::testing
