#include "operations/OwnerFixture.h"
#include "platform/search/FileSystemSearch.h"
#include "support/QtApplication.h"
#include "support/WaitFor.h"

using namespace wendle;
using namespace wendle::test;

namespace {

// Searches through the real engine on a real folder tree. The list and the
// file mailed back are the black-box road's; the engine's selection is the
// engine's tests'.
class SearchRoadTest : public OwnerFixture {
protected:
    SearchRoadTest()
        : engine(home.path(), home.path())
        , realPlatform{preferences, clock,   scheduler, console, random,
                       mail,        chat,    workspace, alerts,  resources,
                       engine,      scripts, processes, camera,  platform.supportFolder}
    {
        ensureQtApplication();
        controller = std::make_unique<Controller>(realPlatform);
        takeCommandFromOwner(*controller);
        writeFile(home.filePath(QStringLiteral("Documents/Tax Return 2007.txt")), "federal forms");
        writeFile(home.filePath(QStringLiteral("Documents/Résumé, final.txt")), "Dear sir, I apply for the budget post.");
    }

    // Runs the event loop until a reply was mailed.
    bool waitForMail(qsizetype count)
    {
        return waitFor([&] { return mail.sent.size() >= count; }, 30000);
    }

    QTemporaryDir home;
    FileSystemSearch engine;
    Platform realPlatform;
};

} // namespace

// Quotes, backslashes and wildcards in a term can neither break the query
// nor leave the owner without an answer.
TEST_F(SearchRoadTest, EveryOddTermGetsAnAnswer)
{
    const QString terms[] = {
        QStringLiteral("o'neil \"quoted\""), QStringLiteral("back\\slash\\"), QStringLiteral("*"), QStringLiteral("?"), QString(300, u'x'),
        QStringLiteral("!!! ,,, ;;;"),       QStringLiteral("tax*"),
    };
    qsizetype answers = 0;
    for (const QString &term : terms) {
        controller->findFilename(term, QString());
        ASSERT_TRUE(waitForMail(++answers)) << term.toStdString();
        controller->findContents(term, QString());
        ASSERT_TRUE(waitForMail(++answers)) << term.toStdString();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(mail.sent.size(), answers);
    EXPECT_TRUE(console.lines.isEmpty());
}
