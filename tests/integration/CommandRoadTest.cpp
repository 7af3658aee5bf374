#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QRegularExpression>

using namespace wendle::test;

using CommandRoad = SessionTest;

// The road of one command, as the owner's phone travels it: a find command,
// the numbered list by mail, a code back, the file by mail.
TEST_F(CommandRoad, FindThenConfirmMailsTheFile)
{
    ASSERT_TRUE(writeFile(session.home() + "/Documents/budget 2027.txt", "rent 1200\nfood 400\n"));
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    const auto nthReply = [&](int n) {
        const bool arrived = waitFor([&] { return session.outboxFiles().size() == n; });
        EXPECT_TRUE(arrived) << "no reply " << n;
        return arrived ? QString::fromUtf8(readFile(session.outboxFiles().last())) : QString();
    };

    ASSERT_EQ(session.send("owner@example.com", "wndl find named budget"), 0);
    const QString list = nthReply(1);
    const QRegularExpressionMatch line = QRegularExpression("(\\d\\d1):  budget 2027\\.txt \\(0 kB \\)").match(list);
    ASSERT_TRUE(line.hasMatch()) << list.toStdString();

    ASSERT_EQ(session.send("owner@example.com", "wndl " + line.captured(1)), 0);
    const QString reply = nthReply(2);
    EXPECT_TRUE(reply.contains("filename=\"budget 2027.txt\"")) << reply.toStdString();
    EXPECT_TRUE(reply.contains(QString::fromLatin1(QByteArray("rent 1200\nfood 400\n").toBase64())));
    EXPECT_TRUE(reply.contains("To: owner@example.com"));

    // A code the list never gave is answered as invalid.
    ASSERT_EQ(session.send("owner@example.com", "wndl 9"), 0);
    nthReply(3);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_TRUE(session.logText().contains("Searching the home folder for files named:  budget"));
    EXPECT_TRUE(session.logText().contains("Invalid confirmation number 9 received"));
}
