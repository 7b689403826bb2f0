#include "files/folder_listing.h"

#include "fs/posix_file_system.h"
#include "scan/folder_scan.h"
#include "support/faulty_file_system.h"
#include "support/pinned_environment.h"
#include "support/recording_report.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace quellomir {
namespace {

using testing::FaultyFileSystem;
using testing::RecordingReport;
using testing::TempFolder;

// Scans `seed` and lists every folder found, with or without the scan's memo.
FileList scanAndList(FileSystem& fs, const std::string& seed, bool withMemo) {
    CodePage codePage;
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list;
    list.folders = {seed};
    GetSubDirectories2016(list.folders, true, fs, codePage, report, yielder, withMemo ? &memo : nullptr);
    list.reserve(memo.entries(), memo.nameBytes());
    for (std::uint32_t folder = 0; folder < list.folders.size(); ++folder)
        appendFolderFiles(fs, codePage, list, folder, NameFilter::NoTilde, withMemo ? &memo : nullptr);
    EXPECT_EQ(memo.entries(), 0u) << "names kept for folders that were never listed";
    EXPECT_EQ(memo.nameBytes(), 0u);
    return list;
}

class ListingMemoTest : public ::testing::Test {
  protected:
    ListingMemoTest() {
        tmp.file("R/plain");
        tmp.file("R/.hidden");
        tmp.file("R/~lock");
        tmp.file("R/bad\xFF"); // a name not carried
        tmp.fifo("R/pipe");
        tmp.link("R/to-plain", tmp / "R/plain");
        tmp.link("R/dangling", tmp / "nowhere");
        tmp.link("R/to-sub", tmp / "R/sub");
        for (int i = 0; i < 40; ++i)
            tmp.file("R/sub/f" + std::to_string(i), std::string(std::size_t(i) * i * 7, 's'));
        // Sizes in every width the listing packs them in, up to a terabyte of holes.
        ::truncate(tmp.file("R/sub/deeper/last").c_str(), std::int64_t{1} << 40);
        // A time past what the memo packs (the year 2400, which ext4 keeps): looked at again.
        testing::setTime(tmp.file("R/sub/deeper/far-future"), {13'569'465'600, 5});
    }
    TempFolder tmp;
    PosixFileSystem real;
};

TEST_F(ListingMemoTest, GivesWhatReadingTheFoldersAgainGives) {
    FileList again = scanAndList(real, tmp / "R/", false);
    FileList memo = scanAndList(real, tmp / "R/", true);
    EXPECT_EQ(memo.folders, again.folders);
    ASSERT_EQ(memo.size(), again.size());
    EXPECT_EQ(memo.size(), 1u + 1 + 1 + 40 + 2); // plain, .hidden, to-plain, sub/*, deeper/*
    for (std::size_t i = 0; i < memo.size(); ++i) {
        EXPECT_EQ(memo.path(i), again.path(i));
        EXPECT_EQ(memo.file(i).modified().seconds, again.file(i).modified().seconds);
        EXPECT_EQ(memo.file(i).modified().nanoseconds, again.file(i).modified().nanoseconds);
        EXPECT_EQ(memo.file(i).size(), again.file(i).size()) << memo.path(i);
    }
}

TEST(ListingMemo, CountsTheNameBytesOfWhatItStillKeeps) {
    ListedNames first, second;
    first.add(EntryKind::Regular, "abc");
    first.add(EntryKind::Link, "");
    first.add(EntryKind::Regular, "\xC3\x84x");
    second.add(EntryKind::Other, "de");
    EXPECT_EQ(first.nameBytes(), 6u);
    ListingMemo memo;
    memo.keep("/f/", first);
    memo.keep("/g/", second);
    EXPECT_EQ(memo.entries(), 4u);
    EXPECT_EQ(memo.nameBytes(), 8u);
    EXPECT_FALSE(memo.take("/h/"));
    EXPECT_EQ(memo.nameBytes(), 8u);
    ASSERT_TRUE(memo.take("/f/"));
    EXPECT_EQ(memo.entries(), 1u);
    EXPECT_EQ(memo.nameBytes(), 2u);
}

std::vector<std::pair<EntryKind, std::string>> entriesOf(const ListedNames& names) {
    std::vector<std::pair<EntryKind, std::string>> entries;
    names.forEach([&](EntryKind kind, std::string_view name) { entries.emplace_back(kind, name); });
    return entries;
}

TEST(ListingMemo, GivesBackEachFolderEntriesWhateverTheOrderOfTaking) {
    ListedNames first, second, empty;
    first.add(EntryKind::Regular, "a");
    first.add(EntryKind::Link, "link to a");
    second.add(EntryKind::Regular, "b");
    ListingMemo memo;
    memo.keep("/f/", first);
    memo.keep("/e/", empty);
    memo.keep("/g/", second);
    const auto g = memo.take("/g/");
    ASSERT_TRUE(g);
    EXPECT_EQ(entriesOf(*g), entriesOf(second));
    EXPECT_FALSE(memo.take("/g/")) << "taken twice";
    const auto f = memo.take("/f/");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size(), 2u);
    EXPECT_EQ(entriesOf(*f), entriesOf(first));
    const auto e = memo.take("/e/");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->size(), 0u);
    EXPECT_EQ(memo.entries(), 0u);
}

TEST(ListingMemo, AFolderKeptAgainReplacesWhatWasKeptOfIt) {
    ListedNames before, after;
    before.add(EntryKind::Regular, "old one");
    before.add(EntryKind::Regular, "old two");
    after.add(EntryKind::Regular, "new");
    ListingMemo memo;
    memo.keep("/f/", before);
    memo.keep("/f/", after);
    EXPECT_EQ(memo.entries(), 1u);
    EXPECT_EQ(memo.nameBytes(), 3u);
    const auto f = memo.take("/f/");
    ASSERT_TRUE(f);
    EXPECT_EQ(entriesOf(*f), entriesOf(after));
    EXPECT_EQ(memo.entries(), 0u);
    EXPECT_EQ(memo.nameBytes(), 0u);
}

TEST_F(ListingMemoTest, ItsCountsAreEnoughRoomForTheListing) {
    CodePage codePage;
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list;
    list.folders = {tmp / "R/"};
    GetSubDirectories2016(list.folders, true, real, codePage, report, yielder, &memo);
    const std::size_t entries = memo.entries(), nameBytes = memo.nameBytes();
    for (std::uint32_t folder = 0; folder < list.folders.size(); ++folder)
        appendFolderFiles(real, codePage, list, folder, NameFilter::All, &memo);
    std::size_t listedBytes = 0;
    for (std::size_t i = 0; i < list.size(); ++i)
        listedBytes += list.name(i).size();
    EXPECT_GE(entries, list.size());
    EXPECT_GE(nameBytes, listedBytes);
    EXPECT_GT(listedBytes, 0u);
}

// One pass per folder: its files are stat'ed through the descriptor it is listed through,
// while a network drive's facts of them are fresh, and it is never opened again.
TEST_F(ListingMemoTest, OpensEachFolderOnce) {
    FaultyFileSystem counted(real); // counts listings and the stats of listed names alike
    const testing::PinnedEnvironment dataHome("XDG_DATA_HOME", tmp.path().c_str());
    FileList list = scanAndList(counted, tmp / "R/", true);
    // Once each, but the one whose far-future time the memo cannot pack.
    EXPECT_EQ(counted.calls(FaultyFileSystem::Operation::ListFolder),
              static_cast<int>(list.folders.size()) + 1);
    // What a listing told of a folder is not asked again by its path: only the seed is.
    // Folder?, its facts, a link?; and where the home Trash is, which is not scanned.
    EXPECT_EQ(counted.calls(FaultyFileSystem::Operation::Stat), 3 + 2);
}

TEST_F(ListingMemoTest, AFolderTheScanReadOnlyInPartIsReadAgain) {
    FaultyFileSystem fs(real);
    fs.failListingAfter(tmp / "R/sub/", 5, EIO);
    CodePage codePage;
    RecordingReport report;
    NoYield yielder;
    ListingMemo memo;
    FileList list;
    list.folders = {tmp / "R/"};
    GetSubDirectories2016(list.folders, true, fs, codePage, report, yielder, &memo);
    std::uint32_t sub = 0;
    while (list.folders[sub] != tmp / "R/sub/")
        ++sub;
    // Reading it again fails the same way, and the failure is passed on.
    EXPECT_THROW(appendFolderFiles(fs, codePage, list, sub, NameFilter::All, &memo), std::system_error);
    EXPECT_TRUE(list.empty());
}

} // namespace
} // namespace quellomir
