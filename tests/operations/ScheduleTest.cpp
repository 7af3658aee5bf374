#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

class ScheduleTest : public ControllerFixture {};

TEST_F(ScheduleTest, AScheduleCommandAnswersNothingAndKeepsNothing)
{
    controller->setCommandTextHandler([](const QByteArray &) {});
    for (const bool byChat : {false, true}) {
        if (byChat)
            controller->processChatFrom(QStringLiteral("owner"), QStringLiteral("wndl"), QVariant());
        else
            controller->processEmailFrom(QStringLiteral("owner@example.org"), QStringLiteral("wndl"), QVariant());
        const QString logBefore = logText();
        const QString commandBefore = controller->lastCommand();
        const QString addressBefore = controller->cmdAddress();

        controller->getScheduleForDay(QStringLiteral("12"), QStringLiteral("may"), QStringLiteral("2027"));
        controller->getScheduleForDay(QStringLiteral("12"), QStringLiteral("may"), QString());
        controller->getScheduleForDay(QString(), QStringLiteral("tomorrow"), QString());
        scheduler.advance(std::chrono::seconds(5));

        EXPECT_TRUE(mail.sent.isEmpty()) << byChat;
        EXPECT_TRUE(chat.sent.isEmpty());
        EXPECT_TRUE(console.lines.isEmpty());
        EXPECT_EQ(logText(), logBefore);
        EXPECT_EQ(controller->lastCommand(), commandBefore);
        EXPECT_EQ(controller->cmdAddress(), addressBefore);
        EXPECT_EQ(scheduler.pending(), 0u);
    }
}

} // namespace
