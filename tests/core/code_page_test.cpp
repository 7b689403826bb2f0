#include "files/code_page.h"
#include "scan/unsafe_chars.h"

#include <gtest/gtest.h>

namespace quellomir {
namespace {

TEST(CodePageChoice, FollowsLanguageAndForChineseAndSerbianCountryAndScript) {
    EXPECT_EQ(CodePage::numberForLocale("C"), 1252);
    EXPECT_EQ(CodePage::numberForLocale("de_DE.UTF-8"), 1252);
    EXPECT_EQ(CodePage::numberForLocale("pl_PL.UTF-8"), 1250);
    EXPECT_EQ(CodePage::numberForLocale("ru_RU.UTF-8"), 1251);
    EXPECT_EQ(CodePage::numberForLocale("ja_JP.UTF-8"), 932);
    EXPECT_EQ(CodePage::numberForLocale("zh_CN.UTF-8"), 936);
    EXPECT_EQ(CodePage::numberForLocale("zh_TW.UTF-8"), 950);
    EXPECT_EQ(CodePage::numberForLocale("sr_RS.UTF-8"), 1251);
    EXPECT_EQ(CodePage::numberForLocale("sr_RS.UTF-8@latin"), 1250);
}

TEST(CodePageChoice, EveryCodePageItChoosesCanBeOpened) {
    for (int number : {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258})
        EXPECT_NO_THROW(CodePage page(number)) << number;
    EXPECT_THROW(CodePage(12345), std::system_error);
}

TEST(CodePageCarries, NamesOfItsOwnLettersOnly) {
    CodePage western(1252), cyrillic(1251), japanese(932);
    EXPECT_TRUE(western.carries("plain name.txt"));
    EXPECT_TRUE(western.carries("caf\xC3\xA9")); // e acute
    EXPECT_FALSE(western.carries("\xD0\x96"));   // Cyrillic Zhe
    EXPECT_TRUE(cyrillic.carries("\xD0\x96"));
    EXPECT_FALSE(cyrillic.carries("caf\xC3\xA9"));
    EXPECT_TRUE(japanese.carries("\xE6\x97\xA5\xE6\x9C\xAC")); // two kanji
    EXPECT_FALSE(western.carries("\xF0\x9F\x98\x80"));         // an emoji is in no ANSI code page
}

TEST(CodePageCarries, NothingThatIsNotValidUtf8) {
    CodePage western(1252);
    for (const char* bad : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(western.carries(bad)) << "overlong, truncated, surrogate or out of range";
}

TEST(HasUnsafeChars, AcceptsPrintableAsciiAndTheUpperHalf) {
    CodePage western(1252);
    EXPECT_FALSE(HasUnsafeChars("", western));
    EXPECT_FALSE(HasUnsafeChars(" Reports 2021 (final) ~#!", western));
    EXPECT_FALSE(HasUnsafeChars("\xC2\xA0nbsp and \xC3\xBF", western)); // 160 and 255
}

TEST(HasUnsafeChars, RejectsControlsQuestionMarkAndThe127To159Band) {
    CodePage western(1252);
    EXPECT_TRUE(HasUnsafeChars("tab\there", western));
    EXPECT_TRUE(HasUnsafeChars("\x1F", western));
    EXPECT_TRUE(HasUnsafeChars("what?", western));
    EXPECT_TRUE(HasUnsafeChars("\x7F", western));
    EXPECT_TRUE(HasUnsafeChars("\xE2\x82\xAC", western)); // the euro sign is 128 in 1252
    EXPECT_TRUE(HasUnsafeChars("\xC5\xB8", western));     // Y diaeresis is 159
}

TEST(HasUnsafeChars, RejectsUncarriedDoubleByteAndInvalidCharacters) {
    CodePage western(1252), japanese(932);
    EXPECT_TRUE(HasUnsafeChars("\xD0\x96", western));
    EXPECT_TRUE(HasUnsafeChars("\xE6\x97\xA5", japanese)); // carried, but double-byte
    EXPECT_FALSE(HasUnsafeChars("abc", japanese));
    EXPECT_TRUE(HasUnsafeChars("ok\xFF", western));
}

} // namespace
} // namespace quellomir
