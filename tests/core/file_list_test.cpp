#include "scan/file_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quellomir {
namespace {

std::vector<std::string> namesOf(const FileList& list) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list.size(); ++i)
        names.emplace_back(list.name(i));
    return names;
}

TEST(FileList, GivesBackEachNameByteForByteWithItsFolderAndTime) {
    FileList list;
    list.folders = {"/a/", "/a/Sub/"};
    // Empty names and names that are prefixes of their neighbours, so that a name
    // running into the next one or stopping short shows.
    const std::vector<std::string> names = {
        "x.txt", "", "X.TXT", "x", "\xC3\x84 long name of a report (final).docx", ""};
    for (std::size_t i = 0; i < names.size(); ++i)
        list.add(names[i], std::uint32_t(i % 2), {std::int64_t(1'600'000'000 + i), std::int32_t(i)});

    ASSERT_EQ(list.size(), names.size());
    EXPECT_EQ(namesOf(list), names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(list.file(i).folder, i % 2);
        EXPECT_EQ(list.file(i).modified().seconds, std::int64_t(1'600'000'000 + i));
        EXPECT_EQ(list.file(i).modified().nanoseconds, std::int32_t(i));
    }
    EXPECT_EQ(list.path(0), "/a/x.txt");
    EXPECT_EQ(list.path(1), "/a/Sub/");
    EXPECT_EQ(list.path(4), "/a/\xC3\x84 long name of a report (final).docx");
}

TEST(FileList, TruncatingDropsTheNamesWithTheFiles) {
    FileList list;
    list.folders = {"/f/"};
    list.add("kept", 0, {});
    list.add("dropped", 0, {});
    list.add("dropped too", 0, {});
    list.truncate(1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.name(0), "kept");
    // A name added afterwards must not pick up bytes of the dropped ones.
    list.add("new", 0, {});
    EXPECT_EQ(namesOf(list), (std::vector<std::string>{"kept", "new"}));

    list.truncate(5); // beyond the end: nothing to drop
    EXPECT_EQ(list.size(), 2u);
    list.truncate(0);
    EXPECT_TRUE(list.empty());
    list.add("again", 0, {});
    EXPECT_EQ(namesOf(list), (std::vector<std::string>{"again"}));
}

TEST(FileList, ReservingKeepsWhatIsThereAndTakesMoreThanWasReserved) {
    FileList list;
    list.folders = {"/f/"};
    list.add("first", 0, {});
    list.reserve(2, 4);
    list.add("second", 0, {});
    for (int i = 0; i < 100; ++i)
        list.add("more-" + std::to_string(i), 0, {});
    ASSERT_EQ(list.size(), 102u);
    EXPECT_EQ(list.name(0), "first");
    EXPECT_EQ(list.name(1), "second");
    EXPECT_EQ(list.name(101), "more-99");
}

TEST(FileList, ACopyHasNamesOfItsOwn) {
    FileList list;
    list.folders = {"/f/"};
    list.add("one", 0, {});
    FileList copy = list;
    list.truncate(0);
    list.add("other", 0, {});
    EXPECT_EQ(namesOf(copy), std::vector<std::string>{"one"});
    EXPECT_EQ(copy.path(0), "/f/one");
}

} // namespace
} // namespace quellomir
