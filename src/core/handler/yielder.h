#pragma once

namespace quellomir {

// Long runs call tick() once per unit of work; the window's yielder lets pending events
// run only when enough time has passed since the last time, so the run is not slowed by
// it. The core never knows what a window is.
class Yielder {
  public:
    virtual ~Yielder() = default;
    virtual void tick() = 0;
};

class NoYield final : public Yielder {
  public:
    void tick() override {}
};

} // namespace quellomir
