#include "operations/OwnerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Boss = QStringLiteral("boss@example.com");

QString notFaxed(const QString &name, const QString &number)
{
    return QStringLiteral("Wendle could not fax %1 to %2: the file is gone or the number is too short.").arg(name, number);
}

class FaxingTest : public OwnerFixture {
protected:
    FaxingTest() { random.values = {47}; }

    QString makeFile(const QString &name) const { return writeFile(supportDir.filePath(name), "Dear sir"); }

    // A fax search for number whose list holds the given files, strongest first.
    void listForFaxing(const QString &number, const QStringList &paths)
    {
        controller->findFileForFaxing(QStringLiteral(" resume"), number);
        QList<SearchHit> hits;
        for (qsizetype i = paths.size() - 1; i >= 0; --i)
            hits << SearchHit{paths[i], QFileInfo(paths[i]).fileName(), QString(), QString(), double(i), 8};
        search.finish(hits);
        mail.sent.clear();
    }
};

// The second file of the list is deleted before its code comes back.
TEST_F(FaxingTest, AConfirmedCodeHandsTheFileToLpAndAnswersUnlessTheFileIsGone)
{
    const QString path = makeFile(QStringLiteral("resume.final.txt"));
    const QString deleted = makeFile(QStringLiteral("resume.txt"));
    controller->findFilename(QStringLiteral("earlier"), Boss); // sets the copy address the fax answer uses
    listForFaxing(QStringLiteral("5551212"), {path, deleted});
    controller->confirmCommand(QStringLiteral("471"));

    EXPECT_EQ(processes.detached, (QList<QStringList>{{"/usr/bin/lp", "-d", "Internal_Modem", "-o", "phone=5551212", path}}));
    EXPECT_TRUE(processes.ran.isEmpty()) << "lp is never awaited";
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, QStringLiteral("Wendle is faxing resume.final to 5551212.\n\n"));
    EXPECT_EQ(mail.sent[0].mail.cc, Boss);
    EXPECT_TRUE(mail.sent[0].mail.attachmentPath.isEmpty());
    EXPECT_EQ(logEntries().last(), QStringLiteral("Wendle is faxing resume.final to 5551212."));

    QFile::remove(deleted);
    controller->confirmCommand(QStringLiteral("472"));
    EXPECT_EQ(processes.detached.size(), 1);
    EXPECT_EQ(lastBody(), notFaxed("resume", "5551212") + QLatin1String("\n\n"));
}

TEST_F(FaxingTest, OnlyAnExistingFileAndANumberOfSevenOrMoreCharactersAreFaxed)
{
    const QString path = makeFile(QStringLiteral("resume.txt"));
    const QString gone = supportDir.filePath(QStringLiteral("gone.pdf"));
    const QString hidden = makeFile(QStringLiteral(".profile"));
    struct Case { QString path; QString number; bool faxed; QString answer; };
    const Case cases[] = {
        {path, "5551212", true, "Wendle is faxing resume to 5551212."},
        {path, "555-1212", true, "Wendle is faxing resume to 555-1212."},
        {hidden, "5551212", true, "Wendle is faxing .profile to 5551212."},
        {path, "555121", false, notFaxed("resume", "555121")},
        {path, QString(), false, notFaxed("resume", "")},
        {gone, "5551212", false, notFaxed("gone", "5551212")},
        {QString(), "5551212", false, notFaxed("", "5551212")},
    };
    for (const Case &c : cases) {
        processes.detached.clear();
        mail.sent.clear();
        controller->faxDocument(c.path, c.number);
        const QList<QStringList> lp{{"/usr/bin/lp", "-d", "Internal_Modem", "-o", "phone=" + c.number, c.path}};
        EXPECT_EQ(processes.detached, c.faxed ? lp : QList<QStringList>()) << c.number.toStdString();
        EXPECT_EQ(mail.sent.size(), 1);
        EXPECT_EQ(lastBody(), c.answer + QLatin1String("\n\n"));
        EXPECT_EQ(logEntries().last(), c.answer);
    }
}

// An lp that cannot even start did not get the file.
class RefusingProcessLauncher : public RecordingProcessLauncher {
public:
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        RecordingProcessLauncher::startDetached(program, arguments);
        return false;
    }
};

TEST_F(FaxingTest, AnLpThatCannotStartAnswersNotFaxed)
{
    RefusingProcessLauncher refusing;
    Platform withRefusing{preferences, clock, scheduler, console, random, mail, chat, workspace, alerts, resources, search, scripts,
                          refusing, camera, platform.supportFolder};
    Controller faxer(withRefusing);
    takeCommandFromOwner(faxer);
    faxer.faxDocument(makeFile(QStringLiteral("resume.txt")), QStringLiteral("5551212"));
    EXPECT_EQ(refusing.detached.size(), 1);
    EXPECT_EQ(lastBody(), notFaxed("resume", "5551212") + QLatin1String("\n\n"));
}

TEST_F(FaxingTest, FaxSearchesKeepTheCopyAddressAndRecordTheCommand)
{
    controller->findFilename(QStringLiteral("earlier"), QStringLiteral("boss \"big\"@example.com"));
    const QString copy = controller->lastCCAddress();
    using Find = void (Controller::*)(const QString &, const QString &);
    struct Case { Find find; const char *command; QString term; QString number; QString query; };
    const Case cases[] = {
        {&Controller::findFileForFaxing, "findFileForFaxing", " my resume", "5551212", "*=='my*resume*'cd && kMDItemFSSize < 4194304"},
        {&Controller::findContentsForFaxing, "findContentsForFaxing", " dear sir", "5559999",
         "((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd) && kMDItemFSSize < 4194304) && (  kMDItemKind = '*document'cd || "
         "kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)"},
    };
    for (const Case &c : cases) {
        (controller.get()->*c.find)(c.term, c.number);
        EXPECT_EQ(controller->lastCCAddress(), copy);
        EXPECT_EQ(controller->lastCommand(), QLatin1String(c.command));
        EXPECT_EQ(controller->lastQuery(), c.term);
        EXPECT_EQ(controller->lastFaxNumber(), c.number);
        EXPECT_EQ(search.queries.last(), c.query);
    }
}

TEST_F(FaxingTest, AFaxCommandWithoutTermOrNumberIsASyntaxError)
{
    for (const auto find : {&Controller::findFileForFaxing, &Controller::findContentsForFaxing}) {
        for (const auto &[term, number] : {std::pair<QString, QString>{QString(), "5551212"}, {" resume", QString()}}) {
            mail.sent.clear();
            (controller.get()->*find)(term, number);
            ASSERT_EQ(mail.sent.size(), 1);
            EXPECT_TRUE(lastBody().startsWith(QStringLiteral("Wendle Syntax Error!  "))) << lastBody().toStdString();
        }
    }
    EXPECT_TRUE(search.queries.isEmpty());
    EXPECT_TRUE(controller->lastFaxNumber().isNull());
}

TEST_F(FaxingTest, ModemQueuesFromLpstat)
{
    const QString idle = QStringLiteral("  enabled since Sat Dec  5 18:57:36 2026\n");
    const QString modem = QStringLiteral("printer Internal_Modem is idle.") + idle;
    const QString laser = QStringLiteral("printer Office_Laser is idle.") + idle;
    const QString noDefault = QStringLiteral("no system default destination\n");
    struct Case { bool started; QString output; QStringList titles; };
    const Case cases[] = {
        {true, modem + noDefault, {"Internal Modem"}},
        {true, modem + laser + QStringLiteral("system default destination: Internal_Modem\n"), {"Internal Modem", "Internal Modem"}},
        {true, QStringLiteral("printer USB_MODEM, is idle.\tsystem default destination: Fax_Modem.\n"), {"USB MODEM,", "Fax Modem."}},
        {true, laser + noDefault, {"No Fax Modem Found"}},
        {false, QString(), {"No Fax Modem Found"}},
    };
    for (const Case &c : cases) {
        processes.ran.clear();
        processes.outputs[QStringLiteral("/usr/bin/lpstat")] = ProcessOutput{c.started, 0, c.output};
        EXPECT_EQ(controller->getModemArray(), c.titles) << c.output.toStdString();
        EXPECT_EQ(processes.ran, (QList<QStringList>{{"/usr/bin/lpstat", "-p", "-d"}}));
    }
}

// The queue chosen is the one lp gets; enableFaxing is not consulted.
TEST_F(FaxingTest, ChoosingAQueueStoresItsNameWithUnderscoresForLp)
{
    const std::pair<QString, QString> cases[] = {
        {"Internal Modem", "Internal_Modem"}, {"No Fax Modem Found", "No_Fax_Modem_Found"},
        {"", "Internal_Modem"}, {QString(), "Internal_Modem"}, {"USB Fax Modem 2", "USB_Fax_Modem_2"},
    };
    for (const auto &[title, stored] : cases) {
        preferences.setValue(RBDefaultFaxModem, QStringLiteral("Something_Else"));
        controller->faxModemChanged(title);
        EXPECT_EQ(preferences.stringValue(RBDefaultFaxModem), stored) << title.toStdString();
    }
    preferences.setValue(RBEnableFaxing, false);
    controller->faxDocument(makeFile(QStringLiteral("resume.txt")), QStringLiteral("5551212"));
    ASSERT_EQ(processes.detached.size(), 1);
    EXPECT_EQ(processes.detached[0].mid(1, 2), (QStringList{"-d", "USB_Fax_Modem_2"}));
}

} // namespace
