#include "app/HelpBook.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

using namespace wendle;
using namespace wendle::test;

namespace {

class HelpAndStartTest : public ControllerFixture {};

TEST_F(HelpAndStartTest, WithoutAWindowTheFirstStartNamesTheHelpPageOnTheConsole)
{
    controller->awakeFromNib(nullptr);
    EXPECT_EQ(console.lines,
              QStringList{"Wendle Log Update: Wendle Help page: " + controller->helpBookFolder() + "/html/configuring.html"});
    EXPECT_EQ(preferences.value(RBFirstTimeLaunching), QVariant(false));

    console.lines.clear();
    controller->awakeFromNib(nullptr);
    EXPECT_TRUE(console.lines.isEmpty()) << console.lines.join('\n').toStdString();
}

TEST_F(HelpAndStartTest, ABookThatCannotBeReadIsReportedOnTheConsole)
{
    // what befalls the book, the status reported
    const std::tuple<const char *, std::function<void(const QString &book)>, int> cases[] = {
        {"complete", [](const QString &) {}, 0},
        {"no book", [](const QString &book) { QDir(book).removeRecursively(); }, -43},
        {"a page missing", [](const QString &book) { QFile::remove(book + "/html/chat_tab.html"); }, -43},
        {"a page unreadable", [](const QString &book) { QFile(book + "/html/ped_tab.html").setPermissions({}); }, -54},
    };
    for (const auto &[name, damage, status] : cases) {
        if (status == -54 && ::geteuid() == 0)
            continue; // the superuser reads every file
        QTemporaryDir copy;
        const QString book = copy.path() + "/help";
        QDir().mkpath(book + "/html");
        for (const QString &page : QDir(QStringLiteral(WENDLE_SOURCE_RESOURCES "/help/html")).entryList(QDir::Files))
            QFile::copy(QStringLiteral(WENDLE_SOURCE_RESOURCES "/help/html/") + page, book + "/html/" + page);
        damage(book);
        Resources elsewhere(copy.path());
        const Platform moved{preferences, clock,   scheduler, console, random,
                             mail,        chat,    workspace, alerts,  elsewhere,
                             search,      scripts, processes, camera,  platform.supportFolder};
        console.lines.clear();
        Controller(moved).registerHelp();
        const QStringList expected =
            status == 0 ? QStringList{}
                        : QStringList{QString("Wendle Log Update: Couldn't register help from %1; status %2.").arg(book).arg(status)};
        EXPECT_EQ(console.lines, expected) << name;
    }
}

TEST_F(HelpAndStartTest, PagesAreFoundByTheNamesTheCommandLineAccepts)
{
    const QList<QPair<QString, QString>> names = {
        {"configuring", "html/configuring.html"}, {"sec", "html/security_tab.html"},     {"security", "html/security_tab.html"},
        {"camera", "html/isight_tab.html"},       {"ped_tab.html", "html/ped_tab.html"}, {"Remote", "html/ped_tab.html"},
        {"custom_tab", "html/custom_tab.html"},   {"../configuring", QString()},         {"", QString()},
    };
    for (const auto &[name, page] : names)
        EXPECT_EQ(helpPageNamed(name), page) << name.toStdString();
}

} // namespace
