#include "files/time_note.h"
#include "sync/carry_out_row.h"
#include "sync/copy_file_overwrite.h"
#include "sync/sync_plan.h"
#include "sync/sync_reasons.h"

#include "files/new_file.h"
#include "files/path_text.h"
#include "files/temporary_names.h"
#include "fs/posix_file_system.h"
#include "support/compare_lists.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/forwarding_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::FakeDrive;
using testing::FaultyFileSystem;
using testing::rowTexts;
using testing::setTime;
using testing::TempFolder;
using testing::temporaryNamesIn;
using testing::timeOf;
using Op = FaultyFileSystem::Operation;
using Call = FakeDrive::Call;

constexpr FileTime Older{1'600'000'000, 111'111'111};
constexpr FileTime Newer{1'600'000'500, 222'222'222};

::testing::AssertionResult hasTime(const std::string& path, FileTime expected) {
    const FileTime actual = timeOf(path);
    if (actual.seconds == expected.seconds && actual.nanoseconds == expected.nanoseconds)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " has " << actual.seconds << "." << actual.nanoseconds
                                         << ", not " << expected.seconds << "." << expected.nanoseconds;
}

class CountingYielder final : public Yielder {
  public:
    void tick() override { ++ticks; }
    int ticks = 0;
};

struct Closed {}; // the window's cancellation is no std::exception either

class ClosingYielder final : public Yielder {
  public:
    void tick() override { throw Closed{}; }
};

// Counts the turns the window gets while a slow drive flushes, and where and how often the
// flush ran; closes the window at the first of those turns when asked to.
class FlushWatchingYielder final : public Yielder {
  public:
    explicit FlushWatchingYielder(FakeDrive& drive, bool close = false) : m_close(close) {
        drive.before(Call::SyncFileSystem, [this](const std::string&) {
            flushThread = std::this_thread::get_id();
            flushing = true;
        });
        drive.after(Call::SyncFileSystem, [this](const std::string&) {
            flushing = false;
            ++flushesFinished;
        });
    }
    void tick() override {
        if (std::this_thread::get_id() != m_windowThread) ++ticksOnOtherThreads;
        if (!flushing) return;
        ++ticksDuringFlush;
        if (m_close) throw Closed{};
    }
    int ticksDuringFlush = 0;
    int ticksOnOtherThreads = 0;
    std::atomic<bool> flushing{false};
    std::atomic<int> flushesFinished{0};
    std::thread::id flushThread;

  private:
    const bool m_close;
    const std::thread::id m_windowThread = std::this_thread::get_id();
};

class SyncSessionTest : public ::testing::Test {
  protected:
    TempFolder tmp;
    PosixFileSystem posix;
    CountingYielder yielder;
    const std::string one = tmp.folder("one/");
    const std::string two = tmp.folder("two/");

    std::string file(const std::string& relative, const std::string& contents, FileTime time) {
        return testing::withTime(tmp.file(relative, contents), time);
    }
    // Carries out a row and marks it, as the window's handler does.
    void carryOut(Plan& plan, std::size_t row, SyncSession& session) {
        CopyResult result = carryOutRow(plan, row, rowAction(plan.actionText(row)), session);
        result.done ? plan.markDone(row) : plan.markFailed(row, result.reason);
    }
};

TEST_F(SyncSessionTest, ACopyToAFreeNameLooksOlderUntilTheEndOfTheRunWhichFlushesOnce) {
    file("one/a.txt", "a", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FaultyFileSystem fs(posix);
    SyncSession session(fs, yielder);

    carryOut(plan, 0, session);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(contentsOf(two + "a.txt"), "a");
    EXPECT_TRUE(hasTime(two + "a.txt", provisionalTime(Newer)));
    EXPECT_EQ(fs.calls(Op::SyncFile), 0); // nothing waited for the disk so far
    EXPECT_EQ(fs.calls(Op::SyncFileSystem), 0);
    // Were the run cut short here, the next comparison would copy it again.
    EXPECT_EQ(rowTexts(testing::comparePlan(posix, one, two)),
              std::vector<std::string>{one + "a.txt| will overwrite an older|" + two + "a.txt"});

    session.flush(plan);
    EXPECT_TRUE(hasTime(two + "a.txt", Newer));
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(fs.calls(Op::SyncFileSystem), 1);
}

// The run keeps a descriptor to flush the drive with. Taken from a copy that then failed, it
// would keep that removed file alive to the end of the run, and a FUSE drive shows such a
// file under a ".fuse_hidden" name in the folder, for a comparison to copy back.
TEST_F(SyncSessionTest, ACopyThatFailsAfterTheDriveWasHeldLeavesNothingOfItOpen) {
    file("one/a.txt", "a", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FaultyFileSystem fs(posix);
    fs.failCall(Op::NameNewFile, 1, EIO);
    SyncSession session(fs, yielder);

    carryOut(plan, 0, session);
    ASSERT_EQ(plan.actionText(0), "Failed: " + std::string(std::strerror(EIO)));
    ASSERT_EQ(fs.calls(Op::HoldFileSystem), 1);
    for (const auto& open : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(open.path(), error).string();
        EXPECT_FALSE(target.starts_with(two) && target.ends_with("(deleted)")) << target;
    }
    session.flush(plan);
}

// A replacement too: its data was flushed before it took the name, but the naming waits
// for the end's flush, so a flush that fails leaves that row not done either.
TEST_F(SyncSessionTest, AFailingFlushMarksTheRowsOfItsFileSystemFailedAndKeepsThemLookingOlder) {
    file("one/a.txt", "a", Newer);
    file("one/b.txt", "b", Newer);
    file("one/c.txt", "new c", Newer);
    file("two/c.txt", "old c", Older);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 3u);
    FaultyFileSystem fs(posix);
    fs.failCall(Op::SyncFileSystem, 1, EIO);
    SyncSession session(fs, yielder);

    syncPlan(plan, session);
    for (std::size_t row = 0; row < 3; ++row)
        EXPECT_EQ(plan.actionText(row), "Failed: " + std::string(std::strerror(EIO))) << plan.sourceText(row);
    EXPECT_TRUE(hasTime(two + "a.txt", provisionalTime(Newer)));
    EXPECT_TRUE(hasTime(two + "b.txt", provisionalTime(Newer)));
}

TEST_F(SyncSessionTest, AFailureToGiveTheTimeOrToFlushItMarksTheRowFailed) {
    // The copy sets the provisional time (the first call), the end of the run the final
    // one after its one flush of the file system.
    for (auto [failing, nth] : {std::pair{Op::SetModified, 2}, std::pair{Op::SyncFileSystem, 1}}) {
        TempFolder here;
        const std::string source = here.file("one/a.txt", "a");
        setTime(source, Newer);
        here.folder("two");
        Plan plan = testing::comparePlan(posix, here / "one/", here / "two/");
        FaultyFileSystem fs(posix);
        fs.failCall(failing, nth, EIO);
        SyncSession session(fs, yielder);

        syncPlan(plan, session);
        EXPECT_EQ(fs.calls(failing), nth) << int(failing);
        EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(std::strerror(EIO))) << int(failing);
        EXPECT_TRUE(hasTime(here / "two/a.txt", provisionalTime(Newer))) << int(failing);
    }
}

// exfat-fuse, fusefat and ntfs-3g refuse a rename that is to replace nothing: there the name
// is claimed by creating it, so that a file another program saves under it in the same moment
// stays, and its row fails. A claim cut short by a stop is replaced by the next run, and kept.
TEST_F(SyncSessionTest, OnADriveWithoutARefusingRenameANameIsClaimedInOneStep) {
    file("one/a.txt", "a", Newer);
    file("one/b.txt", "b", Newer);
    file("one/c.txt", "new c", Newer);
    FakeDrive stick(
        posix, {.root = two, .type = FUSE_SUPER_MAGIC, .mountType = "fuse.exfat", .noRefusingRename = true});
    // Another program saves b.txt right before the copy claims the name.
    FaultyFileSystem racing(stick);
    racing.beforeCall(Op::NameByCopy, 0, [&](const std::string& path) {
        if (path == two + "b.txt") tmp.file("two/b.txt", "theirs");
    });
    // What a run stopped during its claim of c.txt left: the note, the "~" file it copied
    // from, and the copy cut short.
    const std::string noteName = temporaryName(0), copyName = temporaryName(0);
    const TimeNote claim{"c.txt", provisionalTime(Newer), 5, 0, copyName};
    tmp.file("two/" + noteName, timeNoteText(claim));
    ::chmod((two + noteName).c_str(), TimeNoteMode);
    file("two/" + copyName, "new c", provisionalTime(Newer));
    tmp.file("two/c.txt", "ne");
    Plan plan = testing::comparePlan(racing, one, two);
    const auto outcomes = [&] {
        std::map<std::string, std::string> by;
        for (std::size_t row = 0; row < plan.size(); ++row)
            by[GetFileName(plan.sourceText(row))] = plan.actionText(row);
        return by;
    };
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(outcomes()["c.txt"], " will be copied to");
    SyncSession session(racing, yielder);

    syncPlan(plan, session);
    const std::map<std::string, std::string> expected{
        {"a.txt", "Done"}, {"b.txt", "Failed: " + std::string(AppearedReason)}, {"c.txt", "Done"}};
    EXPECT_EQ(outcomes(), expected);
    EXPECT_EQ(contentsOf(two + "a.txt"), "a");
    EXPECT_TRUE(hasTime(two + "a.txt", Newer));
    EXPECT_EQ(contentsOf(two + "b.txt"), "theirs");
    EXPECT_EQ(contentsOf(two + "c.txt"), "new c");
    EXPECT_TRUE(temporaryNamesIn(two).empty());

    // A copy the end's flush cannot open was never flushed: its row is not done.
    file("one/d.txt", "d", Newer);
    plan = testing::comparePlan(stick, one, two);
    FaultyFileSystem failing(stick);
    failing.failPath(Op::OpenToRead, two + "d.txt", EMFILE);
    SyncSession again(failing, yielder);
    syncPlan(plan, again);
    EXPECT_EQ(outcomes()["d.txt"], "Failed: " + std::string(std::strerror(EMFILE)));
}

// Adapted from the time copies to free names were flushed in groups of 64 MB: now no row
// waits for a flush before the end of the run, however much was copied.
TEST_F(SyncSessionTest, ManyMegabytesOfCopiesToFreeNamesWaitForNoFlushBeforeTheEnd) {
    const std::string big = file("one/big.bin", "", Newer);
    ASSERT_EQ(::truncate(big.c_str(), 64 << 20), 0);
    setTime(big, Newer);
    file("one/small.txt", "s", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 2u);
    FaultyFileSystem fs(posix);
    SyncSession session(fs, yielder);

    syncRows(plan, session);
    EXPECT_TRUE(hasTime(two + "big.bin", provisionalTime(Newer)));
    EXPECT_TRUE(hasTime(two + "small.txt", provisionalTime(Newer)));
    // At most one flush is started behind the rows, to hand the disk the big copy early.
    EXPECT_LE(fs.calls(Op::SyncFileSystem), 1);
    EXPECT_EQ(fs.calls(Op::SyncFile), 0);

    session.flush(plan);
    EXPECT_TRUE(hasTime(two + "big.bin", Newer));
    EXPECT_TRUE(hasTime(two + "small.txt", Newer));
    EXPECT_GE(fs.calls(Op::SyncFileSystem), 1);
    EXPECT_LE(fs.calls(Op::SyncFileSystem), 2);
}

TEST_F(SyncSessionTest, EachFileSystemIsFlushedOnceAndItsFailureFailsOnlyTheRowsWrittenToIt) {
    file("one/a.txt", "a", Newer);
    file("one/b.txt", "b", Newer);
    file("two/c.txt", "c", Newer);
    FakeDrive stick(posix, {.root = one, .ownDevice = true});
    Plan plan = testing::comparePlan(stick, one, two);
    ASSERT_EQ(plan.size(), 3u);
    FaultyFileSystem fs(stick);
    fs.failCall(Op::SyncFileSystem, 2, EIO); // the second drive written to: the copy into one
    SyncSession session(fs, yielder);

    syncPlan(plan, session);
    EXPECT_EQ(fs.calls(Op::SyncFileSystem), 2);
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const std::string source = plan.sourceText(row);
        const std::string copy = (source.starts_with(one) ? two : one) + GetFileName(source);
        if (source.starts_with(one)) {
            EXPECT_EQ(plan.actionText(row), "Done") << source;
            EXPECT_TRUE(hasTime(copy, Newer));
        } else {
            EXPECT_EQ(plan.actionText(row), "Failed: " + std::string(std::strerror(EIO))) << source;
            EXPECT_TRUE(hasTime(copy, provisionalTime(Newer)));
        }
    }
}

TEST_F(SyncSessionTest, TheWindowGetsItsTurnWhileTheFlushAtTheEndRunsOnAnotherThread) {
    file("one/a.txt", "a", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FakeDrive slow(posix, {.flushDelay = std::chrono::milliseconds(50)});
    FlushWatchingYielder watching(slow);
    SyncSession session(slow, watching);

    syncPlan(plan, session);
    EXPECT_EQ(watching.flushesFinished, 1);
    EXPECT_NE(watching.flushThread, std::this_thread::get_id());
    EXPECT_GE(watching.ticksDuringFlush, 2); // 50 ms of flush, a turn every few
    EXPECT_EQ(watching.ticksOnOtherThreads, 0);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_TRUE(hasTime(two + "a.txt", Newer));
}

// A stop during the flush (the window closed, Ctrl+C, SIGTERM) lets the flush and the times
// end first; stopped there, the copies would keep provisional times, and the next comparison
// would plan them as overwrites of their own sources where a drive stamps renames.
TEST_F(SyncSessionTest, ClosingTheWindowDuringTheFlushStillFinishesTheCopiesThenStops) {
    file("one/a.txt", "a", Newer);
    file("one/b.txt", "b", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FakeDrive slow(posix, {.flushDelay = std::chrono::milliseconds(50)});
    FlushWatchingYielder closing(slow, true);
    SyncSession session(slow, closing);

    syncRows(plan, session);
    EXPECT_THROW(session.flush(plan), Closed);
    EXPECT_EQ(closing.flushesFinished, 1);
    EXPECT_FALSE(closing.flushing);
    EXPECT_EQ(testing::namesIn(two), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(hasTime(two + "a.txt", Newer));
    EXPECT_TRUE(hasTime(two + "b.txt", Newer));
    EXPECT_EQ(plan.actionText(0), "Done");
}

// One name in several subfolders of both sides makes overwrite rows in both directions
// whose sources other rows replace. Whatever order the folders are listed in, a row reads
// "Done" only with the contents it showed; a row whose source was replaced fails instead
// of copying the new contents under its old text.
TEST_F(SyncSessionTest, ChainedRowsCarryTheContentsTheyShowedInEitherListingOrder) {
    for (bool reversed : {false, true}) {
        TempFolder here;
        std::map<std::string, std::string> shown; // each file's contents at the comparison
        auto add = [&](const std::string& relative, FileTime time) {
            shown[here / relative] = relative;
            testing::setTime(here.file(relative, relative), time);
        };
        add("one/x.txt", {1'600'000'300, 0});
        add("one/a/x.txt", {1'600'000'100, 0});
        add("two/x.txt", {1'600'000'200, 0});
        add("two/b/x.txt", {1'600'000'400, 0});
        FakeDrive reversing(posix, {.reversedListings = true});
        FileSystem& lister = reversed ? static_cast<FileSystem&>(reversing) : posix;
        Plan plan = testing::comparePlan(lister, here / "one/", here / "two/");
        SyncSession session(posix, yielder);
        syncPlan(plan, session);

        int done = 0;
        int replacedEarlier = 0;
        for (std::size_t row = 0; row < plan.size(); ++row) {
            const std::string action = plan.actionText(row);
            if (action == "Failed: " + std::string(ReplacedEarlierReason)) ++replacedEarlier;
            if (action != "Done") continue;
            ++done;
            EXPECT_EQ(contentsOf(plan.destinationText(row)), shown[plan.sourceText(row)])
                << plan.sourceText(row) << (reversed ? " (reversed)" : "");
        }
        EXPECT_GE(done, 1);
        EXPECT_GE(replacedEarlier, 1) << rowTexts(plan).size();
    }
}

// Copies go to the top of the other folder, so one name in several subfolders makes rows
// that replace what an earlier row of the run wrote: those wait for the disk no more than
// the first copy did, and the last one written ends with its source's time.
TEST_F(SyncSessionTest, ReplacingWhatThisRunWroteWaitsForNoFlushButReplacingAnOlderFileDoes) {
    file("one/a/x.txt", "first", Newer);
    file("one/b/x.txt", "second", Newer);
    file("one/c/x.txt", "third", Older);
    file("one/y.txt", "new y", Newer);
    file("two/y.txt", "old y", Older);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 4u); // three copies of x.txt, one overwrite of y.txt
    FaultyFileSystem fs(posix);
    SyncSession session(fs, yielder);

    syncRows(plan, session);
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Done") << row;
    EXPECT_EQ(fs.calls(Op::SyncFile), 1); // only for the overwrite of the older y.txt
    // The folders come in the order the disk lists them; the last x.txt row wins.
    std::string lastX;
    for (std::size_t row = 0; row < plan.size(); ++row)
        if (GetFileName(plan.sourceText(row)) == "x.txt") lastX = plan.sourceText(row);
    const FileTime lastTime = lastX == one + "c/x.txt" ? Older : Newer;
    EXPECT_EQ(contentsOf(two + "x.txt"), contentsOf(lastX));
    EXPECT_TRUE(hasTime(two + "x.txt", provisionalTime(lastTime)));
    EXPECT_TRUE(hasTime(two + "y.txt", Newer));

    session.flush(plan);
    EXPECT_EQ(fs.calls(Op::SyncFileSystem), 1);
    EXPECT_TRUE(hasTime(two + "x.txt", lastTime));
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Done") << row;
    EXPECT_TRUE(temporaryNamesIn(two).empty());
}

TEST_F(SyncSessionTest, OnADriveThatKeepsWholeSecondsTheCopiesStillCompareEqualToTheirSources) {
    constexpr FileTime EarlyInTheSecond{1'600'000'100, 200'000'000};
    constexpr FileTime LateInTheSecond{1'600'000'200, 700'000'000};
    file("one/early.txt", "e", EarlyInTheSecond);
    file("one/late.txt", "l", LateInTheSecond);
    file("one/replaces.txt", "new", LateInTheSecond);
    file("two/replaces.txt", "old", Older);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 3u); // two copies and an overwrite
    FakeDrive drive(posix, {.wholeSeconds = true});
    SyncSession session(drive, yielder);

    syncPlan(plan, session);
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Done") << row;
    EXPECT_TRUE(rowTexts(testing::comparePlan(posix, one, two)).empty());
    // Rounded to the second as the comparison rounds, where cutting off would not do.
    EXPECT_TRUE(hasTime(two + "early.txt", {EarlyInTheSecond.seconds, 0}));
    EXPECT_TRUE(hasTime(two + "late.txt", {LateInTheSecond.seconds + 1, 0}));
    EXPECT_TRUE(hasTime(two + "replaces.txt", {LateInTheSecond.seconds + 1, 0}));
    // Never a time a stop could leave behind that looks older without being the provisional
    // one: the next run would keep a finished copy in the Trash as a version of the user's.
    for (const auto& [path, time] : drive.keptTimes()) {
        const FileTime source = path == two + "early.txt" ? EarlyInTheSecond : LateInTheSecond;
        EXPECT_TRUE(time.seconds == provisionalTime(source).seconds ||
                    compareWriteTimes({time.seconds, 0}, source) == std::strong_ordering::equal)
            << path << " " << time.seconds;
    }
}

// A source time without a fraction reads back exactly from a drive of whole seconds as
// well; only one with a fraction tells that a drive keeps nanoseconds.
TEST_F(SyncSessionTest, AWholeSecondSourceFirstDoesNotMakeAWholeSecondDriveLookExact) {
    file("one/whole.txt", "w", {1'600'000'100, 0});
    file("one/late.txt", "l", {1'600'000'200, 700'000'000});
    Plan plan = testing::comparePlan(posix, one, two);
    FakeDrive drive(posix, {.wholeSeconds = true});
    SyncSession session(drive, yielder);
    for (const char* first : {"whole.txt", "late.txt"})
        for (std::size_t row = 0; row < plan.size(); ++row)
            if (GetFileName(plan.sourceText(row)) == first) carryOut(plan, row, session);
    session.flush(plan);
    EXPECT_TRUE(rowTexts(testing::comparePlan(posix, one, two)).empty());
}

TEST_F(SyncSessionTest, ATimeTheDriveCannotHoldFailsTheRowAndLeavesTheCopy) {
    file("one/old.txt", "from 1975", {157'766'400, 0});
    file("one/new.txt", "from 2020", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FakeDrive drive(posix, {.earliest = FakeDrive::Year1980});
    SyncSession session(drive, yielder);
    syncPlan(plan, session);
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const bool old = GetFileName(plan.sourceText(row)) == "old.txt";
        EXPECT_EQ(plan.actionText(row), old ? "Failed: " + std::string(TimeNotKeptReason) : "Done");
    }
    EXPECT_EQ(contentsOf(two + "old.txt"), "from 1975");

    // Names a stick's drive cannot hold fail before anything is written, with the reason.
    const std::string three = tmp.folder("three/");
    file("one/a:b.txt", "colon", Newer);
    file("one/café.txt", "accent", Newer);
    for (const auto& [mountType, accentHeld] :
         {std::pair{"fuse.exfat", true}, std::pair{"fuse.fusefat", false}}) {
        FakeDrive stick(posix, {.root = three, .type = FUSE_SUPER_MAGIC, .mountType = mountType});
        Plan toStick = testing::comparePlan(stick, one, three);
        SyncSession onStick(stick, yielder);
        syncPlan(toStick, onStick);
        for (std::size_t row = 0; row < toStick.size(); ++row) {
            const std::string name = GetFileName(toStick.sourceText(row));
            if (name == "a:b.txt") {
                EXPECT_EQ(toStick.actionText(row),
                          "Failed: " + std::string(NameNotHeldReason) + "it contains ':'");
            }
            if (name == "café.txt" && !accentHeld) {
                EXPECT_NE(toStick.actionText(row).find(NameNotHeldReason), std::string::npos) << mountType;
            }
        }
        EXPECT_FALSE(testing::exists(three + "a:b.txt")) << mountType;
        EXPECT_EQ(testing::exists(three + "café.txt"), accentHeld) << mountType;
        for (const std::string& name : testing::namesIn(three))
            ::unlink((three + name).c_str());
    }
}

// Only the lock a running writer holds tells a leftover from a copy in the making: a pid means
// nothing to a run in another PID namespace, so both names here could be of live processes.
TEST_F(SyncSessionTest, LeftoversNobodyHoldsAreRemovedThoseOfLiveRunsAndOtherProgramsKept) {
    const std::string live = temporaryName(0);
    const std::string dead = temporaryName(0);
    for (const std::string& name : {live, dead, std::string("~other-editor.tmp")})
        tmp.file("two/" + name, "partial");
    const int writer = ::open((two + live).c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0); // as a run writing it holds it
    file("one/a.txt", "a", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FaultyFileSystem fs(posix);
    fs.failPath(Op::Unlink, two + dead, EACCES);
    SyncSession session(fs, yielder);
    syncPlan(plan, session);
    std::vector<std::string> kept{"~other-editor.tmp", dead, live};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(testing::temporaryNamesIn(two), kept);

    ASSERT_EQ(session.notes().size(), 1u);
    EXPECT_EQ(session.notes()[0],
              std::string(LeftoverReason) + two + dead + " \u2014 " + std::strerror(EACCES));
    file("one/b.txt", "b", Newer);
    Plan next = testing::comparePlan(posix, one, two);
    SyncSession again(posix, yielder);
    syncPlan(next, again);
    EXPECT_EQ(testing::temporaryNamesIn(two), (std::vector<std::string>{"~other-editor.tmp", live}));
    EXPECT_TRUE(again.notes().empty());
    ::close(writer);
}

// What a run that took a live copy for a leftover would do: the row says so in words.
class RemovesTheTemporary final : public testing::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder, const std::string& toName,
               Replace replace) override {
        if (isTemporaryName(fromName)) ::unlinkat(fromFolder.fd, fromName.c_str(), 0);
        return m_inner.rename(fromFolder, fromName, toFolder, toName, replace);
    }
};

TEST_F(SyncSessionTest, ARowWhoseTemporaryVanishedSaysSo) {
    file("one/a.txt", "a", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    PosixFileSystem named(PosixFileSystem::NewFiles::AlwaysNamed);
    RemovesTheTemporary removing(named);
    SyncSession session(removing, yielder);
    syncPlan(plan, session);
    EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(TemporaryVanishedReason));
    EXPECT_TRUE(testing::namesIn(two).empty());
}

TEST_F(SyncSessionTest, ADriveThatKeptOneTimeExactlyIsNotLookedAtAgain) {
    for (int i = 0; i < 5; ++i)
        file("one/f" + std::to_string(i) + ".txt", "f", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FaultyFileSystem fs(posix);
    SyncSession session(fs, yielder);
    syncRows(plan, session);
    const int statsDuringRows = fs.calls(Op::StatAt);
    session.flush(plan);
    // One look per copy to see that it is still the copy, and one more at the first time set.
    EXPECT_EQ(fs.calls(Op::StatAt) - statsDuringRows, 5 + 1);
}

TEST_F(SyncSessionTest, TheWindowGetsItsTurnDuringALongCopyAndClosingItLeavesNoTemporary) {
    file("one/big.bin", std::string(40 << 20, 'b'), Newer);
    const std::string older = file("two/big.bin", "older", Older);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 1u);

    ClosingYielder closing;
    SyncSession closed(posix, closing);
    EXPECT_THROW(carryOutRow(plan, 0, RowAction::Overwrite, closed), Closed);
    EXPECT_EQ(contentsOf(older), "older");
    EXPECT_TRUE(temporaryNamesIn(two).empty());

    SyncSession session(posix, yielder);
    carryOut(plan, 0, session);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_GE(yielder.ticks, 4); // 40 MB in pieces of 8
}

// Replacements in more folders than the run holds open at once, made ahead in batches: each
// takes the place of its own older file, in its own folder.
TEST_F(SyncSessionTest, ReplacementsInMoreFoldersThanAreHeldOpenEachReplaceTheirOwnFile) {
    for (int i = 0; i < 150; ++i) {
        file("one/f" + std::to_string(i), "new", Newer);
        file("two/d" + std::to_string(i) + "/f" + std::to_string(i), "old", Older);
    }
    Plan plan = testing::comparePlan(posix, two, one); // one's newer files overwrite two's
    ASSERT_EQ(plan.size(), 150u);
    FakeDrive ext4(posix, {.type = EXT4_SUPER_MAGIC});
    SyncSession session(ext4, yielder);
    syncPlan(plan, session);
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Done") << plan.sourceText(row);
    for (int i = 0; i < 150; ++i)
        EXPECT_TRUE(hasTime(two + "d" + std::to_string(i) + "/f" + std::to_string(i), Newer)) << i;
}

// Closing the window while copies to free names are in flight: each row ends done, its copy
// flushed and with its source's time, or not begun, with nothing at its name. A copy made
// ahead takes its name only in its row's turn, so those in flight are all undone.
TEST_F(SyncSessionTest, AStopWhileCopiesAreInFlightFinishesOrUndoesEachOfTheirRows) {
    for (int i = 0; i < 40; ++i)
        file("one/f" + std::to_string(i), "f" + std::to_string(i), Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 40u);
    FakeDrive slow(posix, {.copyDelay = std::chrono::milliseconds(10)});
    ClosingYielder closing;
    SyncSession session(slow, closing);
    EXPECT_THROW(syncRows(plan, session), Closed);
    try {
        session.flush(plan);
    } catch (const Closed&) {
    }
    std::size_t done = 0;
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const std::string copy = two + GetFileName(plan.sourceText(row));
        if (plan.actionText(row) == "Done") {
            ++done;
            EXPECT_TRUE(hasTime(copy, Newer)) << copy;
        } else {
            EXPECT_FALSE(std::filesystem::exists(copy)) << copy;
        }
    }
    EXPECT_EQ(done, 0u); // the window closed before the first row's turn
    EXPECT_TRUE(temporaryNamesIn(two).empty());
}

// Replacements flushed together: a flush that fails fails every row of the batch, and
// every older file stays where it was, untouched and out of the Trash.
TEST_F(SyncSessionTest, ABatchOfReplacementsWhoseFlushFailsLeavesEveryOlderFileInPlace) {
    for (int i = 0; i < 5; ++i) {
        file("one/r" + std::to_string(i), "new", Newer);
        file("two/r" + std::to_string(i), "old", Older);
    }
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 5u);
    FakeDrive ext4(posix, {.type = EXT4_SUPER_MAGIC});
    FaultyFileSystem fs(ext4);
    fs.failCall(Op::SyncFileSystem, 1, EIO);
    SyncSession session(fs, yielder);
    syncPlan(plan, session);
    EXPECT_EQ(fs.calls(Op::SyncFile), 0) << "flushed one by one, not together";
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Failed: " + std::string(std::strerror(EIO))) << plan.sourceText(row);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(contentsOf(two + "r" + std::to_string(i)), "old");
}

// Two copies whose names differ only in letter case, on a drive that takes them for one: the
// first in the list gets the name, however long its naming takes, as in a run in list order.
TEST_F(SyncSessionTest, CopiesMadeAheadToNamesThatDifferOnlyInCaseKeepTheListsOrder) {
    for (int i = 0; i < 8; ++i)
        file("one/f" + std::to_string(i), "f", Newer);
    file("one/a/Report.txt", "first", Newer);
    file("one/b/report.txt", "second", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    std::size_t first = 0;
    while (GetFileName(plan.sourceText(first)).find("eport") == std::string::npos)
        ++first;
    const std::string firstName = GetFileName(plan.sourceText(first));
    FakeDrive caseBlind(posix, {.caseBlind = true});
    caseBlind.before(Call::NameNewFile, [&](const std::string& path) {
        if (path == two + firstName) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    SyncSession session(caseBlind, yielder);
    syncPlan(plan, session);
    EXPECT_EQ(plan.actionText(first), "Done");
    EXPECT_EQ(testing::namesIn(two).size(), 9u);
    EXPECT_TRUE(std::filesystem::exists(two + firstName));
}

// Namesakes in several subfolders of both sides chain their rows: made ahead, copies on
// I/O threads and replacements flushed together, the rows end as a run of one row after
// the other ends them, row for row.
TEST_F(SyncSessionTest, ReplacementsMadeAheadEndAsARunInListOrderWouldEnd) {
    struct Ended {
        std::vector<std::string> actions;
        std::map<std::string, std::string> contents;
        int fileFlushes = 0;
        std::size_t rowsLeft = 0; // a copy without its source's time would be planned again
    };
    auto run = [&](bool ahead, std::uint64_t driveType) {
        TempFolder here;
        for (const char* folder : {"a/", "b/", "c/"}) {
            testing::withTime(here.file(std::string("one/") + folder + "x.txt", std::string("one ") + folder),
                              {Newer.seconds + folder[0], 0});
            testing::withTime(here.file(std::string("two/") + folder + "x.txt", std::string("two ") + folder),
                              {Older.seconds + folder[0], 0});
            testing::withTime(
                here.file(std::string("one/") + folder + "own.txt", std::string("own ") + folder), Newer);
            testing::withTime(here.file(std::string("two/") + folder + "own.txt", "older"), Older);
        }
        for (int i = 0; i < 10; ++i) {
            testing::withTime(here.file("one/u" + std::to_string(i), "new"), Newer);
            testing::withTime(here.file("two/u" + std::to_string(i), "old"), Older);
            // Copies to free names, and namesakes of them that copy to the same name.
            testing::withTime(here.file("one/n" + std::to_string(i), "new " + std::to_string(i)), Newer);
            testing::withTime(
                here.file("one/d" + std::to_string(i % 3) + "/dup.txt", "dup " + std::to_string(i)),
                {Newer.seconds + i, 0});
        }
        Plan plan = testing::comparePlan(posix, here / "one/", here / "two/");
        FakeDrive drive(posix, {.type = driveType});
        FaultyFileSystem counted(drive);
        SyncSession session(counted, yielder);
        session.setRowsAhead(ahead);
        syncPlan(plan, session);
        Ended ended;
        ended.fileFlushes = counted.calls(Op::SyncFile);
        ended.rowsLeft = testing::comparePlan(posix, here / "one/", here / "two/").size();
        for (std::size_t row = 0; row < plan.size(); ++row)
            ended.actions.push_back(plan.sourceText(row).substr(here.path().size()) + " " +
                                    plan.actionText(row));
        for (const std::string& name : testing::namesIn(here / "two/"))
            ended.contents[name] = contentsOf(here / "two/" + name);
        for (const char* folder : {"a/", "b/", "c/"})
            for (const char* name : {"x.txt", "own.txt"})
                ended.contents[std::string(folder) + name] = contentsOf(here / "two/" + folder + name);
        return ended;
    };
    // ext4 flushes whole, so its replacements are flushed together; FUSE answers each request
    // on its own, so its copies are given their times many at a time.
    const Ended oneByOne = run(false, EXT4_SUPER_MAGIC), together = run(true, EXT4_SUPER_MAGIC),
                remote = run(true, FUSE_SUPER_MAGIC);
    for (const Ended* ended : {&together, &remote}) {
        EXPECT_EQ(ended->actions, oneByOne.actions);
        EXPECT_EQ(ended->contents, oneByOne.contents);
        EXPECT_EQ(ended->rowsLeft, oneByOne.rowsLeft);
    }
    EXPECT_EQ(together.actions.size(), 41u); // every file of one over each namesake in two, and copies
    // The ten files of one name each were flushed together.
    EXPECT_LE(together.fileFlushes + 10, oneByOne.fileFlushes);
}

} // namespace
} // namespace quellomir

namespace quellomir {
namespace {

// Pairing by place: a copy goes into the subfolder at the same place on the other side, made
// where missing, inside the chosen folder only; files pair only at the same path, letter case
// as the drive keeps it.
TEST_F(SyncSessionTest, PairedByPlaceCopiesGoIntoTheSameSubfolderMadeWithinTheChosenFolderOnly) {
    file("one/Fotos/2021/IMG_0041.JPG", "2021", Newer);
    file("one/Fotos/2022/IMG_0041.JPG", "2022", Newer);
    file("two/Fotos/2022/IMG_0041.JPG", "older 2022", Older);
    file("one/fotos/case.txt", "lower case folder", Newer);
    file("one/outside/o.txt", "o", Newer);
    file("one/blocked/b.txt", "b", Newer);
    tmp.link("two/outside", tmp.folder("elsewhere/"));
    file("two/blocked", "a file where a folder is needed", Older);
    Plan plan = testing::comparePlan(posix, one, two, nullptr, Pairing::ByPlace);
    SyncSession session(posix, yielder);
    syncPlan(plan, session);

    struct Row {
        std::string source, action, destination;
    };
    std::vector<Row> rows;
    for (std::size_t row = 0; row < plan.size(); ++row)
        rows.push_back({plan.sourceText(row).substr(tmp.path().size()), plan.actionText(row),
                        plan.destinationText(row).substr(tmp.path().size())});
    auto rowOf = [&](const std::string& source) {
        for (const Row& row : rows)
            if (row.source == source) return row;
        return Row{source, "no row", ""};
    };
    EXPECT_EQ(rowOf("one/Fotos/2021/IMG_0041.JPG").destination, "two/Fotos/2021/");
    EXPECT_EQ(rowOf("one/Fotos/2021/IMG_0041.JPG").action, "Done");
    EXPECT_EQ(contentsOf(two + "Fotos/2021/IMG_0041.JPG"), "2021");
    EXPECT_EQ(rowOf("one/Fotos/2022/IMG_0041.JPG").destination, "two/Fotos/2022/IMG_0041.JPG");
    EXPECT_EQ(contentsOf(two + "Fotos/2022/IMG_0041.JPG"), "2022");
    EXPECT_EQ(contentsOf(two + "fotos/case.txt"), "lower case folder");
    EXPECT_EQ(rowOf("one/outside/o.txt").action, "Failed: the destination lies outside Folder 2");
    EXPECT_TRUE(testing::namesIn(tmp / "elsewhere/").empty());
    EXPECT_EQ(rowOf("one/blocked/b.txt").action.rfind("Failed: ", 0), 0u)
        << rowOf("one/blocked/b.txt").action;
    EXPECT_EQ(contentsOf(two + "blocked"), "a file where a folder is needed");
    // Only the rows that cannot be done are planned again (and "blocked" into one/, where a
    // folder has the name); the same folder chosen twice pairs each file with itself.
    EXPECT_EQ(rowTexts(testing::comparePlan(posix, one, two, nullptr, Pairing::ByPlace)).size(), 3u);
    EXPECT_TRUE(rowTexts(testing::comparePlan(posix, one, one, nullptr, Pairing::ByPlace)).empty());
}

} // namespace
} // namespace quellomir
