#include "intake/TextHelpers.h"

#include <gtest/gtest.h>

using namespace wendle::text;

// Cases the Controller's tests show (sender test, fax queues, replies) are left to them.
TEST(TextHelpers, SubstringPrefixAndSingleCharacterReplacements)
{
    EXPECT_FALSE(isSubstringOf(QStringLiteral("x@y.z"), QStringLiteral("x@y")));
    EXPECT_TRUE(beginsWithString(QStringLiteral("ÉCOLE rest"), QStringLiteral("école")));
    EXPECT_FALSE(beginsWithString(QStringLiteral("Wendle rest"), QStringLiteral("Wendle")));
    EXPECT_FALSE(beginsWithString(QStringLiteral("anything"), QString()));

    EXPECT_TRUE(replaceDoubleQuotes(QString()).isNull());
    EXPECT_EQ(addUnderscores(QStringLiteral("HP Fax  2\t")), QStringLiteral("HP_Fax__2\t"));
    EXPECT_EQ(replaceUnderscores(QStringLiteral("HP_Fax__2")), QStringLiteral("HP Fax  2"));
}

TEST(TextHelpers, ReplaceSpacesWithAsterisks)
{
    const std::pair<const char *, const char *> cases[] = {
        {"  budget 2007 (final)  ", "budget*2007*final"},
        {"rock & roll", "rock*&*roll"},
        {"my  tax, report", "my*tax*report"},
        {"a_b*c@d/e\"f", "a*b*c*d*e*f"},
        {"o'neil-smith.txt $5+x<y=z>^|~", "o'neil-smith.txt*$5+x<y=z>^|~"},
        {"no\u00a0break em\u2014dash", "no*break*em*dash"}, // Unicode spaces and punctuation
        {"line\nbreak", "line\nbreak"},                     // line breaks are neither
        {" ,;!? ", ""},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(replaceSpacesWithAsterisks(QString::fromUtf8(input)), QString::fromUtf8(expected)) << input;
}
