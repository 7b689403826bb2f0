#include "sync/copy_clock.h"

#include <atomic>
#include <thread>

namespace quellomir {
namespace {

class RealClock final : public CopyClock {
  public:
    std::chrono::system_clock::time_point now() override { return std::chrono::system_clock::now(); }
    void sleepFor(std::chrono::system_clock::duration span) override { std::this_thread::sleep_for(span); }
};

RealClock realClock;
std::atomic<CopyClock*> current{&realClock};

} // namespace

CopyClock& copyClock() {
    return *current.load(std::memory_order_acquire);
}

void setCopyClock(CopyClock* clock) {
    current.store(clock ? clock : &realClock, std::memory_order_release);
}

} // namespace quellomir
