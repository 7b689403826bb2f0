#include "handler/numbered_handler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>
#include <vector>

namespace quellomir {
namespace {

struct Reported {
    std::string description;
    std::string location;
    int line;
};

class RecordingReport : public ErrorReport {
  public:
    void report(const std::string& description, const std::string& location, int line) override {
        reports.push_back({description, location, line});
    }
    std::vector<Reported> reports;
};

const char* const Location = "in Quellomir2021/08/31.Form1.PushButton3_Click ";

TEST(ErrorReportText, HasDescriptionLocationLineAndSupportLine) {
    EXPECT_EQ(errorReportText("Permission denied", Location, 114),
              "Permission denied\r\nin Quellomir2021/08/31.Form1.PushButton3_Click at line 114\r\r"
              "Please email screenshot of this message to support@venmarro.example");
}

TEST(ErrorReportText, EmptyDescriptionGivesEmptyFirstLine) {
    EXPECT_EQ(errorReportText("", Location, 100).substr(0, 2), "\r\n");
}

TEST(NumberedHandler, ReportsFailureWithItsStatementNumberAndGoesOn) {
    RecordingReport report;
    NumberedHandler h(report, Location);
    std::vector<int> ran;
    h.run(100, [&] { throw std::runtime_error("first"); });
    h.run(102, [&] { ran.push_back(102); });
    h.run(104, [&] { throw std::system_error(ENOENT, std::generic_category(), "/no/such"); });
    h.run(106, [&] { ran.push_back(106); });

    ASSERT_EQ(report.reports.size(), 2u);
    EXPECT_EQ(report.reports[0].description, "first");
    EXPECT_EQ(report.reports[0].location, Location);
    EXPECT_EQ(report.reports[0].line, 100);
    EXPECT_EQ(report.reports[1].line, 104);
    EXPECT_NE(report.reports[1].description.find("/no/such"), std::string::npos);
    EXPECT_EQ(ran, (std::vector<int>{102, 106}));
}

TEST(NumberedHandler, FailedStatementLeavesTheValueItWasToProduce) {
    RecordingReport report;
    NumberedHandler h(report, Location);
    std::string text = "before";
    h.run(102, [&] {
        auto produce = []() -> std::string { throw std::runtime_error("no text"); };
        text = produce();
    });
    EXPECT_EQ(text, "before");
}

TEST(NumberedHandler, FailingTestRunsTheGuardedStatements) {
    RecordingReport report;
    NumberedHandler h(report, Location);
    bool guardedRan = false;
    if (h.test(150, []() -> bool { throw std::runtime_error("cannot test"); }))
        h.run(152, [&] { guardedRan = true; });
    EXPECT_TRUE(guardedRan);
    ASSERT_EQ(report.reports.size(), 1u);
    EXPECT_EQ(report.reports[0].line, 150);
}

TEST(NumberedHandler, FailingLeaveTestDoesNotLeave) {
    RecordingReport report;
    NumberedHandler h(report, Location);
    bool left = h.testLeave(104, []() -> bool { throw std::runtime_error("cannot test"); });
    EXPECT_FALSE(left);
    EXPECT_EQ(report.reports.size(), 1u);
}

TEST(NumberedHandler, PassingTestsDecideAsWritten) {
    RecordingReport report;
    NumberedHandler h(report, Location);
    EXPECT_FALSE(h.test(100, [] { return false; }));
    EXPECT_TRUE(h.testLeave(102, [] { return true; }));
    EXPECT_TRUE(report.reports.empty());
}

} // namespace
} // namespace quellomir
