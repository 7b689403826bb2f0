#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace quellomir {

// The calls into drives under way on every thread, and since when. A drive that stops
// answering (a FUSE daemon that hangs, a network share whose server went away) holds its
// caller in the kernel, where nothing can free it; the rest of the program can still see
// which folder it waits for, say so, and end when the user asks.
class WaitingCalls {
  public:
    using Clock = std::chrono::steady_clock;

    struct Wait {
        std::string path; // the folder or file the call was about
        Clock::duration waited{};
    };

    // Marks the calling thread as waiting for `path` while it lives. Not nested.
    class Call {
      public:
        explicit Call(const std::string& path);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
    };

    // The call that has waited longest, if any is under way.
    static std::optional<Wait> longest();
};

// What a window or a command line says once a call has waited this long: long enough
// that a slow disk waking from sleep does not trigger it.
inline constexpr std::chrono::seconds UnansweredAfter{3};

// "/media/stick/photos has not answered for 12 s"
std::string unansweredText(const WaitingCalls::Wait& wait);

} // namespace quellomir
