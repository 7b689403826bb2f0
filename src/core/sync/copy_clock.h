#pragma once

#include <chrono>

namespace quellomir {

// The clock a copy reads to tell whether its source's second has ended, and waits on until it
// has: a write within that second could give the source the time its copy was given.
class CopyClock {
  public:
    virtual ~CopyClock() = default;
    virtual std::chrono::system_clock::time_point now() = 0;
    virtual void sleepFor(std::chrono::system_clock::duration span) = 0;
};

// The real clock, unless a test put another in its place.
CopyClock& copyClock();
// `clock` in the real one's place from now on; nullptr puts the real one back. Set while no
// copy runs.
void setCopyClock(CopyClock* clock);

} // namespace quellomir
