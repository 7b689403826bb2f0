#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace quellomir {

// How a run that waits for a drive which never answers is ended once a stop was asked
// for: `end` gets the line that names the drive's folder. By default it prints the line
// and ends the program with status 130; the thread held in the kernel cannot be freed,
// so nothing but the end of the process ends it.
struct UnansweredStop {
    std::function<void(const std::string& line)> end;
    std::chrono::milliseconds after = std::chrono::seconds(3);
};

// Runs `work` on a thread of its own that the stop signals never reach, and returns its
// status. Meanwhile this thread watches `stop`: a stop is left to the work to honour
// gently, unless a call into a drive has waited `how.after` or longer, or does so later.
int runWatchingForUnansweredDrives(const std::function<int()>& work, const std::atomic<bool>& stop,
                                   UnansweredStop how = {});

} // namespace quellomir
