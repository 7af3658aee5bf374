#include "app/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;
using std::chrono::milliseconds;

namespace {

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

TEST_F(ChatRepliesTest, RepliesWithinTheDelayAreAllSentInOrder)
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
}

// The chat reply fails (refused by the chat program, or no account to send
// it to): that is reported, and the copy is mailed all the same.
TEST_F(ChatRepliesTest, AChatReplyThatCannotGoStillOwesItsCopy)
{
    struct Case { bool accept; QString handle; QString console; };
    const Case cases[] = {
        {false, "owner@jabber.example", "Wendle Error: the response message could not be sent. Script: global theChat"},
        {true, QString(), "Wendle Error: a chat reply was not sent because no remote chat address is set: x"},
    };
    for (const Case &c : cases) {
        controller->processChatFrom(QString(), QStringLiteral("wndl x"), QVariant());
        chat.accept = c.accept;
        preferences.setValue(RBRemoteChatAddress, c.handle);
        mail.sent.clear();
        console.lines.clear();
        controller->sendChatWithMessage(QStringLiteral("x"), QStringLiteral("boss@example.com"), QString());
        scheduler.advance(milliseconds(500));
        ASSERT_EQ(console.lines.size(), 1);
        EXPECT_TRUE(console.lines[0].startsWith(c.console)) << console.lines[0].toStdString();
        ASSERT_EQ(mail.sent.size(), 1);
        EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
    }
}

TEST_F(ChatRepliesTest, PendingRepliesDieWithTheController)
{
    controller->sendChatWithMessage(QStringLiteral("one"), QString(), QString());
    controller->sendChatWithMessage(QStringLiteral("two"), QString(), QString());
    EXPECT_EQ(scheduler.pending(), 2u);
    controller.reset();
    EXPECT_EQ(scheduler.pending(), 0u);
}
