#include "compare/name_index.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quellomir {
namespace {

FileList namesInOneFolder(const std::vector<std::string>& names) {
    FileList list;
    list.folders = {"/f/"};
    for (const std::string& name : names)
        list.add(name, 0, {});
    return list;
}

std::vector<std::uint32_t> chainOf(const NameIndex& index, const std::string& name) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t file = index.first(name); file != NameIndex::None; file = index.next(file))
        chain.push_back(file);
    return chain;
}

TEST(NameIndex, ChainsHoldEveryFileOfANameInListOrder) {
    NoYield noYield;
    const FileList list = namesInOneFolder({"b", "a", "b", "B", "", "a", "b"});
    const NameIndex index(list, noYield);
    EXPECT_EQ(chainOf(index, "b"), (std::vector<std::uint32_t>{0, 2, 6}));
    EXPECT_EQ(chainOf(index, "a"), (std::vector<std::uint32_t>{1, 5}));
    EXPECT_EQ(chainOf(index, "B"), (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(chainOf(index, ""), (std::vector<std::uint32_t>{4}));
    EXPECT_EQ(index.first("A"), NameIndex::None);
    EXPECT_EQ(index.first("bb"), NameIndex::None);
}

TEST(NameIndex, NamesOfAnyLengthAreComparedWhole) {
    // The slot keeps a length only up to 254 bytes; longer names, which a code page that
    // widens characters can give, must still be told apart by their last byte.
    const std::string longA(300, 'x'), longB = std::string(299, 'x') + "y", edge(255, 'x');
    NoYield noYield;
    const FileList list = namesInOneFolder({longA, edge, longB, longA});
    const NameIndex index(list, noYield);
    EXPECT_EQ(chainOf(index, longA), (std::vector<std::uint32_t>{0, 3}));
    EXPECT_EQ(chainOf(index, longB), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(chainOf(index, edge), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(index.first(std::string(256, 'x')), NameIndex::None);
}

TEST(NameIndex, EmptyListFindsNothing) {
    NoYield noYield;
    const FileList list;
    EXPECT_EQ(NameIndex(list, noYield).first("x"), NameIndex::None);
}

TEST(NameIndex, TellsApartNamesWhoseHashesShareTheTagAndTheFirstSlot) {
    // A small table has 8 slots; look for two names of one length whose hashes agree in
    // their top 24 bits and in their low three bits, so that only comparing the names can
    // tell them apart.
    std::unordered_map<std::uint64_t, std::string> seen;
    std::pair<std::string, std::string> twins;
    for (std::uint64_t i = 0; twins.first.empty(); ++i) {
        std::string name = "n" + std::to_string(1'000'000'000 + i);
        const std::uint64_t hash = NameIndex::hash(name);
        const auto [found, added] = seen.emplace((hash >> 40) << 3 | (hash & 7), name);
        if (!added) twins = {found->second, name};
    }
    NoYield noYield;
    const FileList one = namesInOneFolder({twins.first});
    EXPECT_EQ(NameIndex(one, noYield).first(twins.second), NameIndex::None);

    const FileList both = namesInOneFolder({twins.second, twins.first, twins.second});
    const NameIndex index(both, noYield);
    EXPECT_EQ(chainOf(index, twins.first), std::vector<std::uint32_t>{1});
    EXPECT_EQ(chainOf(index, twins.second), (std::vector<std::uint32_t>{0, 2}));

    // The same through the look-up of many names at once, whose first guess is a slot
    // with the same key.
    const FileList probes = namesInOneFolder({twins.first, twins.second, "other"});
    std::vector<std::uint32_t> found;
    NameIndex(one, noYield).firstOfEach(probes, 0, 3, found);
    EXPECT_EQ(found, (std::vector<std::uint32_t>{0, NameIndex::None, NameIndex::None}));
}

} // namespace
} // namespace quellomir
