// quellomir-bench scan DIR: the scan of DIR, the file listing of every folder it gives
// and every file's time, as a comparison reads one side; beside it the same tree
// through `find` and through a bare walk, in the same run, warm cache.

#include "bare_walk.h"
#include "bench_yielder.h"
#include "measure.h"
#include "options.h"
#include "subcommand.h"

#include "files/code_page.h"
#include "files/folder_listing.h"
#include "fs/posix_file_system.h"
#include "scan/folder_scan.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace quellomir::bench {
namespace {

Measured scanAndList(const std::string& root, bool yielding) {
    PosixFileSystem fs;
    CodePage codePage = CodePage::forUserLocale();
    CountingReport report;
    ClockYielder clock;
    NoYield none;
    Yielder& yielder = yielding ? static_cast<Yielder&>(clock) : none;
    Measured result;
    struct timespec start = now();
    FolderList folders{root};
    ListingMemo memo;
    GetSubDirectories2016(folders, true, fs, codePage, report, yielder, &memo);
    result.partSeconds = secondsSince(start);
    FileList list;
    list.folders = std::move(folders);
    list.reserve(memo.entries(), memo.nameBytes());
    for (std::uint32_t folder = 0; folder < list.folders.size(); ++folder) {
        yielder.tick();
        try {
            appendFolderFiles(fs, codePage, list, folder, NameFilter::NoTilde, &memo);
        } catch (const std::exception&) {
            ++report.count;
        }
    }
    result.seconds = secondsSince(start);
    result.folders = list.folders.size();
    result.files = list.size();
    // The times were read during the listing; touch them so that no reader doubts it.
    std::int64_t sum = 0;
    for (std::size_t file = 0; file < list.size(); ++file)
        sum += list.file(file).modified().roundedSeconds();
    if (sum == 42) std::puts("");
    return result;
}

} // namespace

int runScan(std::span<char* const> arguments) {
    try {
        Options options(arguments, {"runs", "yield"});
        if (options.plain().size() != 1) {
            std::fprintf(stderr, "scan wants one folder\n");
            return 2;
        }
        const std::string root = withSlash(std::filesystem::absolute(options.plain()[0]).string());
        const auto runs = std::max<std::uint64_t>(1, options.number("runs", 5));
        const bool yielding = options.number("yield", 1) != 0;
        const std::string empty = makeEmptyFolder();
        const std::vector<std::string> find{"find", root, "-type", "f", "-printf", "%T@ %f\n"};

        // Warm the cache, then keep the best of each.
        commandSeconds(find);
        inChildProcess([&] { return scanAndList(root, yielding); });
        Measured ours, floor, idle;
        double findSeconds = 1e9;
        for (std::uint64_t run = 0; run < runs; ++run) {
            Measured scanned = inChildProcess([&] { return scanAndList(root, yielding); });
            if (run == 0 || scanned.seconds < ours.seconds) ours = scanned;
            Measured walked = inChildProcess([&] { return bareWalk(root); });
            if (run == 0 || walked.seconds < floor.seconds) floor = walked;
            findSeconds = std::min(findSeconds, commandSeconds(find));
        }
        idle = inChildProcess([&] { return scanAndList(withSlash(empty), yielding); });
        ::rmdir(empty.c_str());

        const long extraKilobytes = ours.peakKilobytes - idle.peakKilobytes;
        const double bytesPerFile =
            ours.files ? extraKilobytes * 1024.0 / static_cast<double>(ours.files) : 0;
        std::printf("tree            %s\n", root.c_str());
        std::printf("folders         %llu\n", static_cast<unsigned long long>(ours.folders));
        std::printf("files           %llu\n", static_cast<unsigned long long>(ours.files));
        std::printf("scan+list+time  %.3f s   (best of %llu; the folder scan %.3f s of it)\n", ours.seconds,
                    static_cast<unsigned long long>(runs), ours.partSeconds);
        std::printf("find            %.3f s   find DIR -type f -printf '%%T@ %%f\\n'\n", findSeconds);
        std::printf("bare walk       %.3f s   one fstatat per entry, nothing kept\n", floor.seconds);
        std::printf("ratio to find   %.2f     (bare walk %.2f)\n", ours.seconds / findSeconds,
                    floor.seconds / findSeconds);
        std::printf("peak memory     %ld KiB, empty folder %ld KiB, %.0f bytes per file listed\n",
                    ours.peakKilobytes, idle.peakKilobytes, bytesPerFile);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "scan: %s\n", failure.what());
        return 1;
    }
}

} // namespace quellomir::bench
