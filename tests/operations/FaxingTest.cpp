#include "app/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Lp = QStringLiteral("/usr/bin/lp");
const QString Boss = QStringLiteral("boss@example.com");

class FaxingTest : public ControllerFixture {
protected:
    FaxingTest()
    {
        controller->setCommandTextHandler([](const QByteArray &) {});
        controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
        random.values = {47};
    }

    QString makeFile(const QString &name)
    {
        const QString path = supportDir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("Dear sir");
        return path;
    }

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

    QString lastBody() const { return mail.sent.isEmpty() ? QString() : mail.sent.last().mail.body; }
};

TEST_F(FaxingTest, AConfirmedCodeHandsTheFileToLpAndAnswers)
{
    const QString path = makeFile(QStringLiteral("resume.final.txt"));
    controller->findFilename(QStringLiteral("earlier"), Boss); // sets the copy address the fax answer uses
    listForFaxing(QStringLiteral("5551212"), {path});
    controller->confirmCommand(QStringLiteral("471"));

    ASSERT_EQ(processes.detached.size(), 1);
    EXPECT_EQ(processes.detached[0], (QStringList{Lp, QStringLiteral("-d"), QStringLiteral("Internal_Modem"), QStringLiteral("-o"),
                                                  QStringLiteral("phone=5551212"), path}));
    EXPECT_TRUE(processes.ran.isEmpty()) << "lp is never awaited";
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, QStringLiteral("Wendle is faxing resume.final to 5551212.\n\n"));
    EXPECT_EQ(mail.sent[0].mail.cc, Boss);
    EXPECT_TRUE(mail.sent[0].mail.attachmentPath.isEmpty());
    EXPECT_EQ(logEntries().last(), QStringLiteral("Wendle is faxing resume.final to 5551212."));
}

TEST_F(FaxingTest, OnlyAnExistingFileAndANumberOfSevenOrMoreCharactersAreFaxed)
{
    const QString path = makeFile(QStringLiteral("resume.txt"));
    const QString gone = supportDir.filePath(QStringLiteral("gone.pdf"));
    const QString hidden = makeFile(QStringLiteral(".profile"));
    struct Case { QString path; QString number; bool faxed; QString answer; };
    const Case cases[] = {
        {path, QStringLiteral("5551212"), true, QStringLiteral("Wendle is faxing resume to 5551212.")},
        {path, QStringLiteral("555-1212"), true, QStringLiteral("Wendle is faxing resume to 555-1212.")},
        {hidden, QStringLiteral("5551212"), true, QStringLiteral("Wendle is faxing .profile to 5551212.")},
        {path, QStringLiteral("555121"), false, QStringLiteral("Wendle could not fax resume to 555121: the file is gone or the number is too short.")},
        {path, QString(), false, QStringLiteral("Wendle could not fax resume to : the file is gone or the number is too short.")},
        {gone, QStringLiteral("5551212"), false, QStringLiteral("Wendle could not fax gone to 5551212: the file is gone or the number is too short.")},
        {QString(), QStringLiteral("5551212"), false, QStringLiteral("Wendle could not fax  to 5551212: the file is gone or the number is too short.")},
    };
    for (const Case &c : cases) {
        processes.detached.clear();
        mail.sent.clear();
        controller->faxDocument(c.path, c.number);
        EXPECT_EQ(processes.detached.size(), c.faxed ? 1 : 0) << c.number.toStdString();
        ASSERT_EQ(mail.sent.size(), 1);
        EXPECT_EQ(mail.sent[0].mail.body, c.answer + QLatin1String("\n\n"));
        EXPECT_EQ(logEntries().last(), c.answer);
    }
}

TEST_F(FaxingTest, AFileDeletedBeforeConfirmationIsNotFaxed)
{
    const QString first = makeFile(QStringLiteral("letter.txt"));
    const QString second = makeFile(QStringLiteral("resume.txt"));
    listForFaxing(QStringLiteral("5551212"), {first, second});
    QFile::remove(second);
    controller->confirmCommand(QStringLiteral("472"));
    EXPECT_TRUE(processes.detached.isEmpty());
    EXPECT_EQ(lastBody(), QStringLiteral("Wendle could not fax resume to 5551212: the file is gone or the number is too short.\n\n"));
}

TEST_F(FaxingTest, TheQueueIsTheStoredChoiceAndEnableFaxingIsNotConsulted)
{
    const QString path = makeFile(QStringLiteral("resume.txt"));
    preferences.setValue(RBDefaultFaxModem, QStringLiteral("USB_Fax_Modem"));
    preferences.setValue(RBEnableFaxing, false);
    controller->faxDocument(path, QStringLiteral("5551212"));
    ASSERT_EQ(processes.detached.size(), 1);
    EXPECT_EQ(processes.detached[0].mid(1, 2), (QStringList{QStringLiteral("-d"), QStringLiteral("USB_Fax_Modem")}));
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
                          refusing, platform.supportFolder};
    Controller faxer(withRefusing);
    faxer.setCommandTextHandler([](const QByteArray &) {});
    faxer.processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
    faxer.faxDocument(makeFile(QStringLiteral("resume.txt")), QStringLiteral("5551212"));
    EXPECT_EQ(refusing.detached.size(), 1);
    EXPECT_EQ(lastBody(), QStringLiteral("Wendle could not fax resume to 5551212: the file is gone or the number is too short.\n\n"));
}

TEST_F(FaxingTest, FaxSearchesKeepTheCopyAddressAndRecordTheCommand)
{
    controller->findFilename(QStringLiteral("earlier"), QStringLiteral("boss \"big\"@example.com"));
    const QString copy = controller->lastCCAddress();

    controller->findFileForFaxing(QStringLiteral(" my resume"), QStringLiteral("5551212"));
    EXPECT_EQ(controller->lastCCAddress(), copy);
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("findFileForFaxing"));
    EXPECT_EQ(controller->lastQuery(), QStringLiteral(" my resume"));
    EXPECT_EQ(controller->lastFaxNumber(), QStringLiteral("5551212"));
    EXPECT_EQ(search.queries.last(), QStringLiteral("*=='my*resume*'cd && kMDItemFSSize < 4194304"));

    controller->findContentsForFaxing(QStringLiteral(" dear sir"), QStringLiteral("5559999"));
    EXPECT_EQ(controller->lastCCAddress(), copy);
    EXPECT_EQ(controller->lastCommand(), QStringLiteral("findContentsForFaxing"));
    EXPECT_EQ(controller->lastQuery(), QStringLiteral(" dear sir"));
    EXPECT_EQ(controller->lastFaxNumber(), QStringLiteral("5559999"));
    EXPECT_TRUE(search.queries.last().startsWith(QStringLiteral("((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd)")));
}

TEST_F(FaxingTest, AFaxCommandWithoutTermOrNumberIsASyntaxError)
{
    struct Case { QString term; QString number; bool contents; };
    const Case cases[] = {
        {QString(), QStringLiteral("5551212"), false},
        {QStringLiteral(" resume"), QString(), false},
        {QString(), QStringLiteral("5551212"), true},
        {QStringLiteral(" resume"), QString(), true},
    };
    for (const Case &c : cases) {
        mail.sent.clear();
        if (c.contents)
            controller->findContentsForFaxing(c.term, c.number);
        else
            controller->findFileForFaxing(c.term, c.number);
        ASSERT_EQ(mail.sent.size(), 1);
        EXPECT_TRUE(lastBody().startsWith(QStringLiteral("Wendle Syntax Error!  "))) << lastBody().toStdString();
    }
    EXPECT_TRUE(search.queries.isEmpty());
    EXPECT_TRUE(controller->lastFaxNumber().isNull());
}

TEST_F(FaxingTest, ModemQueuesFromLpstat)
{
    const QString idle = QStringLiteral("  enabled since Sat Dec  5 18:57:36 2026\n");
    struct Case { bool started; QString output; QStringList titles; };
    const Case cases[] = {
        {true, QStringLiteral("printer Internal_Modem is idle.") + idle + QStringLiteral("no system default destination\n"),
         {QStringLiteral("Internal Modem")}},
        {true, QStringLiteral("printer Internal_Modem is idle.") + idle + QStringLiteral("printer Office_Laser is idle.") + idle
                   + QStringLiteral("system default destination: Internal_Modem\n"),
         {QStringLiteral("Internal Modem"), QStringLiteral("Internal Modem")}},
        {true, QStringLiteral("printer USB_MODEM, is idle.\tsystem default destination: Fax_Modem.\n"),
         {QStringLiteral("USB MODEM,"), QStringLiteral("Fax Modem.")}},
        {true, QStringLiteral("printer Office_Laser is idle.") + idle + QStringLiteral("no system default destination\n"),
         {QStringLiteral("No Fax Modem Found")}},
        {false, QString(), {QStringLiteral("No Fax Modem Found")}},
    };
    for (const Case &c : cases) {
        processes.ran.clear();
        processes.outputs[QStringLiteral("/usr/bin/lpstat")] = ProcessOutput{c.started, 0, c.output};
        EXPECT_EQ(controller->getModemArray(), c.titles) << c.output.toStdString();
        EXPECT_EQ(processes.ran, (QList<QStringList>{{QStringLiteral("/usr/bin/lpstat"), QStringLiteral("-p"), QStringLiteral("-d")}}));
    }
}

TEST_F(FaxingTest, ChoosingAQueueStoresItsNameWithUnderscores)
{
    struct Case { QString title; QString stored; };
    const Case cases[] = {
        {QStringLiteral("Internal Modem"), QStringLiteral("Internal_Modem")},
        {QStringLiteral("USB Fax Modem 2"), QStringLiteral("USB_Fax_Modem_2")},
        {QStringLiteral("No Fax Modem Found"), QStringLiteral("No_Fax_Modem_Found")},
        {QStringLiteral(""), QStringLiteral("Internal_Modem")},
        {QString(), QStringLiteral("Internal_Modem")},
    };
    for (const Case &c : cases) {
        preferences.setValue(RBDefaultFaxModem, QStringLiteral("Something_Else"));
        controller->faxModemChanged(c.title);
        EXPECT_EQ(preferences.stringValue(RBDefaultFaxModem), c.stored) << c.title.toStdString();
    }
}

} // namespace
