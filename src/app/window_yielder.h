#pragma once

#include "handler/yielder.h"

#include <chrono>
#include <functional>

namespace quellomir {

// Thrown out of a run when the user closed the window during it: the run unwinds, its
// open files closed and half-written ones removed, and the program ends. Deliberately no
// std::exception, so no numbered handler reports it.
struct RunCancelled {};

// Lets the window repaint and answer at most every 20 ms, however often a run ticks, so
// a run over a million files stays responsive without paying for it on every file.
class WindowYielder final : public Yielder {
  public:
    // `beforeYield` refreshes what the window shows of the run's progress; `cancelled`
    // tells, after the events ran, whether the window was closed meanwhile.
    WindowYielder(std::function<void()> beforeYield, std::function<bool()> cancelled,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(20));
    void tick() override;
    // What tick does, without ending the run: for the window's thread while the run's work
    // is on a thread of its own, which ends itself. Whether the window had its turn.
    bool answer();
    // Shows the run's progress as it is now, however recently the window had its turn: before
    // a message that reports the end of the run.
    void showProgress() {
        if (m_beforeYield) m_beforeYield();
    }

  private:
    std::function<void()> m_beforeYield;
    std::function<bool()> m_cancelled;
    std::chrono::steady_clock::duration m_interval;
    std::chrono::steady_clock::time_point m_last;
};

} // namespace quellomir
