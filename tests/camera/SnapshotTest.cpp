#include "camera/CameraFixture.h"

#include <QFileInfo>

using namespace wendle;
using namespace wendle::test;

namespace {

using namespace std::chrono_literals;

using SnapshotTest = CameraFixture;

const QColor Orange(255, 128, 0);

} // namespace

TEST_F(SnapshotTest, SnapshotWithCameraOffIsOnlyLogged)
{
    preferences.setValue(RBEnableiSight, false);
    controller->takeSnapshotAndEmailTo(QStringLiteral("boss@example.com"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Snapshot requested, but the camera features are turned off"));
    scheduler.advance(5000ms);
    EXPECT_TRUE(mail.sent.isEmpty());
    EXPECT_EQ(consoleCount(QStringLiteral("stopPreview called...killing camera")), 0);
}

// The mailed picture: the frame (stamped or not) or the placeholder.
TEST_F(SnapshotTest, MailedPictureIsTheFrameOrThePlaceholder)
{
    // stampArea: where the letters of the stamp or of the placeholder title are.
    struct Case { const char *name; const char *source; bool stamp; QSize size; QRect stampArea; bool stamped; };
    const QRect nearStampOrigin(20, 240 - 20 - 24, 200, 24);
    const Case cases[] = {
        {"stamped frame", Pattern, true, {320, 240}, nearStampOrigin, true},
        {"plain frame", Pattern, false, {320, 240}, nearStampOrigin, false},
        {"no camera", NoCamera, false, {640, 480}, QRect(200, 240 - 16, 240, 16), true},
    };
    controller->setStampColor(Orange);
    preferences.setValue(RBiSightQuality, 1.0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        mail.sent.clear();
        preferences.setValue(RBCameraSource, c.source);
        preferences.setValue(RBiSightDateStamp, c.stamp);
        controller->movieView()->stopPreview(); // the next snapshot sets the camera up anew
        controller->takeSnapshotAndEmailTo(QStringLiteral("boss@example.com"));
        scheduler.advance(2900ms);
        EXPECT_TRUE(mail.sent.isEmpty());
        scheduler.advance(100ms);
        ASSERT_EQ(mail.sent.size(), 1);
        const OutgoingMail &sent = mail.sent[0].mail;
        EXPECT_EQ(sent.to, QStringLiteral("owner@example.com"));
        EXPECT_EQ(sent.cc, QStringLiteral("boss@example.com"));
        EXPECT_EQ(sent.body, QStringLiteral("Here is the snapshot you asked for.\n\n"));
        EXPECT_EQ(sent.attachmentPath, platform.supportFolder + QStringLiteral("/snapshot.jpg"));
        const QImage picture(sent.attachmentPath, "JPEG");
        EXPECT_EQ(picture.size(), c.size);
        EXPECT_EQ(pixelsNear(picture, c.stampArea, Orange) > 20, c.stamped) << pixelsNear(picture, c.stampArea, Orange);
    }
    EXPECT_EQ(consoleCount(QStringLiteral("Wendle Error: gst_element_set_state() returned Cannot identify device '/dev/wendle-no-camera'.")), 1);
}

TEST_F(SnapshotTest, QualityChoosesTheCompression)
{
    const struct { double quality; const char *consoleLine; } cases[] = {
        {0.0, nullptr},
        {1.0, nullptr},
        {1.7, "Wendle Error: iSightQuality 1.7 is outside 0.0 to 1.0; using 1"},
        {-0.5, "Wendle Error: iSightQuality -0.5 is outside 0.0 to 1.0; using 0"},
    };
    QMap<double, qint64> sizes;
    for (const auto &c : cases) {
        preferences.setValue(RBiSightQuality, c.quality);
        console.lines.clear();
        controller->takeSnapshotAndEmailTo(QString());
        scheduler.advance(3000ms);
        sizes[c.quality] = QFileInfo(platform.supportFolder + QStringLiteral("/snapshot.jpg")).size();
        EXPECT_EQ(console.lines.contains(QString::fromUtf8(c.consoleLine)), c.consoleLine != nullptr) << console.lines.join('\n').toStdString();
    }
    // The pattern's snow corner differs from frame to frame: sizes of one
    // quality differ a little, sizes of the two ends a lot.
    EXPECT_GT(sizes[1.0], 2 * sizes[0.0]);
    EXPECT_GT(sizes[1.7], 2 * sizes[0.0]);
    EXPECT_GT(sizes[1.0], 2 * sizes[-0.5]);
}

// Both mail timers fire; each mails what is there at its time, with the copy
// address of the later command.
TEST_F(SnapshotTest, TwoSnapshotsCloseTogetherMailTwice)
{
    controller->takeSnapshotAndEmailTo(QStringLiteral("first@example.com"));
    scheduler.advance(1000ms);
    controller->takeSnapshotAndEmailTo(QStringLiteral("second@example.com"));
    scheduler.advance(3000ms);
    ASSERT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("second@example.com"));
    EXPECT_EQ(mail.sent[1].mail.cc, QStringLiteral("second@example.com"));
}
