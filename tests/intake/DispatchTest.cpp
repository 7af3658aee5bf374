#include "app/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

// Commands through the real language into the Controller's operations.
using DispatchTest = ControllerFixture;

TEST_F(DispatchTest, SyntaxErrorOfAChatCommandIsAnsweredInTheChat)
{
    const QString usage = QStringLiteral("Wendle Syntax Error!  ") + resources.wendleString(QStringLiteral("usage_string"));
    preferences.setValue(RBRemoteChatAddress, QStringLiteral("owner@jabber.example"));
    controller->processChatFrom(QString(), QStringLiteral("wndl run backup"), QVariant());
    EXPECT_EQ(console.lines, QStringList{QStringLiteral("Wendle Command Received with Error: syntax error")});
    scheduler.advance(std::chrono::milliseconds(500));
    ASSERT_EQ(chat.sent.size(), 1);
    EXPECT_EQ(chat.sent[0].chat.text, usage + QStringLiteral("\nSent by Wendle!   -Tavo"));
    EXPECT_TRUE(mail.sent.isEmpty());
    EXPECT_EQ(logEntries().last(), usage);
}

TEST_F(DispatchTest, FindCommandStartsTheSearchWithItsArgument)
{
    controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl find and send to a@b.co the file named tax report\n--\nsig"), QVariant());
    EXPECT_EQ(search.queries, QStringList{QStringLiteral("*=='tax*report*'cd && kMDItemFSSize < 4194304")});
    EXPECT_EQ(controller->lastQuery(), QStringLiteral(" tax report"));
    EXPECT_EQ(controller->lastCCAddress(), QStringLiteral("a@b.co"));
}

TEST_F(DispatchTest, MissingUsageTextFallsBackToTheFixedText)
{
    QTemporaryDir empty;
    Resources bare(empty.path());
    Platform withoutTemplates{preferences, clock, scheduler, console, random, mail, chat, workspace, alerts,
                              bare, search, scripts, processes, camera, platform.supportFolder};
    controller = std::make_unique<Controller>(withoutTemplates);
    controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, QStringLiteral("Syntax error in last command\n\n"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Syntax error in last command"));
}
