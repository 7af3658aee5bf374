#include "platform/search/SearchQuery.h"
#include "platform/search/TextPattern.h"

#include <gtest/gtest.h>

using namespace wendle::search;

namespace {

// The value as it would stand in a query, modifiers included: 'tax*'cd
TextPattern patternFor(const QString &quotedValue)
{
    QString error;
    const std::optional<QueryNode> node = parseQuery(QStringLiteral("kMDItemFSName == ") + quotedValue, &error);
    if (!node) {
        ADD_FAILURE() << error.toStdString();
        return {};
    }
    return TextPattern(node->pattern, node->modifiers);
}

bool matches(const char *quotedValue, const std::string &text)
{
    return patternFor(QString::fromUtf8(quotedValue)).matches(text);
}

} // namespace

TEST(SearchValueMatch, WildcardsModifiersAndWords)
{
    const std::string filler(2000, 'x');
    const struct { const char *value; std::string text; bool expected; } cases[] = {
        // whole value, exact unless modified
        {"'budget'", "budget", true},
        {"'budget'", "Budget", false},
        {"'budget'c", "BUDGET", true},
        {"''", "", true},
        // diacritics
        {"'resume'cd", "Résumé", true},
        {"'resume'c", "Résumé", false},
        {"'résumé'd", "resume", true},
        {"'cafe'd", "cafe\xCC\x81", true}, // e + combining acute
        // wildcards: anchored at both ends
        {"'tax*return*'cd", "Tax Return 2019.pdf", true},
        {"'tax*return*'cd", "tax,return.txt", true},
        {"'tax*return*'cd", "my tax return.pdf", false},
        {"'*'", "", true},
        {"'b?dget'", "budget", true},
        {"'b?dget'", "bdget", false},
        {"'b?dget'", "b\xC3\xBC" "dget", true}, // ? is one character, not one byte
        {"'a\\*b'", "a*b", true},
        {"'*.pdf'", "a.pdf.txt", false},
        {"'*a*a*a*b'", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", true},
        {"'*a*a*a*b'", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        // words: a run of whole words anywhere in the text
        {"'budget'wc", "My Budget 2007.xls", true},
        {"'budget'wc", "budgets.xls", false},
        {"'budget'wc", "nobudget", false},
        {"'tax return'wc", "2019_tax, return.pdf", true},
        {"'tax return'wc", "taxreturn", false},
        {"' budget'wc", "my budget", true},
        {"'budg*'wc", "the budgets here", true},
        {"'*get'wc", "the budgets here", false},
        {"'!!!'w", "!!!", false},
        {"'resume'wcd", "Mon CV: Résumé complet", true},
        // long texts go through a byte prefilter first; it must never hide a match
        {"'budget'wc", filler + " the BUDGET here", true},
        {"'budget'w", filler + " the Budget here", false},
        {"'Budget'w", filler + " the Budget here", true},
        {"'budget'wcd", filler + " the b\xC3\xBC" "dget here", true},
        {"'b\xC3\xBC" "dget'wcd", filler + " the budget here", true},
        {"'x*budget'c", filler + "budget", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(matches(c.value, c.text), c.expected) << c.value << " against \"" << c.text.substr(c.text.size() > 200 ? 2000 : 0) << '"';
}

TEST(SearchValueMatch, CountsWordMatchesAndLiteralLength)
{
    const TextPattern words = patternFor(QStringLiteral("'budget'wc"));
    EXPECT_EQ(words.countMatches("budget, Budget and BUDGET but not budgets", 50), 3);
    EXPECT_EQ(words.countMatches("budget budget budget", 2), 2);
    EXPECT_EQ(words.literalLength(), 6);
    const TextPattern whole = patternFor(QStringLiteral("'tax*return*'c"));
    EXPECT_EQ(whole.countMatches("tax return", 50), 1);
    EXPECT_EQ(whole.literalLength(), 9);
}
