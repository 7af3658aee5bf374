#include "replies/ReplyScripts.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;
using std::chrono::milliseconds;

namespace {

const QString Remote = QStringLiteral("owner@example.org");
const QString Phone = QStringLiteral("5551234567@txt.example.org");

class MailRepliesTest : public ControllerFixture {
protected:
    MailRepliesTest()
    {
        controller->setCommandTextHandler([](const QByteArray &) {});
    }
    void commandFrom(const QString &sender) { controller->processEmailFrom(sender, QStringLiteral("wndl x"), QVariant()); }
    QStringList bodies() const
    {
        QStringList result;
        for (const SentMail &m : mail.sent)
            result << m.mail.body;
        return result;
    }
};

class ChatRepliesTest : public ControllerFixture {
protected:
    ChatRepliesTest()
    {
        controller->setCommandTextHandler([](const QByteArray &) {});
        preferences.setValue(RBRemoteChatAddress, QStringLiteral("owner@jabber.example"));
        controller->processChatFrom(QString(), QStringLiteral("wndl x"), QVariant());
    }
};

} // namespace

TEST(FormatMessage, WrapsAtCharacterCountsWithIndentedContinuations)
{
    const QString fifty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN");
    const std::tuple<QString, qint32, QString> cases[] = {
        {fifty, 20, QStringLiteral("0123456789abcdefghi\n   jklmnopqrstuvwxy\n   zABCDEFGHIJKLMN\n")},
        {fifty.left(20), 20, fifty.left(20) + u'\n'},
        {fifty.left(21), 20, QStringLiteral("0123456789abcdefghi\n   jk\n")},
        {QStringLiteral("  a\n\n\tb\n"), 20, QStringLiteral("a\n\nb\n")},
        {QStringLiteral(" \t "), 20, QString()},
        {QString(), 20, QString()},
        {QStringLiteral("abcdefgh"), 0, QStringLiteral("abcd\n   efgh\n")}, // width below 5 counts as 5
    };
    for (const auto &[text, width, expected] : cases)
        EXPECT_EQ(Controller::formatMessage(text, width), expected) << text.toStdString() << " @" << width;
}

TEST(ReplyScripts, MailScriptWithAndWithoutCopyAndAttachment)
{
    EXPECT_EQ(
        mailReplyScript("Here it is", "owner@example.org", "computer@example.com", "boss@example.com", "/home/me/a.pdf"),
        "tell application \"Mail\" \n set theMessage to make new outgoing message \n tell theMessage \n set subject of theMessage to \"Wendle Results\" \n set content of theMessage to \""
        "Here it is"
        "\" & return & return\n make new to recipient at end of to recipients with properties {address:\""
        "owner@example.org"
        "\"} \n"
        "set sender to \""
        "computer@example.com"
        "\"\n"
        "make new cc recipient at end of cc recipients with properties {address:\"boss@example.com\"} \n"
        "make new attachment with properties {file name:\"/home/me/a.pdf\"} at after the last word of the last paragraph\n"
        "end tell \n send theMessage \n end tell");
    // Quotes and backslashes cannot end a literal; no copy, no attachment line.
    const QString quoted = mailReplyScript("say \"hi\" \\ bye", "a@b.c", "c@d.e", QString(), QString());
    EXPECT_TRUE(quoted.contains(QStringLiteral("set content of theMessage to \"say \\\"hi\\\" \\\\ bye\" & return")));
    EXPECT_FALSE(quoted.contains(QStringLiteral("cc recipient")) || quoted.contains(QStringLiteral("attachment")));
}

TEST(ReplyScripts, ChatScriptWithFile)
{
    EXPECT_EQ(
        chatReplyScript("owner@jabber.example", "Done", "home:me:report.pdf"),
        "global theChat, theMessage \n\n on isHandleInChat(handleString) \n  using terms from application \"iChat\" \n set theParticipants to the participants of theChat \n"
        "set buddyCount to the count of theParticipants \n if buddyCount > 0 then \n set x to 0 \n repeat while x < buddyCount \n set x to (x + 1) \n set theBuddy to item x of theParticipants \n if the handle of theBuddy is handleString then \n"
        "return true \n end if \n end repeat \n end if \n return false \n end using terms from \n end isHandleInChat \n \n"
        "tell application \"iChat\" \n set chatCount to the count of every chat \n set i to 0 \n repeat while (i < chatCount) \n set i to (i + 1) \n set theChat to chat i \n if theChat is not null and theChat is active then \n if my isHandleInChat(\""
        "owner@jabber.example"
        "\") then \n set theMessage to \""
        "Done"
        "\" \n send theMessage to theChat \n "
        "delay 1 \n set diskPath to ((path to startup disk) as string) \n set fullPath to diskPath & \"home:me:report.pdf\" \n send (fullPath as alias) to theChat \n "
        "end if \n end if \n end repeat \n end tell");
    EXPECT_FALSE(chatReplyScript("h", "t", QString()).contains(QStringLiteral("delay 1")));
}

TEST_F(MailRepliesTest, ReplyToTheRemoteAddressCarriesTheSalutation)
{
    commandFrom(Remote);
    controller->prepareAndSendMessage(QStringLiteral("Result text"), QStringLiteral("c@example.com"), QString());
    ASSERT_EQ(mail.sent.size(), 1);
    const OutgoingMail &m = mail.sent[0].mail;
    EXPECT_EQ(m.to, Remote);
    EXPECT_EQ(m.from, QStringLiteral("computer@example.com"));
    EXPECT_EQ(m.subject, QStringLiteral("Wendle Results"));
    EXPECT_EQ(m.cc, QStringLiteral("c@example.com"));
    EXPECT_EQ(m.body, QStringLiteral("Result text\nSent by Wendle!   -Tavo\n\n"));
    EXPECT_TRUE(mail.sent[0].script.contains(QStringLiteral("Result text\nSent by Wendle!   -Tavo\" & return")));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Sent message: Result text"));

    // With logging off the reply still goes, and the log stays as it was.
    preferences.setValue(RBLogData, false);
    const QString before = logText();
    controller->prepareAndSendMessage(QStringLiteral("t"), QString(), QString());
    EXPECT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(logText(), before);
}

TEST_F(MailRepliesTest, PhoneRepliesAreWrappedOnceThenSplit)
{
    commandFrom(Phone);
    controller->prepareAndSendMessage("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN", QString(), QString());
    EXPECT_EQ(bodies(), QStringList{"0123456789abcdefghi\n   jklmnopqrstuvwxy\n   zABCDEFGHIJKLMN\n\nSent by Wendle!   -Tavo\n\n"});
    EXPECT_FALSE(controller->messageFromPhone());

    // A second reply to the same command is not wrapped.
    mail.sent.clear();
    controller->prepareAndSendMessage(QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz"), QString(), QString());
    EXPECT_EQ(bodies(), QStringList{QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz\nSent by Wendle!   -Tavo\n\n")});
}

// A reply of exactly "phoneHeight" characters is not split.
TEST_F(MailRepliesTest, SplitPhoneReplyGoesOutInPiecesWithoutSalutation)
{
    preferences.setValue(RBSplitLongMessages, true);
    commandFrom(Phone);
    controller->prepareAndSendMessage(QStringLiteral("twelve chars"), QString(), QString());
    EXPECT_EQ(bodies(), QStringList{QStringLiteral("twelve chars\n\nSent by Wendle!   -Tavo\n\n")});
    mail.sent.clear();
    commandFrom(Phone);
    // Wrapped, this text is exactly 35 characters: 16 + LF + 17 + LF.
    controller->prepareAndSendMessage("abcdefghijklmnop\nqrstuvwxyz0123456", "cc@example.com", "/nonexistent");
    EXPECT_EQ(bodies(),
              (QStringList{"abcdefghijk\n\n", "Cont:\nlmnop\nq\n\n", "Cont:\nrstuvwx\n\n", "Cont:\nyz01234\n\n", "Cont:\n56\n\n\n"}));
    for (const SentMail &m : mail.sent)
        EXPECT_EQ(m.mail.cc, QStringLiteral("cc@example.com"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Sent message: abcdefghijklmnop\nqrstuvwxyz0123456 (attachment: /nonexistent)"));
    EXPECT_EQ(logEntries().size(), 4); // one entry per reply, however many pieces
}

TEST_F(MailRepliesTest, CopyAndAttachmentOnlyWhenTheyQualify)
{
    commandFrom(Remote);
    const QString file = supportDir.filePath(QStringLiteral("report.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    // cc and path asked for, then the cc and path the mail carries
    const std::tuple<QString, QString, QString, QString> cases[] = {
        {"x", file, "", file},
        {"", supportDir.filePath(QStringLiteral("missing")), "", ""},
        {"ab", QString(), "ab", ""},
    };
    for (const auto &[cc, path, sentCc, sentPath] : cases) {
        mail.sent.clear();
        controller->sendMessageWithContents(QStringLiteral("t"), cc, path);
        ASSERT_EQ(mail.sent.size(), 1);
        EXPECT_EQ(mail.sent[0].mail.cc, sentCc);
        EXPECT_EQ(mail.sent[0].mail.attachmentPath, sentPath);
        EXPECT_EQ(mail.sent[0].script.contains(QStringLiteral("make new attachment")), !sentPath.isEmpty());
    }
}

// Nobody to answer, or a transport that refuses: the console and the log say so.
TEST_F(MailRepliesTest, RepliesThatCannotGoAreReported)
{
    controller->sendMessageWithContents(QStringLiteral("lost"), QString(), QString());
    EXPECT_TRUE(mail.sent.isEmpty());
    const QString notice = QStringLiteral("Wendle Error: a reply was not sent because no command sender is known: lost");
    EXPECT_EQ(console.lines, QStringList{notice});
    EXPECT_EQ(logEntries(), QStringList{notice});

    commandFrom(Remote);
    mail.accept = false;
    console.lines.clear();
    controller->sendMessageWithContents(QStringLiteral("t"), QString(), QString());
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_EQ(console.lines[0], QStringLiteral("Wendle Error: the response message could not be sent. Script: ") + mail.sent[0].script);
    EXPECT_EQ(logEntries().last(), console.lines[0]);
}

// Every answer, the limit notice too, carries the Message-ID of the mail
// command it answers; a chat command, a mail without an id or with one a
// header cannot carry leaves the answer unthreaded.
TEST_F(MailRepliesTest, AnswersThreadUnderTheCommandTheyAnswer)
{
    preferences.setValue(RBLimitCommandsFlag, false);
    preferences.setValue(RBRemoteChatAddress, QStringLiteral("owner@jabber.example"));
    struct Case {
        const char *name;
        QString id;
        bool chat;
        QString threaded;
    };
    const Case cases[] = {
        {"bracketed id", "<cmd-1@phone.example>", false, "cmd-1@phone.example"},
        {"bare id", "cmd-2@phone.example", false, "cmd-2@phone.example"},
        {"no id", QString(), false, QString()},
        {"chat after a mail with an id", QString(), true, QString()},
        {"header injection", "cmd@x\r\nBcc: eve@example.org", false, QString()},
        {"past the hourly limit", "cmd-6@phone.example", false, "cmd-6@phone.example"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (&c == &cases[5]) {
            preferences.setValue(RBLimitCommandsFlag, true);
            preferences.setValue(RBLimitNotificationFlag, true);
            preferences.setValue(RBMaxCommandsPerHour, 1);
        }
        controller->processEmailFrom(Remote, QStringLiteral("wndl x"), QVariant(), QStringLiteral("earlier@phone.example"));
        if (c.chat)
            controller->processChatFrom(QString(), QStringLiteral("wndl x"), QVariant());
        else
            controller->processEmailFrom(Remote, QStringLiteral("wndl x"), QVariant(), c.id);
        controller->sendMessageWithContents(QStringLiteral("answer"), QString(), QString());
        ASSERT_FALSE(mail.sent.isEmpty());
        EXPECT_EQ(mail.sent.last().mail.inReplyTo, c.threaded);
        EXPECT_EQ(mail.sent.last().mail.subject, QStringLiteral("Wendle Results"));
    }
    // The limit notice went out before the answer, under the same command.
    ASSERT_GE(mail.sent.size(), 2);
    EXPECT_NE(mail.sent[mail.sent.size() - 2].mail.body, QStringLiteral("answer\n\n"));
    EXPECT_EQ(mail.sent[mail.sent.size() - 2].mail.inReplyTo, QStringLiteral("cmd-6@phone.example"));
}

TEST_F(ChatRepliesTest, ReplyLeavesHalfASecondLaterThenMailsTheCopy)
{
    const QString file = supportDir.filePath(QStringLiteral("report.pdf"));
    QFile(file).open(QIODevice::WriteOnly);
    controller->sendMessageWithContents(QStringLiteral("Here"), QStringLiteral("boss@example.com"), file);
    scheduler.advance(milliseconds(499));
    EXPECT_TRUE(chat.sent.isEmpty());
    EXPECT_TRUE(mail.sent.isEmpty());
    scheduler.advance(milliseconds(1));
    ASSERT_EQ(chat.sent.size(), 1);
    EXPECT_EQ(chat.sent[0].chat.handle, QStringLiteral("owner@jabber.example"));
    EXPECT_EQ(chat.sent[0].chat.text, QStringLiteral("Here"));
    EXPECT_EQ(chat.sent[0].chat.filePath, file);
    EXPECT_TRUE(chat.sent[0].script.contains("set fullPath to diskPath & \"" + QString(file).replace(u'/', u':').mid(1) + "\" \n"));

    // The copy goes by mail with an empty main recipient, and from now on
    // replies to this command are mailed, not chatted.
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.to, QString(""));
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
    EXPECT_EQ(mail.sent[0].mail.attachmentPath, file);
    controller->sendMessageWithContents(QStringLiteral("later"), QString(), QString());
    EXPECT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(chat.sent.size(), 1);
}

TEST_F(ChatRepliesTest, RepliesWithinTheDelayAreAllSentInOrderOrDieWithTheController)
{
    controller->sendChatWithMessage(QStringLiteral("first"), QString(), QString());
    scheduler.advance(milliseconds(200));
    controller->sendChatWithMessage(QStringLiteral("second"), QString(), QStringLiteral("/no/such/file"));
    scheduler.advance(milliseconds(1000));
    ASSERT_EQ(chat.sent.size(), 2);
    EXPECT_EQ(chat.sent[0].chat.text, QStringLiteral("first"));
    EXPECT_EQ(chat.sent[1].chat.text, QStringLiteral("second"));
    EXPECT_TRUE(chat.sent[1].chat.filePath.isEmpty());
    EXPECT_FALSE(chat.sent[1].script.contains(QStringLiteral("delay 1")));
    EXPECT_TRUE(mail.sent.isEmpty());

    // Replies still waiting die with the Controller.
    controller->sendChatWithMessage(QStringLiteral("one"), QString(), QString());
    controller->sendChatWithMessage(QStringLiteral("two"), QString(), QString());
    EXPECT_EQ(scheduler.pending(), 2u);
    controller.reset();
    EXPECT_EQ(scheduler.pending(), 0u);
}

// The chat reply fails (refused by the chat program, or no account to send
// it to): that is reported, and the copy is mailed all the same.
TEST_F(ChatRepliesTest, AChatReplyThatCannotGoStillOwesItsCopy)
{
    // whether the chat program takes it, the chat account, the console line
    const std::tuple<bool, QString, QString> cases[] = {
        {false, "owner@jabber.example", "Wendle Error: the response message could not be sent. Script: global theChat"},
        {true, QString(), "Wendle Error: a chat reply was not sent because no remote chat address is set: x"},
    };
    for (const auto &[accept, handle, line] : cases) {
        controller->processChatFrom(QString(), QStringLiteral("wndl x"), QVariant());
        chat.accept = accept;
        preferences.setValue(RBRemoteChatAddress, handle);
        mail.sent.clear();
        console.lines.clear();
        controller->sendChatWithMessage(QStringLiteral("x"), QStringLiteral("boss@example.com"), QString());
        scheduler.advance(milliseconds(500));
        ASSERT_EQ(console.lines.size(), 1);
        EXPECT_TRUE(console.lines[0].startsWith(line)) << console.lines[0].toStdString();
        ASSERT_EQ(mail.sent.size(), 1);
        EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
    }
}
