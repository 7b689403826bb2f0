#include "handler/stop_signals.h"

#include <windows.h>

namespace quellomir {
namespace {

std::atomic<std::atomic<bool>*> stopFlag{nullptr};
std::atomic<bool> stoppedOnce{false};

// Windows runs this on a thread of its own for Ctrl+C, Ctrl+Break, the console window closed,
// and the user logging off or the machine shutting down.
BOOL WINAPI stopGently(DWORD event) {
    // The next one, of any of them, ends the program: the system's own handler does that.
    if (stoppedOnce.exchange(true)) return FALSE;
    if (std::atomic<bool>* stop = stopFlag.load()) stop->store(true);
    switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process as soon as this returns, and after a few seconds even if
        // it does not: holding it here gives the run those seconds to finish the row under
        // way. The run's end ends the process, this thread with it.
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return TRUE;
    }
}

} // namespace

// A program started with Ctrl+C ignored (a new process group) keeps it ignored: Windows then
// calls no handler for it.
void stopGentlyOnSignals(std::atomic<bool>& stop) {
    stopFlag.store(&stop);
    ::SetConsoleCtrlHandler(stopGently, TRUE);
}

// Windows hands a console's stops to a thread it makes for them, never to one of the
// program's own, so a thread needs nothing to keep out of their way.
std::thread startWithoutStopSignals(std::function<void()> work) {
    return std::thread(std::move(work));
}

} // namespace quellomir
