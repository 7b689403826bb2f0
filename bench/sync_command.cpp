// quellomir-bench sync DIR1 DIR2: the comparison of DIR1 with an empty folder and the sync
// of every row, without a window, beside `cp -r --preserve=timestamps` of the same files
// into an empty folder, in the same run, warm cache, best of each. The flush at the end of
// the run is timed apart from the rows: the rows compare with cp, the whole run with cp
// followed by `sync -f`. A comparison after the run, neither timed nor counted in the peak
// memory, tells how many rows it would still plan: none, unless names repeat in DIR1.
//
// With --older 1, each run's folder first gets a copy of DIR1 whose files are ten seconds
// older, so that every row replaces a file (cp then copies over the same copy); --keep 0
// lets the replaced files go instead of putting them into the Trash, the cost of which the
// two runs side by side tell.
//
// With --rsync 1 (the default), `rsync -rt` of the same files runs in the same rounds too,
// with `--backup --backup-dir` where the replaced files are kept, and each tool's figure is
// also taken with `sync -f` after it, as the program's own run ends with its flush.
//
// With --latency-us N, every tool writes through quellomir-latency-drive --writable mounted
// over DIR2, which waits N microseconds for each request, as a network share does.
//
// DIR2 must be empty (it is made when missing). Each run, ours and cp's, writes into a
// fresh folder in it, and all are removed at the end: ext4 skips inodes freed in the last
// minute when it looks for a free one, so deleting thousands of files between the runs
// would slow down whichever run comes next.

#include "measure.h"
#include "options.h"
#include "subcommand.h"
#include "tree_generator.h"

#include "compare/compare_run.h"
#include "files/code_page.h"
#include "files/trash_can.h"
#include "files/write_folder.h"
#include "fs/posix_file_system.h"
#include "sync/sync_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace quellomir::bench {
namespace {

namespace fsys = std::filesystem;

struct SyncFigures {
    double compareSeconds = 0;
    double syncSeconds = 0;  // the rows, up to the final flush
    double flushSeconds = 0; // the final flush, and the copies' times after it
    long peakKilobytes = 0;
    std::uint64_t rows = 0;
    std::uint64_t failedRows = 0;
    std::uint64_t bytes = 0;    // of the rows carried out
    std::uint64_t rowsLeft = 0; // planned by a comparison right after the run
};

class CountingReport final : public ErrorReport {
  public:
    void report(const std::string&, const std::string&, int) override { ++count; }
    int count = 0;
};

SyncFigures compareAndSync(const std::string& folder1, const std::string& folder2, bool keep) {
    PosixFileSystem fs;
    const CodePage codePage = CodePage::forUserLocale();
    CountingReport report;
    NumberedHandler handler(report, CompareRunLocation);
    NoYield noYield;
    std::size_t listed = 0;
    CompareContext context{fs, codePage, report, noYield, listed};
    SyncFigures figures;

    const struct timespec start = now();
    Plan plan = compareFolders(
        handler, [&] { return folder1; }, [&] { return folder2; }, context);
    figures.compareSeconds = secondsSince(start);
    const struct timespec syncStart = now();
    SyncSession session(fs, noYield);
    session.setKeepReplacedFiles(keep);
    syncRows(plan, session);
    figures.syncSeconds = secondsSince(syncStart);
    const struct timespec flushStart = now();
    session.flush(plan);
    figures.flushSeconds = secondsSince(flushStart);

    figures.rows = plan.size();
    for (std::size_t row = 0; row < plan.size(); ++row) {
        if (plan.rows()[row].outcome != Outcome::Done) {
            if (figures.failedRows++ < 3)
                std::fprintf(stderr, "%s: %s\n", plan.sourceText(row).c_str(), plan.actionText(row).c_str());
            continue;
        }
        struct stat facts;
        if (::stat(plan.sourceText(row).c_str(), &facts) == 0) figures.bytes += std::uint64_t(facts.st_size);
    }
    if (report.count != 0) std::fprintf(stderr, "the comparison reported %d failures\n", report.count);
    figures.peakKilobytes = peakKilobytes();

    // Neither timed nor in the peak memory: a comparison right after the sync is to find nothing left to do,
    // apart from names that occur more than once in DIR1.
    const Plan after = compareFolders(
        handler, [&] { return folder1; }, [&] { return folder2; }, context);
    figures.rowsLeft = after.size();
    for (std::size_t row = 0; row < after.size() && row < 3; ++row)
        std::fprintf(stderr, "left: %s%s %s\n", after.sourceText(row).c_str(), after.actionText(row).c_str(),
                     after.destinationText(row).c_str());
    return figures;
}

// The entries of the Trash that files replaced in `folder` go to.
std::set<fsys::path> trashEntries(const std::string& folder) {
    PosixFileSystem fs;
    WriteFolder near;
    TrashCan trash;
    std::set<fsys::path> entries;
    if (openWriteFolder(fs, folder, near) != 0 || openTrash(fs, near, trash) != 0) return entries;
    for (const char* part : {"/files", "/info"})
        for (const fsys::directory_entry& entry : fsys::directory_iterator(trash.path + part))
            entries.insert(entry.path());
    return entries;
}

// Removes what the runs put into the Trash, so that each run finds the names there free.
void emptyTrashOfRuns(const std::string& folder, const std::set<fsys::path>& before) {
    for (const fsys::path& entry : trashEntries(folder))
        if (!before.contains(entry)) fsys::remove_all(entry);
}

void emptyFolder(const fsys::path& folder) {
    for (const fsys::directory_entry& entry : fsys::directory_iterator(folder))
        fsys::remove_all(entry.path());
}

// Leaves no written data of the run before to be flushed during the next one.
void settle() {
    ::sync();
}

double total(const SyncFigures& figures) {
    return figures.compareSeconds + figures.syncSeconds + figures.flushSeconds;
}

double ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

} // namespace

int runSync(std::span<char* const> arguments) {
    try {
        Options options(arguments, {"runs", "older", "keep", "rsync", "latency-us"});
        if (options.plain().size() != 2) {
            std::fprintf(stderr, "sync wants two folders\n");
            return 2;
        }
        const std::string folder1 = withSlash(fsys::absolute(options.plain()[0]).lexically_normal().string());
        const auto runs = std::max<std::uint64_t>(1, options.number("runs", 3));
        const bool older = options.number("older", 0) != 0;
        const bool keep = options.number("keep", 1) != 0;
        const bool withRsync = options.number("rsync", 1) != 0;
        const std::string given = withSlash(fsys::absolute(options.plain()[1]).lexically_normal().string());
        fsys::create_directories(given);
        if (!fsys::is_empty(given)) throw std::runtime_error(given + " is not empty");
        const auto latency = options.number("latency-us", 0);
        std::string mountPoint;
        if (latency > 0) {
            mountPoint = makeEmptyFolder();
            const std::string drive = besideThisProgram("quellomir-latency-drive");
            commandSeconds({drive, given, mountPoint, "--writable", "--delay-us", std::to_string(latency),
                            "--attr-timeout", "1"});
        }
        const std::string scratch = latency > 0 ? withSlash(mountPoint) : given;

        // The first round warms the cache and is not counted.
        const std::set<fsys::path> trashBefore = trashEntries(scratch);
        SyncFigures ours;
        double cpSeconds = 1e9, cpFlushSeconds = 1e9, rsyncSeconds = 1e9, rsyncFlushSeconds = 1e9;
        for (std::uint64_t run = 0; run <= runs; ++run) {
            const std::string folder2 = scratch + "quellomir-" + std::to_string(run) + "/";
            const std::string cpFolder = scratch + "cp-" + std::to_string(run);
            fsys::create_directory(folder2);
            if (older) {
                fillWithOlderCopies(folder1, folder2);
                fillWithOlderCopies(folder1, cpFolder);
            }
            settle();
            const SyncFigures figures =
                inChildProcess<SyncFigures>([&] { return compareAndSync(folder1, folder2, keep); });
            settle();
            // Into an empty folder, or over the older copies.
            const double copied =
                commandSeconds({"cp", "-r", "--preserve=timestamps", older ? folder1 + "." : folder1,
                                older ? cpFolder + "/" : cpFolder});
            const double flushed = copied + commandSeconds({"sync", "-f", cpFolder});
            double rsynced = 0, rsyncFlushed = 0;
            if (withRsync) {
                const std::string rsyncFolder = scratch + "rsync-" + std::to_string(run) + "/";
                if (older) fillWithOlderCopies(folder1, rsyncFolder);
                settle();
                std::vector<std::string> rsync = {"rsync", "-rt"};
                if (older && keep)
                    rsync.insert(rsync.end(), {"--backup", "--backup-dir=" + scratch + "rsync-kept-" +
                                                               std::to_string(run)});
                rsync.insert(rsync.end(), {folder1, rsyncFolder});
                rsynced = commandSeconds(rsync);
                rsyncFlushed = rsynced + commandSeconds({"sync", "-f", rsyncFolder});
            }
            emptyTrashOfRuns(scratch, trashBefore);
            // One run's copies at a time: 10 x 100 MB three ways, five times over, would not fit
            // on a 16 GB image.
            for (const std::string& made : {folder2, cpFolder, scratch + "rsync-" + std::to_string(run),
                                            scratch + "rsync-kept-" + std::to_string(run)})
                fsys::remove_all(made);
            ::sync();
            if (run == 0) continue;
            rsyncSeconds = std::min(rsyncSeconds, rsynced);
            rsyncFlushSeconds = std::min(rsyncFlushSeconds, rsyncFlushed);
            if (run == 1 || total(figures) < total(ours)) ours = figures;
            cpSeconds = std::min(cpSeconds, copied);
            cpFlushSeconds = std::min(cpFlushSeconds, flushed);
        }
        emptyFolder(scratch);
        settle();
        if (latency > 0) {
            commandSeconds({"fusermount3", "-u", mountPoint});
            ::rmdir(mountPoint.c_str());
        }

        const double unflushed = ours.compareSeconds + ours.syncSeconds;
        const double flushed = total(ours);
        std::printf("folders         %s -> %s in %s\n", folder1.c_str(),
                    older ? "its older copy" : "an empty folder", scratch.c_str());
        if (latency > 0)
            std::printf("drive           the latency drive, %lld us a request, writes too\n",
                        static_cast<long long>(latency));
        if (older) std::printf("replaced files  %s\n", keep ? "kept in the Trash" : "let go");
        std::printf("rows            %llu (%llu failed)\n", static_cast<unsigned long long>(ours.rows),
                    static_cast<unsigned long long>(ours.failedRows));
        std::printf("bytes           %llu (%.1f MB)\n", static_cast<unsigned long long>(ours.bytes),
                    double(ours.bytes) / 1e6);
        std::printf(
            "compare+sync    %.3f s   (best of %llu; compare %.3f s, rows %.3f s; before the final flush)\n",
            unflushed, static_cast<unsigned long long>(runs), ours.compareSeconds, ours.syncSeconds);
        std::printf("final flush     %.3f s   (the flush of the end of the run, then the copies' times)\n",
                    ours.flushSeconds);
        std::printf("whole run       %.3f s   flushed to the disk\n", flushed);
        std::printf("cp              %.3f s   cp -r --preserve=timestamps DIR1 EMPTY\n", cpSeconds);
        std::printf("cp + sync -f    %.3f s   the same, then flushed to the disk\n", cpFlushSeconds);
        if (withRsync) {
            std::printf("rsync           %.3f s   rsync -rt%s DIR1/ EMPTY/\n", rsyncSeconds,
                        older && keep ? " --backup --backup-dir=KEPT" : "");
            std::printf("rsync + sync -f %.3f s   the same, then flushed to the disk\n", rsyncFlushSeconds);
        }
        std::printf("ratio           %.2f     before the final flush, to cp\n", ratio(unflushed, cpSeconds));
        std::printf("                %.2f     the rows alone, to cp\n", ratio(ours.syncSeconds, cpSeconds));
        std::printf("                %.2f     the whole run, to cp + sync -f\n",
                    ratio(flushed, cpFlushSeconds));
        if (withRsync)
            std::printf("                %.2f     the whole run, to rsync + sync -f\n",
                        ratio(flushed, rsyncFlushSeconds));
        std::printf("peak memory     %ld KiB\n", ours.peakKilobytes);
        std::printf("rows left       %llu   planned by a comparison right after the run\n",
                    static_cast<unsigned long long>(ours.rowsLeft));
        return ours.failedRows == 0 ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "sync: %s\n", failure.what());
        return 1;
    }
}

} // namespace quellomir::bench
