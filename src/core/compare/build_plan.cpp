#include "compare/build_plan.h"

#include "compare/compare_rules.h"
#include "compare/name_index.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quellomir {
namespace {

// Which files' names occur more than once on a side, for the plan to point out the rows
// that pair files by name alone. The look-up found them among the names both sides hold;
// the names only one side holds are those of copy rows, which are few, and are looked
// at here: in Folder 2 through the index's chains, in Folder 1 by their hashes.
void markRepeatedNames(Plan& plan, const NameIndex& index, NameMatches& matches,
                       const std::vector<std::uint32_t>& only2) {
    std::vector<bool>& repeated2 = matches.repeatedInB;
    for (std::uint32_t file : only2)
        if (const std::uint32_t next = index.next(file); next != NameIndex::None)
            repeated2[file] = repeated2[next] = true;

    // Sorted by hash, names that repeat lie side by side; no allocation per name.
    std::vector<bool>& repeated1 = matches.repeatedInA;
    const FileList& one = plan.files(Side::Folder1);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> missing;
    missing.reserve(matches.missing.size());
    for (std::uint32_t file : matches.missing)
        missing.emplace_back(NameIndex::hash(one.name(file)), file);
    std::sort(missing.begin(), missing.end());
    for (std::size_t i = 0; i < missing.size();) {
        std::size_t end = i + 1;
        while (end < missing.size() && missing[end].first == missing[i].first)
            ++end;
        // Equal hashes: the same name, or seldom another one of the same hash.
        for (std::size_t a = i; a < end; ++a)
            for (std::size_t b = a + 1; b < end; ++b)
                if (one.name(missing[a].second) == one.name(missing[b].second))
                    repeated1[missing[a].second] = repeated1[missing[b].second] = true;
        i = end;
    }
    plan.setRepeatedNames(Side::Folder1, std::move(repeated1));
    plan.setRepeatedNames(Side::Folder2, std::move(repeated2));
}

// For each folder of `one`, the folder of `two` at the same place below the chosen folder
// (`top1` and `top2`), or NameIndex::None.
std::vector<std::uint32_t> samePlaces(const FileList& one, const std::string& top1, const FileList& two,
                                      const std::string& top2) {
    auto below = [](const std::string& folder, const std::string& top) {
        return std::string_view(folder).substr(std::min(top.size(), folder.size()));
    };
    std::unordered_map<std::string_view, std::uint32_t> places;
    places.reserve(two.folders.size());
    for (std::uint32_t folder = 0; folder < two.folders.size(); ++folder)
        places.emplace(below(two.folders[folder], top2), folder);
    std::vector<std::uint32_t> same(one.folders.size(), NameIndex::None);
    for (std::uint32_t folder = 0; folder < one.folders.size(); ++folder)
        if (const auto found = places.find(below(one.folders[folder], top1)); found != places.end())
            same[folder] = found->second;
    return same;
}

} // namespace

Plan buildPlan(FileList files1, FileList files2, std::string folder1, std::string folder2, Yielder& yielder,
               FatTimes fat, Pairing pairing, const RunStatement& statement) {
    const auto run = [&](int line, const std::function<void()>& step) {
        statement ? statement(line, step) : step();
    };
    Plan plan(std::move(files1), std::move(files2), std::move(folder1), std::move(folder2), fat, pairing);
    const FileList& one = plan.files(Side::Folder1);
    const FileList& two = plan.files(Side::Folder2);

    // One index, of Folder 2, and one look-up of each file of Folder 1 give all three
    // rules. The overwrite rows are found before the copy rows are laid down, so that
    // the rows are allocated once at their final size rather than grown by doubling.
    std::optional<NameIndex> index;
    const bool byPlace = pairing == Pairing::ByPlace;
    NameMatches matches;
    bool matched = false;
    run(156, [&] {
        index.emplace(two, yielder);
        const std::vector<std::uint32_t> places =
            byPlace ? samePlaces(one, plan.folder(Side::Folder1), two, plan.folder(Side::Folder2))
                    : std::vector<std::uint32_t>();
        matches =
            matchNames(one, *index, yielder, fat.either() ? TimeRule::FatTolerant : TimeRule::SecondExact,
                       byPlace ? &places : nullptr);
        matched = true;
    });
    if (!matched) return plan; // no row could be told right
    std::vector<std::uint32_t> only2;
    run(158, [&] { only2 = filesNotNamed(matches.namedInA); });

    std::vector<PlanRow>& rows = plan.rows();
    run(160, [&] {
        rows.reserve(matches.missing.size() + only2.size() + matches.newer.size());
        plan.appendCopyRows(Side::Folder1, matches.missing);
    });
    run(170, [&] { plan.appendCopyRows(Side::Folder2, only2); });
    run(180, [&] {
        rows.insert(rows.end(), matches.newer.begin(), matches.newer.end());
        if (!byPlace) markRepeatedNames(plan, *index, matches, only2);
    });
    run(182, [&] { plan.setAllChecked(true); });
    return plan;
}

} // namespace quellomir
