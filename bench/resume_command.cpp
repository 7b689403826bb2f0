// quellomir-bench resume DIR1 DIR2: what a sync stopped part way leaves the next one to do.
// Each round syncs DIR1 into a fresh folder of DIR2 with the program itself (`quellomir sync`,
// a whole process), then, for each share of that run's time given with --stop-at, starts the
// same sync into another fresh folder, kills it (SIGKILL) when that share of the whole run's
// time has passed, and times the next sync into that folder, which finds what the stop left.
// The first round warms the cache and is not counted; the figures are medians with their
// ranges. Nothing is flushed between the kill and the next run: that run pays for whatever
// the killed one left unwritten, as it would after a real stop.
//
// DIR2 must be empty (it is made when missing), on the drive to measure: a loop-mounted
// ext4, or an exFAT image through exfat-fuse. Everything made in it is removed at the end.

#include "measure.h"
#include "options.h"
#include "resume.h"
#include "subcommand.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quellomir::bench {
namespace {

namespace fsys = std::filesystem;

// The files in `folder` and below, the program's own "~" files left out.
std::size_t filesIn(const std::string& folder) {
    std::size_t files = 0;
    for (const fsys::directory_entry& entry : fsys::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && !entry.path().filename().string().starts_with("~")) ++files;
    return files;
}

} // namespace

ResumeFigures measureResume(const std::string& folder1, const std::string& scratch, std::uint64_t rounds,
                            const std::vector<double>& shares,
                            const std::vector<std::string>& extraArguments) {
    fsys::create_directories(scratch);
    if (!fsys::is_empty(scratch)) throw std::runtime_error(scratch + " is not empty");
    ResumeFigures figures;
    for (const double share : shares)
        figures.stops.push_back({share, {}, {}});
    const std::string program = besideThisProgram("quellomir");
    const auto sync = [&](const std::string& into) {
        fsys::create_directories(into);
        std::vector<std::string> command{program, "sync", "--quiet"};
        command.insert(command.end(), extraArguments.begin(), extraArguments.end());
        command.push_back(folder1);
        command.push_back(into);
        return command;
    };

    for (std::uint64_t round = 0; round <= rounds; ++round) {
        const std::string tag = std::to_string(round);
        ::sync();
        const double whole = runOrThrow(sync(withSlash(scratch) + "whole-" + tag + "/"));
        if (round == 0) figures.files = filesIn(withSlash(scratch) + "whole-0/");
        // The moment of the stop is a share of the whole run as measured so far.
        if (round > 0) figures.wholeRuns.push_back(whole);
        const double reference = round == 0 ? whole : median(figures.wholeRuns);
        for (ResumeFigures::Stop& stop : figures.stops) {
            const std::string into =
                withSlash(scratch) + "stopped-" + std::to_string(stop.share) + "-" + tag + "/";
            ::sync();
            const pid_t child = startCommand(sync(into), "/dev/null", true);
            const double wait = stop.share * reference;
            struct timespec pause {
                time_t(wait), long((wait - double(time_t(wait))) * 1e9)
            };
            ::nanosleep(&pause, nullptr);
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            const std::size_t left = fsys::exists(into) ? filesIn(into) : 0;
            const double next = runOrThrow(sync(into));
            if (round == 0) continue;
            stop.nextRunSeconds.push_back(next);
            stop.copiesLeft.push_back(double(left));
        }
    }
    for (const fsys::directory_entry& entry : fsys::directory_iterator(scratch))
        fsys::remove_all(entry.path());
    ::sync();
    return figures;
}

int runResume(std::span<char* const> arguments) {
    try {
        Options options(arguments, {"runs", "stop-at"});
        if (options.plain().size() != 2) {
            std::fprintf(stderr, "resume wants two folders\n");
            return 2;
        }
        const std::string folder1 = withSlash(fsys::absolute(options.plain()[0]).lexically_normal().string());
        const std::string scratch = withSlash(fsys::absolute(options.plain()[1]).lexically_normal().string());
        const auto runs = std::max<std::uint64_t>(1, options.number("runs", 3));
        std::vector<double> shares;
        std::istringstream shareTexts(options.text("stop-at", "0.25,0.5,0.75"));
        for (std::string share; std::getline(shareTexts, share, ',');)
            shares.push_back(std::stod(share));
        const ResumeFigures figures = measureResume(folder1, scratch, runs, shares, {});

        double load[3] = {};
        ::getloadavg(load, 3);
        std::printf("folders          %s (%zu files) -> fresh folders in %s\n", folder1.c_str(),
                    figures.files, scratch.c_str());
        std::printf("machine load     %.2f %.2f %.2f (1, 5, 15 minutes)\n", load[0], load[1], load[2]);
        std::printf("whole sync       %s   median of %llu (range)\n", spread(figures.wholeRuns).c_str(),
                    static_cast<unsigned long long>(runs));
        for (const ResumeFigures::Stop& stop : figures.stops) {
            const double next = median(stop.nextRunSeconds);
            std::printf("killed at %3.0f%%   %.0f copies in place; the next sync %s = %.2f of the whole\n",
                        stop.share * 100, median(stop.copiesLeft), spread(stop.nextRunSeconds).c_str(),
                        next / median(figures.wholeRuns));
        }
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "resume: %s\n", failure.what());
        return 1;
    }
}

} // namespace quellomir::bench
