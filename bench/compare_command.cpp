// quellomir-bench compare DIR1 DIR2: the compare run without a window (the scan and
// listing of both sides and the rules) beside, on the same folders in the same run,
// `find` over both trees, `fdfind -j 16` with a stat per file (a walker that keeps many
// requests in flight) and the two dry runs of rsync that would plan the same copies.
// --cold 1 drops the page cache before each timed run; --latency-us N reaches the folders
// through the latency drive (a network share's wait per request, attributes with the
// listings, kept --attr-timeout seconds); --threads N sets the scan's I/O threads.

#include "bench_yielder.h"
#include "drive_conditions.h"
#include "measure.h"
#include "options.h"
#include "subcommand.h"

#include "compare/compare_run.h"
#include "fs/posix_file_system.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace quellomir::bench {
namespace {

Measured compareSides(const std::string& folder1, const std::string& folder2, int threads,
                      Pairing pairing = Pairing::ByName) {
    PosixFileSystem fs;
    const CodePage codePage = CodePage::forUserLocale();
    CountingReport report;
    ClockYielder yielder;
    std::size_t listed = 0;
    CompareContext context{fs, codePage, report, yielder, listed, threads};
    context.pairing = pairing;
    NumberedHandler handler(report, CompareRunLocation);

    const struct timespec start = now();
    Plan plan = compareFolders(
        handler, [&] { return folder1; }, [&] { return folder2; }, context);
    Measured result;
    result.seconds = secondsSince(start);
    result.files = plan.files(Side::Folder1).size();
    result.otherFiles = plan.files(Side::Folder2).size();
    for (const PlanRow& row : plan.rows())
        ++(row.kind == RowKind::Copy ? result.copyRows : result.overwriteRows);
    return result;
}

} // namespace

int runCompare(std::span<char* const> arguments) {
    try {
        Options options(arguments,
                        {"runs", "rsync", "cold", "latency-us", "attr-timeout", "threads", "by-place"});
        if (options.plain().size() != 2) {
            std::fprintf(stderr, "compare wants two folders\n");
            return 2;
        }
        const std::string one = withSlash(std::filesystem::absolute(options.plain()[0]).string());
        const std::string two = withSlash(std::filesystem::absolute(options.plain()[1]).string());
        const auto runs = std::max<std::uint64_t>(1, options.number("runs", 3));
        const long latency = static_cast<long>(options.number("latency-us", 0));
        const bool withRsync = options.number("rsync", latency == 0) != 0;
        const int threads = options.has("threads") ? static_cast<int>(options.number("threads", 0))
                                                   : CompareContext::DefaultThreads;
        const Pairing pairing = options.number("by-place", 0) != 0 ? Pairing::ByPlace : Pairing::ByName;
        const std::string empty = makeEmptyFolder();
        DriveConditions drive(options.number("cold", 0) != 0, latency, options.decimal("attr-timeout", 1),
                              one, two);
        const std::string a = drive.path(one), b = drive.path(two);

        const std::vector<std::string> find{"find", a, b, "-type", "f", "-printf", "%T@ %f\n"};
        // A time filter makes fd stat every file, as find's -printf does.
        const std::vector<std::string> fdfind{"fdfind",           "-j",         "16", "-t", "f", "-u",
                                              "--changed-before", "2200-01-01", ".",  a,    b};
        const bool withFd = installed("fdfind");
        const std::vector<std::string> rsync12{"rsync", "-rtn", "--update", a, b};
        const std::vector<std::string> rsync21{"rsync", "-rtn", "--update", b, a};
        auto timed = [&](const std::vector<std::string>& command) {
            drive.prepare();
            return commandSeconds(command);
        };

        timed(find); // warm the cache where it is not dropped
        Measured ours;
        double findSeconds = 1e9, fdSeconds = 1e9, rsyncSeconds = 1e9;
        for (std::uint64_t run = 0; run < runs; ++run) {
            drive.prepare();
            Measured compared = inChildProcess([&] { return compareSides(a, b, threads, pairing); });
            if (run == 0 || compared.seconds < ours.seconds) ours = compared;
            findSeconds = std::min(findSeconds, timed(find));
            if (withFd) fdSeconds = std::min(fdSeconds, timed(fdfind));
            if (withRsync) rsyncSeconds = std::min(rsyncSeconds, timed(rsync12) + commandSeconds(rsync21));
        }
        const Measured idle =
            inChildProcess([&] { return compareSides(withSlash(empty), withSlash(empty), threads); });
        ::rmdir(empty.c_str());

        const std::uint64_t files = ours.files + ours.otherFiles;
        const double bytesPerFile =
            files ? (ours.peakKilobytes - idle.peakKilobytes) * 1024.0 / static_cast<double>(files) : 0;
        const double bytesPerSideFile =
            ours.files ? (ours.peakKilobytes - idle.peakKilobytes) * 1024.0 / static_cast<double>(ours.files)
                       : 0;
        std::printf("folders         %s  %s\n", a.c_str(), b.c_str());
        std::printf("drive           %s\n", drive.description().c_str());
        std::printf("files per side  %llu  %llu\n", static_cast<unsigned long long>(ours.files),
                    static_cast<unsigned long long>(ours.otherFiles));
        std::printf("copy rows       %llu\n", static_cast<unsigned long long>(ours.copyRows));
        std::printf("overwrite rows  %llu\n", static_cast<unsigned long long>(ours.overwriteRows));
        std::printf("compare         %.3f s   (best of %llu)\n", ours.seconds,
                    static_cast<unsigned long long>(runs));
        std::printf("find            %.3f s   find DIR1 DIR2 -type f -printf '%%T@ %%f\\n'   ratio %.2f\n",
                    findSeconds, ours.seconds / findSeconds);
        if (withFd)
            std::printf("fdfind -j 16    %.3f s   fdfind -j 16 -t f -u --changed-before ...  ratio %.2f\n",
                        fdSeconds, ours.seconds / fdSeconds);
        else
            std::printf("fdfind          not installed (apt-get install fd-find)\n");
        if (withRsync)
            std::printf("rsync -rtn x2   %.3f s   rsync -rtn --update, both directions      ratio %.2f\n",
                        rsyncSeconds, ours.seconds / rsyncSeconds);
        std::printf(
            "peak memory     %ld KiB, empty run %ld KiB: %.0f bytes per file listed (%.0f per file of "
            "one side)\n",
            ours.peakKilobytes, idle.peakKilobytes, bytesPerFile, bytesPerSideFile);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "compare: %s\n", failure.what());
        return 1;
    }
}

} // namespace quellomir::bench
