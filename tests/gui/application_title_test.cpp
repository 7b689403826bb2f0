#include "app/application_title.h"

#include <gtest/gtest.h>

namespace quellomir {
namespace {

TEST(ApplicationTitle, ShortNameOfSeveralWordsStillLosesItsLastWord) {
    EXPECT_EQ(applicationTitle(QStringLiteral("Venmarro Folder Sync")), QStringLiteral("Venmarro Folder"));
}

TEST(ApplicationTitle, LongNameLosesWordsUntilFortyCharactersOrFewer) {
    // Eight five-letter words: 47 characters, 41 after one removal, 35 after two.
    const QString name = QStringLiteral("alpha bravo charl delta echos foxes golfs hotel");
    ASSERT_EQ(name.size(), 47);
    EXPECT_EQ(applicationTitle(name), QStringLiteral("alpha bravo charl delta echos foxes"));
}

TEST(ApplicationTitle, NameOfExactlyFortyOneCharactersAfterOneRemovalLosesAnother) {
    const QString name = QStringLiteral("abcdefghij abcdefghij abcdefghij abcdefgh x");
    EXPECT_EQ(applicationTitle(name), QStringLiteral("abcdefghij abcdefghij abcdefghij"));
}

TEST(ApplicationTitle, NameWithoutBlankStaysWhole) {
    EXPECT_EQ(applicationTitle(QStringLiteral("Quellomir")), QStringLiteral("Quellomir"));
    const QString longSingleWord(60, QLatin1Char('q'));
    EXPECT_EQ(applicationTitle(longSingleWord), longSingleWord);
}

} // namespace
} // namespace quellomir
