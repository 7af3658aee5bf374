#include "intake/SenderChecks.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Phone = QStringLiteral("5551234567@txt.example.org");
const QString Remote = QStringLiteral("owner@example.org");
const QString Email = QStringLiteral("wndl email");
const QString NoticeByMail = QStringLiteral("Wendle: a command came by mail|");
const QString NoticeByChat = QStringLiteral("Wendle: a command came by chat|");

class IntakeTest : public ControllerFixture {
protected:
    IntakeTest() { restart(); }
    void restart()
    {
        // Gone first: a controller takes the desk notices' button back when it goes.
        controller.reset();
        controller = std::make_unique<Controller>(platform);
        controller->setCommandTextHandler([this](const QByteArray &text) { parsed << text; });
    }
    QList<QByteArray> parsed;
};

} // namespace

// An empty phone address admits nobody, an empty sender included; so does a
// stored one that is not one whole address.
TEST_F(IntakeTest, SenderTestDecidesAndMarksThePhone)
{
    struct Case {
        QString phone;
        QString from;
        bool accepted;
        bool fromPhone;
    };
    const Case cases[] = {
        {Phone, Remote, true, false},
        {Phone, "Owner Name <OWNER@Example.ORG>", true, false},
        {Phone, "\"Phone\" <5551234567@TXT.example.org>", true, true},
        {Phone, "stranger@example.org", false, false},
        {Phone, "", false, false},
        {"", "someone@example.org", false, false},
        {"", "", false, false},
        {".", "someone@example.org", false, false},
        {"5551234567", "5551234567@txt.example.com", false, false},
        {"a b@example.org", "a b@example.org", false, false},
    };
    for (const Case &c : cases) {
        preferences.setValue(RBPhoneEmailAddress, c.phone);
        parsed.clear();
        controller->processEmailFrom(c.from, Email, QVariant());
        EXPECT_EQ(parsed.size(), c.accepted ? 1 : 0) << c.from.toStdString();
        EXPECT_EQ(controller->messageFromPhone(), c.fromPhone) << c.from.toStdString();
    }
}

TEST_F(IntakeTest, CommandTextIsCutAtTheKeyword)
{
    preferences.setValue(RBLimitCommandsFlag, false);
    const std::pair<const char *, const char *> cases[] = {
        {"Please WNDL Email", "wndl email"},
        {"Wendle wndl email", nullptr},
        {"no keyword here", nullptr},
        {"abcwndlfoo find", "wndlfoo find"},
        {"hi\nwndl find named x\n-- \nsig", "wndl find named x\n-- \nsig"},
        {"caf\u00e9 wndl \u00e9t\u00e9 \u2603", "wndl \xe9t\xe9 ?"},
        // Only what the sender wrote counts (which text is quoted: QuotedTextTest).
        {"> wndl email\nok", nullptr},
        {"on second thought\nwndl email", "wndl email"},
        {"On 5 Dec 2026, Wendle <c@example.com> wrote:\nwndl stk", nullptr},
        {"----- Original Message -----\nwndl stk", nullptr},
    };
    for (const auto &[message, expected] : cases) {
        parsed.clear();
        controller->processEmailFrom(Remote, QString::fromUtf8(message), QVariant());
        EXPECT_EQ(parsed, expected ? QList<QByteArray>{expected} : QList<QByteArray>()) << message;
    }
}

TEST_F(IntakeTest, MissingValuesAndShortCommandsAreDropped)
{
    controller->processEmailFrom(QString(), Email, QVariant());
    controller->processEmailFrom(Remote, QString(), QVariant());
    controller->processChatFrom(QString(), QString(), QVariant());
    EXPECT_TRUE(logText().isEmpty());
    controller->parseCommand(QStringLiteral("w"));
    controller->parseCommand(QString());
    controller->parseCommand(QStringLiteral("wn"));
    controller->parseCommand(QStringLiteral("wndl a\u0000b"));
    EXPECT_EQ(parsed, (QList<QByteArray>{"wn", "wndl a"}));
}

// Chat leaves the phone flag as the last mail set it.
TEST_F(IntakeTest, ChatCommandsComeFromAnyoneButNotFromWendleItself)
{
    controller->processEmailFrom(Phone, QStringLiteral("hello"), QVariant());
    controller->processChatFrom(QStringLiteral("stranger"), QStringLiteral("WNDL snapshot"), QVariant());
    EXPECT_EQ(parsed, QList<QByteArray>{"wndl snapshot"});
    EXPECT_EQ(controller->cmdAddress(), QStringLiteral("chat_msg"));
    EXPECT_EQ(logEntries(), QStringList{QStringLiteral("Processing command received by chat")});
    EXPECT_TRUE(controller->messageFromPhone());
    controller->processChatFrom(QString(), QStringLiteral("Wendle: wndl snapshot"), QVariant());
    controller->processChatFrom(QString(), QStringLiteral("Wendle wndl snapshot"), QVariant());
    EXPECT_EQ(parsed.size(), 2); // "wendle" without the colon is not Wendle's own message
}

// With a maximum of 3 the newest stamp is compared with the one two places
// before it; exactly an hour is not "within the hour". A maximum below one
// counts as one; one of 30 or more never refuses, as only 30 stamps are kept.
TEST_F(IntakeTest, HourlyLimitCountsEveryStampIncludingRefusedOnes)
{
    struct Case {
        int maximum;
        QList<int> minutes;
        QList<bool> accepted;
    };
    const Case cases[] = {
        {3, {0, 1, 2, 3, 62}, {true, true, true, false, true}},
        {3, {0, 1, 2, 3, 61, 62}, {true, true, true, false, false, false}},
        {3, {0, 1, 2, 3, 61, 63}, {true, true, true, false, false, true}},
        {0, {0, 1}, {true, false}},
        {-5, {0, 1}, {true, false}},
        {29, QList<int>(30, 0), QList<bool>(29, true) << false},
        {30, QList<int>(31, 0), QList<bool>(31, true)},
    };
    const QDateTime start(QDate(2026, 12, 4), QTime(9, 0));
    for (const Case &c : cases) {
        restart();
        preferences.setValue(RBMaxCommandsPerHour, c.maximum);
        for (qsizetype i = 0; i < c.minutes.size(); ++i) {
            clock.set(start.addSecs(60 * c.minutes[i]));
            parsed.clear();
            controller->processEmailFrom(Remote, Email, QVariant());
            EXPECT_EQ(!parsed.isEmpty(), c.accepted[i]) << "command " << i << " at minute " << c.minutes[i] << ", maximum " << c.maximum;
        }
        EXPECT_LE(controller->commandTimestamps().size(), 30) << "only the newest thirty stamps are kept";
    }
}

TEST_F(IntakeTest, RefusedMessageIsLoggedAndOptionallyAnswered)
{
    preferences.setValue(RBMaxCommandsPerHour, 1);
    controller->processEmailFrom(Remote, Email, QVariant());
    controller->processEmailFrom(Remote, Email, QVariant());
    const QString notice = QStringLiteral("Wendle: the hourly command limit has been reached. Please try again later.");
    EXPECT_EQ(parsed.size(), 1);
    EXPECT_TRUE(mail.sent.isEmpty()); // notification off by default
    EXPECT_EQ(console.lines, QStringList{notice});
    EXPECT_EQ(logEntries().last(), notice);

    preferences.setValue(RBLimitNotificationFlag, true);
    controller->processEmailFrom(Remote, Email, QVariant());
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.to, Remote);
    EXPECT_EQ(mail.sent[0].mail.body, notice + QLatin1String("\n\n"));
    // A command by chat is answered in the chat, without the salutation.
    preferences.setValue(RBRemoteChatAddress, QStringLiteral("owner@jabber.example"));
    controller->processChatFrom(QString(), Email, QVariant());
    scheduler.advance(std::chrono::milliseconds(500));
    ASSERT_EQ(chat.sent.size(), 1);
    EXPECT_EQ(chat.sent[0].chat.handle, QStringLiteral("owner@jabber.example"));
    EXPECT_EQ(chat.sent[0].chat.text, notice);

    preferences.setValue(RBLimitCommandsFlag, false);
    controller->processEmailFrom(Remote, Email, QVariant());
    EXPECT_EQ(parsed.size(), 2);
}

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

TEST_F(DispatchTest, MissingUsageTextFallsBackToTheFixedText)
{
    QTemporaryDir empty;
    Resources bare(empty.path());
    Platform withoutTemplates{preferences, clock,   scheduler, console, random,
                              mail,        chat,    workspace, alerts,  bare,
                              search,      scripts, processes, camera,  platform.supportFolder};
    controller = std::make_unique<Controller>(withoutTemplates);
    controller->processEmailFrom(QStringLiteral("owner@example.org"), QStringLiteral("wndl"), QVariant());
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, QStringLiteral("Syntax error in last command\n\n"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Syntax error in last command"));
}

// A command whose answer was still to come when Wendle died is named at the
// next start; one that was answered is not.
TEST_F(IntakeTest, ACommandCutShortIsNamedAtTheNextStart)
{
    preferences.setValue(RBLimitCommandsFlag, false);
    for (const bool answered : {true, false}) {
        controller = std::make_unique<Controller>(platform);
        controller->awakeFromNib(nullptr);
        controller->processChatFrom(QString(), QStringLiteral("wndl itunes\nsent from my phone"), QVariant());
        if (answered)
            scheduler.advance(std::chrono::seconds(1));
    }
    controller = std::make_unique<Controller>(platform);
    controller->awakeFromNib(nullptr);
    EXPECT_EQ(logText().count("Wendle Log Update:  the command \"wndl itunes\" was interrupted by a stop and not finished"), 1)
        << logText().toStdString();
}

// Every command that runs is shown with its first line, its road and its
// sender, as one line nobody can shape; nothing else is shown.
TEST_F(IntakeTest, EachCommandThatRunsIsShownInOneSafeLine)
{
    struct Case {
        bool chat;
        QString from, message;
        QStringList expected;
        QList<QPair<const char *, QVariant>> settings = {};
        int times = 1;
    };
    const QString longWord(200, u'a');
    const Case cases[] = {
        {false,
         Remote,
         "Please wndl find named Budget\nSent from my phone",
         {NoticeByMail + "\u201cwndl find named budget\u201d from " + Remote}},
        {true, "", "wndl email", {NoticeByChat + "\u201cwndl email\u201d"}},
        {false,
         "Fake\u202e\n <owner@example.org>",
         "wndl find named \u202egpj.exe\u0007 x",
         {NoticeByMail + "\u201cwndl find named \ufffdgpj.exe\ufffd x\u201d from Fake\ufffd <owner@example.org>"}},
        {false,
         Remote,
         "wndl find named " + longWord,
         {NoticeByMail + "\u201cwndl find named " + longWord.left(119 - 16) + "\u2026\u201d from " + Remote}},
        {false, Remote, "wndl s3cret email", {NoticeByMail + "\u201cwndl email\u201d from " + Remote}, {{RBCommandSecret, "s3cret"}}},
        {false, Remote, "wndl email", {}, {{RBNotifyOnRemoteCommands, false}}},
        {true, "owner@jabber.example", "wndl email", {}, {{RBEnableRemoteCommands, false}}},
        {false, "stranger@example.net", "wndl email", {}},
        // The hourly limit refuses the second: it runs nothing, so nothing is shown.
        {false, Remote, "wndl email", {NoticeByMail + "\u201cwndl email\u201d from " + Remote}, {{RBMaxCommandsPerHour, 1}}, 2},
    };
    for (const Case &c : cases) {
        restart();
        notifications.notices.clear();
        for (const auto &[key, value] : c.settings)
            preferences.setValue(key, value);
        for (int i = 0; i < c.times; ++i) {
            if (c.chat)
                controller->processChatFrom(c.from, c.message, QVariant());
            else
                controller->processEmailFrom(c.from, c.message, QVariant());
        }
        EXPECT_EQ(notifications.notices, c.expected) << c.message.toStdString();
        for (const auto &[key, value] : c.settings)
            preferences.remove(key);
    }
}
