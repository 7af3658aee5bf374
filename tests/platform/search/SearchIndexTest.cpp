#include "platform/search/FileWalker.h"
#include "platform/search/QueryEvaluator.h"
#include "platform/search/SearchQuery.h"
#include "platform/search/index/FolderWatcher.h"
#include "platform/search/index/IndexStore.h"
#include "platform/search/index/IndexUpdater.h"
#include "platform/search/index/SearchIndex.h"
#include "support/DocumentFiles.h"
#include "support/QtApplication.h"
#include "support/ScratchDisk.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
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

static void PrintTo(const QStringList &lines, std::ostream *out)
{
    *out << '"' << lines.join(QStringLiteral("\" \"")).toStdString() << '"';
}

namespace {

class SearchIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApplication();
        m_root = m_dir.path() + QStringLiteral("/home");
        QDir().mkpath(m_root);
    }

    void write(const QString &relativePath, const QByteArray &content) { ASSERT_TRUE(writeFile(m_root + u'/' + relativePath, content)); }

    // An index started on the root; it logs into log().
    std::unique_ptr<SearchIndex> makeIndex(bool readsMail = true)
    {
        auto index = std::make_unique<SearchIndex>(databasePath(), m_root, [this](const QString &line) {
            std::lock_guard lock(m_logMutex);
            m_log << line;
        });
        index->setReadsMail(readsMail);
        index->start();
        return index;
    }

    std::unique_ptr<SearchIndex> startIndex(bool readsMail = true)
    {
        auto index = makeIndex(readsMail);
        EXPECT_TRUE(index->waitUntilReady(60000));
        return index;
    }

    static CompiledQuery compiled(const QString &text)
    {
        QString error;
        const std::optional<QueryNode> node = parseQuery(text, &error);
        EXPECT_TRUE(node) << error.toStdString();
        return CompiledQuery(node.value_or(QueryNode{}));
    }

    // The hits' paths below the root, sorted unless told not.
    QStringList relative(const QList<SearchHit> &hits, bool sorted = true) const
    {
        QStringList paths;
        for (const SearchHit &hit : hits)
            paths << QDir(m_root).relativeFilePath(hit.path);
        if (sorted)
            paths.sort();
        return paths;
    }

    // The hits of a search of the index, sorted by path; or, given a list length,
    // weakest first as a search answers, cut to the strongest that many (all for 0).
    QStringList fromIndex(const SearchIndex &index, const QString &query, std::optional<qsizetype> listLength = {}) const
    {
        const std::atomic<bool> cancelled{false};
        const std::optional<QList<SearchHit>> answer = index.search(compiled(query), cancelled, listLength.value_or(0));
        EXPECT_TRUE(answer) << "the index did not answer " << query.toStdString() << ": " << index.lastSearchProblem().toStdString();
        QList<SearchHit> hits = answer.value_or(QList<SearchHit>());
        std::sort(hits.begin(), hits.end(), [](const SearchHit &a, const SearchHit &b) {
            return a.relevance != b.relevance ? a.relevance < b.relevance : a.path < b.path;
        });
        return relative(hits, !listLength);
    }

    QStringList fromWalk(const QString &query) const
    {
        const std::atomic<bool> cancelled{false};
        return relative(walkAndMatch(compiled(query), QFile::encodeName(m_root).toStdString(), {}, 1, cancelled));
    }

    // Whether the index comes to answer the query with `expected` (changes
    // show after a short delay).
    bool comesToShow(const SearchIndex &index, const QString &query, const QStringList &expected) const
    {
        return waitFor([&] { return fromIndex(index, query) == expected; }, 30000);
    }

    QStringList log()
    {
        std::lock_guard lock(m_logMutex);
        return m_log;
    }

    QString databasePath() const { return m_dir.path() + QStringLiteral("/cache/wendle/search-index.sqlite"); }

    QTemporaryDir m_dir;
    QString m_root;
    std::mutex m_logMutex;
    QStringList m_log;
};

} // namespace

TEST_F(SearchIndexTest, AnswersEveryQueryAsTheWalkDoes)
{
    const QString letter = QStringLiteral("Dear Sir, about the tax return and the budget");
    const QList<QPair<QString, QByteArray>> files = {
        {"Tax Return 2019.pdf", pdfShowing(letter)},
        {"letters/roof.odt", odtWith({letter})},
        {"letters/roof.docx", docxWith({"Dear Madam"})},
        {"täx return.jpg", "x"},
        {"budget.txt", "nothing"},
        {"notes/plan.md", "the BUDGET for 2007, café"},
        {"notes/ab.txt", "ab"},
        {"mail/a.eml", "From: a@b.c\n\nbudget\n"},
        {".hidden/budget.txt", "budget"},
        {"Budget.TXT", "Budget"},
        // Texts that start with what a value must start with: in other letter
        // cases and accents, and past the first bytes the index keeps apart.
        {"misc/papers.txt", "TÂX papers, see the Return"},
        {"misc/opening.txt", "A very long opening line that runs well past the first bytes, then the end"},
        // A name of 255 bytes, and a text whose folding (U+023A to U+2C65) outgrows what the index keeps.
        {"long " + QString(122, QChar(0xE9)) + "ab.txt", "x"},
        {"stroke.txt", QString(400000, QChar(0x23A)).toUtf8() + " quokka"},
    };
    for (const auto &[name, content] : files)
        write(name, content);
    const std::unique_ptr<SearchIndex> index = startIndex();
    const QString queries[] = {
        "*=='tax*return*'cd && kMDItemFSSize < 4194304",
        "((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd) && kMDItemFSSize < 4194304) && (  "
        "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  kMDItemKind = '*emlx'cd)",
        "((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) &&  kMDItemKind = '*emlx'cd",
        "kMDItemTextContent == '*cafe*'cd",
        "kMDItemTextContent == '*Budget*'",
        "*=='ab'cd",
        "kMDItemFSName == 'b?dget.txt'c",
        "kMDItemKind = '*image'cd",
        "kMDItemPath == '*/notes/*'",
        "kMDItemFSSize > 100",
        "kMDItemFSName == '*b*'cd",
        "kMDItemTextContent == '*b*'cd",
        "kMDItemFSName == '*eee*'cd",
        "kMDItemTextContent == '*quokka*'cd",
        "kMDItemTextContent == 'a very long opening line that runs well past the first bytes*'cd",
        "kMDItemTextContent == 'a very long opening line that runs well past the first bytez*'cd",
        // Twelve U+023A fold to 36 bytes: the head ends inside the eleventh.
        "kMDItemTextContent == '" + QString(12, QChar(0x23A)) + "*'cd",
    };
    for (const QString &query : queries) {
        EXPECT_EQ(fromIndex(*index, query), fromWalk(query)) << query.toStdString();
        // A list of n shows the strongest n of the whole ordering.
        const QStringList whole = fromIndex(*index, query, 0);
        for (qsizetype length : {1, 2, 3})
            EXPECT_EQ(fromIndex(*index, query, length), whole.mid(std::max<qsizetype>(0, whole.size() - length)))
                << query.toStdString() << " cut at " << length;
    }
    EXPECT_EQ(fromIndex(*index, QStringLiteral("*=='budget'wcd"), 2), (QStringList{"budget.txt", "Budget.TXT"}));
    EXPECT_EQ(fromIndex(*index, queries[0]), (QStringList{"Tax Return 2019.pdf", "misc/papers.txt", "täx return.jpg"}));
    EXPECT_EQ(fromIndex(*index, queries[13]), QStringList{"stroke.txt"});
    EXPECT_EQ(fromIndex(*index, queries[14]), QStringList{"misc/opening.txt"});
    EXPECT_EQ(fromIndex(*index, queries[15]), QStringList());
    EXPECT_EQ(fromIndex(*index, queries[16]), QStringList{"stroke.txt"});
    EXPECT_TRUE(log().filter(QStringLiteral("search index of")).size() == 1) << log().join(u'\n').toStdString();
}

TEST_F(SearchIndexTest, FollowsFilesAndFoldersMadeRenamedAndDeleted)
{
    write(QStringLiteral("old.txt"), "nothing");
    const std::unique_ptr<SearchIndex> index = startIndex();
    const QString byName = QStringLiteral("*=='*roof*'cd");
    const QString folder = m_root + QStringLiteral("/repairs");
    const struct {
        const char *step;
        std::function<bool()> change;
        QStringList expected;
    } steps[] = {
        {"created", [&] { return writeFile(m_root + "/roof.txt", "x"); }, {"roof.txt"}},
        {"renamed", [&] { return QFile::rename(m_root + "/roof.txt", m_root + "/new roof.txt"); }, {"new roof.txt"}},
        {"written", [&] { return writeFile(m_root + "/old.txt", "the roof leaks"); }, {"new roof.txt", "old.txt"}},
        {"deleted", [&] { return QFile::remove(m_root + "/new roof.txt"); }, {"old.txt"}},
        {"folder made", [&] { return writeFile(folder + "/deep/roof.pdf", pdfShowing("felt")); }, {"old.txt", "repairs/deep/roof.pdf"}},
        {"folder moved", [&] { return QDir().rename(folder, m_root + "/roofing"); }, {"old.txt", "roofing/deep/roof.pdf"}},
        {"folder deleted", [&] { return QDir(m_root + "/roofing").removeRecursively(); }, {"old.txt"}},
    };
    for (const auto &step : steps) {
        ASSERT_TRUE(step.change()) << step.step;
        EXPECT_TRUE(comesToShow(*index, byName, step.expected)) << step.step << ": " << fromIndex(*index, byName).join(u',').toStdString();
    }
    // The texts rewritten or deleted leave nothing behind in the lookup table (a
    // search leaves out a deleted file before the index has forgotten it).
    IndexStore store;
    ASSERT_TRUE(store.openForReading(databasePath()));
    EXPECT_TRUE(waitFor([&] { return store.textMatches("\"oth\" OR \"fel\"") == std::unordered_set<std::int64_t>(); }, 30000));
    EXPECT_EQ(store.textMatches("\"lea\"").value_or(std::unordered_set<std::int64_t>()).size(), 1);
}

// Past the watch budget the index keeps only the tops of the unwatched trees
// (not each folder below them) and still finds what changes there.
TEST_F(SearchIndexTest, FoldersPastTheWatchBudgetAreKeptAsTopsAndRescanned)
{
    for (int i = 0; i < 25; ++i)
        write(QStringLiteral("x%1/y%2/f.txt").arg(i / 5).arg(i % 5), "x");
    IndexStore store;
    ASSERT_TRUE(store.open(databasePath(), false, nullptr, nullptr));
    FolderWatcher watcher(3);
    const std::atomic<bool> stopped{false}, readsMail{true};
    QStringList logged;
    IndexUpdater updater(store, watcher, QFile::encodeName(m_root).toStdString(), "/nowhere", stopped, readsMail,
                         [&](const QString &line) { logged << line; });
    ASSERT_TRUE(updater.scanAll());
    EXPECT_EQ(store.count(false), 25);
    EXPECT_EQ(watcher.watchedCount(), 3u);
    // The root and one x and one y of it are watched: the other four y there
    // and the other four x are tops; nothing below an unwatched x is kept.
    EXPECT_EQ(updater.unwatchedCount(), 8u);
    EXPECT_EQ(logged.filter(QStringLiteral("the limit of watched folders is reached after 3 folders")).size(), 1)
        << logged.join(u'\n').toStdString();
    // New files in every folder: those watched come by their events, the
    // others (below a top too) by the rescan.
    for (int i = 0; i < 25; ++i)
        write(QStringLiteral("x%1/y%2/g.txt").arg(i / 5).arg(i % 5), "x");
    updater.apply(watcher.readChanges());
    updater.rescanUnwatched();
    EXPECT_EQ(store.count(false), 50);
    EXPECT_EQ(updater.unwatchedCount(), 8u);
}

TEST_F(SearchIndexTest, ADamagedIndexIsBuiltAnewAndAnUnwritableOneLeavesSearchesToTheWalk)
{
    // A start killed before the index's first transaction leaves an empty file:
    // it is an index being built, not a damaged one (the build below says nothing).
    const struct {
        const char *name;
        QByteArray content;
        QString problem;
    } cases[] = {
        {"garbage", QByteArray(8192, 'x'), QStringLiteral("not a search index")},
        {"empty", QByteArray(), QString()},
    };
    for (const auto &[name, content, problem] : cases) {
        ASSERT_TRUE(writeFile(databasePath(), content));
        const SearchIndex::Status status = SearchIndex::readStatus(databasePath());
        EXPECT_TRUE(status.exists) << name;
        EXPECT_FALSE(status.complete) << name;
        EXPECT_EQ(status.problem, problem) << name;
    }
    write(QStringLiteral("roof.txt"), "x");
    startIndex().reset();
    QFile database(databasePath());
    ASSERT_TRUE(database.open(QIODevice::ReadWrite));
    database.seek(100);
    database.write(QByteArray(8192, '\x5a'));
    database.close();
    const std::unique_ptr<SearchIndex> index = startIndex();
    EXPECT_EQ(fromIndex(*index, QStringLiteral("*=='roof*'cd")), QStringList{QStringLiteral("roof.txt")});
    EXPECT_EQ(log().filter(QStringLiteral("damaged")).size(), 1) << log().join(u'\n').toStdString();

    SearchIndex unwritable(QStringLiteral("/proc/wendle/search-index.sqlite"), m_root, [](const QString &) {});
    unwritable.start();
    EXPECT_FALSE(unwritable.waitUntilReady(10000));
    const std::atomic<bool> cancelled{false};
    EXPECT_FALSE(unwritable.search(compiled(QStringLiteral("*=='roof*'cd")), cancelled));
}

TEST_F(SearchIndexTest, AFullOrReadOnlyCacheDiskLeavesSearchesToTheWalkUntilItCanBeWritten)
{
    ScratchDisk disk(QFileInfo(databasePath()).path());
    if (!disk.mount("size=256k"))
        GTEST_SKIP() << "a disk of its own for the cache needs a mount namespace (root)";
    for (int i = 0; i < 300; ++i)
        write(QStringLiteral("letters/letter %1.txt").arg(i), QByteArray::number(i * 7919).repeated(150) + " roof");
    const QString notWritten = QStringLiteral("Wendle Error: the search index cannot be written (database or disk is full); "
                                              "searches walk the folders until it can");
    const std::atomic<bool> cancelled{false};
    const CompiledQuery roof = compiled(QStringLiteral("kMDItemTextContent == '*roof*'cd"));
    auto failsAndWalks = [&](const char *step) {
        const auto index = makeIndex();
        EXPECT_FALSE(index->waitUntilReady(60000)) << step;
        EXPECT_TRUE(index->hasFailed()) << step;
        EXPECT_FALSE(index->search(roof, cancelled)) << step;
    };

    // Full while building: said once, and the search walks rather than answer from half an index.
    failsAndWalks("full while building");
    EXPECT_EQ(log().filter(QStringLiteral("cannot be")), QStringList{notWritten});
    // With room again, the build goes on where it ended; nothing is thrown away as damaged.
    ASSERT_TRUE(disk.remount(0, "size=64m"));
    std::unique_ptr<SearchIndex> index = startIndex();
    EXPECT_EQ(fromIndex(*index, QStringLiteral("kMDItemTextContent == '*roof*'cd")).size(), 300);

    // Full while following changes: the new file would be missing from the index, so it is not used.
    disk.fill();
    write(QStringLiteral("letters/new.txt"), "roof");
    EXPECT_TRUE(waitFor([&] { return index->hasFailed(); }, 60000));
    EXPECT_FALSE(index->search(roof, cancelled));
    index.reset();
    QFile::remove(QFileInfo(databasePath()).path() + QStringLiteral("/filler"));

    // Read-only: the index is left as it is for the day the disk can be written again.
    const qint64 size = QFileInfo(databasePath()).size();
    ASSERT_TRUE(disk.remount(MS_RDONLY));
    failsAndWalks("read-only");
    EXPECT_EQ(QFileInfo(databasePath()).size(), size);
    ASSERT_TRUE(disk.remount(0));
    index = startIndex();
    EXPECT_EQ(fromIndex(*index, QStringLiteral("kMDItemTextContent == '*roof*'cd")).size(), 301);
    const QStringList troubles = log().filter(QStringLiteral("cannot be"));
    EXPECT_EQ(troubles.size(), 3) << troubles.join(u'\n').toStdString();
    EXPECT_EQ(troubles.value(1), notWritten);
    EXPECT_TRUE(troubles.value(2).startsWith("Wendle Error: the search index " + databasePath() + " cannot be kept ("));
    EXPECT_EQ(log().filter(QStringLiteral("damaged")), QStringList());
}

TEST_F(SearchIndexTest, FilesThatCannotBeReadAreSummedUpOnceEachPass)
{
    const QByteArray broken = "%PDF-1.4\n1 0 obj << garbage";
    for (const char *name : {"a.pdf", "b.pdf", "c.pdf"})
        write(QString::fromLatin1(name), broken);
    write(QStringLiteral("fine.txt"), "fine");
    const struct {
        const char *step;
        std::function<void()> change;
        QString expected;
    } steps[] = {
        {"first build", [] {}, "3 files cannot be read and are found by their name and kind only; the first: " + m_root + "/"},
        {"nothing changed", [] {}, {}},
        {"broken again", [&] { write("a.pdf", broken + " more"); }, {}},
        {"mended", [&] { write("b.pdf", pdfShowing("fine")); }, {}},
        {"broken after mending, and a new one",
         [&] {
             write("b.pdf", broken);
             write("d.pdf", broken);
         },
         "2 files cannot be read"},
        {"one new", [&] { write("e.pdf", broken); }, "the text of " + m_root + "/e.pdf cannot be read ("},
    };
    for (const auto &step : steps) {
        step.change();
        const qsizetype before = log().size();
        startIndex().reset();
        const QStringList lines = log().mid(before).filter(QStringLiteral("cannot be read"));
        if (step.expected.isEmpty())
            EXPECT_EQ(lines, QStringList()) << step.step;
        else
            EXPECT_TRUE(lines.size() == 1 && lines[0].contains(step.expected)) << step.step << ": " << lines.join(u'\n').toStdString();
    }
    // While changes are followed: a known broken file written again is not counted.
    const qsizetype before = log().size();
    std::unique_ptr<SearchIndex> index = startIndex();
    write(QStringLiteral("a.pdf"), broken + " and more");
    write(QStringLiteral("f.pdf"), broken);
    write(QStringLiteral("marker.txt"), "x"); // changes are taken in order: once it shows, f.pdf is read
    // Only the order matters here, not how soon: a loaded machine gets time.
    EXPECT_TRUE(comesToShow(*index, QStringLiteral("*=='marker.txt'cd"), {QStringLiteral("marker.txt")}));
    index.reset();
    EXPECT_EQ(
        log().mid(before).filter(QStringLiteral("cannot be read")).join(u'\n').toStdString(),
        ("Wendle Log Update:  the text of " + m_root + "/f.pdf cannot be read (not a readable PDF); it is found by its name and kind only")
            .toStdString());
}

// Files that could stop or flood an indexer: each is found by its name at most,
// the build ends, and one log line sums up what could not be read.
TEST_F(SearchIndexTest, BadFilesNeitherStopTheBuildNorHideTheOthers)
{
    QByteArray encrypted = pdfShowing(QStringLiteral("dear sir"));
    const QByteArray key = "<" + QByteArray(64, 'a') + ">";
    encrypted.replace("/Root 1 0 R >>", "/Root 1 0 R /Encrypt << /Filter /Standard /V 1 /R 2 /O " + key + " /U " + key
                                            + " /P -4 >> /ID [<00112233445566778899aabbccddeeff> <00112233445566778899aabbccddeeff>] >>");
    const QByteArray bomb = zipOf({{"word/document.xml", "<w:document><w:body><w:p><w:t>" + QByteArray(20 << 20, ' ')
                                                             + "dear sir</w:t></w:p></w:body></w:document>"}});
    const QByteArray notUtf8 = "dear caf\xE9.txt";
    const QByteArray manyParts =
        "From: a@b.c\nContent-Type: multipart/mixed; boundary=b\n\n" + QByteArray("--b\n\ndear sir\n").repeated(5000);
    const struct {
        QByteArray name;
        QByteArray content;
        qint64 size = -1;
    } files[] = {
        {"dear sir.txt", "dear sir"},
        {"dear encrypted.pdf", encrypted},
        {"dear malformed.pdf", "%PDF-1.4\ndear sir 1 0 obj << garbage"},
        {"dear bomb.docx", bomb},
        {"dear huge.pdf", "%PDF-1.4\n", qint64(2) << 30},
        {"dear parts.eml", manyParts},
        {notUtf8, "dear sir"},
    };
    const QByteArray root = QFile::encodeName(m_root);
    for (const auto &file : files) { // by the bytes of its name, which QString could not hold
        QFile out;
        ASSERT_TRUE(out.open(::open(root + "/" + file.name, O_WRONLY | O_CREAT, 0644), QIODevice::WriteOnly, QFile::AutoCloseHandle))
            << file.name.toStdString();
        out.write(file.content);
        if (file.size >= 0)
            out.resize(file.size);
    }
    ASSERT_EQ(::mkfifo(root + "/dear fifo.txt", 0600), 0);
    ASSERT_EQ(::symlink(".", root + "/dear loop"), 0);
    ASSERT_EQ(::symlink("dear b.txt", root + "/dear a.txt"), 0);
    ASSERT_EQ(::symlink("dear a.txt", root + "/dear b.txt"), 0);
    const std::unique_ptr<SearchIndex> index = startIndex(); // fails if the build does not end
    // Neither the special files nor the name that could not be sent are found.
    EXPECT_EQ(
        fromIndex(*index, QStringLiteral("kMDItemFSName == 'dear*'c")),
        (QStringList{"dear bomb.docx", "dear encrypted.pdf", "dear huge.pdf", "dear malformed.pdf", "dear parts.eml", "dear sir.txt"}));
    EXPECT_EQ(fromIndex(*index, QStringLiteral("kMDItemTextContent == '*dear sir*'cd")), QStringList{QStringLiteral("dear sir.txt")});
    EXPECT_EQ(log().filter(QStringLiteral("cannot be read")).size(), 1) << log().join(u'\n').toStdString();
    EXPECT_EQ(log().filter(QStringLiteral("left out")),
              QStringList{"Wendle Log Update:  1 files whose names are not text in this system's encoding are left out of "
                          "searches, as they could not be sent; the first: "
                          + m_root + "/dear caf\uFFFD.txt"});
}

// With mail search off a mail is found by its name and kind, and never parsed
// (a mail of too many parts would be logged as unreadable); its text comes
// and goes with the setting.
TEST_F(SearchIndexTest, MailIsReadOnlyWhileMailSearchIsOn)
{
    write(QStringLiteral("Maildir/new/1712345678.M20P7.host"), "From: a@b.c\n\ndear sir\n");
    write(QStringLiteral("Maildir/new/1712345679.M20P7.host"),
          "From: a@b.c\nContent-Type: multipart/mixed; boundary=b\n\n" + QByteArray("--b\n\ndear sir\n").repeated(5000));
    write(QStringLiteral("letter.txt"), "dear sir");
    const QString query = QStringLiteral("kMDItemTextContent == '*dear sir*'cd");
    const QStringList withMail{QStringLiteral("Maildir/new/1712345678.M20P7.host"), QStringLiteral("letter.txt")};
    std::unique_ptr<SearchIndex> index = startIndex(false);
    EXPECT_EQ(fromIndex(*index, query), QStringList{QStringLiteral("letter.txt")});
    EXPECT_EQ(log().filter(QStringLiteral("cannot be read")), QStringList());
    index->setReadsMail(true);
    EXPECT_TRUE(comesToShow(*index, query, withMail));
    index->setReadsMail(false);
    EXPECT_TRUE(comesToShow(*index, query, {QStringLiteral("letter.txt")}));
    index.reset();
    index = startIndex(true); // a setting changed while no Wendle ran
    EXPECT_TRUE(comesToShow(*index, query, withMail));
    index.reset();
    EXPECT_EQ(log().filter(QStringLiteral("more than 1000 MIME parts")).size(), 2) << log().join(u'\n').toStdString();
}

// What changed while no Wendle ran is taken at the next start: files gone from a
// folder and folders gone are forgotten, a rewritten file read again.
TEST_F(SearchIndexTest, ChangesMadeWhileStoppedAreTakenAtTheNextStart)
{
    for (int i = 0; i < 50; ++i)
        write(QStringLiteral("letters/%1.txt").arg(i), "the roof leaks");
    write(QStringLiteral("old/deep/plan.txt"), "felt");
    startIndex().reset();
    for (int i = 0; i < 50; i += 2)
        ASSERT_TRUE(QFile::remove(m_root + QStringLiteral("/letters/%1.txt").arg(i)));
    ASSERT_TRUE(QDir(m_root + "/old").removeRecursively());
    write(QStringLiteral("letters/1.txt"), "felt and tar");
    write(QStringLiteral("letters/new.txt"), "tar");
    const std::unique_ptr<SearchIndex> index = startIndex();
    IndexStore store;
    ASSERT_TRUE(store.openForReading(databasePath()));
    EXPECT_EQ(store.count(false), 26);
    EXPECT_EQ(store.textMatches("\"fel\"").value_or(std::unordered_set<std::int64_t>()).size(), 1);
    EXPECT_EQ(fromIndex(*index, QStringLiteral("kMDItemTextContent == '*tar*'cd")), (QStringList{"letters/1.txt", "letters/new.txt"}));
}
