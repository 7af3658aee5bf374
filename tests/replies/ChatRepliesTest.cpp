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
    QString existingFile()
    {
        const QString path = supportDir.filePath(QStringLiteral("report.pdf"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("%PDF");
        return path;
    }
};

} // namespace

TEST_F(ChatRepliesTest, ReplyLeavesHalfASecondLaterThenMailsTheCopy)
{
    const QString file = existingFile();
    controller->sendMessageWithContents(QStringLiteral("Here"), QStringLiteral("boss@example.com"), file);
    EXPECT_TRUE(mail.sent.isEmpty());
    scheduler.advance(milliseconds(499));
    EXPECT_TRUE(chat.sent.isEmpty());
    scheduler.advance(milliseconds(1));
    ASSERT_EQ(chat.sent.size(), 1);
    EXPECT_EQ(chat.sent[0].chat.handle, QStringLiteral("owner@jabber.example"));
    EXPECT_EQ(chat.sent[0].chat.text, QStringLiteral("Here"));
    EXPECT_EQ(chat.sent[0].chat.filePath, file);
    QString colonPath = file;
    colonPath.replace(u'/', u':');
    EXPECT_TRUE(chat.sent[0].script.contains(QStringLiteral("set fullPath to diskPath & \"") + colonPath.mid(1) + QStringLiteral("\" \n")));

    // The copy goes by mail with an empty main recipient, and from now on
    // replies to this command are mailed, not chatted.
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.to, QString(""));
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
    EXPECT_EQ(mail.sent[0].mail.attachmentPath, file);
    EXPECT_EQ(controller->cmdAddress(), QString(""));
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
    EXPECT_EQ(controller->chatMessage(), QStringLiteral("second"));
    EXPECT_TRUE(mail.sent.isEmpty());
}

TEST_F(ChatRepliesTest, FailedChatSendsNoCopy)
{
    chat.accept = false;
    controller->sendChatWithMessage(QStringLiteral("x"), QStringLiteral("boss@example.com"), QString());
    scheduler.advance(milliseconds(500));
    EXPECT_TRUE(mail.sent.isEmpty());
    ASSERT_EQ(console.lines.size(), 1);
    EXPECT_TRUE(console.lines[0].startsWith(QStringLiteral("Wendle Error: the response message could not be sent. Script: global theChat")));
    EXPECT_EQ(controller->cmdAddress(), QStringLiteral("chat_msg"));
}

TEST_F(ChatRepliesTest, NoRemoteAccountIsReportedAndTheCopyStillGoes)
{
    preferences.remove(RBRemoteChatAddress);
    controller->sendChatWithMessage(QStringLiteral("x"), QStringLiteral("boss@example.com"), QString());
    scheduler.advance(milliseconds(500));
    EXPECT_TRUE(chat.sent.isEmpty());
    EXPECT_EQ(console.lines, QStringList{QStringLiteral("Wendle Error: a chat reply was not sent because no remote chat address is set: x")});
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
}

TEST_F(ChatRepliesTest, PreparedRepliesToChatAreNotWrapped)
{
    controller->prepareAndSendMessage(QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz"), QString(), QString());
    scheduler.advance(milliseconds(500));
    ASSERT_EQ(chat.sent.size(), 1);
    EXPECT_EQ(chat.sent[0].chat.text, QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz\nSent by Wendle!   -Tavo"));
}

TEST_F(ChatRepliesTest, PendingRepliesDieWithTheController)
{
    controller->sendChatWithMessage(QStringLiteral("one"), QString(), QString());
    controller->sendChatWithMessage(QStringLiteral("two"), QString(), QString());
    EXPECT_EQ(scheduler.pending(), 2u);
    controller.reset();
    EXPECT_EQ(scheduler.pending(), 0u);
}
