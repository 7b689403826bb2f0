#include "support/plain_walk_compare.h"

#include <optional>

namespace quellomir::testing {
namespace {

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string fullPath(const FileList& list, std::uint32_t file) {
    return list.folders[list.file(file).folder] + std::string(list.name(file));
}

// The second a time falls in when rounded to the nearest, worked out in nanoseconds.
std::optional<std::int64_t> secondOf(FileTime time) {
    if (time.nanoseconds < 0) return std::nullopt;
    const std::int64_t total = time.seconds * 1'000'000'000 + time.nanoseconds + 500'000'000;
    std::int64_t second = total / 1'000'000'000;
    if (total % 1'000'000'000 < 0) --second;
    return second;
}

bool later(FileTime a, FileTime b) {
    const auto sa = secondOf(a), sb = secondOf(b);
    return sa && (!sb || *sa > *sb);
}

} // namespace

std::vector<std::uint32_t> plainFindMissing(const FileList& a, const FileList& b) {
    std::vector<std::uint32_t> missing;
    for (std::uint32_t i = 0; i < a.size(); ++i) {
        bool found = false;
        for (std::uint32_t j = 0; j < b.size() && !found; ++j)
            found = nameOf(fullPath(a, i)) == nameOf(fullPath(b, j));
        if (!found) missing.push_back(i);
    }
    return missing;
}

void plainFindNewer(const FileList& a, const FileList& b, std::vector<PlainRow>& rows) {
    const std::string action = " will overwrite an older";
    for (std::uint32_t i = 0; i < a.size(); ++i) {
        for (std::uint32_t j = 0; j < b.size(); ++j) {
            if (nameOf(fullPath(a, i)) != nameOf(fullPath(b, j))) continue;
            const FileTime ta = a.file(i).modified(), tb = b.file(j).modified();
            if (later(ta, tb))
                rows.push_back({Side::Folder1, i, j, fullPath(a, i), action, fullPath(b, j)});
            else if (later(tb, ta))
                rows.push_back({Side::Folder2, j, i, fullPath(b, j), action, fullPath(a, i)});
        }
    }
}

std::vector<PlainRow> plainPlan(const FileList& files1, const FileList& files2, const std::string& folder1,
                                const std::string& folder2) {
    std::vector<PlainRow> rows;
    for (std::uint32_t i : plainFindMissing(files1, files2))
        rows.push_back({Side::Folder1, i, 0, fullPath(files1, i), " will be copied to", folder2});
    for (std::uint32_t i : plainFindMissing(files2, files1))
        rows.push_back({Side::Folder2, i, 0, fullPath(files2, i), " will be copied to", folder1});
    plainFindNewer(files1, files2, rows);
    return rows;
}

} // namespace quellomir::testing
