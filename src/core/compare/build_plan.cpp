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

    // Folder 2's index serves both the missing files of Folder 1 and the overwrite pairs;
    // it is dropped before Folder 1's is built, so that only one index is held at a time.
    // The overwrite rows are found before the copy rows are laid down, so that the rows
    // are allocated once at their final size rather than grown by doubling.
    std::vector<std::uint32_t> only1;
    std::vector<PlanRow> newer;
    {
        const NameIndex index2(two, yielder);
        only1 = FindMissing(one, index2, yielder);
        FindNewer(one, index2, newer, yielder, fat.either() ? TimeRule::FatTolerant : TimeRule::SecondExact);
    }
    const std::vector<std::uint32_t> only2 = FindMissing(two, NameIndex(one, yielder), yielder);

    std::vector<PlanRow>& rows = plan.rows();
    rows.reserve(only1.size() + only2.size() + newer.size());
    plan.appendCopyRows(Side::Folder1, only1);
    plan.appendCopyRows(Side::Folder2, only2);
    rows.insert(rows.end(), newer.begin(), newer.end());
    plan.setAllChecked(true);
    return plan;
}

} // namespace quellomir
