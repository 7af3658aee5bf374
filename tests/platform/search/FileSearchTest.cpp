#include "platform/search/FileKinds.h"
#include "platform/search/FileSystemSearch.h"
#include "platform/search/FileView.h"
#include "platform/search/FileWalker.h"
#include "support/DocumentFiles.h"
#include "support/QtApplication.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wendle;
using namespace wendle::search;
using namespace wendle::test;

// Readable failure messages for paths.
static void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Runs one search and waits for its answer through the event loop.
QList<SearchHit> searchAndWait(MetadataSearch &search, const QString &query, SearchScope scope = SearchScope::Home)
{
    std::optional<QList<SearchHit>> answer;
    QEventLoop loop;
    QString error;
    const bool started = search.start(
        query, scope, 0,
        [&](const QList<SearchHit> &hits) {
            answer = hits;
            loop.quit();
        },
        &error);
    EXPECT_TRUE(started) << error.toStdString();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit); // only a guard against a hang
    if (started && !answer)
        loop.exec();
    EXPECT_TRUE(answer || !started) << "the search never finished";
    return answer.value_or(QList<SearchHit>());
}

constexpr qint64 kBound = 4194304; // the Controller's bound for "maxFileSize" 4

// The Controller's content query for "dear sir" with the documents and mail flags on.
const QString kDearSirQuery =
    QStringLiteral("((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd) && kMDItemFSSize < 4194304) && (  "
                   "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
                   "kMDItemKind = '*emlx'cd)");

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

    // The hits' paths below the root, sorted.
    QStringList found(MetadataSearch &search, const QString &query, SearchScope scope = SearchScope::Home)
    {
        QStringList paths;
        for (const SearchHit &hit : searchAndWait(search, query, scope))
            paths << QDir(root()).relativeFilePath(hit.path);
        paths.sort();
        return paths;
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

// The tests of what is read from documents, run again under a German locale.
using DocumentContent = FileSearch;

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
    // Each list is in the order of the sorted paths.
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
    for (const auto &c : cases)
        EXPECT_EQ(found(search, c.query), c.expected) << c.query.toStdString();
}

TEST_F(FileSearch, ReadsContentOnlyOfTextFilesAndOnlyItsFirstMebibyteAndReportsAHitsAttributes)
{
    makeFile(QStringLiteral("Budget, draft é.pdf"), "%PDF-1.4\n", 1234);
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
    const QList<SearchHit> hits = searchAndWait(search, QStringLiteral("kMDItemFSName == 'budget*'c"));
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0].path, root() + QStringLiteral("/Budget, draft é.pdf"));
    EXPECT_EQ(hits[0].fsName, QStringLiteral("Budget, draft é.pdf"));
    EXPECT_EQ(hits[0].displayName, hits[0].fsName);
    EXPECT_EQ(hits[0].kind, QStringLiteral("PDF document"));
    EXPECT_EQ(hits[0].size, 1234);
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

// Links are never followed, so loops end.
TEST_F(FileSearch, ScopesSearchTheHomeFolderOrTheWholeComputerAndNeverFollowLinks)
{
    makeFile(QStringLiteral("home/a/budget.txt"));
    makeFile(QStringLiteral("home/target budget.txt"));
    makeFile(QStringLiteral("elsewhere/budget.txt"));
    for (const auto &[target, link] :
         {std::pair{"..", "/home/a/loop"}, {".", "/home/a/self"}, {"../target budget.txt", "/home/a/link budget.txt"}})
        ASSERT_EQ(::symlink(target, QFile::encodeName(root() + QLatin1String(link)).constData()), 0) << link;
    FileSystemSearch search(root() + QStringLiteral("/home"), root());
    const QString query = QStringLiteral("kMDItemFSName == '*budget*'c");
    EXPECT_EQ(found(search, query, SearchScope::Home), (QStringList{"home/a/budget.txt", "home/target budget.txt"}));
    EXPECT_EQ(found(search, query, SearchScope::Computer),
              (QStringList{"elsewhere/budget.txt", "home/a/budget.txt", "home/target budget.txt"}));
    const std::unordered_set<std::string> skipped = search::foldersOutsideAnySearch();
    for (const char *folder : {"/proc", "/sys", "/dev", "/run"})
        EXPECT_TRUE(skipped.contains(folder)) << folder;
}

TEST_F(FileSearch, AWalkReplacedCancelledOrDestroyedAnswersNothingAndABadQueryStartsNothing)
{
    for (int i = 0; i < 2000; ++i)
        makeFile(QStringLiteral("f%1/budget %2.txt").arg(i % 40).arg(i), "some budget text");
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
    {
        FileSystemSearch destroyed(root());
        startCounting(destroyed, QStringLiteral("*=='budget'wcd"), stale);
    }
    deliverWhatWasPosted();
    EXPECT_EQ(stale, 0);
}

TEST_F(DocumentContent, FindsAPhraseInEveryFormatPeopleKeepAndSkipsWhatCannotBeRead)
{
    const QString letter = QStringLiteral("Dear Sir, I write about the roof.");
    const QByteArray mail = "From: Ann <ann@example.org>\nTo: bob@example.org\nSubject: roof\n"
                            "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
                            "Content-Transfer-Encoding: quoted-printable\n\nDear=20Sir, I write about the roof.\n";
    QByteArray utf16 = "\xFF\xFE";
    for (QChar c : letter)
        utf16 += QByteArray(reinterpret_cast<const char *>(&c), 2);
    // A zip bomb: a Word file whose text, ending with the phrase, unpacks to 20 MB.
    const QByteArray bomb = zipOf({{"word/document.xml", "<w:document><w:body><w:p><w:t>" + QByteArray(20 << 20, ' ')
                                                             + "Dear Sir</w:t></w:p></w:body></w:document>"}});
    const struct {
        const char *name;
        QByteArray content;
        qint64 size;
        bool found;
    } files[] = {
        {"letter.pdf", pdfShowing(letter), -1, true},
        {"letter.odt", odtWith({QStringLiteral("Roof"), letter}), -1, true},
        {"letter.docx", docxWith({letter}), -1, true},
        {"letter.eml", mail, -1, true},
        {"Mail/INBOX/cur/1712345678.M20P7.host:2,S", mail, -1, true},
        {"letter.html", "<html><head><style>p{}</style></head><body><p>Dear <b>Sir</b>,</p></body></html>", -1, true},
        {"letter.rtf", "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}\\f0 Dear \\b Sir\\b0 , I write.\\par}", -1, true},
        {"letter latin1.txt", "Dear Sir, the caf\xE9 roof.\n", -1, true},
        {"letter utf16.txt", utf16, -1, true},
        {"scan", pdfShowing(letter), -1, true}, // a PDF that its name does not type
        {"other.pdf", pdfShowing(QStringLiteral("Nothing to see")), -1, false},
        {"broken.pdf", "%PDF-1.4\nDear Sir 1 0 obj << garbage", -1, false},
        {"bomb.docx", bomb, -1, false},
        {"huge.pdf", "%PDF-1.4\n", qint64(2) << 30, false},
        {"tags.html", "<p>Dear</p><p>Sirloin</p>", -1, false},
    };
    QStringList expected;
    for (const auto &file : files) {
        makeFile(QString::fromUtf8(file.name), file.content, file.size);
        if (file.found)
            expected << QString::fromUtf8(file.name);
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(root() + QStringLiteral("/dear sir.txt")).constData(), 0600), 0);
    expected.sort();
    FileSystemSearch search(root());
    EXPECT_EQ(found(search, kDearSirQuery), expected);
    EXPECT_EQ(found(search, QStringLiteral("kMDItemTextContent == '*cafe*'cd")), QStringList{QStringLiteral("letter latin1.txt")});
}

// One file of each kind; each kind clause the Controller writes selects exactly its
// own. Run again below under a German locale, where the kind descriptions differ.
TEST_F(DocumentContent, EachKindFlagSelectsTheFilesOfItsKind)
{
    if (qEnvironmentVariable("WENDLE_TEST_LOCALE") == QLatin1String("de")) { // the run below
        ASSERT_EQ(QMimeDatabase().mimeTypeForName(QStringLiteral("application/pdf")).comment(), QStringLiteral("PDF-Dokument"));
    }
    const QList<QPair<QString, QByteArray>> files = {
        {"a.pdf", pdfShowing("a")},
        {"a.odt", odtWith({"a"})},
        {"notes.txt", "a"},
        {"book.epub", "x"},
        {"photo.jpg", "x"},
        {"scan.tiff", "x"},
        {"mail.eml", "From: a@b.c\n\nx\n"},
        {"disk.iso", "x"},
        {"backup.tar.gz", "x"},
        {"start.desktop", "[Desktop Entry]\n"},
        {"tool", readFile(QStringLiteral("/bin/true"))},
        {"run.sh", "#!/bin/sh\n"},
        {"song.mp3", "x"},
        {"film.mp4", "x"},
        {"clip.mov", "x"},
    };
    for (const auto &[name, content] : files)
        makeFile(name, content);
    const struct {
        const char *clause;
        QStringList expected;
    } cases[] = {
        {"kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd",
         {"a.odt", "a.pdf", "book.epub", "notes.txt"}},
        {"kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd", {"photo.jpg", "scan.tiff"}},
        {"kMDItemKind = '*tiff'cd", {"scan.tiff"}},
        {"kMDItemKind = '*emlx'cd", {"mail.eml"}},
        {"kMDItemKind = '*archive'cd", {"backup.tar.gz"}},
        {"kMDItemKind = '*disk image'cd", {"disk.iso"}},
        {"kMDItemKind = '*application'cd", {"start.desktop", "tool"}},
        {"kMDItemKind = '*clipping'cd", {}}, // no Linux desktop keeps clipping files
        {"kMDItemKind = '*script'cd", {"run.sh"}},
        {"kMDItemKind = '*audio'cd", {"song.mp3"}},
        {"kMDItemKind = '*video'cd || kMDItemKind = '*movie'cd", {"clip.mov", "film.mp4"}},
        {"kMDItemKind = 'application/pdf'", {"a.pdf"}},
    };
    FileSystemSearch search(root());
    for (const auto &c : cases)
        EXPECT_EQ(found(search, QString::fromUtf8(c.clause)), c.expected) << c.clause;
}

TEST_F(DocumentContent, KindsMeanTheSameFilesUnderAGermanLocale)
{
    if (!qEnvironmentVariableIsEmpty("WENDLE_TEST_LOCALE"))
        GTEST_SKIP() << "already the German run";
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        environment.insert(QString::fromLatin1(name), QStringLiteral("de_DE.UTF-8"));
    environment.insert(QStringLiteral("WENDLE_TEST_LOCALE"), QStringLiteral("de"));
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=DocumentContent.*")});
    ASSERT_TRUE(run.waitForFinished(120000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAll().toStdString();
}

// The resolver answers most names from a cache keyed by their last suffix; whatever
// it caches, it must type every name exactly as the MIME database does.
TEST(SearchFileKinds, TypesNamesExactlyAsTheMimeDatabase)
{
    const char *const names[] = {
        "report.pdf",
        "REPORT.PDF",
        "photo.2019.05.jpg",
        "x.gz",
        "backup.tar.gz",
        "old.backup.TAR.GZ",
        "drawing.svg.gz",
        "notes.txt",
        "notes.txt~",
        "file.c,v",
        "README",
        "readme.md",
        "README.txt",
        "Makefile",
        "makefile.am",
        "CMakeLists.txt",
        "libfoo.so.1.2",
        "libfoo.so",
        "page.1",
        "core",
        "main.c",
        "main.C",
        "123.vdr",
        "12.vdr",
        "memo",
        "data.unknownsuffix",
        "a.b.c.d.odt",
        "trailing.",
        "Résumé final.docx",
    };
    const QMimeDatabase database;
    const KindCatalogue &catalogue = KindCatalogue::instance();
    KindResolver resolver;
    for (int pass = 0; pass < 2; ++pass) { // the second pass answers from the cache
        for (const char *name : names) {
            const QMimeType expected = database.mimeTypeForFile(QString::fromUtf8(name), QMimeDatabase::MatchExtension);
            const int id = resolver.byName(name);
            const QString found = id < 0 ? QStringLiteral("(none)") : catalogue.at(id).mimeName;
            EXPECT_EQ(found.toStdString(), expected.isDefault() ? "(none)" : expected.name().toStdString()) << name << " on pass " << pass;
        }
    }
}
