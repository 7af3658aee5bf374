#include "platform/search/FileSystemSearch.h"
#include "platform/search/FileWalker.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace wendle;

// Readable failure messages for lists of paths.
static void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr qint64 kBound = 4194304; // the Controller's bound for "maxFileSize" 4

const QString kFilenameQuery = QStringLiteral("*=='tax*return*'cd && kMDItemFSSize < 4194304");
const QString kDocumentsAndImagesQuery = QStringLiteral(
    "((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) && (  "
    "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
    "kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)");
const QString kEmailsQuery = QStringLiteral(
    "((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) &&  "
    "kMDItemKind = '*emlx'cd");

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "wendle_tests";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives as long as the test program
}

// Writes a file below root, creating its folders; a size beyond the content
// extends it with a hole.
void makeFile(const QString &root, const QString &relativePath, const QByteArray &content = "x",
              qint64 size = -1)
{
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
    if (size >= 0)
        file.resize(size);
}

struct Outcome {
    bool finished = false;
    QList<SearchHit> hits;
};

// Runs one search and waits for its callback through the event loop.
Outcome searchAndWait(MetadataSearch &search, const QString &query, SearchScope scope = SearchScope::Home)
{
    ensureApplication();
    Outcome outcome;
    QEventLoop loop;
    QString error;
    const bool started = search.start(query, scope, [&](const QList<SearchHit> &hits) {
        outcome.finished = true;
        outcome.hits = hits;
        loop.quit();
    }, &error);
    EXPECT_TRUE(started) << error.toStdString();
    if (!started)
        return outcome;
    QTimer::singleShot(120000, &loop, &QEventLoop::quit); // only a guard against a hang
    if (!outcome.finished)
        loop.exec();
    EXPECT_TRUE(outcome.finished) << "the search never finished";
    return outcome;
}

void drainEvents()
{
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
}

QStringList relativePaths(const QList<SearchHit> &hits, const QString &root)
{
    QStringList paths;
    for (const SearchHit &hit : hits)
        paths << QDir(root).relativeFilePath(hit.path);
    paths.sort();
    return paths;
}

class FileSearch : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
    QTemporaryDir m_dir;
    QString root() const { return m_dir.path(); }
};

} // namespace

TEST_F(FileSearch, SelectsExactlyTheMatchingFiles)
{
    const QByteArray pdf = "%PDF-1.4\n";
    makeFile(root(), QStringLiteral("Tax Return 2019.pdf"), pdf);
    makeFile(root(), QStringLiteral("tax,return.txt"), "hello");
    makeFile(root(), QStringLiteral("TAX_RETURN_final.odt"));
    makeFile(root(), QStringLiteral("täx return.jpg"));
    makeFile(root(), QStringLiteral("return tax.pdf"), pdf);
    makeFile(root(), QStringLiteral("taxes.pdf"), pdf);
    makeFile(root(), QStringLiteral("tax return exact.pdf"), pdf, kBound);
    makeFile(root(), QStringLiteral("tax return below.pdf"), pdf, kBound - 1);
    makeFile(root(), QStringLiteral(".tax return hidden.pdf"), pdf);
    makeFile(root(), QStringLiteral(".cache/tax return cached.pdf"), pdf);
    makeFile(root(), QStringLiteral("sub/deeper/tax return deep.txt"), "deep");
    makeFile(root(), QStringLiteral("letters/notes.txt"), "Tax office: please return the form");
    makeFile(root(), QStringLiteral("budget.pdf"), pdf);
    makeFile(root(), QStringLiteral("Budget 2007.jpg"));
    makeFile(root(), QStringLiteral("budget.mp3"));
    makeFile(root(), QStringLiteral("budget.odt"));
    makeFile(root(), QStringLiteral("budget scan.tiff"));
    makeFile(root(), QStringLiteral("big budget.pdf"), pdf, kBound);
    makeFile(root(), QStringLiteral("letters/plan.txt"), "the budget for 2007");
    makeFile(root(), QStringLiteral("letters/draft.md"), "BUDGET");
    makeFile(root(), QStringLiteral("letters/budgets.txt"), "nothing");
    makeFile(root(), QStringLiteral("letters/mybudget.txt"), "nothing");
    makeFile(root(), QStringLiteral("code/calc.c"), "int budget;");
    makeFile(root(), QStringLiteral("report.pdf"), pdf + "budget");
    makeFile(root(), QStringLiteral("memo"), "a budget memo\n");
    makeFile(root(), QStringLiteral("mail/budget.eml"), "From: a@b.c\nSubject: budget\n\nbudget\n");

    const struct {
        QString query;
        QStringList expected;
    } cases[] = {
        {kFilenameQuery,
         {"Tax Return 2019.pdf", "TAX_RETURN_final.odt", "letters/notes.txt", "sub/deeper/tax return deep.txt",
          "tax return below.pdf", "tax,return.txt", "täx return.jpg"}},
        {kDocumentsAndImagesQuery,
         {"Budget 2007.jpg", "budget scan.tiff", "budget.odt", "budget.pdf", "letters/draft.md", "letters/plan.txt",
          "memo"}},
        {kEmailsQuery, {}}, // no kind here is called "... emlx"
        {"kMDItemKind == '*image'c", {"Budget 2007.jpg", "budget scan.tiff", "täx return.jpg"}},
        {"kMDItemKind == 'PDF document' && kMDItemFSSize < 4194304",
         {"Tax Return 2019.pdf", "budget.pdf", "report.pdf", "return tax.pdf", "tax return below.pdf", "taxes.pdf"}},
        {"kMDItemFSName == 'TÄX*'c", {"täx return.jpg"}},
        {"kMDItemFSName == 'budget.pdf' || kMDItemDisplayName == 'memo'", {"budget.pdf", "memo"}},
        {"kMDItemPath == '*/letters/*'c && kMDItemTextContent == '*budget*'c",
         {"letters/draft.md", "letters/plan.txt"}},
        {"kMDItemFSSize >= 4194304", {"big budget.pdf", "tax return exact.pdf"}},
        {"kMDItemTextContent == 'int budget;'", {"code/calc.c"}},
    };
    FileSystemSearch search(root());
    for (const auto &c : cases) {
        QStringList expected = c.expected;
        expected.sort();
        EXPECT_EQ(relativePaths(searchAndWait(search, c.query).hits, root()), expected) << c.query.toStdString();
    }
}

TEST_F(FileSearch, ReportsTheAttributesOfAHit)
{
    makeFile(root(), QStringLiteral("Budget, draft é.pdf"), "%PDF-1.4\n", 1234);
    FileSystemSearch search(root());
    const QList<SearchHit> hits = searchAndWait(search, QStringLiteral("kMDItemFSName == 'budget*'c")).hits;
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0].path, root() + QStringLiteral("/Budget, draft é.pdf"));
    EXPECT_EQ(hits[0].fsName, QStringLiteral("Budget, draft é.pdf"));
    EXPECT_EQ(hits[0].displayName, hits[0].fsName);
    EXPECT_EQ(hits[0].kind, QStringLiteral("PDF document"));
    EXPECT_EQ(hits[0].size, 1234);
}

TEST_F(FileSearch, ReadsContentOnlyOfTextFilesAndOnlyItsFirstMebibyte)
{
    const QByteArray late = QByteArray(1 << 20, 'x') + " budget";
    makeFile(root(), QStringLiteral("early.txt"), "budget " + QByteArray(2 << 20, 'x'));
    makeFile(root(), QStringLiteral("late.txt"), late);
    makeFile(root(), QStringLiteral("binary.txt"), QByteArray("budget\0\x01\x02", 9));
    makeFile(root(), QStringLiteral("picture.png"), "budget");
    // Untyped by name: the first bytes tell text from binary, for small and large files.
    makeFile(root(), QStringLiteral("blob"), QByteArray("budget\0\x01\x02", 9));
    makeFile(root(), QStringLiteral("notes"), "budget");
    makeFile(root(), QStringLiteral("long notes"), QByteArray(100 * 1024, 'y') + " budget");
    FileSystemSearch search(root());
    const QList<SearchHit> hits = searchAndWait(search, QStringLiteral("kMDItemTextContent == '*budget*'c")).hits;
    EXPECT_EQ(relativePaths(hits, root()), (QStringList{"early.txt", "long notes", "notes"}));
}

TEST_F(FileSearch, SortsByRelevanceThenPathAndRanksStrongerMatchesHigher)
{
    makeFile(root(), QStringLiteral("budget.txt"), "budget, budget and more budget");
    makeFile(root(), QStringLiteral("budget notes.txt"), "nothing here");
    makeFile(root(), QStringLiteral("b.txt"), "budget budget mention");
    makeFile(root(), QStringLiteral("c2.txt"), "one budget mention");
    makeFile(root(), QStringLiteral("a.txt"), "one budget mention");
    makeFile(root(), QStringLiteral("c1.txt"), "one budget mention");
    FileSystemSearch search(root());
    const QList<SearchHit> hits = searchAndWait(search, QStringLiteral("*=='budget'wcd")).hits;
    QStringList order;
    for (const SearchHit &hit : hits)
        order << QFileInfo(hit.path).fileName();
    // one mention (three files, ordered by path), two mentions, the word in a
    // longer name, the name itself plus three mentions
    EXPECT_EQ(order, (QStringList{"a.txt", "c1.txt", "c2.txt", "b.txt", "budget notes.txt", "budget.txt"}));
    ASSERT_EQ(hits.size(), 6);
    EXPECT_EQ(hits[0].relevance, hits[2].relevance);
    EXPECT_LT(hits[2].relevance, hits[3].relevance);
    EXPECT_LE(hits[5].relevance, 1.0);
}

TEST_F(FileSearch, NeverFollowsLinksSoLoopsEnd)
{
    makeFile(root(), QStringLiteral("a/budget.txt"));
    makeFile(root(), QStringLiteral("target budget.txt"));
    ASSERT_EQ(::symlink("..", QFile::encodeName(root() + "/a/loop").constData()), 0);
    ASSERT_EQ(::symlink(".", QFile::encodeName(root() + "/a/self").constData()), 0);
    ASSERT_EQ(::symlink("../target budget.txt", QFile::encodeName(root() + "/a/link budget.txt").constData()), 0);
    FileSystemSearch search(root());
    const Outcome outcome = searchAndWait(search, QStringLiteral("kMDItemFSName == '*budget*'c"));
    EXPECT_EQ(relativePaths(outcome.hits, root()), (QStringList{"a/budget.txt", "target budget.txt"}));
}

TEST_F(FileSearch, SkipsFoldersAndFilesItCannotRead)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permissions do not stop root from reading, so there is nothing to skip";
    makeFile(root(), QStringLiteral("open/budget.txt"), "budget");
    makeFile(root(), QStringLiteral("locked/budget.txt"), "budget");
    makeFile(root(), QStringLiteral("sealed.txt"), "budget");
    makeFile(root(), QStringLiteral("sealed budget.txt"), "budget");
    QFile::setPermissions(root() + QStringLiteral("/sealed.txt"), {});
    QFile::setPermissions(root() + QStringLiteral("/sealed budget.txt"), {});
    QFile::setPermissions(root() + QStringLiteral("/locked"), {});
    FileSystemSearch search(root());
    const Outcome outcome = searchAndWait(search, QStringLiteral("*=='budget'wc"));
    QFile::setPermissions(root() + QStringLiteral("/locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(relativePaths(outcome.hits, root()), QStringList{QStringLiteral("open/budget.txt")});
}

TEST_F(FileSearch, ScopesSearchTheHomeFolderOrTheWholeComputer)
{
    makeFile(root(), QStringLiteral("home/budget.txt"));
    makeFile(root(), QStringLiteral("elsewhere/budget.txt"));
    FileSystemSearch search(root() + QStringLiteral("/home"), root());
    const QString query = QStringLiteral("kMDItemFSName == 'budget.txt'");
    EXPECT_EQ(relativePaths(searchAndWait(search, query, SearchScope::Home).hits, root()),
              QStringList{QStringLiteral("home/budget.txt")});
    EXPECT_EQ(relativePaths(searchAndWait(search, query, SearchScope::Computer).hits, root()),
              (QStringList{"elsewhere/budget.txt", "home/budget.txt"}));
    const std::unordered_set<std::string> skipped = search::foldersOutsideAnySearch();
    for (const char *folder : {"/proc", "/sys", "/dev", "/run"})
        EXPECT_TRUE(skipped.contains(folder)) << folder;
}

TEST_F(FileSearch, ANewSearchOrCancelSilencesTheOldOne)
{
    for (int i = 0; i < 300; ++i)
        makeFile(root(), QStringLiteral("f%1/budget %2.txt").arg(i % 30).arg(i), "budget");
    FileSystemSearch search(root());
    QString error;
    int stale = 0;
    ASSERT_TRUE(search.start(QStringLiteral("*=='budget'wc"), SearchScope::Home,
                             [&](const QList<SearchHit> &) { ++stale; }, &error));
    const Outcome second = searchAndWait(search, QStringLiteral("kMDItemFSName == 'budget 7.txt'"));
    EXPECT_EQ(second.hits.size(), 1);

    ASSERT_TRUE(search.start(QStringLiteral("*=='budget'wc"), SearchScope::Home,
                             [&](const QList<SearchHit> &) { ++stale; }, &error));
    search.cancel();
    drainEvents();
    EXPECT_EQ(stale, 0);
}

TEST_F(FileSearch, RefusesABadQueryWithoutStartingAnything)
{
    FileSystemSearch search(root());
    QString error;
    bool called = false;
    EXPECT_FALSE(search.start(QStringLiteral("kMDItemFSName == 'a"), SearchScope::Home,
                              [&](const QList<SearchHit> &) { called = true; }, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no closing quote"))) << error.toStdString();
    drainEvents();
    EXPECT_FALSE(called);
}

TEST_F(FileSearch, DestroyingTheAdapterDuringAWalkIsSafe)
{
    for (int i = 0; i < 2000; ++i)
        makeFile(root(), QStringLiteral("d%1/notes %2.txt").arg(i % 40).arg(i), "some budget text");
    bool called = false;
    {
        FileSystemSearch search(root());
        QString error;
        ASSERT_TRUE(search.start(QStringLiteral("*=='budget'wcd"), SearchScope::Home,
                                 [&](const QList<SearchHit> &) { called = true; }, &error));
    }
    drainEvents();
    EXPECT_FALSE(called);
}
