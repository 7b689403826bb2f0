#include "measure.h"

#include <stdlib.h>

#include <filesystem>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace quellomir::bench {

struct timespec now() {
    struct timespec time;
    ::clock_gettime(CLOCK_MONOTONIC, &time);
    return time;
}

double secondsSince(const struct timespec& start) {
    struct timespec end = now();
    return static_cast<double>(end.tv_sec - start.tv_sec) +
           static_cast<double>(end.tv_nsec - start.tv_nsec) * 1e-9;
}

void runInChildProcess(const std::function<void(void*)>& work, void* result, std::size_t size) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    const pid_t child = ::fork();
    if (child < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (child == 0) {
        ::close(pipeFds[0]);
        work(result);
        const ssize_t written = ::write(pipeFds[1], result, size);
        ::_exit(written == static_cast<ssize_t>(size) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    const ssize_t got = ::read(pipeFds[0], result, size);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(size) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the measured run failed");
}

long peakKilobytes() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Measured inChildProcess(const std::function<Measured()>& work) {
    return inChildProcess<Measured>([&] {
        Measured result = work();
        result.peakKilobytes = peakKilobytes();
        return result;
    });
}

pid_t startCommand(const std::vector<std::string>& command, const char* output, bool errorsToo) {
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorsToo) ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t child = 0;
    const int error = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::system_error(error, std::generic_category(), command[0]);
    return child;
}

double commandSeconds(const std::vector<std::string>& command) {
    struct timespec start = now();
    const pid_t child = startCommand(command, "/dev/null", false);
    int status = 0;
    ::waitpid(child, &status, 0);
    double seconds = secondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(command[0] + " failed");
    return seconds;
}

ProcessRun runCommand(const std::vector<std::string>& command, const std::string& output) {
    const struct timespec start = now();
    // The peak memory counts this process's peak too, up to the command's exec: a
    // benchmark that reports it keeps its own small.
    const pid_t child = startCommand(command, output.c_str(), true);
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    ProcessRun run;
    run.seconds = secondsSince(start);
    run.peakKilobytes = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::string failureOf(const std::vector<std::string>& command, const ProcessRun& run,
                      const std::string& output) {
    std::ifstream printed(output);
    const std::string text(std::istreambuf_iterator<char>(printed), {});
    return command[0] + " failed (" + std::to_string(run.exitCode) + "): " + text.substr(0, 2000);
}

double runOrThrow(const std::vector<std::string>& command) {
    const std::string folder = makeEmptyFolder();
    const ProcessRun done = runCommand(command, folder + "/output");
    const std::string failure = done.exitCode != 0 ? failureOf(command, done, folder + "/output") : "";
    std::filesystem::remove_all(folder);
    if (!failure.empty()) throw std::runtime_error(failure);
    return done.seconds;
}

std::string besideThisProgram(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

bool installed(const std::string& tool) {
    return ::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) return 0;
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string spread(const std::vector<double>& values) {
    if (values.empty()) return "-";
    char text[64];
    const auto [least, most] = std::minmax_element(values.begin(), values.end());
    std::snprintf(text, sizeof text, "%.3f s (%.3f-%.3f)", median(values), *least, *most);
    return text;
}

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string makeEmptyFolder() {
    std::string empty = (std::filesystem::temp_directory_path() / "quellomir-bench-XXXXXX").string();
    if (!::mkdtemp(empty.data())) throw std::runtime_error("cannot make an empty folder");
    return empty;
}

} // namespace quellomir::bench
