#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace quellomir {

// Ctrl+C, a stop from a timer or service manager (SIGTERM) and a terminal or ssh session
// that went away (SIGHUP) set `stop`: a run then finishes or undoes the row under way,
// flushes what it copied and gives the copies their times before it ends. A second of
// them ends the program at once. A signal that was ignored when the program started (a
// program started in the background of a script ignores Ctrl+C) stays ignored. A pipe
// closed by its reader (`| head`) no longer kills the program: the write fails with EPIPE
// instead, which the run takes as a stop of its own.
void stopGentlyOnSignals(std::atomic<bool>& stop);

// A thread that never takes the stop signals, nor do the threads it starts: they go to a
// thread that can run the handler, never to one held in the kernel by a drive that does
// not answer.
std::thread startWithoutStopSignals(std::function<void()> work);

} // namespace quellomir
