// quellomir-bench report [WORK]: every figure of docs/performance.md, taken again in one go.
// It makes the trees, then times each row's commands as whole processes, ours beside the
// standard tool's, interleaved round by round (the order turned each round so that none
// always runs first), and prints one Markdown table of medians with their ranges, the
// machine and its load before and after. The first round of each row warms the cache and is
// not counted. The engine's own figures, taken inside one process, follow apart.
//
// WORK (default /var/tmp/quellomir-report) holds the compare trees, on the disk, so that a
// cold cache means a read from the disk. The syncs run on a fresh ext4 image mounted through
// a loop device (made in /dev/shm where it has the room, for figures the VM's disk flushes
// do not swing), the resumed sync also through exFAT on FUSE, as a stick is mounted; the
// latency rows mount quellomir-latency-drive. Mounting and dropping the cache need root:
// without it those rows say so and the syncs run in WORK. Everything but the trees is
// removed at the end; the trees are kept for the next report (same seed, same trees).

#include "drive_conditions.h"
#include "measure.h"
#include "options.h"
#include "resume.h"
#include "subcommand.h"
#include "tree_generator.h"

#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quellomir::bench {
namespace {

namespace fsys = std::filesystem;
using Command = std::vector<std::string>;

std::string loadText() {
    double load[3] = {};
    ::getloadavg(load, 3);
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

// One contender of a row: the commands of one round, timed together as one figure.
struct Contender {
    Contender(std::string label, std::function<std::vector<Command>(int round)> commands,
              std::function<void(int round)> before = {}, std::function<void(int round)> after = {},
              int allowedExit = 0)
        : label(std::move(label)), commands(std::move(commands)), before(std::move(before)),
          after(std::move(after)), allowedExit(allowedExit) {}

    std::string label;
    std::function<std::vector<Command>(int round)> commands;
    std::function<void(int round)> before; // untimed: a fresh folder, a dropped cache
    std::function<void(int round)> after;  // untimed: removing what a round wrote
    int allowedExit = 0;                   // `quellomir compare` exits 1 when it plans rows
    std::vector<double> seconds;
    std::vector<double> peakKilobytes;
};

struct Row {
    std::string what;
    std::vector<Contender> contenders; // ours first
    std::string note;                  // after the figures, in the row's last column
};

void measure(Row& row, int rounds, const std::string& scratch) {
    std::fprintf(stderr, "%s ...\n", row.what.c_str());
    for (int round = 0; round <= rounds; ++round)
        for (std::size_t turn = 0; turn < row.contenders.size(); ++turn) {
            Contender& contender = row.contenders[(turn + std::size_t(round)) % row.contenders.size()];
            if (contender.before) contender.before(round);
            double seconds = 0;
            long peak = 0;
            for (const Command& command : contender.commands(round)) {
                const ProcessRun done = runCommand(command, scratch + "/output");
                if (done.exitCode != 0 && done.exitCode != contender.allowedExit)
                    throw std::runtime_error(failureOf(command, done, scratch + "/output"));
                seconds += done.seconds;
                peak = std::max(peak, done.peakKilobytes);
            }
            if (contender.after) contender.after(round);
            if (round == 0) continue;
            contender.seconds.push_back(seconds);
            contender.peakKilobytes.push_back(double(peak));
        }
}

std::string ratioText(const Contender& ours, const Contender& tool) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ×", median(ours.seconds) / median(tool.seconds));
    return text;
}

void printRow(const Row& row) {
    const Contender& ours = row.contenders.front();
    if (ours.seconds.empty()) {
        std::printf("| %s | | | | %s |\n", row.what.c_str(), row.note.c_str());
        return;
    }
    if (row.contenders.size() == 1) {
        std::printf("| %s | %s | | | %s |\n", row.what.c_str(), spread(ours.seconds).c_str(),
                    row.note.c_str());
        return;
    }
    for (std::size_t tool = 1; tool < row.contenders.size(); ++tool) {
        const Contender& other = row.contenders[tool];
        const bool first = tool == 1, last = tool + 1 == row.contenders.size();
        std::printf("| %s | %s | %s %s | %s | %s |\n", first ? row.what.c_str() : "",
                    first ? spread(ours.seconds).c_str() : "", other.label.c_str(),
                    spread(other.seconds).c_str(), ratioText(ours, other).c_str(),
                    last ? row.note.c_str() : "");
    }
}

void dropCache() {
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

bool canDropCache() {
    std::ofstream drop("/proc/sys/vm/drop_caches");
    return static_cast<bool>(drop << "1\n" << std::flush);
}

// A drive made for the report and taken away at its end.
class MountedImage {
  public:
    // `kind` "ext4" or "exfat"; the image of `gigabytes` is made in `imageFolder`.
    MountedImage(const std::string& kind, const std::string& imageFolder, int gigabytes,
                 const std::string& mountPoint)
        : m_image(imageFolder + "/quellomir-report-" + kind + ".img"), m_mountPoint(mountPoint) {
        fsys::create_directories(mountPoint);
        runOrThrow({"truncate", "-s", std::to_string(gigabytes) + "G", m_image});
        if (kind == "ext4") {
            runOrThrow({"mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", m_image});
            runOrThrow({"mount", "-o", "loop", m_image, mountPoint});
        } else {
            runOrThrow({"mkfs.exfat", m_image});
            const std::string output = makeEmptyFolder() + "/loop";
            if (runCommand({"losetup", "-f", "--show", m_image}, output).exitCode != 0)
                throw std::runtime_error("losetup failed");
            std::ifstream(output) >> m_loop;
            fsys::remove_all(fsys::path(output).parent_path());
            runOrThrow({"mount.exfat-fuse", m_loop, mountPoint});
        }
    }
    ~MountedImage() {
        ::sync();
        runCommand({"umount", m_mountPoint}, "/dev/null");
        if (!m_loop.empty()) runCommand({"losetup", "-d", m_loop}, "/dev/null");
        fsys::remove(m_image);
        ::rmdir(m_mountPoint.c_str());
    }
    MountedImage(const MountedImage&) = delete;
    MountedImage& operator=(const MountedImage&) = delete;

  private:
    std::string m_image, m_loop, m_mountPoint;
};

// In a child process: a spawned command's peak memory counts this process's peak until the
// command's exec, and writing a 100 MB file takes a 100 MB buffer.
void makeTrees(const std::string& folder, const TreeShape& shape) {
    const int failed = inChildProcess<int>([&] {
        try {
            generateTrees(folder, shape);
            return 0;
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "%s\n", failure.what());
            return 1;
        }
    });
    if (failed) throw std::runtime_error("cannot make the trees in " + folder);
}

std::string treesOf(const std::string& folder, const TreeShape& shape) {
    if (!fsys::exists(folder + "/side1")) {
        std::fprintf(stderr, "making %s ...\n", folder.c_str());
        fsys::remove_all(folder);
        makeTrees(folder, shape);
    }
    return folder;
}

// The rows that compare two trees: warm, cold, through the latency drive.
std::vector<Row> compareRows(const std::string& work, int rounds, bool root, double& bytesPerFile) {
    const std::string program = besideThisProgram("quellomir");
    const bool withFd = installed("fdfind");
    std::vector<Row> rows;
    TreeShape big;
    big.files = 100'000;
    const std::string trees = treesOf(work + "/compare-100000", big);
    const std::string a = trees + "/side1/", b = trees + "/side2/";
    const auto comparing = [&](const std::string& one, const std::string& two, int allowed) {
        std::vector<Contender> contenders;
        contenders.push_back({"",
                              [=](int) {
                                  return std::vector<Command>{{program, "compare", one, two}};
                              },
                              {},
                              {},
                              allowed});
        if (withFd)
            contenders.push_back({"`fdfind -j 16`", [=](int) {
                                      return std::vector<Command>{{"fdfind", "-j", "16", "-t", "f", "-u",
                                                                   "--changed-before", "2200-01-01", ".", one,
                                                                   two}};
                                  }});
        contenders.push_back(
            {"`find -printf`", [=](int) {
                 return std::vector<Command>{{"find", one, two, "-type", "f", "-printf", "%T@ %p\n"}};
             }});
        return contenders;
    };

    Row warm{"`quellomir compare A B > file`, 2 × 100,000 files in 4,000 folders (5 % missing, extra, "
             "newer; a fifth of the names repeated), warm cache",
             comparing(a, b, 1), ""};
    measure(warm, rounds, work);
    // What a listed file costs: the same process over two empty folders is the floor.
    const std::string empty = makeEmptyFolder();
    Row idle{"", comparing(empty + "/", empty + "/", 0), ""};
    idle.contenders.erase(idle.contenders.begin() + 1, idle.contenders.end());
    measure(idle, 1, work);
    ::rmdir(empty.c_str());
    std::uint64_t listed = 0;
    for (const char* side : {"side1", "side2"})
        for (const fsys::directory_entry& entry : fsys::recursive_directory_iterator(trees + "/" + side))
            listed += entry.is_regular_file();
    bytesPerFile =
        (median(warm.contenders.front().peakKilobytes) - median(idle.contenders.front().peakKilobytes)) *
        1024.0 / double(listed);
    char note[160];
    std::snprintf(note, sizeof note, "peak memory %.0f MB: %.0f bytes per file listed",
                  median(warm.contenders.front().peakKilobytes) / 1024, bytesPerFile);
    warm.note = note;
    rows.push_back(std::move(warm));

    Row cold{"The same, the page cache dropped before each run", comparing(a, b, 1), ""};
    if (root && canDropCache()) {
        for (Contender& contender : cold.contenders)
            contender.before = [](int) { dropCache(); };
        measure(cold, rounds, work);
    } else {
        cold.note = "not measured: dropping the cache needs root";
    }
    rows.push_back(std::move(cold));

    TreeShape small;
    small.files = 20'000;
    small.folders = 800;
    const std::string smallTrees = treesOf(work + "/compare-20000", small);
    Row latency{"The same at 2 × 20,000 files through a drive that waits 1 ms a request, attributes kept 1 s "
                "(`quellomir-latency-drive`)",
                {},
                ""};
    if (root && fsys::exists(besideThisProgram("quellomir-latency-drive")) && fsys::exists("/dev/fuse")) {
        auto drive = std::make_shared<DriveConditions>(false, 1000, 1.0, smallTrees + "/side1/",
                                                       smallTrees + "/side2/");
        latency.contenders =
            comparing(drive->path(smallTrees + "/side1/"), drive->path(smallTrees + "/side2/"), 1);
        for (Contender& contender : latency.contenders)
            contender.before = [drive](int) { drive->prepare(); };
        measure(latency, rounds, work);
    } else {
        latency.contenders = comparing(smallTrees + "/side1/", smallTrees + "/side2/", 1);
        latency.note = "not measured: the latency drive needs root, FUSE and libfuse3";
    }
    rows.push_back(std::move(latency));
    return rows;
}

// Each round of a sync row writes into a fresh folder of `drive`; `keep` rounds' copies stay
// until the row ends (ext4 is slower to reuse inodes freed a moment ago), others go at once.
struct SyncTarget {
    std::string drive;
    std::string folderFor(const std::string& tool, int round) const {
        return drive + "/" + tool + "-" + std::to_string(round);
    }
};

void removeAll(const std::string& drive, const std::string& prefix) {
    for (const fsys::directory_entry& entry : fsys::directory_iterator(drive))
        if (entry.path().filename().string().starts_with(prefix)) fsys::remove_all(entry.path());
    ::sync();
}

Row syncRow(const std::string& what, const std::string& source, const SyncTarget& target, bool older,
            bool removeEachRound, int rounds, const std::string& work) {
    const std::string program = besideThisProgram("quellomir");
    const std::string drive = target.drive;
    const auto fresh = [=](const std::string& tool) {
        return [=](int round) {
            const std::string folder = target.folderFor(tool, round);
            if (older)
                fillWithOlderCopies(source, folder);
            else
                fsys::create_directories(folder);
            ::sync();
        };
    };
    const auto tidy = [=](const std::string& tool) {
        return [=](int round) {
            if (removeEachRound) fsys::remove_all(target.folderFor(tool, round));
        };
    };
    const Command flush{"sync", "-f", drive};
    Row row{what, {}, ""};
    row.contenders.push_back({"",
                              [=](int round) {
                                  return std::vector<Command>{{program, "sync", "--quiet", "--pair-by=path",
                                                               source, target.folderFor("ours", round)}};
                              },
                              fresh("ours"), tidy("ours")});
    row.contenders.push_back({"`cp -r --preserve=timestamps` + `sync -f`",
                              [=](int round) {
                                  return std::vector<Command>{{"cp", "-r", "--preserve=timestamps", "-T",
                                                               source, target.folderFor("cp", round)},
                                                              flush};
                              },
                              fresh("cp"), tidy("cp")});
    if (installed("rsync"))
        row.contenders.push_back(
            {older ? "`rsync -rt --backup --backup-dir` + `sync -f`" : "`rsync -rt` + `sync -f`",
             [=](int round) {
                 Command command{"rsync", "-rt"};
                 if (older) {
                     command.push_back("--backup");
                     command.push_back("--backup-dir=" + drive + "/rsync-kept-" + std::to_string(round));
                 }
                 command.push_back(withSlash(source));
                 command.push_back(target.folderFor("rsync", round));
                 return std::vector<Command>{command, flush};
             },
             fresh("rsync"), tidy("rsync")});
    measure(row, rounds, work);
    for (const char* prefix : {"ours-", "cp-", "rsync-"})
        removeAll(drive, prefix);
    char note[96];
    std::snprintf(note, sizeof note, "peak memory %.0f MB",
                  median(row.contenders.front().peakKilobytes) / 1024);
    row.note = note;
    return row;
}

std::string resumeText(const ResumeFigures& figures) {
    std::string text;
    for (const ResumeFigures::Stop& stop : figures.stops) {
        char line[200];
        std::snprintf(
            line, sizeof line, "%s%.0f %%: %.0f copies in place, the next sync %s = %.2f of the whole",
            text.empty() ? "" : "; ", stop.share * 100, median(stop.copiesLeft),
            spread(stop.nextRunSeconds).c_str(), median(stop.nextRunSeconds) / median(figures.wholeRuns));
        text += line;
    }
    return text;
}

Row resumeRow(const std::string& what, const std::string& source, const std::string& scratch, int rounds) {
    std::fprintf(stderr, "%s ...\n", what.c_str());
    const ResumeFigures figures =
        measureResume(source, scratch, std::uint64_t(rounds), {0.25, 0.5, 0.75}, {});
    Row row{what, {Contender("", {})}, "killed (SIGKILL) at " + resumeText(figures)};
    row.contenders.front().seconds = figures.wholeRuns;
    return row;
}

// The engine alone, inside one process: what the window waits for.
void printEngineFigures(const std::string& compareTrees) {
    const std::string output = makeEmptyFolder() + "/output";
    const auto relay = [&](const Command& command) {
        std::printf("\n    $ %s", command[0].substr(command[0].rfind('/') + 1).c_str());
        for (std::size_t i = 1; i < command.size(); ++i)
            std::printf(" %s", command[i].c_str());
        std::printf("\n");
        const ProcessRun done = runCommand(command, output);
        std::ifstream printed(output);
        for (std::string line; std::getline(printed, line);)
            if (!line.starts_with("QStandardPaths")) std::printf("    %s\n", line.c_str());
        if (done.exitCode != 0) std::printf("    (exit code %d)\n", done.exitCode);
    };
    relay({besideThisProgram("quellomir-bench"), "scan", compareTrees + "/side1", "--runs", "3"});
    relay({besideThisProgram("quellomir-bench"), "compare", compareTrees + "/side1", compareTrees + "/side2",
           "--runs", "3", "--rsync", "0"});
    relay({besideThisProgram("quellomir-bench"), "plan", "--files", "10000,100000,1000000", "--order", "same",
           "--runs", "3"});
    relay({besideThisProgram("quellomir-bench"), "plan", "--files", "10000,100000,1000000", "--order", "all",
           "--runs", "3"});
    if (fsys::exists(besideThisProgram("quellomir-gui-bench"))) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        relay({besideThisProgram("quellomir-gui-bench"), "fill", "1000000"});
    }
    fsys::remove_all(fsys::path(output).parent_path());
}

void printMachine(const std::string& loadBefore) {
    struct utsname system {};
    ::uname(&system);
    std::string cpu = "?";
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.starts_with("model name")) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
    const std::time_t today = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&today));
    std::printf("Taken %s by `quellomir-bench report` on %ld cores (%s), %.0f GB of memory, Linux %s.\n",
                date, ::sysconf(_SC_NPROCESSORS_ONLN), cpu.c_str(), double(pages) * double(pageSize) / 1e9,
                system.release);
    std::printf("Machine load (1, 5, 15 minutes): %s before, %s after.\n", loadBefore.c_str(),
                loadText().c_str());
}

} // namespace

int runReport(std::span<char* const> arguments) {
    try {
        Options options(arguments, {"rounds", "engine"});
        if (options.plain().size() > 1) {
            std::fprintf(stderr, "report wants at most one work folder\n");
            return 2;
        }
        const std::string work =
            fsys::absolute(options.plain().empty() ? "/var/tmp/quellomir-report" : options.plain()[0])
                .lexically_normal()
                .string();
        fsys::create_directories(work);
        const int rounds = int(std::max<std::uint64_t>(1, options.number("rounds", 5)));
        const bool root = ::geteuid() == 0;
        const std::string loadBefore = loadText();

        double bytesPerFile = 0;
        std::vector<Row> rows = compareRows(work, rounds, root, bytesPerFile);

        // The syncs' drive: a fresh ext4 image, in memory where there is room.
        std::string imageFolder = work;
        struct statvfs shm {};
        if (::statvfs("/dev/shm", &shm) == 0 && double(shm.f_bavail) * double(shm.f_frsize) > 12e9)
            imageFolder = "/dev/shm";
        std::string driveText = "the work folder's own drive (mounting an image needs root)";
        std::unique_ptr<MountedImage> ext4;
        std::string drive = work + "/sync";
        if (root) {
            ext4 = std::make_unique<MountedImage>("ext4", imageFolder, 10, work + "/ext4");
            drive = work + "/ext4";
            driveText = "a fresh ext4 image of 10 GB in " + imageFolder + ", loop-mounted";
        }
        fsys::create_directories(drive);
        TreeShape shape;
        shape.repeated = 0;
        shape.folders = 800;
        shape.files = 20'000;
        shape.bytes = 4096;
        makeTrees(drive + "/small", shape);
        rows.push_back(
            syncRow("`quellomir sync --pair-by=path` of 20,000 files of 4 KB in 800 folders into an "
                    "empty folder",
                    drive + "/small/side1", {drive}, false, false, rounds, work));
        shape.files = 10;
        shape.folders = 1;
        shape.bytes = 100 << 20;
        makeTrees(drive + "/large", shape);
        rows.push_back(syncRow("The same with 10 files of 100 MB", drive + "/large/side1", {drive}, false,
                               true, rounds, work));
        shape.files = 2'000;
        shape.folders = 100;
        shape.bytes = 4096;
        const std::string replacing =
            "Replacing 2,000 older files of 4 KB, the replaced ones kept in the Trash";
        if (root) {
            makeTrees(drive + "/older", shape);
            rows.push_back(syncRow(replacing, drive + "/older/side1", {drive}, true, false, rounds, work));
        } else {
            // Off an image of its own, the replaced files would go to the user's own Trash.
            rows.push_back(
                {replacing, {Contender("", {})}, "not measured: it needs an image of its own (root)"});
        }
        fsys::remove_all(drive + "/large");
        fsys::remove_all(drive + "/older");
        fsys::create_directories(drive + "/sparse/side1");
        // 2 GB of which 1 MB holds data, as a disk image or a database file does.
        runOrThrow({"truncate", "-s", "2047M", drive + "/sparse/side1/disk.img"});
        runOrThrow({"sh", "-c", "head -c 1M /dev/urandom >> '" + drive + "/sparse/side1/disk.img'"});
        rows.push_back(syncRow("The same with one sparse file of 2 GB holding 1 MB", drive + "/sparse/side1",
                               {drive}, false, true, rounds, work));
        fsys::remove_all(drive + "/sparse");
        const std::string latencyDrive = besideThisProgram("quellomir-latency-drive");
        if (root && fsys::exists(latencyDrive) && fsys::exists("/dev/fuse")) {
            shape.files = 500;
            shape.folders = 25;
            shape.bytes = 4096;
            makeTrees(drive + "/latency", shape);
            fsys::create_directories(drive + "/latency-target");
            const std::string mountPoint = work + "/latency";
            fsys::create_directories(mountPoint);
            runOrThrow({latencyDrive, drive + "/latency-target", mountPoint, "--writable", "--delay-us",
                        "1000", "--attr-timeout", "1"});
            try {
                rows.push_back(syncRow("500 files of 4 KB in 25 folders into an empty folder through a drive "
                                       "that waits 1 ms a request, writes included",
                                       drive + "/latency/side1", {mountPoint}, false, false, rounds, work));
            } catch (...) {
                runCommand({"fusermount3", "-u", mountPoint}, "/dev/null");
                throw;
            }
            runOrThrow({"fusermount3", "-u", mountPoint});
            fsys::remove_all(drive + "/latency");
            fsys::remove_all(drive + "/latency-target");
        }
        rows.push_back(resumeRow("`quellomir sync` of the 20,000 files of 4 KB (names in one folder's top) "
                                 "killed part way, then run again",
                                 drive + "/small/side1", drive + "/resume", rounds));
        std::string exfatText;
        if (root && installed("mount.exfat-fuse") && installed("mkfs.exfat")) {
            const std::string stick = work + "/exfat";
            MountedImage exfat("exfat", imageFolder, 8, stick);
            shape.files = 2'000;
            shape.folders = 100;
            shape.bytes = 64 << 10;
            makeTrees(drive + "/stick", shape);
            rows.push_back(resumeRow("The same with 2,000 files of 64 KB into exFAT through exfat-fuse, as a "
                                     "stick is mounted",
                                     drive + "/stick/side1", stick + "/resume", rounds));
            fsys::remove_all(drive + "/stick");
        }
        fsys::remove_all(drive + "/small");
        ext4.reset();

        printMachine(loadBefore);
        std::printf(
            "Each figure is the median of %d rounds of whole processes, with its range; within a round "
            "the tools take turns, the order turned each round, after one round that is not counted.\n"
            "Compare trees in %s; syncs on %s.\n\n",
            rounds, work.c_str(), driveText.c_str());
        std::printf(
            "| What | Quellomir | Standard tool | Quellomir ÷ tool | Notes |\n|---|---|---|---|---|\n");
        for (const Row& row : rows)
            printRow(row);
        if (options.number("engine", 1) != 0) {
            std::printf("\nThe engine alone, inside one process (not whole processes):\n");
            printEngineFigures(work + "/compare-100000");
        }
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "report: %s\n", failure.what());
        return 1;
    }
}

} // namespace quellomir::bench
