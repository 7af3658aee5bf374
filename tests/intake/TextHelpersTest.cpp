#include "intake/TextHelpers.h"

#include <gtest/gtest.h>

using namespace wendle::text;

TEST(TextHelpers, SubstringAndPrefixTests)
{
    struct Case { const char *needle; const char *haystack; bool expected; };
    const Case substrings[] = {
        {"Bob", "bob smith", true},
        {"", "anything", false},
        {"", "", false},
        {"owner@example.com", "Owner <OWNER@Example.com>", true},
        {"x@y.z", "x@y", false},
    };
    for (const Case &c : substrings)
        EXPECT_EQ(isSubstringOf(QString::fromUtf8(c.needle), QString::fromUtf8(c.haystack)), c.expected) << c.needle;

    EXPECT_TRUE(beginsWithString(QStringLiteral("Wendle rest"), QStringLiteral("wendle")));
    EXPECT_FALSE(beginsWithString(QStringLiteral("Wendle rest"), QStringLiteral("Wendle")));
    EXPECT_FALSE(beginsWithString(QStringLiteral("anything"), QString()));
    EXPECT_TRUE(beginsWithString(QStringLiteral("ÉCOLE"), QStringLiteral("école")));
}

TEST(TextHelpers, SingleCharacterReplacements)
{
    EXPECT_EQ(replaceDoubleQuotes(QStringLiteral("a\"b\"c\"")), QStringLiteral("a'b'c'"));
    EXPECT_EQ(replaceDoubleQuotes(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_TRUE(replaceDoubleQuotes(QString()).isNull());
    EXPECT_EQ(addUnderscores(QStringLiteral("HP Fax  2")), QStringLiteral("HP_Fax__2"));
    EXPECT_EQ(addUnderscores(QStringLiteral("tab\there")), QStringLiteral("tab\there"));
    EXPECT_EQ(replaceUnderscores(QStringLiteral("HP_Fax__2")), QStringLiteral("HP Fax  2"));
    EXPECT_EQ(convertPathDelimitersToColons(QStringLiteral("/Users/me/a.txt")), QStringLiteral(":Users:me:a.txt"));
}

TEST(TextHelpers, ReplaceSpacesWithAsterisks)
{
    const std::pair<const char *, const char *> cases[] = {
        {"my tax, report.doc", "my*tax*report.doc"},
        {"  budget 2007 (final)  ", "budget*2007*final"},
        {"rock & roll", "rock*&*roll"},
        {"o'neil-smith.txt", "o'neil-smith.txt"},
        {"single", "single"},
        {"my  tax, report", "my*tax*report"},
        {"a_b*c@d/e\"f", "a*b*c*d*e*f"},
        {"$5+x<y=z>^|~", "$5+x<y=z>^|~"},
        {"no\u00a0break", "no*break"},     // a Unicode space separator
        {"em\u2014dash", "em*dash"},       // Unicode punctuation
        {"line\nbreak", "line\nbreak"},    // line breaks are neither
        {"", ""},
        {" ,;!? ", ""},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(replaceSpacesWithAsterisks(QString::fromUtf8(input)), QString::fromUtf8(expected)) << input;
}
