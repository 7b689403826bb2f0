#include "files/folder_listing.h"

#include "fs/posix_file_system.h"
#include "scan/folder_scan.h"
#include "support/faulty_file_system.h"
#include "support/recording_report.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

namespace quellomir {
namespace {

using testing::FaultyFileSystem;
using testing::ForwardingFileSystem;
using testing::RecordingReport;
using testing::TempFolder;

// Counts how often folders are read, as opposed to entries merely stat'ed.
class ReadCounter final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override {
        ++reads;
        return m_inner.listFolder(folder, statKinds, visit);
    }
    int reads = 0;
};

// Scans `seed` and lists every folder found, with or without the scan's memo.
FileList scanAndList(FileSystem& fs, const std::string& seed, bool withMemo) {
    CodePage codePage(1252);
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list{{seed}, {}};
    GetSubDirectories2016(list.folders, true, fs, codePage, report, yielder, withMemo ? &memo : nullptr);
    list.files.reserve(memo.entries());
    for (std::uint32_t folder = 0; folder < list.folders.size(); ++folder)
        appendFolderFiles(fs, codePage, list, folder, NameFilter::NoTilde, withMemo ? &memo : nullptr);
    EXPECT_EQ(memo.entries(), 0u) << "names kept for folders that were never listed";
    return list;
}

class ListingMemoTest : public ::testing::Test {
  protected:
    ListingMemoTest() {
        tmp.file("R/plain");
        tmp.file("R/.hidden");
        tmp.file("R/~lock");
        tmp.file("R/cyr\xD0\x96");
        tmp.fifo("R/pipe");
        tmp.link("R/to-plain", tmp / "R/plain");
        tmp.link("R/dangling", tmp / "nowhere");
        tmp.link("R/to-sub", tmp / "R/sub");
        for (int i = 0; i < 40; ++i)
            tmp.file("R/sub/f" + std::to_string(i));
        tmp.file("R/sub/deeper/last");
    }
    TempFolder tmp;
    PosixFileSystem real;
};

TEST_F(ListingMemoTest, GivesWhatReadingTheFoldersAgainGives) {
    FileList again = scanAndList(real, tmp / "R/", false);
    FileList memo = scanAndList(real, tmp / "R/", true);
    EXPECT_EQ(memo.folders, again.folders);
    ASSERT_EQ(memo.files.size(), again.files.size());
    EXPECT_EQ(memo.files.size(), 1u + 1 + 1 + 40 + 1); // plain, .hidden, to-plain, sub/*, deeper/last
    for (std::size_t i = 0; i < memo.files.size(); ++i) {
        EXPECT_EQ(memo.path(i), again.path(i));
        EXPECT_EQ(memo.files[i].modified.seconds, again.files[i].modified.seconds);
        EXPECT_EQ(memo.files[i].modified.nanoseconds, again.files[i].modified.nanoseconds);
    }
}

TEST_F(ListingMemoTest, ReadsEachFolderOnce) {
    ReadCounter counted(real);
    FileList list = scanAndList(counted, tmp / "R/", true);
    EXPECT_EQ(counted.reads, static_cast<int>(list.folders.size()));
}

TEST_F(ListingMemoTest, AFileGoneSinceTheScanIsLeftOut) {
    CodePage codePage(1252);
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list{{tmp / "R/"}, {}};
    GetSubDirectories2016(list.folders, true, real, codePage, report, yielder, &memo);
    ASSERT_EQ(::unlink((tmp / "R/plain").c_str()), 0);
    appendFolderFiles(real, codePage, list, 0, NameFilter::All, &memo);
    // The link to it dangles now, too; what stays is .hidden and ~lock.
    std::vector<std::string> names;
    for (const ListedFile& file : list.files)
        names.push_back(file.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "~lock"}));
}

TEST_F(ListingMemoTest, AFolderTheScanReadOnlyInPartIsReadAgain) {
    FaultyFileSystem fs(real);
    fs.failListingAfter(tmp / "R/sub/", 5, EIO);
    CodePage codePage(1252);
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list{{tmp / "R/"}, {}};
    GetSubDirectories2016(list.folders, true, fs, codePage, report, yielder, &memo);
    std::uint32_t sub = 0;
    while (list.folders[sub] != tmp / "R/sub/")
        ++sub;
    // Reading it again fails the same way, and the failure is passed on.
    EXPECT_THROW(appendFolderFiles(fs, codePage, list, sub, NameFilter::All, &memo), std::system_error);
    EXPECT_TRUE(list.files.empty());
}

TEST_F(ListingMemoTest, ListingFaultsReachFoldersTakenFromTheMemo) {
    FaultyFileSystem fs(real);
    CodePage codePage(1252);
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list{{tmp / "R/"}, {}};
    GetSubDirectories2016(list.folders, true, fs, codePage, report, yielder, &memo);
    fs.failPath(FaultyFileSystem::Operation::ListFolder, tmp / "R/", EIO);
    EXPECT_THROW(appendFolderFiles(fs, codePage, list, 0, NameFilter::All, &memo), std::system_error);
    EXPECT_TRUE(list.files.empty());
}

} // namespace
} // namespace quellomir
