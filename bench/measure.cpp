#include "measure.h"

#include <stdlib.h>

#include <filesystem>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
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
