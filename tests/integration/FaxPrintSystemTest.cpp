#include "app/Controller.h"
#include "app/Resources.h"
#include "platform/clock/Clock.h"
#include "platform/process/ProcessLauncher.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/scripts/ScriptRunner.h"
#include "platform/search/FileSystemSearch.h"
#include "support/CupsServer.h"
#include "support/Doubles.h"
#include "support/EnvironmentOverride.h"
#include "support/WendleInstance.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <memory>

using namespace wendle;
using namespace wendle::test;

namespace {

// Faxing through a real print system: a private CUPS server with a fax queue
// and a printer, the real lpstat and lp, and the real search engine.
class FaxPrintSystemTest : public ::testing::Test {
protected:
    FaxPrintSystemTest()
        : resources(QStringLiteral(WENDLE_SOURCE_RESOURCES))
        , search(home.path(), home.path())
        , platform{preferences, clock, scheduler, console, random, mail, chat, workspace, alerts, resources, search, scripts, processes,
                   support.path() + QLatin1String("/wendle")}
    {
    }

    void SetUp() override
    {
        if (!CupsServer::isInstalled())
            GTEST_SKIP() << "cupsd or the CUPS client tools are missing; scripts/install-deps installs cups-daemon and cups-client";
        QString error;
        ASSERT_TRUE(cups.start(&error)) << error.toStdString();
        ASSERT_TRUE(cups.addQueue(QStringLiteral("Internal_Modem"), &error)) << error.toStdString();
        ASSERT_TRUE(cups.addQueue(QStringLiteral("Office_Laser"), &error)) << error.toStdString();
        // The real process launcher's children (lpstat, lp) find the server here.
        server = std::make_unique<EnvironmentOverride>("CUPS_SERVER", cups.address());

        controller = std::make_unique<Controller>(platform);
        controller->setCommandTextHandler([](const QByteArray &) {});
        controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
        random.values = {47};
    }

    QString jobs()
    {
        QByteArray output;
        cups.runClient(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o")}, &output);
        return QString::fromUtf8(output);
    }

    // The spool's job control files, where the job's IPP attributes are kept.
    QByteArray controlFiles() const
    {
        QByteArray all;
        const QDir spool(cups.spoolFolder());
        for (const QString &name : spool.entryList({QStringLiteral("c*")}, QDir::Files)) {
            QFile file(spool.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                all += file.readAll();
        }
        return all;
    }

    QTemporaryDir home;
    QTemporaryDir support;
    MemoryPreferences preferences;
    SystemClock clock;
    QtScheduler scheduler;
    RecordingConsole console;
    ScriptedRandom random;
    RecordingMailTransport mail;
    RecordingChatTransport chat;
    RecordingWorkspace workspace;
    RecordingAlerts alerts;
    Resources resources;
    FileSystemSearch search;
    ProcessScriptRunner scripts;
    QtProcessLauncher processes;
    Platform platform;
    CupsServer cups;
    std::unique_ptr<EnvironmentOverride> server;
    std::unique_ptr<Controller> controller;
};

TEST_F(FaxPrintSystemTest, OnlyQueuesNamedForAModemAreOffered)
{
    EXPECT_EQ(controller->getModemArray(), QStringList{QStringLiteral("Internal Modem")});
}

TEST_F(FaxPrintSystemTest, AConfirmedFaxIsQueuedWithItsPhoneNumber)
{
    QFile file(home.filePath(QStringLiteral("resume.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Dear sir, please find my resume.\n");
    file.close();

    controller->findFileForFaxing(QStringLiteral(" resume"), QStringLiteral("5551212"));
    ASSERT_TRUE(waitFor([this] { return !mail.sent.isEmpty(); }, 60000)) << "the search never answered";
    ASSERT_TRUE(mail.sent[0].mail.body.contains(QStringLiteral("471:  resume.txt"))) << mail.sent[0].mail.body.toStdString();

    controller->confirmCommand(QStringLiteral("471"));
    ASSERT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(mail.sent[1].mail.body, QStringLiteral("Wendle is faxing resume to 5551212.\n\n"));

    ASSERT_TRUE(waitFor([this] { return jobs().contains(QStringLiteral("Internal_Modem-")); }, 60000)) << jobs().toStdString();
    EXPECT_FALSE(jobs().contains(QStringLiteral("Office_Laser-"))) << jobs().toStdString();
    // IPP encoding: name length, "phone", value length, the number.
    const QByteArray phone("\x00\x05phone\x00\x07" "5551212", 15);
    EXPECT_TRUE(waitFor([&] { return controlFiles().contains(phone); }, 60000)) << "no job holds phone=5551212";
}

} // namespace
