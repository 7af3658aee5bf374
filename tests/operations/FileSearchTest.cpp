#include "operations/OwnerFixture.h"
#include "platform/search/SearchQuery.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Sent = QStringLiteral("Here is the file you asked for.\n\n");

class FileSearchTest : public OwnerFixture {
protected:
    FileSearchTest() { random.values = {347}; } // 347 % 100 = 47

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

    // A list of n real files in the folder, listed strongest first as file1 ... fileN.
    void listFiles(int n, const QString &folder = {})
    {
        preferences.setValue(RBMaxFilesReturned, 20);
        controller->findFilename(QStringLiteral("file"), QStringLiteral("boss@example.com"));
        QList<SearchHit> hits;
        for (int i = n; i >= 1; --i)
            hits << SearchHit{
                writeFile(path(i, folder), "content"), QStringLiteral("file%1.txt").arg(i), QString(), QString(), double(n - i), 7};
        search.finish(hits);
        mail.sent.clear();
        console.lines.clear();
    }
    QString path(int line, const QString &folder = {}) const
    {
        return supportDir.filePath(folder + QStringLiteral("file%1.txt").arg(line));
    }
};

// Confirmation codes against the list of a file search.
using ConfirmationTest = FileSearchTest;

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

TEST_F(FileSearchTest, ListShowsTheStrongestHitsWithCodesAndNoDoubleQuotes)
{
    controller->findFilename(QStringLiteral("hit"), QStringLiteral("boss@example.com"));
    ASSERT_TRUE(search.finish(hits(12)));
    EXPECT_EQ(controller->lastConfirmationNumber(), 47);
    EXPECT_EQ(listLines(), (QStringList{"471:  hit12.txt (?? kB )", "472:  hit11.txt (?? kB )", "473:  hit10.txt (?? kB )",
                                        "474:  hit9.txt (?? kB )", "475:  hit8.txt (?? kB )"}));
    EXPECT_TRUE(lastBody().startsWith(QStringLiteral("Wendle: reply with wndl and the number of the file to send:\n471:")));
    EXPECT_TRUE(mail.sent.last().mail.cc.isEmpty()); // doNotForwardFlag is on by default

    // Double quotes in a name and in the copy address become single ones.
    preferences.setValue(RBDoNotForwardFlag, false);
    controller->findFilename(QStringLiteral("x"), QStringLiteral("\"boss\"@example.com"));
    QList<SearchHit> found = hits(1);
    found[0].displayName = QStringLiteral("My \"best\" file");
    search.finish(found);
    EXPECT_EQ(listLines(), QStringList{QStringLiteral("471:  My 'best' file (?? kB )")});
    EXPECT_EQ(mail.sent.last().mail.cc, QStringLiteral("'boss'@example.com"));
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

// No hits keep the old number but drop the list.
TEST_F(FileSearchTest, SearchesWithoutAListAreAnswered)
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

    const qsizetype queries = search.queries.size();
    controller->findFilename(QStringLiteral(" ,;!?"), QString());
    EXPECT_EQ(search.queries.size(), queries);
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

TEST_F(ConfirmationTest, CodesAgainstAListOfFiveAndOfTwelve)
{
    enum Outcome { Mailed, Invalid, Silent };
    struct Case {
        int listSize;
        const char *code;
        Outcome outcome;
        int line;
    };
    const Case cases[] = {
        {5, "473", Mailed, 3},  {5, "476", Invalid, 0}, {5, "470", Silent, 0},          {5, "0473", Silent, 0},   {5, "47", Invalid, 0},
        {5, "-473", Silent, 0}, {5, "abc", Silent, 0},  {5, "99999999999", Invalid, 0}, {12, "4710", Mailed, 10}, {12, "4713", Invalid, 0},
    };
    for (const Case &c : cases) {
        listFiles(c.listSize);
        const QString code = QString::fromLatin1(c.code);
        controller->confirmCommand(code);
        if (c.outcome == Silent) {
            EXPECT_TRUE(mail.sent.isEmpty()) << c.code;
            EXPECT_TRUE(console.lines.isEmpty()) << c.code;
            continue;
        }
        ASSERT_EQ(mail.sent.size(), 1) << c.code;
        const OutgoingMail &sent = mail.sent[0].mail;
        if (c.outcome == Mailed) {
            EXPECT_EQ(sent.body, Sent);
            EXPECT_EQ(sent.attachmentPath, path(c.line)) << c.code;
            EXPECT_EQ(sent.cc, QStringLiteral("boss@example.com"));
            EXPECT_EQ(logEntries().last(),
                      QStringLiteral("Sent message: Here is the file you asked for. (attachment: %1)").arg(path(c.line)));
        } else {
            EXPECT_EQ(sent.body, QStringLiteral("That confirmation number is not valid. Search again to get a new list.\n\n"));
            EXPECT_TRUE(sent.attachmentPath.isEmpty());
            EXPECT_EQ(console.lines,
                      QStringList{QStringLiteral("Wendle Log Update:  Invalid confirmation number received (%1)").arg(code)});
            EXPECT_EQ(logEntries().last(), QStringLiteral("Invalid confirmation number %1 received (the current number is 47)").arg(code));
        }
    }

    // A code of the list works again and again, sends a file deleted since
    // without it, and is no longer valid once a new search runs.
    listFiles(5);
    controller->confirmCommand(QStringLiteral("472"));
    controller->confirmCommand(QStringLiteral("472"));
    QFile::remove(path(2));
    controller->confirmCommand(QStringLiteral("472"));
    controller->findFilename(QStringLiteral("again"), QString());
    controller->confirmCommand(QStringLiteral("471"));
    ASSERT_EQ(mail.sent.size(), 4);
    EXPECT_EQ(mail.sent[1].mail.attachmentPath, path(2));
    EXPECT_TRUE(mail.sent[2].mail.attachmentPath.isEmpty());
    EXPECT_EQ(mail.sent[2].mail.body, Sent);
    EXPECT_TRUE(mail.sent[3].mail.body.startsWith(QStringLiteral("That confirmation number is not valid.")));
}

// Deletes the file and makes another at its path on the same inode number, as
// ext4 does when it is the lowest free one: the numbers taken meanwhile are held
// by stand-ins, which go at the end.
static bool replaceOnSameInode(const QString &path, const QByteArray &content)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    ::stat(name, &status);
    const ino_t inode = status.st_ino;
    ::unlink(name);
    QList<QByteArray> standIns;
    bool same = false;
    for (int attempt = 0; attempt < 256 && !same; ++attempt) {
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        same = fd >= 0 && ::fstat(fd, &status) == 0 && status.st_ino == inode
               && ::write(fd, content.constData(), size_t(content.size())) == content.size();
        ::close(fd);
        if (!same) {
            standIns << name + ".stand-in" + QByteArray::number(attempt);
            ::rename(name, standIns.last());
        }
    }
    for (const QByteArray &standIn : standIns)
        ::unlink(standIn);
    return same;
}

TEST_F(ConfirmationTest, OnlyTheFileThatWasListedIsSent)
{
    const QString outside = writeFile(supportDir.filePath(QStringLiteral("elsewhere/secret.txt")), "secret");
    const QString changed =
        QStringLiteral("Wendle: file3.txt was not sent; the file at its place is no longer the one listed. Search again.\n\n");
    struct Case {
        const char *name;
        std::function<void(const QString &)> swap;
        bool sent;
    };
    const Case cases[] = {
        {"untouched", [](const QString &) {}, true},
        {"rewritten in place", [](const QString &path) { writeFile(path, "new content"); }, true},
        {"swapped for a link",
         [&](const QString &path) {
             QFile::remove(path);
             QFile::link(outside, path);
         },
         false},
        {"swapped for another file the way an editor saves",
         [&](const QString &path) {
             QFile::copy(outside, path + QStringLiteral(".new"));
             QFile::remove(path);
             QFile::rename(path + QStringLiteral(".new"), path);
         },
         false},
        // The new file usually takes over the freed inode number.
        {"deleted, and another file made on its inode number",
         [&](const QString &path) { ASSERT_TRUE(replaceOnSameInode(path, "secret")) << "the file system never gave the number out again"; },
         false},
        {"folder swapped for a link",
         [&](const QString &path) {
             const QString folder = QFileInfo(path).path(), decoy = folder + QStringLiteral(".decoy");
             QDir().rename(folder, folder + QStringLiteral(".old"));
             QDir().mkpath(decoy);
             QFile::copy(outside, decoy + QStringLiteral("/file3.txt"));
             QFile::link(decoy, folder);
         },
         false},
    };
    for (const Case &c : cases) {
        const QString listedPath = path(3, QLatin1String(c.name) + u'/');
        listFiles(3, QLatin1String(c.name) + u'/');
        c.swap(listedPath);
        controller->confirmCommand(QStringLiteral("473"));
        ASSERT_EQ(mail.sent.size(), 1) << c.name;
        EXPECT_EQ(mail.sent[0].mail.body, c.sent ? Sent : changed) << c.name;
        EXPECT_EQ(mail.sent[0].mail.attachmentPath, c.sent ? listedPath : QString()) << c.name;
    }
}

// Quotes, backslashes and wildcards in a term can neither break the query
// (the engine parses it as here) nor leave the owner without an answer.
TEST_F(FileSearchTest, EveryOddTermGetsAQueryThatParsesAndAnAnswer)
{
    const QString terms[] = {
        QStringLiteral("o'neil \"quoted\""), QStringLiteral("back\\slash\\"), QStringLiteral("*"), QStringLiteral("?"), QString(300, u'x'),
        QStringLiteral("!!! ,,, ;;;"),       QStringLiteral("tax*"),
    };
    for (const QString &term : terms) {
        for (const auto find : {&Controller::findFilename, &Controller::findContents}) {
            const qsizetype queries = search.queries.size(), answers = mail.sent.size();
            (controller.get()->*find)(term, QString());
            if (search.queries.size() > queries) {
                QString error;
                EXPECT_TRUE(search::parseQuery(search.queries.last(), &error)) << term.toStdString() << ": " << error.toStdString();
                search.finish({});
            }
            EXPECT_EQ(mail.sent.size(), answers + 1) << term.toStdString();
        }
    }
    EXPECT_TRUE(console.lines.isEmpty());
}
