#include "platform/search/FileSystemSearch.h"
#include "platform/search/FileView.h"
#include "platform/search/FileWalker.h"
#include "platform/search/SearchAndWait.h"
#include "support/QtApplication.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wendle;
using namespace wendle::search;
using namespace wendle::test;

namespace {

constexpr qint64 kBound = 4194304; // the Controller's bound for "maxFileSize" 4

// A walk has ended when cancel, a new start or the destructor returns: what it
// posted before is in the queue already, and one pass delivers it.
void deliverWhatWasPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class FileSearch : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApplication(); }

    // Writes a file below the root, making its folders; a size beyond the
    // content extends it with a hole.
    void makeFile(const QString &relativePath, const QByteArray &content = "x", qint64 size = -1)
    {
        ASSERT_TRUE(writeFile(root() + u'/' + relativePath, content, size)) << relativePath.toStdString();
    }

    QStringList found(MetadataSearch &search, const QString &query, SearchScope scope = SearchScope::Home)
    {
        return foundBelow(root(), search, query, scope);
    }

    // Starts a search whose answers only count themselves.
    static void startCounting(MetadataSearch &search, const QString &query, int &answers)
    {
        QString error;
        ASSERT_TRUE(search.start(
            query, SearchScope::Home, 0, [&answers](const QList<SearchHit> &) { ++answers; }, &error))
            << error.toStdString();
    }

    QTemporaryDir m_dir;
    QString root() const { return m_dir.path(); }
};

} // namespace

TEST_F(FileSearch, SelectsExactlyTheMatchingFiles)
{
    const QByteArray pdf = "%PDF-1.4\n";
    const struct {
        const char *name;
        QByteArray content;
        qint64 size;
    } files[] = {
        {"Tax Return 2019.pdf", pdf, -1},
        {"tax,return.txt", "hello", -1},
        {"TAX_RETURN_final.odt", "x", -1},
        {"täx return.jpg", "x", -1},
        {"return tax.pdf", pdf, -1},
        {"taxes.pdf", pdf, -1},
        {"tax return exact.pdf", pdf, kBound},
        {"tax return below.pdf", pdf, kBound - 1},
        {".tax return hidden.pdf", pdf, -1},
        {".cache/tax return cached.pdf", pdf, -1},
        {"sub/deeper/tax return deep.txt", "deep", -1},
        {"letters/notes.txt", "Tax office: please return the form", -1},
        {"budget.pdf", pdf, -1},
        {"Budget 2007.jpg", "x", -1},
        {"budget.mp3", "x", -1},
        {"budget.odt", "x", -1},
        {"budget scan.tiff", "x", -1},
        {"big budget.pdf", pdf, kBound},
        {"letters/plan.txt", "the budget for 2007", -1},
        {"letters/draft.md", "BUDGET", -1},
        {"letters/budgets.txt", "nothing", -1},
        {"letters/mybudget.txt", "nothing", -1},
        {"code/calc.c", "int budget;", -1},
        {"report.pdf", pdf + "budget", -1},
        {"memo", "a budget memo\n", -1},
        {"mail/budget.eml", "From: a@b.c\nSubject: budget\n\nbudget\n", -1},
    };
    for (const auto &f : files)
        makeFile(QString::fromUtf8(f.name), f.content, f.size);
    // A name in another encoding could not be sent, so it is no answer.
    ::close(::open(QFile::encodeName(root()) + "/tax return caf\xE9.txt", O_WRONLY | O_CREAT, 0644));

    // The first three are the queries the Controller writes for a file name,
    // for content among documents and images, and for content among mails.
    const struct {
        QString query;
        QStringList expected;
    } cases[] = {
        {"*=='tax*return*'cd && kMDItemFSSize < 4194304",
         {"TAX_RETURN_final.odt", "Tax Return 2019.pdf", "letters/notes.txt", "sub/deeper/tax return deep.txt", "tax return below.pdf",
          "tax,return.txt", "täx return.jpg"}},
        {"((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) && (  "
         "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
         "kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)",
         {"Budget 2007.jpg", "budget scan.tiff", "budget.odt", "budget.pdf", "code/calc.c", "letters/draft.md", "letters/plan.txt",
          "memo"}},
        {"((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) &&  kMDItemKind = '*emlx'cd",
         {"mail/budget.eml"}},
        {"kMDItemKind == '*image'c", {"Budget 2007.jpg", "budget scan.tiff", "täx return.jpg"}},
        {"kMDItemKind == 'application/pdf' && kMDItemFSSize < 4194304",
         {"Tax Return 2019.pdf", "budget.pdf", "report.pdf", "return tax.pdf", "tax return below.pdf", "taxes.pdf"}},
        {"kMDItemFSName == 'TÄX*'c", {"täx return.jpg"}},
        {"kMDItemFSName == 'budget.pdf' || kMDItemDisplayName == 'memo'", {"budget.pdf", "memo"}},
        {"kMDItemPath == '*/letters/*'c && kMDItemTextContent == '*budget*'c", {"letters/draft.md", "letters/plan.txt"}},
        {"kMDItemFSSize >= 4194304", {"big budget.pdf", "tax return exact.pdf"}},
        {"kMDItemTextContent == 'int budget;'", {"code/calc.c"}},
    };
    FileSystemSearch search(root());
    for (const auto &c : cases) {
        QStringList expected = c.expected;
        expected.sort();
        EXPECT_EQ(found(search, c.query), expected) << c.query.toStdString();
    }
}

TEST_F(FileSearch, ReportsTheAttributesOfAHit)
{
    makeFile(QStringLiteral("Budget, draft é.pdf"), "%PDF-1.4\n", 1234);
    FileSystemSearch search(root());
    const QList<SearchHit> hits = searchAndWait(search, QStringLiteral("kMDItemFSName == 'budget*'c"));
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0].path, root() + QStringLiteral("/Budget, draft é.pdf"));
    EXPECT_EQ(hits[0].fsName, QStringLiteral("Budget, draft é.pdf"));
    EXPECT_EQ(hits[0].displayName, hits[0].fsName);
    EXPECT_EQ(hits[0].kind, QStringLiteral("PDF document"));
    EXPECT_EQ(hits[0].size, 1234);
}

TEST_F(FileSearch, ReadsContentOnlyOfTextFilesAndOnlyItsFirstMebibyte)
{
    makeFile(QStringLiteral("early.txt"), "budget " + QByteArray(2 << 20, 'x'));
    makeFile(QStringLiteral("late.txt"), QByteArray(1 << 20, 'x') + " budget");
    makeFile(QStringLiteral("binary.txt"), QByteArray("budget\0\x01\x02", 9));
    makeFile(QStringLiteral("picture.png"), "budget");
    // Untyped by name: the first bytes tell text from binary, for small and large files.
    makeFile(QStringLiteral("blob"), QByteArray("budget\0\x01\x02", 9));
    makeFile(QStringLiteral("notes"), "budget");
    makeFile(QStringLiteral("long notes"), QByteArray(100 * 1024, 'y') + " budget");
    FileSystemSearch search(root());
    EXPECT_EQ(found(search, QStringLiteral("kMDItemTextContent == '*budget*'c")), (QStringList{"early.txt", "long notes", "notes"}));
}

TEST_F(FileSearch, SortsByRelevanceThenPathAndRanksStrongerMatchesHigher)
{
    const std::pair<const char *, const char *> files[] = {{"budget.txt", "budget, budget and more budget"},
                                                           {"budget notes.txt", "nothing here"},
                                                           {"b.txt", "budget budget mention"},
                                                           {"c2.txt", "one budget mention"},
                                                           {"a.txt", "one budget mention"},
                                                           {"c1.txt", "one budget mention"}};
    for (const auto &[name, content] : files)
        makeFile(QString::fromUtf8(name), content);
    FileSystemSearch search(root());
    const QList<SearchHit> hits = searchAndWait(search, QStringLiteral("*=='budget'wcd"));
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
    makeFile(QStringLiteral("a/budget.txt"));
    makeFile(QStringLiteral("target budget.txt"));
    for (const auto &[target, link] : {std::pair{"..", "/a/loop"}, {".", "/a/self"}, {"../target budget.txt", "/a/link budget.txt"}})
        ASSERT_EQ(::symlink(target, QFile::encodeName(root() + QLatin1String(link)).constData()), 0) << link;
    FileSystemSearch search(root());
    EXPECT_EQ(found(search, QStringLiteral("kMDItemFSName == '*budget*'c")), (QStringList{"a/budget.txt", "target budget.txt"}));
}

TEST_F(FileSearch, SkipsFoldersAndFilesItCannotRead)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permissions do not stop root from reading, so there is nothing to skip";
    for (const char *name : {"open/budget.txt", "locked/budget.txt", "sealed.txt", "sealed budget.txt"})
        makeFile(QString::fromUtf8(name), "budget");
    for (const char *name : {"/sealed.txt", "/sealed budget.txt", "/locked"})
        QFile::setPermissions(root() + QLatin1String(name), {});
    FileSystemSearch search(root());
    const QStringList hits = found(search, QStringLiteral("*=='budget'wc"));
    QFile::setPermissions(root() + QStringLiteral("/locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(hits, QStringList{QStringLiteral("open/budget.txt")});
}

// A file met by the walk may change before or while it is read: what it gives is
// then what could be read, never a wait or a crash.
TEST_F(FileSearch, AFileThatChangesWhileItIsReadGivesWhatCouldBeRead)
{
    const QByteArray path = QFile::encodeName(root() + QStringLiteral("/letter.txt"));
    const struct {
        const char *change;
        bool afterFirstBytes;
        std::function<void()> meanwhile;
        std::optional<std::string> content;
        bool vanished;
    } cases[] = {
        {"removed after it was listed", false, [&] { ::unlink(path); }, std::nullopt, true},
        {"a FIFO put in its place", false,
         [&] {
             ::unlink(path);
             ::mkfifo(path, 0600);
         },
         "", false},
        {"cut short after its first bytes", true, [&] { ::truncate(path, 0); }, "dear", false},
        // Read up to the size it was listed with, not on and on.
        {"written anew and larger", true, [&] { makeFile("letter.txt", QByteArray(kMaxContentBytes * 2, 'x')); }, "dearxxxx", false},
    };
    for (const auto &test : cases) {
        QFile::remove(QFile::decodeName(path));
        makeFile(QStringLiteral("letter.txt"), "dear sir");
        FileScratch scratch;
        FileView file(AT_FDCWD, {}, path.constData(), scratch, path.constData());
        file.setKnownSize(8);
        if (test.afterFirstBytes) {
            ASSERT_TRUE(file.head(4)) << test.change;
        }
        test.meanwhile();
        const std::optional<std::string_view> content = file.content();
        EXPECT_EQ(content ? std::optional<std::string>(*content) : std::nullopt, test.content) << test.change;
        EXPECT_EQ(file.vanished(), test.vanished) << test.change;
    }
}

TEST_F(FileSearch, ScopesSearchTheHomeFolderOrTheWholeComputer)
{
    makeFile(QStringLiteral("home/budget.txt"));
    makeFile(QStringLiteral("elsewhere/budget.txt"));
    FileSystemSearch search(root() + QStringLiteral("/home"), root());
    const QString query = QStringLiteral("kMDItemFSName == 'budget.txt'");
    EXPECT_EQ(found(search, query, SearchScope::Home), QStringList{QStringLiteral("home/budget.txt")});
    EXPECT_EQ(found(search, query, SearchScope::Computer), (QStringList{"elsewhere/budget.txt", "home/budget.txt"}));
    const std::unordered_set<std::string> skipped = search::foldersOutsideAnySearch();
    for (const char *folder : {"/proc", "/sys", "/dev", "/run"})
        EXPECT_TRUE(skipped.contains(folder)) << folder;
}

TEST_F(FileSearch, ANewSearchOrCancelSilencesTheOldOneAndABadQueryStartsNothing)
{
    for (int i = 0; i < 300; ++i)
        makeFile(QStringLiteral("f%1/budget %2.txt").arg(i % 30).arg(i), "budget");
    FileSystemSearch search(root());
    int stale = 0;
    startCounting(search, QStringLiteral("*=='budget'wc"), stale);
    EXPECT_EQ(searchAndWait(search, QStringLiteral("kMDItemFSName == 'budget 7.txt'")).size(), 1);
    startCounting(search, QStringLiteral("*=='budget'wc"), stale);
    search.cancel();

    QString error;
    const auto count = [&](const QList<SearchHit> &) { ++stale; };
    EXPECT_FALSE(search.start(QStringLiteral("kMDItemFSName == 'a"), SearchScope::Home, 0, count, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no closing quote"))) << error.toStdString();
    deliverWhatWasPosted();
    EXPECT_EQ(stale, 0);
}

TEST_F(FileSearch, DestroyingTheAdapterDuringAWalkIsSafe)
{
    for (int i = 0; i < 2000; ++i)
        makeFile(QStringLiteral("d%1/notes %2.txt").arg(i % 40).arg(i), "some budget text");
    int answers = 0;
    {
        FileSystemSearch search(root());
        startCounting(search, QStringLiteral("*=='budget'wcd"), answers);
    }
    deliverWhatWasPosted();
    EXPECT_EQ(answers, 0);
}
