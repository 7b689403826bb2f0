#include "fs/posix_file_system.h"

#include "fs/fat_times.h"
#include "fs/mount_table.h"

#include "files/new_file.h"
#include "files/write_folder.h"
#include "support/fifo_watchdog.h"
#include "support/new_file_kinds.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace quellomir {
namespace {

using testing::TempFolder;

std::map<std::string, FolderEntry> listAll(FileSystem& fs, const std::string& folder, unsigned statKinds,
                                           int& result) {
    std::map<std::string, FolderEntry> entries;
    result = fs.listFolder(folder, statKinds, [&](const FolderEntry& entry) {
        FolderEntry copy = entry;
        copy.name = {};
        entries.emplace(std::string(entry.name), copy);
    });
    return entries;
}

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(PosixFileSystemListing, GivesKindsAndStatsOnlyTheKindsAskedFor) {
    TempFolder tmp;
    tmp.file("plain", "abc");
    tmp.folder("sub");
    tmp.link("to-plain", "plain");
    tmp.link("dangling", "nowhere");
    tmp.fifo("pipe");
    PosixFileSystem fs;
    int result = -1;
    auto entries = listAll(fs, tmp.path(), stat_kinds::Regular | stat_kinds::Link, result);

    ASSERT_EQ(result, 0);
    ASSERT_EQ(entries.size(), 5u); // no "." or ".."
    EXPECT_EQ(entries["plain"].kind, EntryKind::Regular);
    EXPECT_TRUE(entries["plain"].statted);
    EXPECT_EQ(entries["plain"].facts.size, 3);
    EXPECT_EQ(entries["sub"].kind, EntryKind::Folder);
    EXPECT_FALSE(entries["sub"].statted);
    EXPECT_EQ(entries["to-plain"].kind, EntryKind::Link);
    EXPECT_EQ(entries["to-plain"].statError, 0);
    EXPECT_EQ(entries["to-plain"].facts.kind, EntryKind::Regular); // the link was followed
    EXPECT_EQ(entries["dangling"].statError, ENOENT);
    EXPECT_EQ(entries["pipe"].kind, EntryKind::Other);
    EXPECT_FALSE(entries["pipe"].statted);
}

TEST(PosixFileSystemListing, FailsWithTheOsErrorForMissingFilesAndFifos) {
    TempFolder tmp;
    PosixFileSystem fs;
    int calls = 0;
    auto count = [&](const FolderEntry&) { ++calls; };
    EXPECT_EQ(fs.listFolder(tmp / "missing", stat_kinds::None, count), ENOENT);
    EXPECT_EQ(fs.listFolder(tmp.file("file"), stat_kinds::None, count), ENOTDIR);
    std::string pipe = tmp.fifo("pipe");
    testing::FifoWatchdog watchdog(pipe);
    EXPECT_EQ(fs.listFolder(pipe, stat_kinds::None, count), ENOTDIR);
    EXPECT_FALSE(watchdog.fired()) << "the FIFO was opened";
    EXPECT_EQ(calls, 0);
}

TEST(PosixFileSystemListing, ListsManyEntriesAcrossSeveralBuffers) {
    TempFolder tmp;
    for (int i = 0; i < 3000; ++i)
        tmp.file("a-rather-long-file-name-to-fill-the-buffer-" + std::to_string(i));
    PosixFileSystem fs;
    int result = -1;
    EXPECT_EQ(listAll(fs, tmp.path(), stat_kinds::Regular, result).size(), 3000u);
    EXPECT_EQ(result, 0);
}

TEST(PosixFileSystemStat, FollowsLinksOnlyWhenAsked) {
    TempFolder tmp;
    tmp.folder("dir");
    tmp.link("link", "dir");
    PosixFileSystem fs;
    FileFacts followed, own;
    ASSERT_EQ(fs.stat(tmp / "link", Follow::Yes, followed), 0);
    ASSERT_EQ(fs.stat(tmp / "link", Follow::No, own), 0);
    EXPECT_EQ(followed.kind, EntryKind::Folder);
    EXPECT_EQ(own.kind, EntryKind::Link);
    FileFacts dir;
    ASSERT_EQ(fs.stat(tmp / "dir", Follow::Yes, dir), 0);
    EXPECT_EQ(followed.inode, dir.inode);
    EXPECT_EQ(fs.stat(tmp / "missing", Follow::Yes, dir), ENOENT);
}

TEST(PosixFileSystemStat, RootIsAMountRootAndATempFolderIsNot) {
    TempFolder tmp;
    PosixFileSystem fs;
    FileFacts facts;
    ASSERT_EQ(fs.stat("/", Follow::Yes, facts), 0);
    EXPECT_TRUE(facts.mountRoot);
    ASSERT_EQ(fs.stat(tmp.folder("inner"), Follow::Yes, facts), 0);
    EXPECT_FALSE(facts.mountRoot);
}

TEST(PosixFileSystemMounts, TheMountTableNamesTheTypeAndTellsFatFromExfat) {
    PosixFileSystem fs;
    std::string type;
    ASSERT_EQ(fs.mountType("/proc/self", type), 0);
    EXPECT_EQ(type, "proc");
    // Optional fields stand before the "-" that comes before the type.
    EXPECT_EQ(mountTypeById(
                  "41 22 0:52 / /media/my\\040stick rw master:1 shared:2 - fuse.fusefat /dev/sdc1 rw\n", 41),
              "fuse.fusefat");
    EXPECT_TRUE(isFatMountType("msdos") && isFatMountType("fuseblk.fusefat"));
    EXPECT_FALSE(isFatMountType("exfat") || isFatMountType("fuseblk.exfat") || isFatMountType("fuse"));
}

// New files without names where the disk allows them, and with "~" names as on FAT or a
// network drive.
class PosixNewFileTest : public ::testing::TestWithParam<PosixFileSystem::NewFiles> {
  protected:
    TempFolder tmp;
    PosixFileSystem fs{GetParam()};

    bool named() { return testing::hasTildeNames(GetParam(), tmp.folder("dst")); }
    WriteFolder& dst() {
        if (!m_dst.handle.open()) {
            EXPECT_EQ(openWriteFolder(fs, tmp.folder("dst"), m_dst), 0);
        }
        return m_dst;
    }

  private:
    WriteFolder m_dst;

  protected:
    std::vector<std::string> names(const std::string& folder) {
        std::vector<std::string> found;
        fs.listFolder(folder, stat_kinds::None, [&](const FolderEntry& e) { found.emplace_back(e.name); });
        std::sort(found.begin(), found.end());
        return found;
    }
};

INSTANTIATE_TEST_SUITE_P(BothKinds, PosixNewFileTest, testing::bothNewFileKinds(), testing::newFileKindName);

TEST_P(PosixNewFileTest, ACopyGetsTimesModeAndThenReplacesTheTargetInOneStep) {
    const std::string source = tmp.file("src/data.bin", std::string(300000, 'x') + "end");
    const std::string target = tmp.file("dst/data.bin", "old");
    NewFile made;
    ASSERT_EQ(copyToNewFile(fs, source, Follow::Yes, dst(), made), 0);
    const std::vector<std::string> during = names(tmp / "dst");
    if (named()) {
        ASSERT_EQ(during.size(), 2u);
        EXPECT_EQ(during[1].front(), '~'); // sorts after "data.bin"
        EXPECT_EQ(contentsOf(tmp / "dst/" + during[1]), contentsOf(source));
    } else {
        EXPECT_EQ(during, std::vector<std::string>{"data.bin"}); // no name until it is named
    }
    EXPECT_EQ(contentsOf(target), "old");

    const FileTime when{1'500'000'000, 123'456'789};
    EXPECT_EQ(setModified(fs, made, when), 0);
    EXPECT_EQ(setMode(fs, made, 0640), 0);
    EXPECT_EQ(syncFile(fs, made), 0);
    EXPECT_EQ(nameNewFile(fs, made, "data.bin", Replace::Yes), 0);
    EXPECT_EQ(fs.flush(dst().handle), 0);

    FileFacts facts;
    ASSERT_EQ(fs.stat(target, Follow::No, facts), 0);
    EXPECT_EQ(facts.modified.seconds, when.seconds);
    EXPECT_EQ(facts.modified.nanoseconds, when.nanoseconds);
    EXPECT_EQ(facts.mode, 0640u);
    EXPECT_EQ(facts.inode, made.inode);
    EXPECT_EQ(contentsOf(target), contentsOf(source));
    EXPECT_EQ(names(tmp / "dst"), std::vector<std::string>{"data.bin"});
}

TEST_P(PosixNewFileTest, ANameThatIsTakenIsRefusedAndTheCopyCanBeNamedElsewhere) {
    const std::string source = tmp.file("src/a.txt", "new");
    tmp.file("dst/taken.txt", "kept");
    tmp.link("dst/dangling", tmp / "nowhere");
    NewFile made;
    ASSERT_EQ(copyToNewFile(fs, source, Follow::Yes, dst(), made), 0);
    EXPECT_EQ(nameNewFile(fs, made, "taken.txt", Replace::No), EEXIST);
    EXPECT_EQ(nameNewFile(fs, made, "dangling", Replace::No), EEXIST);
    EXPECT_EQ(contentsOf(tmp / "dst/taken.txt"), "kept");
    EXPECT_FALSE(std::filesystem::exists(tmp / "nowhere"));
    EXPECT_EQ(nameNewFile(fs, made, "free.txt", Replace::No), 0);
    EXPECT_EQ(contentsOf(tmp / "dst/free.txt"), "new");
    EXPECT_EQ(names(tmp / "dst"), (std::vector<std::string>{"dangling", "free.txt", "taken.txt"}));
}

TEST_P(PosixNewFileTest, ANewFileDiscardedOrLeftUnnamedLeavesNothing) {
    const std::string source = tmp.file("src/a.txt", "new");
    tmp.folder("dst");
    {
        NewFile made;
        ASSERT_EQ(copyToNewFile(fs, source, Follow::Yes, dst(), made), 0);
        EXPECT_EQ(discardNewFile(fs, made), 0);
        EXPECT_EQ(made.fs, nullptr);
    }
    {
        NewFile made;
        ASSERT_EQ(copyToNewFile(fs, source, Follow::Yes, dst(), made), 0);
        // A failed naming leaves it as it was, and going out of scope removes it.
        EXPECT_EQ(nameNewFile(fs, made, "no-such-folder/a.txt", Replace::No), ENOENT);
    }
    EXPECT_TRUE(names(tmp / "dst").empty());
}

TEST_P(PosixNewFileTest, CopyRefusesFoldersFifosAndMissingSourcesLeavingNothing) {
    tmp.folder("dst");
    NewFile made;
    std::string pipe = tmp.fifo("pipe");
    testing::FifoWatchdog watchdog(pipe);
    EXPECT_EQ(copyToNewFile(fs, pipe, Follow::Yes, dst(), made), EINVAL);
    EXPECT_FALSE(watchdog.fired()) << "the FIFO was opened";
    EXPECT_EQ(copyToNewFile(fs, tmp.folder("dir"), Follow::Yes, dst(), made), EISDIR);
    EXPECT_EQ(copyToNewFile(fs, tmp / "missing", Follow::Yes, dst(), made), ENOENT);
    WriteFolder missing;
    EXPECT_EQ(openWriteFolder(fs, tmp / "no-such-folder", missing), ENOENT);
    EXPECT_EQ(openWriteFolder(fs, tmp.file("a", "a"), missing), ENOTDIR);
    EXPECT_EQ(made.fs, nullptr);
    EXPECT_TRUE(names(tmp / "dst").empty());
}

TEST(PosixFileSystemWrite, UnlinkAndSetModifiedReportTheOsError) {
    TempFolder tmp;
    PosixFileSystem fs;
    WriteFolder folder;
    ASSERT_EQ(openWriteFolder(fs, tmp.path(), folder), 0);
    EXPECT_EQ(fs.unlinkAt(folder.handle, "missing"), ENOENT);
    tmp.file("f");
    EXPECT_EQ(fs.setModified(folder.handle, "f", FileTime{}), EINVAL); // an unknown time is not set
    EXPECT_EQ(fs.unlinkAt(folder.handle, "f"), 0);
    FileFacts facts;
    EXPECT_EQ(fs.stat(tmp / "f", Follow::No, facts), ENOENT);
}

} // namespace
} // namespace quellomir
