#include "files/folder_listing.h"
#include "scan/folder_scan.h"

#include "fs/posix_file_system.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/recording_report.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <thread>

#include <dirent.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <system_error>

namespace quellomir {
namespace {

using testing::FakeDrive;
using testing::TempFolder;

// Listings that come back after a random wait, so that those made on several threads finish
// in another order than they were asked for.
const FakeDrive::Options Shuffled{.listingJitter = std::chrono::microseconds(1500)};

// Ends the run, as closing the window does, at its `turns`th turn.
struct Closed {};
class ClosingAfter final : public Yielder {
  public:
    explicit ClosingAfter(int turns) : m_turns(turns) {}
    void tick() override {
        if (--m_turns == 0) throw Closed{};
    }

  private:
    int m_turns;
};

struct Scanned {
    FileList files;
    std::vector<int> reportLines;
};

Scanned scan(FileSystem& fs, const std::string& seed, unsigned threads, Yielder& yielder) {
    const CodePage codePage;
    testing::RecordingReport report;
    ListingMemo memo;
    Scanned scanned;
    scanned.files.folders = {seed};
    GetSubDirectories2016(scanned.files.folders, true, fs, codePage, report, yielder, &memo, threads);
    scanned.reportLines = report.lines();
    for (std::uint32_t folder = 0; folder < scanned.files.folders.size(); ++folder) {
        try {
            appendFolderFiles(fs, codePage, scanned.files, folder, NameFilter::NoTilde, &memo);
        } catch (const std::system_error&) {
            scanned.reportLines.push_back(-int(folder)); // the compare run reports it at its own line
        }
    }
    return scanned;
}

int threadsOfThisProcess() {
    int count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks))
            count += entry->d_name[0] != '.';
        ::closedir(tasks);
    }
    return count;
}

TEST(ParallelScan, GivesTheSingleThreadedFoldersFilesAndReportsWhateverOrderListingsFinishIn) {
    for (unsigned seed : {1u, 2u, 3u}) {
        TempFolder tmp;
        std::mt19937 random(seed);
        std::vector<std::string> folders{"R/"};
        for (int i = 0; i < 60; ++i) {
            const std::string& parent =
                folders[std::uniform_int_distribution<std::size_t>(0, folders.size() - 1)(random)];
            folders.push_back(parent + "d" + std::to_string(i) + "/");
            for (int f = 0; f < int(random() % 4); ++f)
                tmp.file(folders.back() + "f" + std::to_string(f), std::string(random() % 5000, 'x'));
        }
        const std::string broken = tmp / folders[random() % folders.size()];
        PosixFileSystem real;
        NoYield noYield;
        FakeDrive shuffled(real, Shuffled);
        testing::FaultyFileSystem drive(shuffled);
        drive.failPath(testing::FaultyFileSystem::Operation::ListFolder, broken, EIO);
        const Scanned one = scan(drive, tmp / "R/", 0, noYield);
        const Scanned many = scan(drive, tmp / "R/", 8, noYield);
        EXPECT_EQ(many.files.folders, one.files.folders) << seed;
        ASSERT_EQ(many.files.size(), one.files.size()) << seed;
        // Each file with its facts as the drive holds them, whichever way its listing went.
        for (std::size_t i = 0; i < one.files.size(); ++i) {
            EXPECT_EQ(many.files.path(i), one.files.path(i)) << seed;
            FileFacts truth;
            ASSERT_EQ(real.stat(one.files.path(i), Follow::Yes, truth), 0);
            for (const Scanned* scanned : {&one, &many}) {
                EXPECT_EQ(scanned->files.file(i).size(), std::uint64_t(truth.size)) << one.files.path(i);
                EXPECT_EQ(scanned->files.file(i).modified(), truth.modified) << one.files.path(i);
            }
        }
        EXPECT_EQ(one.reportLines.size(), 1u) << seed; // the folder that cannot be listed, once
        EXPECT_EQ(many.reportLines, one.reportLines) << seed;
    }
}

TEST(ParallelScan, ClosingTheWindowMidScanEndsEveryThread) {
    TempFolder tmp;
    for (int i = 0; i < 40; ++i)
        tmp.file("R/d" + std::to_string(i) + "/e/f");
    PosixFileSystem real;
    FakeDrive drive(real, Shuffled);
    // A thread started and ended first: ThreadSanitizer starts a thread of its own with the
    // process's second one, which is no thread of the scan's.
    std::thread([] {}).join();
    const int before = threadsOfThisProcess();
    ClosingAfter closing(10);
    EXPECT_THROW(scan(drive, tmp / "R/", 8, closing), Closed);
    // A joined thread may still be listed for a moment while the kernel finishes its exit.
    int after = threadsOfThisProcess();
    for (int turn = 0; turn < 10'000 && after > before; ++turn, after = threadsOfThisProcess())
        std::this_thread::yield();
    EXPECT_EQ(after, before);
}

} // namespace
} // namespace quellomir
