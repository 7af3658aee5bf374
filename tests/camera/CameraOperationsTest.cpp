#include "camera/CameraFixture.h"

#include <QFileInfo>
#include <QThread>

using namespace wendle;
using namespace wendle::test;

namespace {

using namespace std::chrono_literals;

using SnapshotTest = CameraFixture;

const QColor Orange(255, 128, 0);

class MotionWatchTest : public CameraFixture {
protected:
    void launchWith(bool camera, bool motion)
    {
        preferences.setValue(RBEnableiSight, camera);
        preferences.setValue(RBEnableiSightMotion, motion);
        controller->awakeFromNib(nullptr);
    }
    bool previewRuns() { return controller->movieView()->cameraAvailable(); }
    int checks() const { return int(console.lines.filter(QStringLiteral("trying to detect motion")).size()); }
};

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
        EXPECT_EQ(sent.to, QStringLiteral("owner@example.org"));
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

// The switches as stored at start and as changed later (in the window or by
// `wendle config set`): timers pending are the preview's update timer and the
// motion timer.
TEST_F(MotionWatchTest, SwitchesStartAndStopTheWatch)
{
    const struct { const char *name; bool cameraAtStart, motionAtStart, camera, motion; size_t timers; bool preview; } cases[] = {
        {"both on at start", true, true, true, true, 2, true},
        {"motion off", true, true, true, false, 0, false},
        {"camera off", true, true, false, true, 0, false},
        // A camera never started stays off; the checks do nothing.
        {"both on later", false, false, true, true, 1, false},
        {"motion on while camera off", false, false, false, true, 1, false},
        {"camera on alone", false, false, true, false, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        controller = std::make_unique<Controller>(platform);
        launchWith(c.cameraAtStart, c.motionAtStart);
        preferences.setValue(RBEnableiSight, c.camera);
        preferences.setValue(RBEnableiSightMotion, c.motion);
        controller->cameraPreferencesChanged();
        controller->cameraPreferencesChanged(); // nothing changed since: nothing more happens
        EXPECT_EQ(scheduler.pending(), c.timers);
        EXPECT_EQ(previewRuns(), c.preview);
        console.lines.clear();
        scheduler.advance(3000ms);
        EXPECT_EQ(console.lines.filter(QStringLiteral("baseMotionImage set")).size(), c.preview ? 1 : 0);
        EXPECT_EQ(checks(), c.preview ? 1 : 0);
        EXPECT_EQ(controller->motionDetector().baseMotionImage().isNull(), !c.preview);
    }
}

TEST_F(MotionWatchTest, SensitivityIsTheIntervalWithinBounds)
{
    const struct { double seconds; int checksInThreeSeconds; const char *consoleLine; } cases[] = {
        {3.0, 0, nullptr},
        {0.5, 5, nullptr},
        {0.0, 29, "Wendle Error: iSightSensitivity 0 is outside 0.1 to 3600 seconds; checking every 0.1 seconds"},
        {-2.0, 29, "Wendle Error: iSightSensitivity -2 is outside 0.1 to 3600 seconds; checking every 0.1 seconds"},
        {1e9, 0, "Wendle Error: iSightSensitivity 1e+09 is outside 0.1 to 3600 seconds; checking every 3600 seconds"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.seconds);
        controller = std::make_unique<Controller>(platform);
        console.lines.clear();
        preferences.setValue(RBiSightSensitivity, c.seconds);
        launchWith(true, true);
        scheduler.advance(3000ms);
        EXPECT_EQ(checks(), c.checksInThreeSeconds);
        EXPECT_EQ(console.lines.contains(QString::fromUtf8(c.consoleLine)), c.consoleLine != nullptr) << console.lines.join('\n').toStdString();
    }
}

// Motion mails the owner a stamped picture, at most once per interval.
TEST_F(MotionWatchTest, MotionAlertIsMailedAtMostOncePerInterval)
{
    preferences.setValue(RBCameraSource, "videotestsrc pattern=ball ! video/x-raw,width=320,height=240");
    preferences.setValue(RBRemoteEmailAddress, "alarm@example.com");
    preferences.setValue(RBMotionAlertInterval, 300);
    launchWith(true, true);
    const auto check = [&] {
        QThread::msleep(300); // the ball moves on in real time
        scheduler.advance(1500ms);
    };
    check(); // the base
    check();
    EXPECT_EQ(checks(), 1);
    EXPECT_TRUE(mail.sent.isEmpty()) << "alerts are off by default";

    preferences.setValue(RBMotionAlertFlag, true);
    const struct { qint64 secondsLater; int mails; } steps[] = {{0, 1}, {200, 1}, {101, 2}};
    for (const auto &step : steps) {
        clock.advanceSeconds(step.secondsLater);
        check();
        EXPECT_EQ(mail.sent.size(), step.mails) << step.secondsLater;
    }
    ASSERT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(mail.sent[1].mail.to, QStringLiteral("alarm@example.com"));
    EXPECT_EQ(mail.sent[1].mail.body, QStringLiteral("Wendle saw motion in front of the camera. Here is what it saw.\n\n"));
    EXPECT_EQ(QImage(mail.sent[1].mail.attachmentPath, "JPEG").size(), QSize(320, 240));
    EXPECT_EQ(logEntries().filter(QStringLiteral("Motion seen by the camera; the picture was mailed")).size(), 2);
    EXPECT_EQ(controller->cmdAddress(), QStringLiteral("owner@example.org"));
}
