#include "compare/compare_rules.h"

namespace quellomir {

namespace {

constexpr std::int64_t FatSlack = 2;
constexpr std::int64_t Hour = 3600;

} // namespace

std::strong_ordering compareWriteTimes(FileTime a, FileTime b, TimeRule rule) {
    if (!a.known() || !b.known()) return a.known() <=> b.known();
    const std::int64_t secondsA = a.roundedSeconds(), secondsB = b.roundedSeconds();
    if (rule == TimeRule::FatTolerant) {
        const std::int64_t apart = secondsA > secondsB ? secondsA - secondsB : secondsB - secondsA;
        if (apart <= FatSlack || (apart >= Hour - FatSlack && apart <= Hour + FatSlack))
            return std::strong_ordering::equal;
    }
    return secondsA <=> secondsB;
}

std::vector<std::uint32_t> FindMissing(const FileList& a, const NameIndex& b, Yielder& yielder) {
    std::vector<std::uint32_t> missing;
    probeInListOrder(a, b, [&](std::uint32_t i, std::uint32_t first) {
        yielder.tick();
        if (first == NameIndex::None) missing.push_back(i);
    });
    return missing;
}

std::vector<std::uint32_t> FindMissing(const FileList& a, const FileList& b, Yielder& yielder) {
    const NameIndex index(b, yielder);
    return FindMissing(a, index, yielder);
}

void FindNewer(const FileList& a, const NameIndex& b, std::vector<PlanRow>& rows, Yielder& yielder,
               TimeRule rule) {
    probeInListOrder(a, b, [&](std::uint32_t i, std::uint32_t first) {
        yielder.tick();
        const FileTime timeA = a.file(i).modified();
        for (std::uint32_t j = first; j != NameIndex::None; j = b.next(j)) {
            yielder.tick();
            const std::strong_ordering order = compareWriteTimes(timeA, b.files().file(j).modified(), rule);
            if (order == 0) continue;
            PlanRow row;
            row.kind = RowKind::Overwrite;
            const bool aIsNewer = order > 0;
            row.sourceSide = aIsNewer ? Side::Folder1 : Side::Folder2;
            row.source = aIsNewer ? i : j;
            row.destination = aIsNewer ? j : i;
            rows.push_back(row);
        }
    });
}

void FindNewer(const FileList& a, const FileList& b, std::vector<PlanRow>& rows, Yielder& yielder,
               TimeRule rule) {
    const NameIndex index(b, yielder);
    FindNewer(a, index, rows, yielder, rule);
}

} // namespace quellomir
