#include "compare/plan_order.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace quellomir {
namespace {

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Letter case aside first, so that "img_2.jpg" sorts between "IMG_1.JPG" and "IMG_3.JPG";
// then by the bytes, so that the order is total and the same every time.
int compareTexts(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(folded(a[i]));
        const auto y = static_cast<unsigned char>(folded(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int raw = a.compare(b);
    return raw < 0 ? -1 : raw > 0 ? 1 : 0;
}

// What a row is sorted by: a rank that stands for a folder's text (or an action's kind),
// then a name (or a failure's reason).
struct SortKey {
    std::uint32_t rank = 0;
    std::string_view text;
};

bool before(const SortKey& a, const SortKey& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    return compareTexts(a.text, b.text) < 0;
}

// Gives every folder text a rank by its order, equal texts the same rank. Folders are far
// fewer than files: sorting them once spares comparing long paths at every row.
class FolderRanks {
  public:
    std::size_t add(std::string text) {
        m_texts.push_back(std::move(text));
        return m_texts.size() - 1;
    }
    void rank() {
        std::vector<std::uint32_t> order(m_texts.size());
        for (std::uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return compareTexts(m_texts[a], m_texts[b]) < 0; });
        m_ranks.assign(m_texts.size(), 0);
        std::uint32_t rank = 0;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && m_texts[order[i]] != m_texts[order[i - 1]]) ++rank;
            m_ranks[order[i]] = rank;
        }
    }
    std::uint32_t of(std::size_t added) const { return m_ranks[added]; }

  private:
    std::vector<std::string> m_texts;
    std::vector<std::uint32_t> m_ranks;
};

std::uint32_t actionRank(const PlanRow& row) {
    // As the texts sort: " will be copied to", " will overwrite an older", "Done", "Failed: …"
    switch (row.outcome) {
    case Outcome::Done:
        return 2;
    case Outcome::Failed:
        return 3;
    case Outcome::Pending:
        break;
    }
    return row.kind == RowKind::Copy ? 0 : 1;
}

std::vector<SortKey> sortKeys(const Plan& plan, PlanColumn column) {
    std::vector<SortKey> keys(plan.size());
    const std::vector<PlanRow>& rows = plan.rows();
    if (column == PlanColumn::Action) {
        for (std::size_t row = 0; row < rows.size(); ++row) {
            keys[row].rank = actionRank(rows[row]);
            if (rows[row].outcome == Outcome::Failed) keys[row].text = plan.failureReason(row);
        }
        return keys;
    }
    // Each side's folders, and for the destination column the folder a copy from each of
    // them goes into.
    FolderRanks ranks;
    std::vector<std::size_t> folderAt[2], copyFolderAt[2];
    for (Side side : {Side::Folder1, Side::Folder2}) {
        const FileList& files = plan.files(side);
        const auto s = std::size_t(side);
        for (std::uint32_t folder = 0; folder < files.folders.size(); ++folder) {
            folderAt[s].push_back(ranks.add(files.folders[folder]));
            if (column == PlanColumn::Destination)
                copyFolderAt[s].push_back(ranks.add(plan.copyFolder(side, folder)));
        }
    }
    ranks.rank();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const PlanRow& r = rows[row];
        const auto source = std::size_t(r.sourceSide);
        const FileList& sources = plan.files(r.sourceSide);
        if (column == PlanColumn::Source) {
            keys[row] = {ranks.of(folderAt[source][sources.file(r.source).folder]), sources.name(r.source)};
        } else if (r.kind == RowKind::Copy) {
            keys[row] = {ranks.of(copyFolderAt[source][sources.file(r.source).folder]), {}};
        } else {
            const FileList& older = plan.files(otherSide(r.sourceSide));
            keys[row] = {ranks.of(folderAt[1 - source][older.file(r.destination).folder]),
                         older.name(r.destination)};
        }
    }
    return keys;
}

} // namespace

std::vector<std::uint32_t> rowsInOrderOf(const Plan& plan, PlanColumn column, bool descending) {
    const std::vector<SortKey> keys = sortKeys(plan, column);
    std::vector<std::uint32_t> order(plan.size());
    for (std::uint32_t row = 0; row < order.size(); ++row)
        order[row] = row;
    if (descending)
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return before(keys[b], keys[a]); });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return before(keys[a], keys[b]); });
    return order;
}

} // namespace quellomir
