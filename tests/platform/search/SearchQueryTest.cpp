#include "platform/search/MetadataSearch.h"
#include "platform/search/SearchQuery.h"
#include "platform/search/TextPattern.h"

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::search;

namespace {

// A compact rendering of the tree: wildcards as <*> and <?> so that escaped
// characters (plain text) stay distinguishable.
QString render(const QueryNode &node)
{
    if (node.type != QueryNode::Type::Compare) {
        QStringList children;
        for (const QueryNode &child : node.children)
            children << render(child);
        return (node.type == QueryNode::Type::And ? QStringLiteral("and(") : QStringLiteral("or(")) + children.join(QLatin1Char(','))
               + QLatin1Char(')');
    }
    if (node.attribute == Attribute::Size) {
        static const char *const ops[] = {"==", "<", "<=", ">", ">="};
        return QStringLiteral("size%1%2").arg(QLatin1String(ops[int(node.comparison)])).arg(node.number);
    }
    QString value;
    for (const PatternPiece &piece : node.pattern) {
        value += piece.type == PatternPiece::Type::AnyRun    ? QStringLiteral("<*>")
                 : piece.type == PatternPiece::Type::AnyChar ? QStringLiteral("<?>")
                                                             : piece.text;
    }
    QString modifiers;
    const ValueModifiers &m = node.modifiers;
    for (const auto &[on, letter] : {std::pair{m.words, u'w'}, {m.ignoreCase, u'c'}, {m.ignoreDiacritics, u'd'}})
        modifiers += on ? QString(letter) : QString();
    static const char *const attributes[] = {"*", "path", "fsname", "display", "kind", "content"};
    return QStringLiteral("%1=[%2]%3").arg(QLatin1String(attributes[int(node.attribute)]), value, modifiers);
}

QString parsed(const QString &text)
{
    QString error;
    const std::optional<QueryNode> node = parseQuery(text, &error);
    return node ? render(*node) : QStringLiteral("error: ") + error;
}

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

TEST(SearchQueryParser, ParsesIntoTreesAndEscapedValuesReadBackUnchanged)
{
    const struct {
        const char *text;
        const char *tree;
    } cases[] = {
        // The queries the Controller writes.
        {"*=='tax*return*'cd && kMDItemFSSize < 4194304", "and(*=[tax<*>return<*>]cd,size<4194304)"},
        {"((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) && (  "
         "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
         "kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)",
         "and(and(or(*=[budget]wcd,content=[budget]cd),size<4194304),or(kind=[<*>document]cd,"
         "kind=[<*>publication]cd,kind=[<*>text]cd,kind=[<*>image]cd,kind=[<*>tiff]cd))"},
        {"((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) &&  kMDItemKind = '*emlx'cd",
         "and(and(or(*=[budget]wcd,content=[budget]cd),size<4194304),kind=[<*>emlx]cd)"},
        {"*==' budget'wcd", "*=[ budget]wcd"}, // a content term arriving with a leading space keeps it
        // And binds tighter than or; parentheses override.
        {"kMDItemFSName=='a' || kMDItemFSName=='b' && kMDItemFSName=='c'", "or(fsname=[a],and(fsname=[b],fsname=[c]))"},
        {"kMDItemFSName=='a' && kMDItemFSName=='b' || kMDItemFSName=='c'", "or(and(fsname=[a],fsname=[b]),fsname=[c])"},
        {"(kMDItemFSName=='a' || kMDItemFSName=='b') && kMDItemFSName=='c'", "and(or(fsname=[a],fsname=[b]),fsname=[c])"},
        {"kMDItemFSSize <= 5 && kMDItemFSSize > 1 && kMDItemFSSize >= 2 && kMDItemFSSize = 3", "and(size<=5,size>1,size>=2,size==3)"},
        {"kMDItemPath == \"/home/x\" || kMDItemDisplayName == 'y'", "or(path=[/home/x],display=[y])"},
        // Backslash escapes quotes, backslashes and wildcards.
        {R"(kMDItemFSName == 'don\'t \\ \* \? "x"')", R"(fsname=[don't \ * ? "x"])"},
        {R"(kMDItemFSName == "say \"hi\"")", R"(fsname=[say "hi"])"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parsed(QString::fromUtf8(c.text)), QString::fromUtf8(c.tree)) << c.text;

    // What escapeSearchValue makes of any text reads back as exactly that text.
    const QString awkward = QStringLiteral(R"(C:\Users\o'brien "q" \')");
    EXPECT_EQ(parsed(QStringLiteral("kMDItemFSName == '%1'").arg(escapeSearchValue(awkward))), QStringLiteral("fsname=[%1]").arg(awkward));
}

TEST(SearchQueryParser, RefusesMalformedTextsNamingThePosition)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"", "the query is empty"},
        {"kMDItemFSName == 'abc", "the value starting at position 18 has no closing quote"},
        {"(kMDItemFSName == 'a'", "expected ')' at position 22 to close the '(' at position 1"},
        {"kMDItemFSName == 'a')", "unexpected ')' at position 21 after a complete query"},
        {"kMDItemFSName == 'a' garbage", "unexpected 'garbage' at position 22 after a complete query"},
        {"kMDItemFoo == 'a'", "unknown attribute 'kMDItemFoo' at position 1"},
        {"kMDItemFSName == 'a'x", "unknown modifier 'x' at position 21"},
        {"kMDItemFSName == 'a\\q'", "unknown escape '\\q' at position 20"},
        {"kMDItemFSSize < 'a'", "kMDItemFSSize compares with a number; found a quoted value at position 17"},
        {"kMDItemKind < 5", "'<' at position 13 compares numbers, but the attribute at position 1 is text"},
        {"kMDItemFSName == 5", "expected a quoted value at position 18, found '5'"},
        {"kMDItemFSName 'a'", "expected a comparison"},
        {"kMDItemFSName == 'a' &&", "expected an attribute name at position 24, found the end of the query"},
        {"kMDItemFSName == 'a' & kMDItemFSName == 'b'", "unexpected character '&' at position 22"},
        {"kMDItemFSSize < 99999999999999999999", "the number at position 17 is too large"},
    };
    for (const auto &c : cases) {
        const QString result = parsed(QString::fromUtf8(c.text));
        EXPECT_TRUE(result.startsWith(QStringLiteral("error: ")) && result.contains(QString::fromUtf8(c.error)))
            << c.text << "\n  gave: " << result.toStdString();
    }
    const QString deep = QString(200, u'(') + QStringLiteral("kMDItemFSName == 'a'") + QString(200, u')');
    EXPECT_TRUE(parsed(deep).contains(QStringLiteral("nested too deeply"))) << parsed(deep).toStdString();
}

TEST(SearchValueMatch, WildcardsModifiersAndWordsAndTheCountOfMatches)
{
    const std::string filler(2000, 'x');
    const struct {
        const char *value;
        std::string text;
        bool expected;
    } cases[] = {
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
        {"'b?dget'", "büdget", true}, // ? is one character, not one byte
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
        {"'budget'wcd", filler + " the büdget here", true},
        {"'büdget'wcd", filler + " the budget here", true},
        {"'x*budget'c", filler + "budget", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(matches(c.value, c.text), c.expected) << c.value << " against \"" << c.text.substr(c.text.size() > 200 ? 2000 : 0) << '"';

    // Matches are counted up to a bound; the literal length leaves the wildcards out.
    const TextPattern words = patternFor(QStringLiteral("'budget'wc"));
    EXPECT_EQ(words.countMatches("budget, Budget and BUDGET but not budgets", 50), 3);
    EXPECT_EQ(words.countMatches("budget budget budget", 2), 2);
    EXPECT_EQ(words.literalLength(), 6);
    const TextPattern whole = patternFor(QStringLiteral("'tax*return*'c"));
    EXPECT_EQ(whole.countMatches("tax return", 50), 1);
    EXPECT_EQ(whole.literalLength(), 9);
}
