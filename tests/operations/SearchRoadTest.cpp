#include "operations/OwnerFixture.h"
#include "platform/search/FileSystemSearch.h"
#include "support/QtApplication.h"

#include <QElapsedTimer>
#include <QThread>

using namespace wendle;
using namespace wendle::test;

namespace {

// The whole road of a search on a real folder tree: the command, the real
// engine, the list mailed back, a code, the file mailed.
class SearchRoadTest : public OwnerFixture {
protected:
    SearchRoadTest()
        : engine(home.path(), home.path())
        , realPlatform{preferences, clock, scheduler, console, random, mail, chat, workspace, alerts,
                       resources, engine, scripts, processes, camera, platform.supportFolder}
    {
        ensureQtApplication();
        controller = std::make_unique<Controller>(realPlatform);
        takeCommandFromOwner(*controller);
        random.values = {47};
        const std::pair<const char *, QByteArray> files[] = {
            {"Documents/Tax Return 2007.txt", "federal forms"},
            {"Documents/old/tax-return-draft.txt", "draft"},
            {"Documents/Résumé, final.txt", "Dear sir, I apply for the budget post."},
            {"Pictures/budget.jpg", QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(100, 'x')},
            {"Music/budget.mp3", "ID3 not really audio"},
            {".hidden/tax return.txt", "hidden"},
            {"big tax return.txt", QByteArray(4 * 1024 * 1024, 'x')},
        };
        for (const auto &[relative, content] : files)
            writeFile(home.filePath(QString::fromUtf8(relative)), content);
    }

    // Runs the event loop until a reply was mailed.
    bool waitForMail(qsizetype count)
    {
        QElapsedTimer timer;
        timer.start();
        while (mail.sent.size() < count && timer.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(5);
        }
        return mail.sent.size() >= count;
    }

    // The labels of the current list, sorted.
    QStringList labels() const
    {
        QStringList result;
        for (const QueryResult &r : controller->queryResults())
            result << r.label;
        result.sort();
        return result;
    }

    QTemporaryDir home;
    FileSystemSearch engine;
    Platform realPlatform;
};

} // namespace

TEST_F(SearchRoadTest, FilenameSearchListsAndMailsTheChosenFile)
{
    controller->findFilename(QStringLiteral(" tax return"), QStringLiteral("boss@example.com"));
    ASSERT_TRUE(waitForMail(1));
    // The 4 MiB file is at the size bound and excluded; the hidden one too.
    EXPECT_EQ(labels(), (QStringList{"Tax Return 2007.txt", "tax-return-draft.txt"}));
    EXPECT_TRUE(mail.sent[0].mail.body.contains(QStringLiteral("471:  ")));

    const QueryResult first = controller->queryResults().first();
    controller->confirmCommand(QStringLiteral("471"));
    ASSERT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(mail.sent[1].mail.attachmentPath, first.path);
    EXPECT_EQ(mail.sent[1].mail.cc, QStringLiteral("boss@example.com"));
}

TEST_F(SearchRoadTest, ContentSearchHonoursTheKindFlags)
{
    controller->findContents(QStringLiteral("budget"), QString());
    ASSERT_TRUE(waitForMail(1));
    // Documents and images are on by default; audio is not.
    EXPECT_EQ(labels(), (QStringList{"Résumé, final.txt", "budget.jpg"}));

    preferences.setValue(RBSearchImages, false);
    preferences.setValue(RBSearchAudios, true);
    controller->findContents(QStringLiteral("budget"), QString());
    ASSERT_TRUE(waitForMail(2));
    EXPECT_EQ(labels(), (QStringList{"Résumé, final.txt", "budget.mp3"}));
}

TEST_F(SearchRoadTest, NothingFoundIsAnsweredOnce)
{
    controller->findFilename(QStringLiteral("no such thing anywhere"), QString());
    ASSERT_TRUE(waitForMail(1));
    EXPECT_EQ(mail.sent[0].mail.body, QStringLiteral("No files found for:no such thing anywhere\n\n"));
    QCoreApplication::processEvents();
    EXPECT_EQ(mail.sent.size(), 1);
}

TEST_F(SearchRoadTest, EveryOddTermGetsAnAnswer)
{
    const QString terms[] = {
        QStringLiteral("o'neil \"quoted\""), QStringLiteral("back\\slash\\"), QStringLiteral("*"),
        QStringLiteral("?"), QString(300, u'x'), QStringLiteral("!!! ,,, ;;;"), QStringLiteral("tax*"),
    };
    qsizetype answers = 0;
    for (const QString &term : terms) {
        controller->findFilename(term, QString());
        ASSERT_TRUE(waitForMail(++answers)) << term.toStdString();
        controller->findContents(term, QString());
        ASSERT_TRUE(waitForMail(++answers)) << term.toStdString();
    }
    EXPECT_EQ(mail.sent.size(), answers);
    EXPECT_TRUE(console.lines.isEmpty());
}

TEST_F(SearchRoadTest, SymbolicLinkLoopsEndTheWalk)
{
    QFile::link(home.path(), home.filePath(QStringLiteral("Documents/loop")));
    QFile::link(home.filePath(QStringLiteral("Documents/old")), home.filePath(QStringLiteral("Documents/old/inner")));
    controller->findFilename(QStringLiteral("draft"), QString());
    ASSERT_TRUE(waitForMail(1));
    EXPECT_EQ(labels(), QStringList{QStringLiteral("tax-return-draft.txt")});
}
