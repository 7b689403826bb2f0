#include "compare/compare_rules.h"

namespace quellomir {

std::strong_ordering compareWriteTimes(FileTime a, FileTime b) {
    if (!a.known() || !b.known()) return a.known() <=> b.known();
    return a.roundedSeconds() <=> b.roundedSeconds();
}

std::vector<std::uint32_t> FindMissing(const FileList& a, const NameIndex& b, Yielder& yielder) {
    std::vector<std::uint32_t> missing;
    const auto count = static_cast<std::uint32_t>(a.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        yielder.tick();
        if (b.first(a.name(i)) == NameIndex::None) missing.push_back(i);
    }
    return missing;
}

std::vector<std::uint32_t> FindMissing(const FileList& a, const FileList& b, Yielder& yielder) {
    const NameIndex index(b, yielder);
    return FindMissing(a, index, yielder);
}

void FindNewer(const FileList& a, const NameIndex& b, std::vector<PlanRow>& rows, Yielder& yielder) {
    const auto count = static_cast<std::uint32_t>(a.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        yielder.tick();
        const FileTime timeA = a.file(i).modified;
        for (std::uint32_t j = b.first(a.name(i)); j != NameIndex::None; j = b.next(j)) {
            yielder.tick();
            const std::strong_ordering order = compareWriteTimes(timeA, b.files().file(j).modified);
            if (order == 0) continue;
            PlanRow row;
            row.kind = RowKind::Overwrite;
            const bool aIsNewer = order > 0;
            row.sourceSide = aIsNewer ? Side::Folder1 : Side::Folder2;
            row.source = aIsNewer ? i : j;
            row.destination = aIsNewer ? j : i;
            rows.push_back(row);
        }
    }
}

void FindNewer(const FileList& a, const FileList& b, std::vector<PlanRow>& rows, Yielder& yielder) {
    const NameIndex index(b, yielder);
    FindNewer(a, index, rows, yielder);
}

} // namespace quellomir
