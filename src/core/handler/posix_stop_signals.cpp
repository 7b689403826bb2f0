#include "handler/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <cstddef>

namespace quellomir {
namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool>* stopFlag = nullptr;
volatile sig_atomic_t caught[sizeof StopSignals / sizeof StopSignals[0]] = {};

void stopGently(int) {
    if (stopFlag) stopFlag->store(true);
    // The next one, of any of them, ends the program: sigaction is safe in a handler.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (std::size_t i = 0; i < sizeof StopSignals / sizeof StopSignals[0]; ++i)
        if (caught[i]) sigaction(StopSignals[i], &standard, nullptr);
}

} // namespace

void stopGentlyOnSignals(std::atomic<bool>& stop) {
    stopFlag = &stop;
    struct sigaction action {};
    action.sa_handler = stopGently;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : StopSignals)
        sigaddset(&action.sa_mask, signal);
    for (std::size_t i = 0; i < sizeof StopSignals / sizeof StopSignals[0]; ++i) {
        struct sigaction before {};
        if (sigaction(StopSignals[i], nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        caught[i] = 1;
        sigaction(StopSignals[i], &action, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
}

std::thread startWithoutStopSignals(std::function<void()> work) {
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int signal : StopSignals)
        sigaddset(&stops, signal);
    // A new thread starts with its creator's mask: block, start, and unblock again.
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    std::thread started(std::move(work));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return started;
}

} // namespace quellomir
