#pragma once

#include "handler/error_report.h"
#include "handler/yielder.h"

#include <chrono>

namespace quellomir::bench {

// Stands in for the window's error box: counts what would have been shown.
class CountingReport final : public ErrorReport {
  public:
    void report(const std::string&, const std::string&, int) override { ++count; }
    int count = 0;
};

// Behaves as the window's yielder does: looks at the clock on every tick and would
// let the window run every 20 ms. Only the looking costs here.
class ClockYielder final : public Yielder {
  public:
    void tick() override {
        auto time = std::chrono::steady_clock::now();
        if (time - m_last >= std::chrono::milliseconds(20)) {
            m_last = time;
            ++turns;
        }
    }
    int turns = 0;

  private:
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

} // namespace quellomir::bench
