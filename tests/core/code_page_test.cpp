#include "files/code_page.h"
#include "scan/unsafe_chars.h"

#include <gtest/gtest.h>

namespace quellomir {
namespace {

TEST(CodePageChoice, UtfEightForCAndPosixAndAnyUtfEightOrUninstalledLocale) {
    for (const char* locale : {"", "C", "POSIX", "C.UTF-8", "C.utf8", "pl_PL.utf8@euro", "xx_NOWHERE"})
        EXPECT_EQ(CodePage::charsetForLocale(locale), "UTF-8") << locale;
    EXPECT_EQ(CodePage::charsetForLocale("de_DE.ISO-8859-15@euro"), "ISO-8859-15");
    EXPECT_THROW(CodePage("NO-SUCH-SET"), std::system_error);
}

TEST(CodePageCarries, EveryValidUtfEightNameUnderUtfEightALegacySetOnlyItsOwnLetters) {
    const CodePage utf8, western("CP1252"), cyrillic("CP1251");
    for (const char* name : {"caf\xC3\xA9", "\xD0\x96", "\xF0\x9F\x98\x80", "cafe\xCC\x81"})
        EXPECT_TRUE(utf8.carries(name)) << name;
    for (const char* bad : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(utf8.carries(bad)) << "overlong, truncated, surrogate or out of range";
    EXPECT_TRUE(western.carries("caf\xC3\xA9")); // e acute
    EXPECT_FALSE(western.carries("\xD0\x96"));   // Cyrillic Zhe
    EXPECT_TRUE(cyrillic.carries("\xD0\x96"));
    EXPECT_FALSE(cyrillic.carries("caf\xC3\xA9"));
}

TEST(HasUnsafeChars, RejectsControlsQuestionMarkThe127To159BandAndInvalidBytes) {
    const CodePage utf8;
    for (const char* safe : {"", " Reports (final) ~#!", "\xC2\xA0 \xC3\xBF", "\xE2\x82\xAC", "\xE6\x97\xA5"})
        EXPECT_FALSE(HasUnsafeChars(safe, utf8)) << safe;
    for (const char* unsafe : {"tab\there", "\x1F", "what?", "\x7F", "\xC2\x80", "\xC2\x9F", "ok\xFF"})
        EXPECT_TRUE(HasUnsafeChars(unsafe, utf8)) << unsafe;
    // A legacy set keeps its own codes: the euro sign is 128 in 1252, Japanese is double-byte.
    EXPECT_TRUE(HasUnsafeChars("\xE2\x82\xAC", CodePage("CP1252")));
    EXPECT_TRUE(HasUnsafeChars("\xE6\x97\xA5", CodePage("CP932")));
    EXPECT_TRUE(HasUnsafeChars("\xD0\x96", CodePage("CP1252")));
}

} // namespace
} // namespace quellomir
