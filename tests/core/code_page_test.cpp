#include "files/code_page.h"
#include "scan/unsafe_chars.h"

#include <gtest/gtest.h>

namespace quellomir {
namespace {

// Cyrillic, Greek, Polish, Chinese, an emoji, and an e with its accent as a separate mark.
const char* const NamesInManyScripts[] = {"\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE",
                                          "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC",
                                          "\xC5\x82\xC3\xB3\x64\xC5\xBA",
                                          "\xE4\xB8\xAD\xE6\x96\x87",
                                          "\xF0\x9F\x98\x80",
                                          "cafe\xCC\x81"};

TEST(CodePageChoice, UtfEightForCAndPosixAndAnyUtfEightOrUninstalledLocale) {
    for (const char* locale :
         {"", "C", "POSIX", "C.UTF-8", "C.utf8", "en_US.UTF-8", "pl_PL.utf8@euro", "xx_NOWHERE"})
        EXPECT_EQ(CodePage::charsetForLocale(locale), "UTF-8") << locale;
    EXPECT_EQ(CodePage::charsetForLocale("pl_PL.ISO-8859-2"), "ISO-8859-2");
    EXPECT_EQ(CodePage::charsetForLocale("de_DE.ISO-8859-15@euro"), "ISO-8859-15");
    EXPECT_NO_THROW(CodePage("ISO-8859-2"));
    EXPECT_THROW(CodePage("NO-SUCH-SET"), std::system_error);
}

TEST(CodePageCarries, EveryValidUtfEightNameUnderUtfEight) {
    const CodePage utf8;
    for (const char* name : NamesInManyScripts) {
        EXPECT_TRUE(utf8.carries(name)) << name;
        EXPECT_FALSE(HasUnsafeChars(name, utf8)) << name;
    }
    for (const char* bad : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(utf8.carries(bad)) << "overlong, truncated, surrogate or out of range";
}

TEST(CodePageCarries, ALegacySetOnlyItsOwnLetters) {
    const CodePage western("CP1252"), cyrillic("CP1251"), japanese("CP932");
    EXPECT_TRUE(western.carries("plain name.txt"));
    EXPECT_TRUE(western.carries("caf\xC3\xA9")); // e acute
    EXPECT_FALSE(western.carries("\xD0\x96"));   // Cyrillic Zhe
    EXPECT_TRUE(cyrillic.carries("\xD0\x96"));
    EXPECT_FALSE(cyrillic.carries("caf\xC3\xA9"));
    EXPECT_TRUE(japanese.carries("\xE6\x97\xA5\xE6\x9C\xAC")); // two kanji
    EXPECT_FALSE(western.carries("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(western.carries("ok\xFF"));
}

TEST(HasUnsafeChars, RejectsControlsQuestionMarkThe127To159BandAndInvalidBytes) {
    const CodePage utf8;
    EXPECT_FALSE(HasUnsafeChars("", utf8));
    EXPECT_FALSE(HasUnsafeChars(" Reports 2021 (final) ~#!", utf8));
    EXPECT_FALSE(HasUnsafeChars("\xC2\xA0nbsp and \xC3\xBF", utf8)); // 160 and 255
    for (const char* unsafe : {"tab\there", "\x1F", "what?", "\x7F", "\xC2\x80", "\xC2\x9F", "ok\xFF"})
        EXPECT_TRUE(HasUnsafeChars(unsafe, utf8)) << unsafe;
    // A legacy set keeps its own codes: the euro sign is 128 in 1252, Japanese is double-byte.
    EXPECT_TRUE(HasUnsafeChars("\xE2\x82\xAC", CodePage("CP1252")));
    EXPECT_FALSE(HasUnsafeChars("\xE2\x82\xAC", utf8));
    EXPECT_TRUE(HasUnsafeChars("\xE6\x97\xA5", CodePage("CP932")));
    EXPECT_TRUE(HasUnsafeChars("\xD0\x96", CodePage("CP1252")));
}

} // namespace
} // namespace quellomir
