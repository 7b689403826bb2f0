#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <type_traits>
#include <vector>

namespace quellomir::bench {

// What one measured run gives back.
struct Measured {
    double seconds = 0;
    double partSeconds = 0; // the first part of the work, where it has parts
    long peakKilobytes = 0; // getrusage's maxrss of the process that ran it
    std::uint64_t folders = 0;
    std::uint64_t files = 0;
    std::uint64_t otherFiles = 0; // a comparison's second side
    std::uint64_t copyRows = 0;
    std::uint64_t overwriteRows = 0;
};

// Runs `work` in a child process of its own, so that each run's peak memory is its
// own and not that of the runs before it; `work` puts `size` bytes of figures at
// `result`, which come back through a pipe.
void runInChildProcess(const std::function<void(void*)>& work, void* result, std::size_t size);

// The same for work that gives back a plain struct of figures; `work` times itself.
template <class Result> Result inChildProcess(const std::function<Result()>& work) {
    static_assert(std::is_trivially_copyable_v<Result>);
    Result result{};
    runInChildProcess([&](void* into) { *static_cast<Result*>(into) = work(); }, &result, sizeof result);
    return result;
}

// getrusage's maxrss of this process so far.
long peakKilobytes();

// Measured's figures, with the peak memory of the child that ran `work`.
Measured inChildProcess(const std::function<Measured()>& work);

// Starts a command with its output sent to the file `output`, and with `errorsToo` its
// standard error as well; the child to wait for.
pid_t startCommand(const std::vector<std::string>& command, const char* output, bool errorsToo);

// Wall-clock seconds of a command run with its output sent to /dev/null.
double commandSeconds(const std::vector<std::string>& command);

// A whole process's wall-clock seconds, peak memory and exit code; what it printed, both
// streams, goes to the file `output`.
struct ProcessRun {
    double seconds = 0;
    long peakKilobytes = 0;
    int exitCode = 0;
};
ProcessRun runCommand(const std::vector<std::string>& command, const std::string& output);
// "COMMAND failed (CODE): " and the start of what it printed to `output`.
std::string failureOf(const std::vector<std::string>& command, const ProcessRun& run,
                      const std::string& output);
// The seconds of a whole process that must succeed; throws failureOf when it does not.
double runOrThrow(const std::vector<std::string>& command);

// The path of another program built beside this one.
std::string besideThisProgram(const std::string& name);
// Whether `tool` is on the PATH.
bool installed(const std::string& tool);

// The median of `values`, and "median s (least-most)".
double median(std::vector<double> values);
std::string spread(const std::vector<double>& values);

double secondsSince(const struct timespec& start);

// A folder path with its trailing separator, as the slots hold one.
std::string withSlash(std::string path);
// A new empty folder under the temporary folder, to measure what a run costs by itself.
std::string makeEmptyFolder();
struct timespec now();

} // namespace quellomir::bench
