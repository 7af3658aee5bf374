#include "app/window/SettingsWindow.h"
#include "platform/process/ProcessLauncher.h"
#include "platform/search/FileSystemSearch.h"
#include "support/EnvironmentOverride.h"
#include "support/LiveController.h"
#include "support/TestFiles.h"
#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QComboBox>

using namespace wendle;
using namespace wendle::test;

namespace {

// Faxing through a real print system: a private CUPS server with two fax
// queues and a printer, the real lpstat and lp, and the real search engine.
class FaxPrintSystemTest : public LiveControllerTest {
protected:
    void SetUp() override
    {
        if (!CupsServer::installed())
            GTEST_SKIP() << "cupsd or the CUPS client tools are missing; scripts/install-deps installs cups-daemon and cups-client";
        ASSERT_TRUE(cups.start());
        ASSERT_TRUE(cups.addQueue("Internal_Modem"));
        ASSERT_TRUE(cups.addQueue("Office_Laser"));
        ASSERT_TRUE(cups.addQueue("Upstairs_Modem"));
        // The real process launcher's children (lpstat, lp) find the server here.
        server = std::make_unique<EnvironmentOverride>("CUPS_SERVER", cups.address());
        startController(workspace, search, processes);
        random.values = {47};
    }

    QString jobs()
    {
        QByteArray output;
        cups.runClient("lpstat", {"-W", "all", "-o"}, &output);
        return QString::fromUtf8(output);
    }

    // The spool's job control files, where the job's IPP attributes are kept.
    QByteArray controlFiles() const
    {
        QByteArray all;
        const QDir spool(cups.spoolFolder());
        for (const QString &name : spool.entryList({"c*"}, QDir::Files))
            all += readFile(spool.filePath(name));
        return all;
    }

    QTemporaryDir home;
    FileSystemSearch search{home.path(), home.path()};
    RecordingWorkspace workspace;
    QtProcessLauncher processes;
    CupsServer cups;
    std::unique_ptr<EnvironmentOverride> server;
};

TEST_F(FaxPrintSystemTest, AConfirmedFaxIsQueuedWithItsPhoneNumberAndOneLpRefusesIsToldWithLpsWords)
{
    ASSERT_TRUE(writeFile(home.filePath("resume.txt"), "Dear sir, please find my resume.\n"));
    controller->findFileForFaxing(" resume", "5551212");
    ASSERT_TRUE(waitFor([this] { return !mail.sent.isEmpty(); }, 60000)) << "the search never answered";
    ASSERT_TRUE(mail.sent[0].mail.body.contains("471:  resume.txt")) << mail.sent[0].mail.body.toStdString();

    controller->confirmCommand("471");
    ASSERT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(mail.sent[1].mail.body, "Wendle is faxing resume to 5551212.\n\n");

    ASSERT_TRUE(waitFor([this] { return jobs().contains("Internal_Modem-"); }, 60000)) << jobs().toStdString();
    EXPECT_FALSE(jobs().contains("Office_Laser-")) << jobs().toStdString();
    // IPP encoding: name length, "phone", value length, the number.
    const QByteArray phone("\x00\x05phone\x00\x07"
                           "5551212",
                           15);
    EXPECT_TRUE(waitFor([&] { return controlFiles().contains(phone); }, 60000)) << "no job holds phone=5551212";

    // lp answers once the print system took the job or refused it; a refusal
    // reaches the console and the log with lp's own words.
    preferences.setValue("defaultFaxModem", "No_Such_Modem");
    controller->faxDocument(home.filePath("resume.txt"), "5551212");
    ASSERT_EQ(mail.sent.size(), 3);
    EXPECT_EQ(mail.sent.last().mail.body, "Wendle is faxing resume to 5551212.\n\n") << "the owner's answer is unchanged";
    ASSERT_TRUE(waitFor([this] { return !console.lines.filter("lp did not queue").isEmpty(); }, 60000))
        << console.lines.join('\n').toStdString();
    const QString line = console.lines.filter("lp did not queue").first();
    EXPECT_TRUE(line.startsWith("Wendle Error: lp did not queue the fax of " + home.filePath("resume.txt")
                                + " to 5551212 on No_Such_Modem (exit status 1): /usr/bin/lp: "))
        << line.toStdString();
    EXPECT_TRUE(line.contains("does not exist")) << line.toStdString();
    EXPECT_TRUE(QString::fromUtf8(readFile(support.filePath("wendle/wendle.log"))).contains(line));
}

// Only queues named for a modem are offered, in the settings window's pop-up too.
TEST_F(FaxPrintSystemTest, ThePopUpOffersTheModemQueuesAndStoresTheChoice)
{
    EXPECT_EQ(controller->getModemArray(), (QStringList{"Internal Modem", "Upstairs Modem"}));
    SettingsWindow window(*controller, preferences);
    controller->awakeFromNib(&window);
    auto *popUp = window.findChild<QComboBox *>("faxModemDropdown");
    ASSERT_NE(popUp, nullptr);
    QStringList titles;
    for (int i = 0; i < popUp->count(); ++i)
        titles << popUp->itemText(i);
    EXPECT_EQ(titles, (QStringList{"Internal Modem", "Upstairs Modem"}));
    // Start shows the first title without storing it.
    EXPECT_EQ(popUp->currentIndex(), 0);
    EXPECT_FALSE(preferences.storedKeys().contains("defaultFaxModem"));

    popUp->setCurrentIndex(1);
    Q_EMIT popUp->activated(1);
    EXPECT_EQ(preferences.value("defaultFaxModem"), QVariant("Upstairs_Modem"));
}

} // namespace
