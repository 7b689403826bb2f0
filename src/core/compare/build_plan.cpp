#include "compare/build_plan.h"

#include "compare/compare_rules.h"
#include "compare/name_index.h"

#include <utility>
#include <vector>

namespace quellomir {

Plan buildPlan(FileList files1, FileList files2, std::string folder1, std::string folder2, Yielder& yielder,
               FatTimes fat) {
    Plan plan(std::move(files1), std::move(files2), std::move(folder1), std::move(folder2), fat);
    const FileList& one = plan.files(Side::Folder1);
    const FileList& two = plan.files(Side::Folder2);

    // One index, of Folder 2, and one look-up of each file of Folder 1 give all three
    // rules. The overwrite rows are found before the copy rows are laid down, so that
    // the rows are allocated once at their final size rather than grown by doubling.
    NameMatches matches =
        matchNames(one, NameIndex(two, yielder), yielder, fat.either() ? TimeRule::FatTolerant : TimeRule::SecondExact);
    const std::vector<std::uint32_t>& only1 = matches.missing;
    const std::vector<std::uint32_t> only2 = filesNotNamed(matches.namedInA);
    const std::vector<PlanRow>& newer = matches.newer;

    std::vector<PlanRow>& rows = plan.rows();
    rows.reserve(only1.size() + only2.size() + newer.size());
    plan.appendCopyRows(Side::Folder1, only1);
    plan.appendCopyRows(Side::Folder2, only2);
    rows.insert(rows.end(), newer.begin(), newer.end());
    plan.setAllChecked(true);
    return plan;
}

} // namespace quellomir
