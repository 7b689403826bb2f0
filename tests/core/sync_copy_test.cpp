#include "sync/safe_file_copy.h"

#include "files/new_file.h"
#include "files/write_folder.h"
#include "fs/posix_file_system.h"
#include "support/new_file_kinds.h"
#include "support/skipping_clock.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/xattr.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::exists;
using testing::modeOf;
using testing::namesIn;
using testing::TempFolder;
using testing::temporaryNamesIn;
using testing::timeOf;

constexpr FileTime SourceTime{1'600'000'000, 123'456'789};

void expectTime(const std::string& path, FileTime time) {
    const FileTime actual = timeOf(path);
    EXPECT_EQ(actual.seconds, time.seconds) << path;
    EXPECT_EQ(actual.nanoseconds, time.nanoseconds) << path;
}

class SafeFileCopyTest : public ::testing::Test {
  protected:
    testing::SkippingClock clock;
    TempFolder tmp;
    PosixFileSystem fs;
    std::string from = tmp.folder("from/");
    std::string to = tmp.folder("to/");
};

TEST_F(SafeFileCopyTest, CopiesContentsTimeToTheNanosecondAndPermissionBits) {
    const std::string source = tmp.file("from/report.txt", std::string(3 << 20, 'r') + "end");
    testing::setTime(source, SourceTime);
    testing::setMode(source, 0751);

    const CopyResult result = SafeFileCopy(fs, source, to + "report.txt");
    ASSERT_TRUE(result.done) << result.reason;
    EXPECT_EQ(contentsOf(to + "report.txt"), contentsOf(source));
    expectTime(to + "report.txt", SourceTime);
    EXPECT_EQ(modeOf(to + "report.txt"), 0751u);
    EXPECT_EQ(namesIn(to), std::vector<std::string>{"report.txt"}); // no temporary file left
    EXPECT_EQ(result.modified.seconds, SourceTime.seconds);
}

// A source saved this very second is copied only once its second is over: a write within
// it, here while the copy waits, could leave the source with the time the copy is given.
TEST_F(SafeFileCopyTest, ASourceWrittenWhileItsCopyWaitsForItsSecondToEndIsNotCopied) {
    const std::string source = tmp.file("from/now.txt", "as read");
    bool waited = false;
    clock.onWait = [&] {
        if (!std::exchange(waited, true)) std::ofstream(source, std::ios::trunc) << "as saved";
    };
    const CopyResult result = SafeFileCopy(fs, source, to + "now.txt");
    EXPECT_TRUE(waited);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.reason, ChangedWhileCopiedReason);
    EXPECT_TRUE(namesIn(to).empty());
}

// A copy has the source's bits as far as the umask lets a new file have them, as cp gives
// them: a stick's rwxrwxrwx does not make a copy everyone's. A source only its owner may read
// is copied all the same.
TEST_F(SafeFileCopyTest, PermissionBitsAreTheSourcesMaskedByTheUmask) {
    const mode_t saved = ::umask(027);
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0777, 0750}, {01755, 01750}, {0400, 0400}};
    for (const auto& [mode, copied] : cases) {
        const std::string name = std::to_string(mode);
        const std::string source = tmp.file("from/" + name, "contents of " + name);
        testing::setMode(source, mode);
        const CopyResult result = SafeFileCopy(fs, source, to + name);
        EXPECT_TRUE(result.done) << name << ": " << result.reason;
        EXPECT_EQ(modeOf(to + name), copied) << name;
    }
    ::umask(saved);
    // The user's extended attributes go with the copy, as with `cp -a`, where the drive keeps them.
    const std::string tagged = tmp.file("from/tagged", "tagged");
    if (::setxattr(tagged.c_str(), "user.colour", "blue", 4, 0) != 0)
        GTEST_SKIP() << "no user attributes here";
    ASSERT_TRUE(SafeFileCopy(fs, tagged, to + "tagged").done);
    char value[8] = {};
    EXPECT_EQ(::getxattr((to + "tagged").c_str(), "user.colour", value, sizeof value), 4);
    EXPECT_STREQ(value, "blue");
}

TEST_F(SafeFileCopyTest, ReplacesAReadOnlyOlderFileAndAnEmptySource) {
    const std::string older = tmp.file("to/a.txt", "the older contents, longer than the new");
    testing::setMode(older, 0444);
    const std::string source = tmp.file("from/a.txt", "new");
    testing::setMode(source, 0640);

    ASSERT_TRUE(SafeFileCopy(fs, source, older).done);
    EXPECT_EQ(contentsOf(older), "new");
    EXPECT_EQ(modeOf(older), 0640u);

    ASSERT_TRUE(SafeFileCopy(fs, tmp.file("from/empty"), older).done);
    EXPECT_EQ(contentsOf(older), "");
    EXPECT_EQ(namesIn(to), std::vector<std::string>{"a.txt"});
}

TEST_F(SafeFileCopyTest, RefusesWithAReasonAndTouchesNothing) {
    const std::string source = tmp.file("from/a.txt", "a");
    struct Case {
        std::string source, destination;
        std::string_view reason;
    };
    const Case cases[] = {
        {"", to + "a.txt", EmptyPathReason},
        {source, "   ", EmptyPathReason},
        {from + "missing.txt", to + "a.txt", SourceMissingReason},
        {from + "a.txt/below", to + "a.txt", SourceMissingReason},
        {from, to + "a.txt", SourceNotAFileReason},
        {tmp.fifo("from/pipe"), to + "pipe", SourceNotAFileReason},
        {source, to + "no/such/folder/a.txt", DestinationFolderMissingReason},
        {source, "a.txt", DestinationFolderMissingReason}, // no folder at all
        {source, to + "a.txt/b.txt", FileInPlaceOfFolderReason},
    };
    tmp.file("to/a.txt", "untouched");
    for (const Case& c : cases) {
        const CopyResult result = SafeFileCopy(fs, c.source, c.destination);
        EXPECT_FALSE(result.done) << c.source << " -> " << c.destination;
        EXPECT_EQ(result.reason, c.reason) << c.source << " -> " << c.destination;
    }
    EXPECT_FALSE(exists(to + "no")); // no folder is ever created
    EXPECT_EQ(namesIn(to), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(contentsOf(to + "a.txt"), "untouched");
}

TEST_F(SafeFileCopyTest, SpacesCountOnlyForTheEmptyTestAndDoubledSeparatorsAreTidied) {
    const std::string source = tmp.file("from/ spaced .txt", "s");
    ASSERT_TRUE(SafeFileCopy(fs, source, to + " spaced .txt").done);
    EXPECT_EQ(contentsOf(to + " spaced .txt"), "s");

    ASSERT_TRUE(SafeFileCopy(fs, tmp.path() + "from//" + " spaced .txt", tmp.path() + "/to//b.txt").done);
    EXPECT_EQ(contentsOf(to + "b.txt"), "s");
}

TEST_F(SafeFileCopyTest, QuestionMarkAndStarAreOrdinaryNameCharacters) {
    tmp.file("from/a1.txt", "not planned");
    tmp.file("from/ab.txt", "not planned");
    const std::string source = tmp.file("from/a?.txt", "question");
    tmp.file("from/*.txt", "star");

    ASSERT_TRUE(SafeFileCopy(fs, source, to + "a?.txt").done);
    ASSERT_TRUE(SafeFileCopy(fs, from + "*.txt", to + "*.txt").done);
    EXPECT_EQ(namesIn(to), (std::vector<std::string>{"*.txt", "a?.txt"}));
    EXPECT_EQ(contentsOf(to + "a?.txt"), "question");
    EXPECT_EQ(contentsOf(to + "*.txt"), "star");

    // A pattern that names no file is a missing source, not a search.
    EXPECT_EQ(SafeFileCopy(fs, from + "a*", to + "a*").reason, SourceMissingReason);
}

TEST_F(SafeFileCopyTest, ALinkSourceIsCopiedAsTheFileItPointsTo) {
    const std::string target = tmp.file("elsewhere/real.txt", "real contents");
    testing::setTime(target, SourceTime);
    const std::string link = tmp.link("from/link.txt", target);

    ASSERT_TRUE(SafeFileCopy(fs, link, to + "link.txt").done);
    EXPECT_EQ(contentsOf(to + "link.txt"), "real contents");
    struct stat facts;
    ASSERT_EQ(::lstat((to + "link.txt").c_str(), &facts), 0);
    EXPECT_TRUE(S_ISREG(facts.st_mode));
    expectTime(to + "link.txt", SourceTime);

    EXPECT_EQ(SafeFileCopy(fs, tmp.link("from/dangling", from + "gone"), to + "x").reason,
              SourceMissingReason);
}

TEST_F(SafeFileCopyTest, ALinkDestinationIsReplacedNeverWrittenThrough) {
    const std::string target = tmp.file("elsewhere/kept.txt", "must stay");
    const std::string link = tmp.link("to/a.txt", target);
    const std::string source = tmp.file("from/a.txt", "new");

    ASSERT_TRUE(SafeFileCopy(fs, source, link).done);
    EXPECT_EQ(contentsOf(target), "must stay");
    struct stat facts;
    ASSERT_EQ(::lstat(link.c_str(), &facts), 0);
    EXPECT_TRUE(S_ISREG(facts.st_mode));
    EXPECT_EQ(contentsOf(link), "new");

    // The same for a link that points nowhere.
    const std::string dangling = tmp.link("to/b.txt", tmp / "elsewhere/none.txt");
    ASSERT_TRUE(SafeFileCopy(fs, source, dangling).done);
    EXPECT_EQ(contentsOf(dangling), "new");
    EXPECT_FALSE(exists(tmp / "elsewhere/none.txt"));
}

TEST_F(SafeFileCopyTest, AFolderAtTheDestinationNameIsNotReplaced) {
    tmp.file("to/taken/inside.txt", "inside");
    const CopyResult result = SafeFileCopy(fs, tmp.file("from/taken", "x"), to + "taken");
    EXPECT_FALSE(result.done);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(contentsOf(to + "taken/inside.txt"), "inside");
    EXPECT_TRUE(temporaryNamesIn(to).empty());
}

// Where the disk cannot make a file without a name (FAT, a network drive).
TEST_F(SafeFileCopyTest, TheCopyIsMadeUnderATildeNameBesideTheDestinationWhereItNeedsAName) {
    PosixFileSystem namedOnly(PosixFileSystem::NewFiles::AlwaysNamed);
    const std::string source = tmp.file("from/big.bin", std::string(20 << 20, 'b'));
    std::vector<std::vector<std::string>> seen;
    CopyOptions options;
    options.progress = [&](std::int64_t) { seen.push_back(temporaryNamesIn(to)); };

    ASSERT_TRUE(SafeFileCopy(namedOnly, source, to + "big.bin", options).done);
    ASSERT_FALSE(seen.empty()); // 20 MB come in more than one piece
    for (const auto& names : seen) {
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].front(), '~');
    }
    EXPECT_EQ(namesIn(to), std::vector<std::string>{"big.bin"});
}

TEST_F(SafeFileCopyTest, ElsewhereNothingOfTheCopyIsSeenBeforeItIsComplete) {
    if (!testing::makesUnnamedFiles(to))
        GTEST_SKIP() << "the disk under the tests makes no files without names";
    const std::string source = tmp.file("from/big.bin", std::string(20 << 20, 'b'));
    std::vector<std::vector<std::string>> seen;
    CopyOptions options;
    options.progress = [&](std::int64_t) { seen.push_back(namesIn(to)); };

    ASSERT_TRUE(SafeFileCopy(fs, source, to + "big.bin", options).done);
    ASSERT_FALSE(seen.empty());
    for (const auto& names : seen)
        EXPECT_TRUE(names.empty());
    EXPECT_EQ(contentsOf(to + "big.bin"), contentsOf(source));
}

TEST_F(SafeFileCopyTest, CopyFileOverwriteAloneGivesThePlatformsWords) {
    const std::string source = tmp.file("from/a.txt", "a");
    WriteFolder folder;
    ASSERT_EQ(openWriteFolder(fs, to, folder), 0);
    EXPECT_EQ(CopyFileOverwrite(fs, from + "missing", folder, "a.txt").reason, std::strerror(ENOENT));
    EXPECT_EQ(CopyFileOverwrite(fs, from, folder, "a.txt").reason, std::strerror(EISDIR));
    EXPECT_EQ(namesIn(to), std::vector<std::string>{});
    ASSERT_TRUE(CopyFileOverwrite(fs, source, folder, "a.txt").done);
    EXPECT_EQ(contentsOf(to + "a.txt"), "a");
}

TEST_F(SafeFileCopyTest, FlushLaterGivesAProvisionalOlderTime) {
    const std::string source = tmp.file("from/a.txt", "a");
    testing::setTime(source, SourceTime);
    CopyOptions options;
    options.flush = Flush::Later;

    const CopyResult result = SafeFileCopy(fs, source, to + "a.txt", options);
    ASSERT_TRUE(result.done);
    expectTime(to + "a.txt", provisionalTime(SourceTime));
    EXPECT_LT(provisionalTime(SourceTime).seconds, SourceTime.seconds - 2);
    EXPECT_EQ(result.modified.seconds, SourceTime.seconds); // the time it is to get
    EXPECT_EQ(result.modified.nanoseconds, SourceTime.nanoseconds);
}

TEST_F(SafeFileCopyTest, TheCopyTellsTheSourcesFactsAsOpenedAndWhichFileItMade) {
    const std::string target = tmp.file("from/real.txt", std::string(5000, 'r'));
    testing::setTime(target, SourceTime);
    testing::setMode(target, 0604);
    const std::string link = tmp.link("from/link.txt", target);

    WriteFolder folder;
    ASSERT_EQ(openWriteFolder(fs, to, folder), 0);
    NewFile made;
    ASSERT_EQ(copyToNewFile(fs, link, Follow::Yes, folder, made), 0);
    EXPECT_EQ(made.source.kind, EntryKind::Regular); // the file the link points to
    EXPECT_EQ(made.source.size, 5000);
    EXPECT_EQ(made.source.mode, 0604u);
    EXPECT_EQ(made.source.modified.seconds, SourceTime.seconds);
    EXPECT_EQ(made.source.modified.nanoseconds, SourceTime.nanoseconds);
    ASSERT_EQ(nameNewFile(fs, made, "made.txt", Replace::No), 0);
    struct stat own;
    ASSERT_EQ(::stat((to + "made.txt").c_str(), &own), 0);
    EXPECT_EQ(made.device, own.st_dev);
    EXPECT_EQ(made.inode, own.st_ino);
    EXPECT_EQ(contentsOf(to + "made.txt"), contentsOf(target));

    const CopyResult result = SafeFileCopy(fs, link, to + "copy.txt");
    ASSERT_TRUE(result.done);
    ASSERT_EQ(::stat((to + "copy.txt").c_str(), &own), 0);
    EXPECT_EQ(result.device, own.st_dev);
    EXPECT_EQ(result.inode, own.st_ino);
}

TEST_F(SafeFileCopyTest, ACopyNotToReplaceLeavesWhatIsAtTheNameAndNoTemporary) {
    const std::string source = tmp.file("from/a.txt", "new");
    const std::string there = tmp.file("to/a.txt", "there");
    tmp.link("to/link.txt", tmp / "nowhere");
    CopyOptions options;
    options.replace = Replace::No;

    const CopyResult refused = SafeFileCopy(fs, source, there, options);
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.error, EEXIST);
    EXPECT_EQ(contentsOf(there), "there");
    EXPECT_EQ(SafeFileCopy(fs, source, to + "link.txt", options).error, EEXIST);
    EXPECT_FALSE(exists(tmp / "nowhere"));
    EXPECT_EQ(namesIn(to), (std::vector<std::string>{"a.txt", "link.txt"}));

    ASSERT_TRUE(SafeFileCopy(fs, source, to + "b.txt", options).done);
    EXPECT_EQ(contentsOf(to + "b.txt"), "new");
}

// Where real files put their data: at the start (disk images, databases), in the middle,
// at the very end, in several ranges, off block boundaries, nowhere at all. Each layout goes
// through every way of moving data, within one drive and onto another, and the copy must be
// its source byte for byte and keep the holes.
TEST_F(SafeFileCopyTest, EveryLayoutOfDataAndHolesArrivesByteForByteByEveryWayOnAndAcrossDrives) {
    constexpr off_t Size = (4 << 20) + 1234;
    using Ranges = std::vector<std::pair<off_t, off_t>>; // offset, length
    const std::pair<const char*, Ranges> layouts[] = {
        {"start", {{0, 5}, {1 << 20, 6}}},
        {"middle", {{1 << 20, 512 << 10}}},
        {"end", {{Size - 3000, 3000}}},
        {"several", {{0, 4096}, {(256 << 10) + 100, 50'000}, {2 << 20, 1}, {Size - 1, 1}}},
        {"unaligned", {{1000, 69'000}}},
        {"hole", {}},
        {"dense", {{0, Size}}},
    };
    std::vector<std::string> destinations{to};
    // Another drive: a tmpfs, where the kernel cannot copy a range from this disk.
    const std::string other = tmp.folder("other/");
    const bool mounted = ::geteuid() == 0 && std::system(("mount -t tmpfs none " + other).c_str()) == 0;
    if (mounted) destinations.push_back(other);
    std::mt19937 random(7);
    for (const auto& [layout, ranges] : layouts) {
        const std::string source = tmp.file(std::string("from/") + layout, "");
        {
            const int fd = ::open(source.c_str(), O_WRONLY);
            for (const auto& [at, length] : ranges) {
                std::string data(static_cast<std::size_t>(length), '\0');
                for (char& c : data)
                    c = static_cast<char>(random() % 255 + 1);
                ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), ssize_t(data.size()));
            }
            ASSERT_EQ(::ftruncate(fd, Size), 0);
            ::close(fd);
        }
        testing::setTime(source, SourceTime); // no wait for a source saved this very second
        struct stat original;
        ASSERT_EQ(::stat(source.c_str(), &original), 0);
        for (const auto way : {PosixFileSystem::CopyWay::KernelRange, PosixFileSystem::CopyWay::Sendfile,
                               PosixFileSystem::CopyWay::ReadWrite})
            for (const std::string& folder : destinations) {
                const std::string copy = folder + layout + std::to_string(int(way));
                PosixFileSystem wayFs;
                wayFs.startCopiesWith(way);
                ASSERT_TRUE(SafeFileCopy(wayFs, source, copy).done) << copy;
                EXPECT_TRUE(contentsOf(copy) == contentsOf(source)) << copy << " differs from " << source;
                struct stat made;
                ASSERT_EQ(::stat(copy.c_str(), &made), 0);
                EXPECT_LE(made.st_blocks, original.st_blocks + 2048) << copy << " lost its holes";
            }
    }
    if (mounted) {
        EXPECT_EQ(std::system(("umount " + other).c_str()), 0);
    }
}

} // namespace
} // namespace quellomir
