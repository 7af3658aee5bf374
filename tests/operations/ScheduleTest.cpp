#include "operations/Schedule.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

TEST(ScheduleDateTest, PartsOutOfRangeOrMissingTakeTodaysValues)
{
    const QDate today(2026, 12, 4);
    struct Case { QString day; QString month; QString year; ScheduleDate date; };
    const Case cases[] = {
        {"12", "may", "2027", {2027, 5, 12}},       {QString(), "may", QString(), {2026, 5, 4}},
        {"31", "february", "2200", {2200, 2, 31}},  {"1", "SEPT", "1905", {1905, 9, 1}},
        {"12th", "3", "1999", {1999, 3, 12}},       {"32", "13", "1904", {2026, 12, 4}},
        {"0", "0", "2201", {2026, 12, 4}},          {"-5", "ma", "99999999999", {2026, 12, 4}},
        {"7", "tomorrow", QString(), {2026, 12, 7}},
    };
    for (const Case &c : cases) {
        const ScheduleDate date = resolveScheduleDate(c.day, c.month, c.year, today);
        EXPECT_EQ(date, c.date) << c.day.toStdString() << ' ' << c.month.toStdString() << ' ' << c.year.toStdString()
                                << " gave " << date.year << '-' << date.month << '-' << date.day;
    }
}

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
