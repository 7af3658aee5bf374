#include "support/ParsedMail.h"
#include "support/WendleInstance.h"

#include <QImage>

using namespace wendle::test;

using CameraRoad = SessionTest;

// A snapshot command mailed back with the picture; then the motion watch,
// switched on with `wendle config set` while Wendle runs, mails an alert.
TEST_F(CameraRoad, SnapshotMailThenLiveMotionWatch)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.configure("enableiSight", "yes"));
    ASSERT_TRUE(session.configure("cameraSource", "videotestsrc pattern=ball ! video/x-raw,width=320,height=240"));
    ASSERT_TRUE(session.configure("motionAlertFlag", "yes"));
    ASSERT_TRUE(session.startDaemon());
    const auto nthMail = [&](int n) {
        const bool arrived = waitFor([&] { return session.outboxFiles().size() >= n; });
        EXPECT_TRUE(arrived) << "no mail " << n;
        return arrived ? parseMail(readFile(session.outboxFiles().value(n - 1))) : ParsedMail();
    };

    ASSERT_EQ(session.send("owner@example.com", "wndl snapshot"), 0);
    const ParsedMail snapshot = nthMail(1);
    EXPECT_EQ(snapshot.to, QStringList{"owner@example.com"});
    EXPECT_EQ(snapshot.attachmentName, "snapshot.jpg");
    EXPECT_EQ(QImage::fromData(snapshot.attachment, "JPEG").size(), QSize(320, 240));

    // The snapshot left the camera running; the watch starts on the change.
    ASSERT_TRUE(session.configure("enableiSightMotion", "yes"));
    const ParsedMail alert = nthMail(2);
    EXPECT_EQ(alert.to, QStringList{"owner@example.com"}); // the owner's own mailbox, remoteEmailAddress
    EXPECT_TRUE(alert.bodyText.startsWith("Wendle saw motion in front of the camera.")) << str(alert.bodyText);
    EXPECT_EQ(QImage::fromData(alert.attachment, "JPEG").size(), QSize(320, 240));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_TRUE(session.logText().contains("Taking a snapshot"));
}
