#include "compare/compare_rules.h"

namespace quellomir {

namespace {

void appendOverwriteRow(std::vector<PlanRow>& rows, std::uint32_t i, std::uint32_t j,
                        std::strong_ordering order) {
    if (order == 0) return;
    PlanRow row;
    row.kind = RowKind::Overwrite;
    const bool aIsNewer = order > 0;
    row.sourceSide = aIsNewer ? Side::Folder1 : Side::Folder2;
    row.source = aIsNewer ? i : j;
    row.destination = aIsNewer ? j : i;
    rows.push_back(row);
}

} // namespace

NameMatches matchNames(const FileList& a, const NameIndex& b, Yielder& yielder, TimeRule rule,
                       const std::vector<std::uint32_t>* folderInB) {
    NameMatches matches;
    matches.namedInA.assign(b.files().size(), false);
    matches.repeatedInA.assign(a.size(), false);
    matches.repeatedInB.assign(b.files().size(), false);
    TickEveryFewSteps ticks(yielder);
    // The files of a are looked up a span at a time, small enough for the cache.
    constexpr std::uint32_t Span = 32 * 1024;
    std::vector<std::uint32_t> firsts;
    const auto count = static_cast<std::uint32_t>(a.size());
    for (std::uint32_t begin = 0; begin < count; begin += Span) {
        const std::uint32_t end = count - begin > Span ? begin + Span : count;
        yielder.tick();
        b.firstOfEach(a, begin, end, firsts);
        for (std::uint32_t i = begin; i < end; ++i) {
            ticks.step();
            std::uint32_t first = firsts[i - begin];
            if (folderInB) {
                // The one file of that name at the same place, if any.
                const std::uint32_t place = (*folderInB)[a.file(i).folder];
                while (first != NameIndex::None && b.files().file(first).folder != place)
                    first = b.next(first);
            }
            if (first == NameIndex::None) {
                matches.missing.push_back(i);
                continue;
            }
            if (folderInB) {
                matches.namedInA[first] = true;
                const ListedFile& fileB = b.files().file(first);
                appendOverwriteRow(matches.newer, i, first,
                                   compareWriteTimes(a.file(i).modified(), fileB.modified(), rule,
                                                     a.file(i).size() == fileB.size()));
                continue;
            }
            // An earlier file of a named this name already: the look-up tells it for free.
            const bool repeatedInA = matches.namedInA[first];
            if (repeatedInA) matches.repeatedInA[i] = true;
            const bool repeated = repeatedInA || b.next(first) != NameIndex::None;
            const FileTime timeA = a.file(i).modified();
            const std::uint64_t sizeA = a.file(i).size();
            // Every pair is judged, so a name held by many files on both sides makes many
            // steps from one file of a.
            for (std::uint32_t j = first; j != NameIndex::None; j = b.next(j)) {
                ticks.step();
                matches.namedInA[j] = true;
                if (repeated) matches.repeatedInB[j] = true;
                const ListedFile& fileB = b.files().file(j);
                appendOverwriteRow(matches.newer, i, j,
                                   compareWriteTimes(timeA, fileB.modified(), rule, sizeA == fileB.size()));
            }
        }
    }
    return matches;
}

std::vector<std::uint32_t> filesNotNamed(const std::vector<bool>& named) {
    std::vector<std::uint32_t> files;
    for (std::size_t file = 0; file < named.size(); ++file)
        if (!named[file]) files.push_back(static_cast<std::uint32_t>(file));
    return files;
}

std::vector<std::uint32_t> FindMissing(const FileList& a, const FileList& b, Yielder& yielder) {
    return matchNames(a, NameIndex(b, yielder), yielder).missing;
}

void FindNewer(const FileList& a, const FileList& b, std::vector<PlanRow>& rows, Yielder& yielder,
               TimeRule rule) {
    NameMatches matches = matchNames(a, NameIndex(b, yielder), yielder, rule);
    rows.insert(rows.end(), matches.newer.begin(), matches.newer.end());
}

} // namespace quellomir
