#include "support/ParsedMail.h"
#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QImage>
#include <QRegularExpression>

#include <csignal>

using namespace wendle::test;

using CommandRoad = SessionTest;
using CameraRoad = SessionTest;

namespace {

QByteArray commandMail(const QByteArray &messageId, const QByteArray &command)
{
    return "From: owner@example.org\r\nTo: computer@example.com\r\nSubject: x\r\nMessage-ID: <" + messageId + ">\r\n\r\n" + command
           + "\r\n";
}

} // namespace

// The road of one command, as the owner's phone travels it: a find command,
// the numbered list by mail, a code back, the file by mail. Each answer
// threads under the mail that asked for it.
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

    const auto threadedUnder = [](const QString &mail, const QString &id) {
        const ParsedMail parsed = parseMail(mail.toUtf8());
        EXPECT_EQ(str(parsed.subject), "Wendle Results");
        EXPECT_EQ(str(parsed.headers.value("in-reply-to")), str(id));
        EXPECT_EQ(str(parsed.headers.value("references")), str(id));
    };

    ASSERT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, commandMail("find-1@phone.example", "wndl find named budget")), 0);
    const QString list = nthReply(1);
    const QRegularExpressionMatch line = QRegularExpression("(\\d\\d1):  budget 2027\\.txt \\(0 kB \\)").match(list);
    ASSERT_TRUE(line.hasMatch()) << list.toStdString();
    threadedUnder(list, "<find-1@phone.example>");

    ASSERT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, commandMail("code-1@phone.example", "wndl " + line.captured(1).toLatin1())),
              0);
    const QString reply = nthReply(2);
    threadedUnder(reply, "<code-1@phone.example>");
    EXPECT_TRUE(reply.contains("filename=\"budget 2027.txt\"")) << reply.toStdString();
    EXPECT_TRUE(reply.contains(QString::fromLatin1(QByteArray("rent 1200\nfood 400\n").toBase64())));
    EXPECT_TRUE(reply.contains("To: owner@example.org"));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_TRUE(session.logText().contains("Searching the home folder for files named:  budget"));
}

// A snapshot command mailed back with the picture; then the motion watch,
// switched on with `wendle config set` while Wendle runs, mails an alert.
TEST_F(CameraRoad, SnapshotMailThenLiveMotionWatch)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"},
                                   {"enableiSight", "yes"},
                                   {"motionAlertFlag", "yes"},
                                   {"cameraSource", "videotestsrc pattern=ball ! video/x-raw,width=320,height=240"}}));
    ASSERT_TRUE(session.startDaemon());
    const auto nthMail = [&](int n) {
        const bool arrived = waitFor([&] { return session.outboxFiles().size() >= n; });
        EXPECT_TRUE(arrived) << "no mail " << n;
        return arrived ? parseMail(readFile(session.outboxFiles().value(n - 1))) : ParsedMail();
    };

    ASSERT_EQ(session.send("owner@example.org", "wndl snapshot"), 0);
    const ParsedMail snapshot = nthMail(1);
    EXPECT_EQ(snapshot.to, QStringList{"owner@example.org"});
    EXPECT_EQ(snapshot.attachmentName, "snapshot.jpg");
    EXPECT_EQ(QImage::fromData(snapshot.attachment, "JPEG").size(), QSize(320, 240));

    // The snapshot left the camera running; the watch starts on the change.
    ASSERT_TRUE(session.configure("enableiSightMotion", "yes"));
    const ParsedMail alert = nthMail(2);
    EXPECT_EQ(alert.to, QStringList{"owner@example.org"}); // the owner's own mailbox, remoteEmailAddress
    EXPECT_TRUE(alert.bodyText.startsWith("Wendle saw motion in front of the camera.")) << str(alert.bodyText);
    EXPECT_EQ(QImage::fromData(alert.attachment, "JPEG").size(), QSize(320, 240));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_TRUE(session.logText().contains("Taking a snapshot"));
}

// A command cut short by a kill is not lost without a word: the next start
// names it. One that finished is not named.
TEST_F(CameraRoad, ASnapshotCutShortByAKillIsToldAtTheNextStart)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"}, {"enableiSight", "yes"}, {"cameraSource", "videotestsrc"}}));
    ASSERT_TRUE(session.startDaemon());
    ASSERT_EQ(session.send("owner@example.org", "wndl snapshot"), 0);
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("Taking a snapshot"); }));
    session.stopDaemon(SIGKILL);
    EXPECT_TRUE(session.outboxFiles().isEmpty());

    ASSERT_TRUE(session.startDaemon());
    ASSERT_EQ(session.send("owner@example.org", "wndl snapshot"), 0);
    EXPECT_TRUE(waitFor([&] { return session.outboxFiles().size() == 1; }));
    EXPECT_EQ(session.stopDaemon(), 0);
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.logText().count("the command \"wndl snapshot\" was interrupted by a stop and not finished"), 1)
        << str(session.logText());
}
