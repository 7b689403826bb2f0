#pragma once

#include <cstdint>
#include <string>

namespace quellomir::bench {

// The shape of a generated pair of trees. Side 1 holds `files` files in `folders`
// folders at most `depth` levels deep; a share of the names recurs in several
// folders. Side 2 has the same folders and the same files, less a share missing,
// with a share made newer, and a share of extra files of its own.
struct TreeShape {
    std::uint64_t files = 200'000;
    std::uint64_t folders = 4'000;
    std::uint64_t depth = 6;
    double repeated = 0.2;
    double missing = 0.05;
    double extra = 0.05;
    double newer = 0.05;
    std::uint64_t bytes = 0; // contents of each file
    std::uint64_t seed = 1;
};

struct GeneratedTrees {
    std::uint64_t folders = 0;
    std::uint64_t side1Files = 0;
    std::uint64_t side2Files = 0;
};

// Writes OUT/side1/ and OUT/side2/; the same shape and seed give the same trees,
// names, contents and times. Throws std::system_error when a file cannot be made.
GeneratedTrees generateTrees(const std::string& out, const TreeShape& shape);

// Fills `folder` with a copy of `source` whose files are all ten seconds older: every file
// for a sync to replace.
void fillWithOlderCopies(const std::string& source, const std::string& folder);

} // namespace quellomir::bench
