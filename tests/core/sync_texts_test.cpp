#include "fs/drive_kinds.h"
#include "sync/normalize_backslashes.h"
#include "sync/row_action.h"
#include "sync/sync_end_message.h"

#include "support/compare_lists.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quellomir {
namespace {

using testing::fileList;

TEST(NormalizeBackslashes, PairsBecomeOneInOnePassLeftToRight) {
    EXPECT_EQ(NormalizeBackslashes("data//a.txt"), "data/a.txt");
    EXPECT_EQ(NormalizeBackslashes("a//b//c"), "a/b/c");
    EXPECT_EQ(NormalizeBackslashes("a///b"), "a//b");  // a run of three gives two
    EXPECT_EQ(NormalizeBackslashes("a////b"), "a//b"); // four give two
    EXPECT_EQ(NormalizeBackslashes("a/////b"), "a///b");
    EXPECT_EQ(NormalizeBackslashes("folder//"), "folder/");
    EXPECT_EQ(NormalizeBackslashes("a/b/c.txt"), "a/b/c.txt");
    EXPECT_EQ(NormalizeBackslashes(""), "");
}

TEST(NormalizeBackslashes, ALeadingRunOfSeparatorsBecomesExactlyOne) {
    EXPECT_EQ(NormalizeBackslashes("/home/a.txt"), "/home/a.txt");
    EXPECT_EQ(NormalizeBackslashes("//home/a.txt"), "/home/a.txt");
    EXPECT_EQ(NormalizeBackslashes("///home//backup///a.txt"), "/home/backup//a.txt");
    EXPECT_EQ(NormalizeBackslashes("/"), "/");
    EXPECT_EQ(NormalizeBackslashes("////"), "/");
}

TEST(NormalizeBackslashes, OtherCharactersAreKeptAsTheyAre) {
    EXPECT_EQ(NormalizeBackslashes(" /a b//c? *.txt "), " /a b/c? *.txt ");
    EXPECT_EQ(NormalizeBackslashes("C:\\\\Data\\\\a.txt"), "C:\\\\Data\\\\a.txt"); // not a separator here
}

// A stick written on Linux can hold names Windows cannot: each fails its row with the reason.
TEST(NameRefusal, WindowsRefusesDeviceNamesAndATrailingDotOrBlankBesidesFatCharacters) {
    EXPECT_EQ(nameRefusal(NameRule::Windows, "meeting 10:30.txt"), "it contains ':'");
    EXPECT_EQ(nameRefusal(NameRule::Windows, "con.txt"), "Windows keeps the name con for a device");
    EXPECT_EQ(nameRefusal(NameRule::Windows, "COM7"), "Windows keeps the name COM7 for a device");
    EXPECT_EQ(nameRefusal(NameRule::Windows, "Nul .tar.gz"), "Windows keeps the name Nul for a device");
    EXPECT_EQ(nameRefusal(NameRule::Windows, "draft."), "it ends with a dot or a blank");
    EXPECT_EQ(nameRefusal(NameRule::Windows, "draft "), "it ends with a dot or a blank");
    for (const char* fine :
         {"console.txt", "COM0", "COM10", "LPT", "nul-result.csv", ".hidden", "caf\xc3\xa9"})
        EXPECT_EQ(nameRefusal(NameRule::Windows, fine), "") << fine;
    EXPECT_EQ(nameRefusal(NameRule::FatOrExfat, "con.txt"), ""); // as Linux's vfat takes it
}

TEST(RowAction, CopiedBeforeOverwriteBothCaseSensitiveAnywhere) {
    EXPECT_EQ(rowAction(" will be copied to"), RowAction::Copy);
    EXPECT_EQ(rowAction(" will overwrite an older"), RowAction::Overwrite);
    EXPECT_EQ(rowAction("overwrite, then copied"), RowAction::Copy);
    EXPECT_EQ(rowAction("xoverwritex"), RowAction::Overwrite);
    EXPECT_EQ(rowAction(" will be Copied to"), RowAction::Neither);
    EXPECT_EQ(rowAction(" will Overwrite an older"), RowAction::Neither);
    EXPECT_EQ(rowAction("Done"), RowAction::Neither);
    EXPECT_EQ(rowAction(""), RowAction::Neither);
}

Plan planOfCopies(int rows) {
    FileList side1;
    side1.folders = {"/one/"};
    std::vector<std::uint32_t> files;
    for (int i = 0; i < rows; ++i) {
        side1.add("f" + std::to_string(i), 0, {});
        files.push_back(std::uint32_t(i));
    }
    FileList side2;
    side2.folders = {"/two/"};
    Plan plan(side1, side2, "/one/", "/two/");
    plan.appendCopyRows(Side::Folder1, files);
    return plan;
}

TEST(SyncEndMessage, DoneAloneWhenNoRowFailed) {
    Plan plan = planOfCopies(3);
    plan.markDone(0);
    plan.markDone(2); // row 1 unticked or left alone: no failure
    EXPECT_EQ(syncEndMessage(plan), "Done.");
    EXPECT_EQ(syncEndMessage(Plan()), "Done.");
    EXPECT_EQ(syncEndMessage(plan, {"note 1", "note 2"}), "Done.\r\rnote 1\rnote 2");
}

TEST(SyncEndMessage, CountsTheFailedRowsNamesTheFirstTenAndSaysHowManyMore) {
    Plan plan = planOfCopies(16);
    plan.markFailed(1, "No space left on device");
    EXPECT_EQ(syncEndMessage(plan),
              "Done.\r\r1 ticked row could not be copied:\r/one/f1 \u2014 No space left on device");

    for (int i = 2; i < 11; ++i)
        plan.markFailed(std::size_t(i), "reason " + std::to_string(i));
    EXPECT_EQ(syncEndMessage(plan).find("more"), std::string::npos); // ten are all named

    for (int i = 11; i < 16; ++i)
        plan.markFailed(std::size_t(i), "reason " + std::to_string(i));
    const std::string message = syncEndMessage(plan);
    EXPECT_EQ(message.rfind("Done.\r\r15 ticked rows could not be copied:\r/one/f1 \u2014 No space", 0), 0u);
    EXPECT_NE(message.find("\r/one/f10 \u2014 reason 10\r\u2026 and 5 more"), std::string::npos);
    EXPECT_EQ(message.find("/one/f11"), std::string::npos); // the eleventh is counted, not named
    EXPECT_EQ(std::count(message.begin(), message.end(), '\r'), 2 + 10 + 1);
}

} // namespace
} // namespace quellomir
