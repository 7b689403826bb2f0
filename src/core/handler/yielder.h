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

// For loops whose steps take a fraction of a microsecond, where asking the clock at every
// step would cost more than the step: ticks once every 64 steps.
class TickEveryFewSteps {
  public:
    explicit TickEveryFewSteps(Yielder& yielder) : m_yielder(yielder) {}
    void step() {
        if ((++m_steps & 63) == 0) m_yielder.tick();
    }

  private:
    Yielder& m_yielder;
    unsigned m_steps = 0;
};

} // namespace quellomir
