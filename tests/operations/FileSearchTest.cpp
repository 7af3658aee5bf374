#include "operations/OwnerFixture.h"

#include <QRegularExpression>

using namespace wendle;
using namespace wendle::test;

namespace {

class FileSearchTest : public OwnerFixture {
protected:
    FileSearchTest() { random.values = {47}; }

    // n hits in ascending relevance: hit1 is the weakest.
    static QList<SearchHit> hits(int n)
    {
        QList<SearchHit> list;
        for (int i = 1; i <= n; ++i)
            list << SearchHit{QStringLiteral("/nowhere/hit%1.txt").arg(i), QStringLiteral("hit%1.txt").arg(i), {}, {}, double(i), 0};
        return list;
    }
    // The coded lines of the last reply.
    QStringList listLines() const { return lastBody().split(u'\n').filter(QRegularExpression(QStringLiteral("^\\d"))); }
};

} // namespace

TEST_F(FileSearchTest, FilenameQueryTextAndScope)
{
    struct Case {
        const char *term;
        int maxFileSize;
        bool home;
        const char *query;
    };
    const Case cases[] = {
        {"tax return", 4, true, "*=='tax*return*'cd && kMDItemFSSize < 4194304"},
        {" my  tax, report", 4, false, "*=='my*tax*report*'cd && kMDItemFSSize < 4194304"},
        {"budget", 0, true, "*=='budget*'cd && kMDItemFSSize < 1048576"},
        {"budget", 5000, true, "*=='budget*'cd && kMDItemFSSize < 2146435072"},
        {"o'neil", 4, true, "*=='o\\'neil*'cd && kMDItemFSSize < 4194304"},
    };
    for (const Case &c : cases) {
        preferences.setValue(RBMaxFileSize, c.maxFileSize);
        preferences.setValue(RBLimitSearchFlag, c.home);
        controller->findFilename(QString::fromUtf8(c.term), QString());
        EXPECT_EQ(search.queries.last(), QString::fromUtf8(c.query));
        EXPECT_EQ(search.scopes.last(), c.home ? SearchScope::Home : SearchScope::Computer);
        EXPECT_EQ(logEntries().last(), (c.home ? QStringLiteral("Searching the home folder for files named: ")
                                               : QStringLiteral("Searching the computer for files named: "))
                                           + QString::fromUtf8(c.term));
    }
}

TEST_F(FileSearchTest, ContentQueryTextFollowsTheKindFlags)
{
    const QString base = QStringLiteral("((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304)");
    const char *flags[] = {RBSearchDocuments, RBSearchImages, RBSearchEmails, RBSearchVideos};
    struct Case {
        QList<bool> on;
        QString query;
    };
    const Case cases[] = {
        {{true, true, false, false},
         base
             + QStringLiteral(
                 " && (  kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)")},
        {{false, false, true, false}, base + QStringLiteral(" &&  kMDItemKind = '*emlx'cd")},
        {{false, false, false, true}, base + QStringLiteral(" &&  kMDItemKind = '*video'cd || kMDItemKind = '*movie'cd")},
        {{false, false, false, false}, base},
    };
    for (const Case &c : cases) {
        for (int i = 0; i < 4; ++i)
            preferences.setValue(QLatin1String(flags[i]), c.on[i]);
        controller->findContents(QStringLiteral("budget"), QString());
        EXPECT_EQ(search.queries.last(), c.query);
    }
    preferences.setValue(RBSearchVideos, false);
    controller->findContents(QStringLiteral(" dear sir"), QString());
    EXPECT_TRUE(search.queries.last().startsWith(QStringLiteral("((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd)")));
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("findContents"));
}

TEST_F(FileSearchTest, ListShowsTheStrongestHitsWithCodes)
{
    controller->findFilename(QStringLiteral("hit"), QStringLiteral("boss@example.com"));
    ASSERT_TRUE(search.finish(hits(12)));
    EXPECT_EQ(controller->lastConfirmationNumber(), 47);
    EXPECT_EQ(listLines(), (QStringList{"471:  hit12.txt (?? kB )", "472:  hit11.txt (?? kB )", "473:  hit10.txt (?? kB )",
                                        "474:  hit9.txt (?? kB )", "475:  hit8.txt (?? kB )"}));
    EXPECT_TRUE(lastBody().startsWith(QStringLiteral("Wendle: reply with wndl and the number of the file to send:\n471:")));
    EXPECT_TRUE(mail.sent.last().mail.cc.isEmpty()); // doNotForwardFlag is on by default
}

TEST_F(FileSearchTest, CapOnTheListLength)
{
    for (const auto &[setting, lines] : {std::pair{4, 5}, {21, 5}, {20, 20}, {12, 12}}) {
        preferences.setValue(RBMaxFilesReturned, setting);
        controller->findFilename(QStringLiteral("hit"), QString());
        EXPECT_EQ(search.listLengths.last(), lines) << setting; // the search looks no further than the list
        ASSERT_TRUE(search.finish(hits(25)));
        EXPECT_EQ(listLines().size(), lines) << setting;
    }
    EXPECT_TRUE(listLines().last().startsWith(QStringLiteral("4712:  hit14.txt")));
}

TEST_F(FileSearchTest, NoHitsKeepsTheOldNumberButDropsTheList)
{
    controller->findFilename(QStringLiteral("hit"), QString());
    search.finish(hits(3));
    random.values = {58};
    controller->findFilename(QStringLiteral("nothing here"), QString());
    EXPECT_TRUE(controller->queryResults().isEmpty());
    search.finish({});
    EXPECT_EQ(lastBody(), QStringLiteral("Wendle: no files found for:nothing here\n\n"));
    EXPECT_TRUE(mail.sent.last().mail.cc.isEmpty());
    EXPECT_EQ(logEntries().last(), QStringLiteral("Wendle: no files found for:nothing here"));
    EXPECT_EQ(controller->lastConfirmationNumber(), 47);
}

TEST_F(FileSearchTest, TermsWithoutWordsAndRefusedQueriesAreAnswered)
{
    controller->findFilename(QStringLiteral(" ,;!?"), QString());
    EXPECT_TRUE(search.queries.isEmpty());
    EXPECT_EQ(lastBody(), QStringLiteral("Wendle: no files found for: ,;!?\n\n"));

    search.refusal = QStringLiteral("unexpected text at position 3");
    controller->findContents(QStringLiteral("x"), QString());
    EXPECT_EQ(lastBody(), QStringLiteral("Wendle could not search for:x (unexpected text at position 3)\n\n"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Wendle could not search for:x (unexpected text at position 3)"));

    const qsizetype sent = mail.sent.size();
    controller->findFilename(QString(), QString());
    ASSERT_EQ(mail.sent.size(), sent + 1);
    EXPECT_TRUE(lastBody().startsWith(QStringLiteral("Wendle Syntax Error!  Commands")));
}

TEST_F(FileSearchTest, ANewSearchSilencesTheOldOne)
{
    controller->findFilename(QStringLiteral("first"), QString());
    controller->findFilename(QStringLiteral("second"), QString());
    EXPECT_EQ(search.cancelled, 1);
    // Even if the cancelled walk answered late, its answer is ignored.
    search.everyCallback.first()(hits(1));
    EXPECT_TRUE(mail.sent.isEmpty());
    EXPECT_TRUE(controller->queryResults().isEmpty());
    EXPECT_TRUE(search.finish(hits(2)));
    EXPECT_EQ(listLines().size(), 2);
}

TEST_F(FileSearchTest, SizeTexts)
{
    const std::pair<qint64, const char *> cases[] = {{999, "0 kB "}, {1000999, "1000 kB "}, {1001000, "1 MB "}, {2500000, "2 MB "}};
    const QString path = supportDir.filePath(QStringLiteral("sized"));
    for (const auto &[size, expected] : cases) {
        ASSERT_TRUE(QFile(writeFile(path, {})).resize(size));
        EXPECT_EQ(Controller::fileSizeDescription(path), QString::fromLatin1(expected)) << size;
    }
    EXPECT_EQ(Controller::fileSizeDescription(QString()), QStringLiteral("?? kB "));
    EXPECT_EQ(Controller::fileSizeDescription(supportDir.filePath(QStringLiteral("gone"))), QStringLiteral("?? kB "));
}

TEST_F(FileSearchTest, QuotesInNamesAndTheCopyAddress)
{
    preferences.setValue(RBDoNotForwardFlag, false);
    controller->findFilename(QStringLiteral("x"), QStringLiteral("\"boss\"@example.com"));
    QList<SearchHit> found = hits(1);
    found[0].displayName = QStringLiteral("My \"best\" file");
    search.finish(found);
    EXPECT_EQ(listLines(), QStringList{QStringLiteral("471:  My 'best' file (?? kB )")});
    EXPECT_EQ(mail.sent.last().mail.cc, QStringLiteral("'boss'@example.com"));
}
