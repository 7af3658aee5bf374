#include "camera/CameraFixture.h"

#include <QThread>

using namespace wendle;
using namespace wendle::test;

namespace {

using namespace std::chrono_literals;

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
    EXPECT_EQ(controller->cmdAddress(), QStringLiteral("owner@example.com"));
}
