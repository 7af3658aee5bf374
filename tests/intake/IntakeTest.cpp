#include "app/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Phone = QStringLiteral("5551234567@txt.example.com");
const QString Remote = QStringLiteral("owner@example.com");

class IntakeTest : public ControllerFixture {
protected:
    IntakeTest()
    {
        controller->setCommandTextHandler([this](const QByteArray &text) { parsed << text; });
    }
    QList<QByteArray> parsed;
};

} // namespace

TEST_F(IntakeTest, SenderTestDecidesAndMarksThePhone)
{
    struct Case { QString from; bool accepted; bool fromPhone; };
    const Case cases[] = {
        {Remote, true, false},
        {QStringLiteral("Owner Name <OWNER@Example.COM>"), true, false},
        {QStringLiteral("\"Phone\" <5551234567@TXT.example.com>"), true, true},
        {QStringLiteral("stranger@example.org"), false, false},
        {QStringLiteral(""), false, false},
    };
    for (const Case &c : cases) {
        parsed.clear();
        controller->processEmailFrom(c.from, QStringLiteral("wndl email"), QVariant());
        EXPECT_EQ(parsed.size(), c.accepted ? 1 : 0) << c.from.toStdString();
        EXPECT_EQ(controller->messageFromPhone(), c.fromPhone) << c.from.toStdString();
    }
}

TEST_F(IntakeTest, EmptyPhoneAddressMatchesOnlyAnEmptySender)
{
    preferences.setValue(RBPhoneEmailAddress, QString(""));
    controller->processEmailFrom(QStringLiteral("someone@example.org"), QStringLiteral("wndl email"), QVariant());
    EXPECT_FALSE(controller->messageFromPhone());
    EXPECT_TRUE(parsed.isEmpty());
    controller->processEmailFrom(QStringLiteral(""), QStringLiteral("wndl email"), QVariant());
    EXPECT_TRUE(controller->messageFromPhone());
    EXPECT_EQ(parsed.size(), 1);
}

TEST_F(IntakeTest, CommandTextIsCutAtTheKeyword)
{
    preferences.setValue(RBLimitCommandsFlag, false);
    struct Case { const char *message; const char *expected; };
    const Case cases[] = {
        {"Please WNDL Email", "wndl email"},
        {"Wendle: wndl email", nullptr},
        {"wendle wndl email", nullptr},
        {"no keyword here", nullptr},
        {"abcwndlfoo find", "wndlfoo find"},
        {"hi\nwndl find named x\n-- \nsig", "wndl find named x\n-- \nsig"},
        {"caf\u00e9 wndl \u00e9t\u00e9 \u2603", "wndl \xe9t\xe9 ?"},
        // Only what the sender wrote counts; quoted text ends at the quote.
        {"> wndl email\nok", nullptr},
        {"> earlier\nwndl email\n> wndl stk", "wndl email"},
        {"wndl find named what he wrote:", "wndl find named what he wrote:"},
        {"on second thought\nwndl email", "wndl email"},
        {"On 5 Dec 2026, Wendle <c@example.com> wrote:\nwndl stk", nullptr},
        {"----- Original Message -----\nwndl stk", nullptr},
    };
    for (const Case &c : cases) {
        parsed.clear();
        controller->processEmailFrom(Remote, QString::fromUtf8(c.message), QVariant());
        if (!c.expected) {
            EXPECT_TRUE(parsed.isEmpty()) << c.message;
            continue;
        }
        ASSERT_EQ(parsed.size(), 1) << c.message;
        EXPECT_EQ(parsed.first(), QByteArray(c.expected)) << c.message;
    }
}

TEST_F(IntakeTest, AcceptedMailIsLoggedAndAnswersGoToTheSender)
{
    controller->processEmailFrom(QStringLiteral("Owner \"Boss\" <owner@example.com>"), QStringLiteral("wndl email"), QVariant());
    EXPECT_EQ(controller->cmdAddress(), QStringLiteral("Owner 'Boss' <owner@example.com>"));
    EXPECT_EQ(logEntries(), QStringList{QStringLiteral("Processing command from Owner \"Boss\" <owner@example.com>")});
    EXPECT_EQ(controller->commandTimestamps().size(), 1);
}

TEST_F(IntakeTest, MissingValuesAndShortCommandsAreDropped)
{
    controller->processEmailFrom(QString(), QStringLiteral("wndl email"), QVariant());
    controller->processEmailFrom(Remote, QString(), QVariant());
    controller->processChatFrom(QString(), QString(), QVariant());
    EXPECT_TRUE(parsed.isEmpty());
    EXPECT_TRUE(logText().isEmpty());
    controller->parseCommand(QStringLiteral("w"));
    controller->parseCommand(QString());
    EXPECT_TRUE(parsed.isEmpty());
    controller->parseCommand(QStringLiteral("wn"));
    EXPECT_EQ(parsed.size(), 1);
    controller->parseCommand(QStringLiteral("wndl a\u0000b"));
    EXPECT_EQ(parsed.last(), QByteArray("wndl a"));
}

TEST_F(IntakeTest, ChatCommandsComeFromAnyoneButNotFromWendleItself)
{
    controller->processChatFrom(QStringLiteral("stranger"), QStringLiteral("WNDL snapshot"), QVariant());
    ASSERT_EQ(parsed.size(), 1);
    EXPECT_EQ(parsed.first(), QByteArray("wndl snapshot"));
    EXPECT_EQ(controller->cmdAddress(), QStringLiteral("chat_msg"));
    EXPECT_EQ(logEntries(), QStringList{QStringLiteral("Processing command received by chat")});

    controller->processChatFrom(QString(), QStringLiteral("Wendle: wndl snapshot"), QVariant());
    controller->processChatFrom(QString(), QStringLiteral("Wendle wndl snapshot"), QVariant());
    EXPECT_EQ(parsed.size(), 2); // "wendle" without the colon is not Wendle's own message
}

TEST_F(IntakeTest, ChatLeavesThePhoneFlagAlone)
{
    controller->processEmailFrom(Phone, QStringLiteral("hello"), QVariant());
    EXPECT_TRUE(controller->messageFromPhone());
    controller->processChatFrom(QString(), QStringLiteral("wndl email"), QVariant());
    EXPECT_TRUE(controller->messageFromPhone());
}

// With a maximum of 3 the newest stamp is compared with the one two places
// before it; exactly an hour is not "within the hour".
TEST_F(IntakeTest, HourlyLimitCountsEveryStampIncludingRefusedOnes)
{
    struct Case { QList<int> minutes; QList<bool> accepted; };
    const Case cases[] = {
        {{0, 1, 2, 3}, {true, true, true, false}},
        {{0, 1, 2, 3, 62}, {true, true, true, false, true}},
        {{0, 1, 2, 3, 61, 62}, {true, true, true, false, false, false}},
        {{0, 1, 2, 3, 61, 63}, {true, true, true, false, false, true}},
    };
    const QDateTime start(QDate(2026, 12, 4), QTime(9, 0));
    for (const Case &c : cases) {
        controller = std::make_unique<Controller>(platform);
        controller->setCommandTextHandler([this](const QByteArray &text) { parsed << text; });
        preferences.setValue(RBMaxCommandsPerHour, 3);
        for (qsizetype i = 0; i < c.minutes.size(); ++i) {
            clock.set(start.addSecs(60 * c.minutes[i]));
            parsed.clear();
            controller->processEmailFrom(Remote, QStringLiteral("wndl email"), QVariant());
            EXPECT_EQ(!parsed.isEmpty(), c.accepted[i]) << "minute " << c.minutes[i] << " of case " << c.minutes.size();
        }
    }
}

TEST_F(IntakeTest, RefusedMessageIsLoggedAndOptionallyAnswered)
{
    preferences.setValue(RBMaxCommandsPerHour, 1);
    controller->processEmailFrom(Remote, QStringLiteral("wndl email"), QVariant());
    controller->processEmailFrom(Remote, QStringLiteral("wndl email"), QVariant());
    const QString notice = QStringLiteral("Wendle: the hourly command limit has been reached. Please try again later.");
    EXPECT_EQ(parsed.size(), 1);
    EXPECT_TRUE(mail.sent.isEmpty()); // notification off by default
    EXPECT_EQ(console.lines, QStringList{notice});
    EXPECT_EQ(logEntries().last(), notice);

    preferences.setValue(RBLimitNotificationFlag, true);
    controller->processEmailFrom(Remote, QStringLiteral("wndl email"), QVariant());
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.to, Remote);
    EXPECT_EQ(mail.sent[0].mail.body, notice + QLatin1String("\n\n"));
    EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());

    // The limit is off: nothing is refused.
    preferences.setValue(RBLimitCommandsFlag, false);
    controller->processEmailFrom(Remote, QStringLiteral("wndl email"), QVariant());
    EXPECT_EQ(parsed.size(), 2);
}

TEST_F(IntakeTest, ChatOverTheLimitIsAnsweredInTheChat)
{
    preferences.setValue(RBMaxCommandsPerHour, 1);
    preferences.setValue(RBLimitNotificationFlag, true);
    preferences.setValue(RBRemoteChatAddress, QStringLiteral("owner@jabber.example"));
    controller->processChatFrom(QString(), QStringLiteral("wndl email"), QVariant());
    controller->processChatFrom(QString(), QStringLiteral("wndl email"), QVariant());
    EXPECT_TRUE(chat.sent.isEmpty()); // not before the delay
    scheduler.advance(std::chrono::milliseconds(500));
    ASSERT_EQ(chat.sent.size(), 1);
    EXPECT_EQ(chat.sent[0].chat.text, QStringLiteral("Wendle: the hourly command limit has been reached. Please try again later."));
    EXPECT_TRUE(mail.sent.isEmpty());
}

TEST_F(IntakeTest, ZeroOrNegativeMaximumCountsAsOne)
{
    for (int maximum : {0, -5}) {
        controller = std::make_unique<Controller>(platform);
        controller->addTimestamp();
        EXPECT_FALSE(controller->exceededHourlyCommands(maximum));
        controller->addTimestamp();
        EXPECT_TRUE(controller->exceededHourlyCommands(maximum));
    }
}

TEST_F(IntakeTest, TimestampListKeepsTheNewestThirty)
{
    for (int i = 0; i < 40; ++i) {
        clock.advanceSeconds(1);
        controller->addTimestamp();
    }
    ASSERT_EQ(controller->commandTimestamps().size(), 30);
    EXPECT_EQ(controller->commandTimestamps().last(), clock.now());
    EXPECT_FALSE(controller->exceededHourlyCommands(30));
    EXPECT_TRUE(controller->exceededHourlyCommands(29));
}
