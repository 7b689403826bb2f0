#include "cli/unanswered_drives.h"

#include "cli/command_line_run.h"
#include "fs/waiting_calls.h"
#include "handler/stop_signals.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>

#ifdef _WIN32
#include <future>
#include <memory>
#endif

namespace quellomir {
namespace {

#ifdef _WIN32
// Windows has no try-lock for a stream: the flush runs on a thread of its own and is given a
// moment, no more, in case it is the output itself that hangs.
void flushUnlessHanging() {
    auto flushed = std::make_shared<std::promise<void>>();
    std::future<void> done = flushed->get_future();
    std::thread([flushed] {
        std::fflush(stdout);
        flushed->set_value();
    }).detach();
    done.wait_for(std::chrono::seconds(1));
}
#endif

void printAndEnd(const std::string& line) {
    std::fprintf(stderr, "\nquellomir: %s\n", line.c_str());
    // Rows already printed are kept, unless the output itself is what hangs.
#ifdef _WIN32
    flushUnlessHanging();
#else
    if (ftrylockfile(stdout) == 0) {
        fflush_unlocked(stdout);
        funlockfile(stdout);
    }
#endif
    ::_exit(ExitInterrupted);
}

} // namespace

int runWatchingForUnansweredDrives(const std::function<int()>& work, const std::atomic<bool>& stop,
                                   UnansweredStop how) {
    if (!how.end) how.end = printAndEnd;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int status = 0;
    std::thread worker = startWithoutStopSignals([&] {
        const int result = work();
        std::lock_guard lock(mutex);
        status = result;
        done = true;
        finished.notify_all();
    });
    bool ended = false;
    std::unique_lock lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) {
        if (ended || !stop.load()) continue;
        const std::optional<WaitingCalls::Wait> wait = WaitingCalls::longest();
        if (!wait || wait->waited < how.after) continue;
        ended = true;
        lock.unlock();
        how.end("stopped: " + unansweredText(*wait));
        lock.lock();
    }
    lock.unlock();
    worker.join();
    return status;
}

} // namespace quellomir
