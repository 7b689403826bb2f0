#include "compare/build_plan.h"

#include "compare/compare_rules.h"
#include "compare/name_index.h"

#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quellomir {
namespace {

// Which files' names occur more than once on a side, for the plan to point out the rows
// that pair files by name alone. Folder 2's repeats are the index's own chains; Folder 1's
// came with the look-up, except among the names Folder 2 lacks, which only copy rows
// hold: those few are counted here.
void markRepeatedNames(Plan& plan, const NameIndex& index, NameMatches& matches) {
    std::vector<bool>& repeated2 = matches.repeatedInB;
    for (std::uint32_t file = 0; file < repeated2.size(); ++file)
        if (const std::uint32_t next = index.next(file); next != NameIndex::None)
            repeated2[file] = repeated2[next] = true;

    std::vector<bool>& repeated1 = matches.repeatedInA;
    const FileList& one = plan.files(Side::Folder1);
    std::unordered_map<std::string_view, std::uint32_t> firstMissing;
    firstMissing.reserve(matches.missing.size());
    for (std::uint32_t file : matches.missing) {
        const auto [found, isNew] = firstMissing.try_emplace(one.name(file), file);
        if (!isNew) repeated1[file] = repeated1[found->second] = true;
    }
    plan.setRepeatedNames(Side::Folder1, std::move(repeated1));
    plan.setRepeatedNames(Side::Folder2, std::move(repeated2));
}

} // namespace

Plan buildPlan(FileList files1, FileList files2, std::string folder1, std::string folder2, Yielder& yielder,
               FatTimes fat) {
    Plan plan(std::move(files1), std::move(files2), std::move(folder1), std::move(folder2), fat);
    const FileList& one = plan.files(Side::Folder1);
    const FileList& two = plan.files(Side::Folder2);

    // One index, of Folder 2, and one look-up of each file of Folder 1 give all three
    // rules. The overwrite rows are found before the copy rows are laid down, so that
    // the rows are allocated once at their final size rather than grown by doubling.
    const NameIndex index(two, yielder);
    NameMatches matches =
        matchNames(one, index, yielder, fat.either() ? TimeRule::FatTolerant : TimeRule::SecondExact);
    const std::vector<std::uint32_t>& only1 = matches.missing;
    const std::vector<std::uint32_t> only2 = filesNotNamed(matches.namedInA);
    const std::vector<PlanRow>& newer = matches.newer;

    std::vector<PlanRow>& rows = plan.rows();
    rows.reserve(only1.size() + only2.size() + newer.size());
    plan.appendCopyRows(Side::Folder1, only1);
    plan.appendCopyRows(Side::Folder2, only2);
    rows.insert(rows.end(), newer.begin(), newer.end());
    plan.setAllChecked(true);
    markRepeatedNames(plan, index, matches);
    return plan;
}

} // namespace quellomir
