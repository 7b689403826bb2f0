#include "compare/build_plan.h"
#include "compare/compare_rules.h"
#include "support/plain_walk_compare.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quellomir {
namespace {

using testing::PlainRow;

struct Shape {
    std::string alphabet;
    std::size_t longestName;
    std::size_t largestList;
};

// Names of a few letters where upper and lower case both occur, so that duplicates on one
// side, namesakes across sides and names that differ only in case are all common; times
// bunched within a few seconds, with fractions at the rounding boundary and some unknown.
class ListMaker {
  public:
    ListMaker(unsigned seed, Shape shape) : m_random(seed), m_shape(std::move(shape)) {}

    FileList make(const std::string& root) {
        FileList list;
        list.folders = {root, root + "Sub/", root + "Sub/Deeper/", root + "b/"};
        const std::size_t count = pick(m_shape.largestList);
        for (std::size_t i = 0; i < count; ++i)
            list.add(name(), static_cast<std::uint32_t>(pick(list.folders.size() - 1)), time());
        return list;
    }

  private:
    std::size_t pick(std::size_t most) {
        return std::uniform_int_distribution<std::size_t>(0, most)(m_random);
    }

    std::string name() {
        std::string name(1 + pick(m_shape.longestName - 1), ' ');
        for (char& c : name)
            c = m_shape.alphabet[pick(m_shape.alphabet.size() - 1)];
        return name;
    }

    FileTime time() {
        static constexpr std::int32_t Fractions[] = {-1,          0,           1,          499'999'999,
                                                     500'000'000, 500'000'001, 999'999'999};
        const std::int64_t seconds = 1'700'000'000 + static_cast<std::int64_t>(pick(3));
        const std::size_t fraction = pick(std::size(Fractions));
        if (fraction == std::size(Fractions)) return {seconds, static_cast<std::int32_t>(pick(999'999'999))};
        return {seconds, Fractions[fraction]};
    }

    std::mt19937 m_random;
    Shape m_shape;
};

std::vector<PlainRow> rowsOf(const Plan& plan) {
    std::vector<PlainRow> rows;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const PlanRow& row = plan.rows()[i];
        rows.push_back({row.sourceSide, row.source, row.destination, plan.sourceText(i), plan.actionText(i),
                        plan.destinationText(i)});
    }
    return rows;
}

void expectSameAsPlainWalks(unsigned seed, const Shape& shape) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ListMaker maker(seed, shape);
    const FileList files1 = maker.make("/one/");
    const FileList files2 = seed % 5 == 0 ? files1 : maker.make("/two/");
    NoYield noYield;

    EXPECT_EQ(FindMissing(files1, files2, noYield), testing::plainFindMissing(files1, files2));
    EXPECT_EQ(FindMissing(files2, files1, noYield), testing::plainFindMissing(files2, files1));

    std::vector<PlanRow> newer;
    FindNewer(files1, files2, newer, noYield);
    std::vector<PlainRow> plainNewer;
    testing::plainFindNewer(files1, files2, plainNewer);
    ASSERT_EQ(newer.size(), plainNewer.size());
    for (std::size_t i = 0; i < newer.size(); ++i) {
        EXPECT_EQ(newer[i].sourceSide, plainNewer[i].sourceSide) << "row " << i;
        EXPECT_EQ(newer[i].source, plainNewer[i].source) << "row " << i;
        EXPECT_EQ(newer[i].destination, plainNewer[i].destination) << "row " << i;
    }

    const Plan plan = buildPlan(files1, files2, "/one/", "/two/", noYield);
    EXPECT_EQ(rowsOf(plan), testing::plainPlan(files1, files2, "/one/", "/two/"));
    for (const PlanRow& row : plan.rows())
        ASSERT_TRUE(row.checked);
}

TEST(CompareFastVsPlain, FewNamesManyDuplicates) {
    const Shape shape{"aAbB.", 3, 80};
    for (unsigned seed = 1; seed <= 200; ++seed)
        expectSameAsPlainWalks(seed, shape);
}

TEST(CompareFastVsPlain, ManyDistinctNames) {
    // Thousands of distinct names fill the lookup table well past its first few slots.
    const Shape shape{"abcdefghijXYZ_.~0", 4, 1500};
    for (unsigned seed = 1; seed <= 4; ++seed)
        expectSameAsPlainWalks(seed, shape);
}

// The rows as the rules define them, with a map from each name to its files in place of
// the plain walks, which would take hours on lists this long.
std::vector<PlanRow> rowsByMap(const FileList& files1, const FileList& files2) {
    std::unordered_map<std::string_view, std::vector<std::uint32_t>> byName[2];
    for (std::uint32_t i = 0; i < files1.size(); ++i)
        byName[0][files1.name(i)].push_back(i);
    for (std::uint32_t j = 0; j < files2.size(); ++j)
        byName[1][files2.name(j)].push_back(j);
    std::vector<PlanRow> rows;
    for (std::uint32_t i = 0; i < files1.size(); ++i)
        if (!byName[1].contains(files1.name(i))) rows.push_back({i, 0, 0, RowKind::Copy, Side::Folder1});
    for (std::uint32_t j = 0; j < files2.size(); ++j)
        if (!byName[0].contains(files2.name(j))) rows.push_back({j, 0, 0, RowKind::Copy, Side::Folder2});
    for (std::uint32_t i = 0; i < files1.size(); ++i) {
        const auto namesakes = byName[1].find(files1.name(i));
        if (namesakes == byName[1].end()) continue;
        for (const std::uint32_t j : namesakes->second) {
            const auto order = compareWriteTimes(files1.file(i).modified(), files2.file(j).modified());
            if (order > 0) rows.push_back({i, j, 0, RowKind::Overwrite, Side::Folder1});
            if (order < 0) rows.push_back({j, i, 0, RowKind::Overwrite, Side::Folder2});
        }
    }
    return rows;
}

TEST(CompareFastVsPlain, ListsLongerThanOneSpanInUnrelatedOrders) {
    // The rules take the files of Folder 1 some tens of thousands at a time and judge them
    // in the order of Folder 2's list; rows must still come in the order of the lists.
    std::mt19937 random(7);
    const auto side = [&](int which) {
        std::vector<std::uint32_t> numbers(90'000);
        std::iota(numbers.begin(), numbers.end(), 0u);
        std::shuffle(numbers.begin(), numbers.end(), random);
        FileList list;
        list.folders = {"/f/"};
        for (const std::uint32_t n : numbers) {
            if (n % 7 == std::uint32_t(which)) continue; // missing on this side
            // Every 1000th name is held by three files on each side.
            list.add("file" + std::to_string(n % 1000 == 0 ? n / 3 : n), 0, {n % 5 == 0 ? 2 * which : 1, 0});
        }
        return list;
    };
    const FileList files1 = side(0), files2 = side(1);
    NoYield noYield;
    const Plan plan = buildPlan(files1, files2, "/one/", "/two/", noYield);
    std::vector<PlanRow> rows = plan.rows();
    for (PlanRow& row : rows)
        row.checked = false;
    EXPECT_EQ(rows, rowsByMap(files1, files2));
}

} // namespace
} // namespace quellomir
