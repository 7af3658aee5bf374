#include "app/ConfigCommand.h"
#include "operations/OwnerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Boss = QStringLiteral("boss@example.com");

QString notFaxed(const QString &name, const QString &number)
{
    return QStringLiteral("Wendle could not fax %1 to %2: the file is gone or the number is too short.").arg(name, number);
}

QList<QStringList> lpFor(const QString &queue, const QString &number, const QString &path)
{
    return {{"/usr/bin/lp", "-d", queue, "-o", "phone=" + number, path}};
}

class FaxingTest : public OwnerFixture {
protected:
    FaxingTest() { random.values = {47}; }
    QString makeFile(const QString &name) const { return writeFile(supportDir.filePath(name), "Dear sir"); }
};

} // namespace

// The list's second file is deleted before its code comes back.
TEST_F(FaxingTest, AConfirmedCodeHandsTheFileToLpAndAnswersUnlessTheFileIsGoneAndFaxSearchesKeepTheCopyAddress)
{
    const QString path = makeFile(QStringLiteral("resume.final.txt"));
    const QString deleted = makeFile(QStringLiteral("resume.txt"));
    controller->findFilename(QStringLiteral("earlier"), Boss); // sets the copy address the fax answer uses
    controller->findFileForFaxing(QStringLiteral(" resume"), QStringLiteral("5551212"));
    search.finish({SearchHit{deleted, "resume.txt", {}, {}, 1, 8}, SearchHit{path, "resume.final.txt", {}, {}, 0, 8}});
    mail.sent.clear();
    controller->confirmCommand(QStringLiteral("471"));

    EXPECT_EQ(processes.started, lpFor("Internal_Modem", "5551212", path));
    EXPECT_TRUE(processes.ran.isEmpty()) << "lp is never awaited";
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, QStringLiteral("Wendle is faxing resume.final to 5551212.\n\n"));
    EXPECT_EQ(mail.sent[0].mail.cc, Boss);
    EXPECT_EQ(logEntries().last(), QStringLiteral("Wendle is faxing resume.final to 5551212."));

    // lp's refusal comes later, to the console and the log, never to the owner.
    processes.finishStarted({true, 1, "lp: The printer or class does not exist.\n"});
    const QString refused = "Wendle Error: lp did not queue the fax of " + path
                            + " to 5551212 on Internal_Modem (exit status 1): lp: The printer or class does not exist.";
    EXPECT_EQ(console.lines.last(), refused);
    EXPECT_EQ(logEntries().last(), refused);
    EXPECT_EQ(mail.sent.size(), 1);

    QFile::remove(deleted);
    controller->confirmCommand(QStringLiteral("472"));
    EXPECT_EQ(processes.started.size(), 1);
    EXPECT_EQ(lastBody(), notFaxed("resume", "5551212") + QLatin1String("\n\n"));

    // A content search for a fax keeps the copy address too; either needs a term and a number.
    controller->findContentsForFaxing(QStringLiteral(" dear sir"), QStringLiteral("5559999"));
    EXPECT_EQ(controller->lastCCAddress(), Boss);
    EXPECT_EQ(controller->lastCommand(), QLatin1String("findContentsForFaxing"));
    EXPECT_EQ(controller->lastFaxNumber(), QStringLiteral("5559999"));
    EXPECT_TRUE(search.queries.last().startsWith(QStringLiteral("((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd)")));
    for (const auto find : {&Controller::findFileForFaxing, &Controller::findContentsForFaxing}) {
        for (const auto &[term, number] : {std::pair<QString, QString>{QString(), "5551212"}, {" resume", QString()}}) {
            mail.sent.clear();
            (controller.get()->*find)(term, number);
            EXPECT_TRUE(lastBody().startsWith(QStringLiteral("Wendle Syntax Error!  "))) << lastBody().toStdString();
        }
    }
    EXPECT_EQ(search.queries.size(), 3);
}

TEST_F(FaxingTest, OnlyAnExistingFileAndANumberOfSevenOrMoreCharactersAreFaxed)
{
    const QString path = makeFile(QStringLiteral("resume.txt"));
    const QString hidden = makeFile(QStringLiteral(".profile"));
    struct Case {
        QString path;
        QString number;
        bool faxed;
        QString answer;
    };
    const Case cases[] = {
        {path, "555-1212", true, "Wendle is faxing resume to 555-1212."},
        {hidden, "5551212", true, "Wendle is faxing .profile to 5551212."},
        {path, "555121", false, notFaxed("resume", "555121")},
        {path, QString(), false, notFaxed("resume", "")},
        {supportDir.filePath("gone.pdf"), "5551212", false, notFaxed("gone", "5551212")},
        {QString(), "5551212", false, notFaxed("", "5551212")},
    };
    for (const Case &c : cases) {
        processes.started.clear();
        mail.sent.clear();
        controller->faxDocument(c.path, c.number);
        EXPECT_EQ(processes.started, c.faxed ? lpFor("Internal_Modem", c.number, c.path) : QList<QStringList>()) << c.number.toStdString();
        EXPECT_EQ(mail.sent.size(), 1);
        EXPECT_EQ(lastBody(), c.answer + QLatin1String("\n\n"));
        EXPECT_EQ(logEntries().last(), c.answer);
    }

    // An lp that cannot even start did not get the file.
    processes.starts = false;
    controller->faxDocument(path, QStringLiteral("5551212"));
    EXPECT_EQ(lastBody(), notFaxed("resume", "5551212") + QLatin1String("\n\n"));
}

// lpstat runs once at start; what it printed on either channel counts. A queue
// chosen in the menu or set from the command line is the one lp gets;
// enableFaxing is not consulted.
TEST_F(FaxingTest, ModemQueuesComeFromLpstatAtStartAndAChosenOneIsStoredWithUnderscoresForLp)
{
    const QString idle = QStringLiteral("  enabled since Sat Dec  5 18:57:36 2026\n");
    const QString modem = QStringLiteral("printer Internal_Modem is idle.") + idle;
    const QString laser = QStringLiteral("printer Office_Laser is idle.") + idle;
    struct Case {
        bool started;
        QString output;
        QStringList titles;
    };
    const Case cases[] = {
        {true, modem + laser + QStringLiteral("system default destination: Internal_Modem\n"), {"Internal Modem", "Internal Modem"}},
        {true, QStringLiteral("printer USB_MODEM, is idle.\tsystem default destination: Fax_Modem.\n"), {"USB MODEM,", "Fax Modem."}},
        {true, laser + QStringLiteral("no system default destination\n"), {"No Fax Modem Found"}},
        {false, QString(), {"No Fax Modem Found"}},
    };
    for (const Case &c : cases) {
        processes.ran.clear();
        processes.outputs[QStringLiteral("/usr/bin/lpstat")] = ProcessOutput{c.started, 0, c.output};
        controller->awakeFromNib(nullptr);
        EXPECT_EQ(controller->faxModemTitles(), c.titles) << c.output.toStdString();
        EXPECT_EQ(processes.ran, (QList<QStringList>{{"/usr/bin/lpstat", "-p", "-d"}}));
    }
    const ProcessOutput joined = QtProcessLauncher().run("/bin/sh", {"-c", "echo out; echo err >&2; echo more"});
    EXPECT_EQ(joined.standardOutput, QStringLiteral("out\nerr\nmore\n"));

    const std::pair<QString, QString> choices[] = {
        {"No Fax Modem Found", "No_Fax_Modem_Found"}, {"", "Internal_Modem"}, {"USB Fax Modem 2", "USB_Fax_Modem_2"}};
    for (const auto &[title, stored] : choices) {
        preferences.setValue(RBDefaultFaxModem, QStringLiteral("Something_Else"));
        controller->faxModemChanged(title);
        EXPECT_EQ(preferences.stringValue(RBDefaultFaxModem), stored) << title.toStdString();
        preferences.setValue(RBDefaultFaxModem, QStringLiteral("Something_Else"));
        QString ignored;
        QTextStream out(&ignored);
        EXPECT_EQ(runConfigCommand(preferences, {"set", "defaultFaxModem", title}, out, out), 0);
        EXPECT_EQ(preferences.stringValue(RBDefaultFaxModem), stored) << title.toStdString();
    }
    preferences.setValue(RBEnableFaxing, false);
    controller->faxDocument(makeFile(QStringLiteral("resume.txt")), QStringLiteral("5551212"));
    EXPECT_EQ(processes.started, lpFor("USB_Fax_Modem_2", "5551212", supportDir.filePath("resume.txt")));
}
