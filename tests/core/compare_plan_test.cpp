#include "compare/build_plan.h"
#include "compare/plan_order.h"
#include "support/compare_lists.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quellomir {
namespace {

using testing::fileList;
using testing::timeOfDay;
using testing::UnknownTime;

struct Texts {
    std::string source, action, destination;
    bool checked;
    bool operator==(const Texts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Texts& t) {
    return out << '"' << t.source << "\" \"" << t.action << "\" \"" << t.destination << "\" " << t.checked;
}

std::vector<Texts> textsOf(const Plan& plan) {
    std::vector<Texts> texts;
    for (std::size_t i = 0; i < plan.size(); ++i)
        texts.push_back(
            {plan.sourceText(i), plan.actionText(i), plan.destinationText(i), plan.rows()[i].checked});
    return texts;
}

Plan build(FileList files1, FileList files2, std::string folder1 = "/one/", std::string folder2 = "/two/") {
    NoYield noYield;
    return buildPlan(std::move(files1), std::move(files2), std::move(folder1), std::move(folder2), noYield);
}

TEST(BuildPlan, CopyRowsOfFolder1ThenFolder2ThenOverwriteRowsAllTicked) {
    const Plan plan = build(fileList({{"/one/a.txt", timeOfDay(9, 0, 0)},
                                      {"/one/shared.txt", timeOfDay(12, 0, 0)},
                                      {"/one/Sub/b.txt", timeOfDay(9, 0, 0)},
                                      {"/one/Sub/older.txt", timeOfDay(8, 0, 0)}}),
                            fileList({{"/two/older.txt", timeOfDay(8, 30, 0)},
                                      {"/two/c.txt", UnknownTime},
                                      {"/two/Deep/shared.txt", timeOfDay(11, 59, 59)}}));
    EXPECT_EQ(textsOf(plan),
              (std::vector<Texts>{
                  {"/one/a.txt", " will be copied to", "/two/", true},
                  {"/one/Sub/b.txt", " will be copied to", "/two/", true},
                  {"/two/c.txt", " will be copied to", "/one/", true},
                  {"/one/shared.txt", " will overwrite an older", "/two/Deep/shared.txt", true},
                  {"/two/older.txt", " will overwrite an older", "/one/Sub/older.txt", true},
              }));
}

// A step that fails is reported under its own number and the next one goes on with what
// the failed one left: here Folder 2's copy rows are lost, the others stay and are ticked.
TEST(BuildPlan, AFailedStepIsReportedUnderItsNumberAndTheNextGoesOn) {
    std::vector<int> failed;
    NoYield noYield;
    const Plan plan =
        buildPlan(fileList({{"/one/a.txt", timeOfDay(9, 0, 0)}, {"/one/shared.txt", timeOfDay(12, 0, 0)}}),
                  fileList({{"/two/c.txt", {}}, {"/two/shared.txt", timeOfDay(11, 0, 0)}}), "/one/", "/two/",
                  noYield, {}, Pairing::ByName, [&](int line, const std::function<void()>& step) {
                      try {
                          if (line == 170) throw std::runtime_error("out of memory");
                          step();
                      } catch (const std::exception&) {
                          failed.push_back(line);
                      }
                  });
    EXPECT_EQ(failed, std::vector<int>{170});
    EXPECT_EQ(textsOf(plan),
              (std::vector<Texts>{{"/one/a.txt", " will be copied to", "/two/", true},
                                  {"/one/shared.txt", " will overwrite an older", "/two/shared.txt", true}}));
}

TEST(BuildPlan, CopyDestinationIsTheSlotTextAsGiven) {
    // The destination of a copy is the other slot's text, not a folder of the listing.
    const Plan plan = build(fileList({{"/x/Sub/a.txt", {}}}), FileList{}, "/x/", "/mnt/usb stick/");
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan.destinationText(0), "/mnt/usb stick/");
}

TEST(BuildPlan, EmptySides) {
    EXPECT_EQ(build(FileList{}, FileList{}).size(), 0u);

    // A side that contributes no files (missing or unreadable folder) turns every file of
    // the other side into a copy row.
    const Plan plan = build(FileList{}, fileList({{"/two/x.txt", {}}, {"/two/S/x.txt", {}}}));
    EXPECT_EQ(textsOf(plan), (std::vector<Texts>{{"/two/x.txt", " will be copied to", "/one/", true},
                                                 {"/two/S/x.txt", " will be copied to", "/one/", true}}));
}

TEST(BuildPlan, SameFolderOnBothSidesGivesOnlyDuplicatedOverwriteRows) {
    const FileList same = fileList({{"/f/x.txt", timeOfDay(10, 0, 0)},
                                    {"/f/lonely.txt", timeOfDay(10, 0, 0)},
                                    {"/f/Sub/x.txt", timeOfDay(10, 0, 7)},
                                    {"/f/Sub/y.txt", UnknownTime},
                                    {"/f/y.txt", UnknownTime}});
    const Plan plan = build(same, same, "/f/", "/f/");
    const Texts row{"/f/Sub/x.txt", " will overwrite an older", "/f/x.txt", true};
    EXPECT_EQ(textsOf(plan), (std::vector<Texts>{row, row}));
    EXPECT_NE(plan.rows()[0].sourceSide, plan.rows()[1].sourceSide);
}

TEST(BuildPlan, CaseDifferingNamesAreCopiedBothWays) {
    const Plan plan = build(fileList({{"/one/x.txt", timeOfDay(10, 0, 0)}}),
                            fileList({{"/two/X.TXT", timeOfDay(11, 0, 0)}}));
    EXPECT_EQ(textsOf(plan), (std::vector<Texts>{{"/one/x.txt", " will be copied to", "/two/", true},
                                                 {"/two/X.TXT", " will be copied to", "/one/", true}}));
}

TEST(Plan, KeepsTheTimesSeenAtComparison) {
    const FileTime newer = timeOfDay(10, 0, 5, 123), older = timeOfDay(10, 0, 1, 456);
    const Plan plan = build(fileList({{"/one/x.txt", older}}), fileList({{"/two/x.txt", newer}}));
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan.sourceFile(0).modified().seconds, newer.seconds);
    EXPECT_EQ(plan.sourceFile(0).modified().nanoseconds, newer.nanoseconds);
    EXPECT_EQ(plan.destinationFile(0).modified().seconds, older.seconds);
    EXPECT_EQ(plan.destinationFile(0).modified().nanoseconds, older.nanoseconds);
}

TEST(Plan, OutcomeReplacesTheActionTextOfItsRowOnly) {
    Plan plan = build(fileList({{"/one/a.txt", {}}, {"/one/b.txt", {}}, {"/one/x.txt", timeOfDay(1, 0, 0)}}),
                      fileList({{"/two/x.txt", timeOfDay(2, 0, 0)}}));
    ASSERT_EQ(plan.size(), 3u);
    plan.markDone(0);
    plan.markFailed(2, "No space left on device: /one/x.txt");
    plan.markFailed(1, "Permission denied: /two/");
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(plan.actionText(1), "Failed: Permission denied: /two/");
    EXPECT_EQ(plan.actionText(2), "Failed: No space left on device: /one/x.txt");
    // Source and destination stay as planned.
    EXPECT_EQ(plan.sourceText(2), "/two/x.txt");
    EXPECT_EQ(plan.destinationText(2), "/one/x.txt");
    EXPECT_THROW(plan.markDone(3), std::out_of_range);
}

TEST(Plan, SortsByAColumnsTextLetterCaseAsideTiesInThePlansOrder) {
    Plan plan = build(fileList({{"/one/b.txt", {}}, {"/one/A.txt", {}}, {"/one/x.txt", timeOfDay(1, 0, 0)}}),
                      fileList({{"/two/x.txt", timeOfDay(2, 0, 0)}}));
    plan.markDone(1);
    plan.markFailed(2, "Permission denied: /one/");
    using Order = std::vector<std::uint32_t>;
    EXPECT_EQ(rowsInOrderOf(plan, PlanColumn::Source, false), (Order{1, 0, 2}));
    EXPECT_EQ(rowsInOrderOf(plan, PlanColumn::Source, true), (Order{2, 0, 1}));
    EXPECT_EQ(rowsInOrderOf(plan, PlanColumn::Action, false), (Order{0, 1, 2}));
    EXPECT_EQ(rowsInOrderOf(plan, PlanColumn::Destination, false), (Order{2, 0, 1}));
    EXPECT_EQ(rowsInOrderOf(plan, PlanColumn::Destination, true), (Order{0, 1, 2}));
    EXPECT_EQ(plan.sourceText(0), "/one/b.txt"); // the plan keeps its order
}

TEST(Plan, TicksAllAndNone) {
    Plan plan = build(fileList({{"/one/a.txt", {}}, {"/one/b.txt", {}}, {"/one/c.txt", {}}}), FileList{});
    plan.rows()[1].checked = false;
    plan.setAllChecked(false);
    for (const PlanRow& row : plan.rows())
        EXPECT_FALSE(row.checked);
    plan.setAllChecked(true);
    for (const PlanRow& row : plan.rows())
        EXPECT_TRUE(row.checked);
    EXPECT_EQ(plan.sourceText(1), "/one/b.txt");
}

} // namespace
} // namespace quellomir
