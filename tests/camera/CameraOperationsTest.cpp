#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "camera/SnapshotPicture.h"
#include "operations/OwnerFixture.h"
#include "settings/Settings.h"
#include "support/QtApplication.h"
#include "support/WaitFor.h"

#include <QFileInfo>
#include <QImage>
#include <QThread>

using namespace wendle;
using namespace wendle::test;

namespace {

using namespace std::chrono_literals;

// A controller whose camera is a GStreamer test pattern, after a command
// from the owner, with the camera features on.
class CameraFixture : public OwnerFixture {
protected:
    static constexpr const char *Pattern = "videotestsrc pattern=smpte ! video/x-raw,width=320,height=240";
    static constexpr const char *NoCamera = "v4l2src device=/dev/wendle-no-camera";

    CameraFixture()
    {
        ensureQtApplication();
        preferences.setValue(RBCameraSource, Pattern);
        preferences.setValue(RBEnableiSight, true);
    }

    int consoleCount(const QString &line) const { return int(console.lines.count(line)); }
};

// Pixels of the rectangle whose colour is within 60 levels of the given one
// in every channel (JPEG blurs the edges of letters).
inline int pixelsNear(const QImage &picture, const QRect &area, const QColor &color)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor seen = picture.pixelColor(x, y);
            count += std::abs(seen.red() - color.red()) < 60 && std::abs(seen.green() - color.green()) < 60
                     && std::abs(seen.blue() - color.blue()) < 60;
        }
    }
    return count;
}

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
    // A camera that delivers three frames and stops, as one unplugged does.
    void loseTheCamera()
    {
        preferences.setValue(RBCameraSource, "videotestsrc num-buffers=3 ! video/x-raw,width=320,height=240");
        launchWith(true, true);
        ASSERT_TRUE(waitFor(
            [&] {
                scheduler.advance(20ms);
                return !previewRuns();
            },
            5000));
        ASSERT_EQ(consoleCount(QStringLiteral("Wendle Error: Camera signal lost...")), 1);
    }
    int returns() const { return consoleCount(QStringLiteral("Camera signal back; watching for motion again")); }
};

// The box of the pixels drawn on a black picture; empty when none is.
QRect drawnBox(const QImage &picture)
{
    QRect box;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != qRgb(0, 0, 0))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

// With the camera features off a snapshot is only logged. With them on, the
// mail timers of two snapshots close together both fire; each mails what is
// there at its time, with the copy address of the later command.
TEST_F(SnapshotTest, OffASnapshotIsOnlyLoggedAndTwoCloseTogetherMailTwice)
{
    preferences.setValue(RBEnableiSight, false);
    controller->takeSnapshotAndEmailTo(QStringLiteral("boss@example.com"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Snapshot requested, but the camera features are turned off"));
    scheduler.advance(5000ms);
    EXPECT_TRUE(mail.sent.isEmpty());
    EXPECT_EQ(consoleCount(QStringLiteral("stopPreview called...killing camera")), 0);

    preferences.setValue(RBEnableiSight, true);
    controller->takeSnapshotAndEmailTo(QStringLiteral("first@example.com"));
    scheduler.advance(1000ms);
    controller->takeSnapshotAndEmailTo(QStringLiteral("second@example.com"));
    scheduler.advance(3000ms);
    ASSERT_EQ(mail.sent.size(), 2);
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("second@example.com"));
    EXPECT_EQ(mail.sent[1].mail.cc, QStringLiteral("second@example.com"));
}

// The stamp keeps its place and proportions whatever the frame's size, so
// it fits a small camera's frame as it fits a large one's.
TEST_F(SnapshotTest, DateStampScalesWithTheFrame)
{
    const QString text = shortDateTime(QDateTime(QDate(2027, 12, 28), QTime(22, 45, 59)));
    QRect boxAt640;
    for (const QSize size : {QSize(640, 480), QSize(320, 240), QSize(1280, 720)}) {
        SCOPED_TRACE(size.width());
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(Qt::black);
        drawDateStamp(frame, text, Orange);
        const QRect box = drawnBox(frame);
        ASSERT_FALSE(box.isEmpty());
        EXPECT_TRUE(frame.rect().adjusted(1, 1, -1, -1).contains(box)) << box.right() << "," << box.bottom();
        if (boxAt640.isEmpty())
            boxAt640 = box;
        const double scale = size.width() / 640.0;
        EXPECT_NEAR(box.width(), boxAt640.width() * scale, 0.1 * boxAt640.width() * scale);
        EXPECT_NEAR(box.height(), boxAt640.height() * scale, 0.15 * boxAt640.height() * scale);
    }
}

// The mailed picture: the frame (stamped or not) or the placeholder.
TEST_F(SnapshotTest, MailedPictureIsTheFrameOrThePlaceholder)
{
    // stampArea: where the letters of the stamp (half size on a frame 320
    // wide) or of the placeholder title are.
    struct Case {
        const char *name;
        const char *source;
        bool stamp;
        QSize size;
        QRect stampArea;
        bool stamped;
    };
    const QRect nearStampOrigin(20, 240 - 20 - 14, 120, 16);
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
        EXPECT_EQ(pixelsNear(picture, c.stampArea, Orange) > 4, c.stamped) << pixelsNear(picture, c.stampArea, Orange);
    }
}

TEST_F(SnapshotTest, QualityChoosesTheCompression)
{
    const struct {
        double quality;
        const char *consoleLine;
    } cases[] = {
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
        EXPECT_EQ(console.lines.contains(QString::fromUtf8(c.consoleLine)), c.consoleLine != nullptr)
            << console.lines.join('\n').toStdString();
    }
    // The pattern's snow corner differs from frame to frame: sizes of one
    // quality differ a little, sizes of the two ends a lot.
    EXPECT_GT(sizes[1.0], 2 * sizes[0.0]);
    EXPECT_GT(sizes[1.7], 2 * sizes[0.0]);
    EXPECT_GT(sizes[1.0], 2 * sizes[-0.5]);
}

// The switches as stored at start and as changed later (in the window or by
// `wendle config set`): timers pending are the preview's update timer and the
// motion timer.
TEST_F(MotionWatchTest, SwitchesStartAndStopTheWatch)
{
    const struct {
        const char *name;
        bool cameraAtStart, motionAtStart, camera, motion;
        size_t timers;
        bool preview;
    } cases[] = {
        {"both on at start", true, true, true, true, 2, true},
        {"motion off", true, true, true, false, 0, false},
        {"camera off", true, true, false, true, 0, false},
        // The watch switched on starts the camera, but only where the camera
        // switch allows it.
        {"both on later", false, false, true, true, 2, true},
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
    const struct {
        double seconds;
        int checksInThreeSeconds;
        const char *consoleLine;
    } cases[] = {
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
        EXPECT_EQ(console.lines.contains(QString::fromUtf8(c.consoleLine)), c.consoleLine != nullptr)
            << console.lines.join('\n').toStdString();
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
    const struct {
        qint64 secondsLater;
        int mails;
    } steps[] = {{0, 1}, {200, 1}, {101, 2}};
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

// A camera that stops is tried again until its frames return; the watch then
// starts from a new base and reports motion as before.
TEST_F(MotionWatchTest, LostCameraIsWatchedAgainWhenItsFramesReturn)
{
    loseTheCamera();
    preferences.setValue(RBCameraSource, "videotestsrc pattern=ball ! video/x-raw,width=320,height=240");
    preferences.setValue(RBMotionAlertFlag, true);
    const int basesBefore = int(console.lines.filter(QStringLiteral("baseMotionImage set")).size());
    scheduler.advance(3000ms);
    EXPECT_TRUE(previewRuns());
    EXPECT_EQ(returns(), 1);
    EXPECT_EQ(console.lines.filter(QStringLiteral("baseMotionImage set")).size(), basesBefore + 1);
    QThread::msleep(300); // the ball moves on in real time
    scheduler.advance(1500ms);
    EXPECT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(returns(), 1);
}

// A camera that fails at every try is tried less and less often, at last
// every five minutes: back at a moment between two tries, it waits for the
// next one. Its failure is told once.
TEST_F(MotionWatchTest, CameraFailingEveryTryIsTriedEveryFiveMinutesAtLast)
{
    loseTheCamera();
    preferences.setValue(RBCameraSource, NoCamera);
    scheduler.advance(std::chrono::hours(1));
    EXPECT_FALSE(previewRuns());
    EXPECT_EQ(
        consoleCount(QStringLiteral("Wendle Error: gst_element_set_state() returned Cannot identify device '/dev/wendle-no-camera'.")), 1);

    preferences.setValue(RBCameraSource, Pattern);
    int seconds = 0;
    while (returns() == 0 && seconds < 600) {
        scheduler.advance(1000ms);
        ++seconds;
    }
    EXPECT_GT(seconds, 60);
    EXPECT_LE(seconds, 300);
    EXPECT_TRUE(previewRuns());
}
