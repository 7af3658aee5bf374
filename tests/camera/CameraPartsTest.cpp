#include "camera/MotionDetection.h"
#include "camera/Negative.h"
#include "camera/RBMovieView.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "support/Doubles.h"
#include "support/QtApplication.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

namespace {

using namespace std::chrono_literals;

QList<QImage> framesOf(const char *description, int count)
{
    QString error;
    const QList<QImage> frames = GStreamerFrameSource::readFrames(QString::fromUtf8(description), count, &error);
    EXPECT_EQ(frames.size(), count) << error.toStdString();
    return frames;
}

// Every channel moved by `levels`, as a lamp or the dusk would.
QImage lit(const QImage &frame, int levels)
{
    QImage result = frame.copy();
    for (int y = 0; y < result.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            row[x] = qRgb(std::clamp(qRed(row[x]) + levels, 0, 255), std::clamp(qGreen(row[x]) + levels, 0, 255),
                          std::clamp(qBlue(row[x]) + levels, 0, 255));
    }
    return result;
}

// A detector based on one frame of the standing pattern.
class MotionDetectionOnTheStandingPattern : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(frame.isNull());
        detector.setBaseMotionImage(frame);
    }
    const QImage frame = framesOf("videotestsrc pattern=smpte ! video/x-raw,width=320,height=240", 1).value(0);
    RecordingConsole console;
    MotionDetection detector{console};
};

// The camera's view alone, on a scheduler the test moves.
class MovieViewTest : public ::testing::Test {
protected:
    QCoreApplication *application = ensureQtApplication(); // before the widget
    GStreamerFrameSource source;
    ManualScheduler scheduler;
    RecordingConsole console;
    QString description;
    RBMovieView view{source, scheduler, console, [this] { return description; }};
};

} // namespace

TEST(MotionDetectionTest, MovingPatternIsMotionStandingPatternIsNot)
{
    // Sensitivities out of range are taken as the nearest end (here the
    // least sensitive), never as a division by zero.
    const struct {
        const char *source;
        float sensitivity;
        bool motion;
    } cases[] = {
        {"videotestsrc pattern=ball ! video/x-raw,width=640,height=480", 1.5f, true},
        {"videotestsrc pattern=smpte ! video/x-raw,width=640,height=480", 1.5f, false},
        {"videotestsrc pattern=ball ! video/x-raw,width=160,height=120", 1.5f, true},
        {"videotestsrc pattern=smpte ! video/x-raw,width=160,height=120", 0.0f, false},
        {"videotestsrc pattern=smpte ! video/x-raw,width=160,height=120", -3.0f, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        const QList<QImage> frames = framesOf(c.source, 21);
        ASSERT_EQ(frames.size(), 21);
        RecordingConsole console;
        MotionDetection detector(console);
        EXPECT_FALSE(detector.detectMotion(frames[0], c.sensitivity));
        EXPECT_EQ(console.lines, QStringList{QString::asprintf("baseMotionImage set, image size is (%d.000000, %d.000000)",
                                                               frames[0].width(), frames[0].height())});
        for (int i : {5, 10, 20})
            EXPECT_EQ(detector.detectMotion(frames[i], c.sensitivity), c.motion) << "frame " << i;
        EXPECT_EQ(console.lines[1], QString::asprintf("trying to detect motion with sensitivity = %f", double(c.sensitivity)));
        EXPECT_EQ(console.lines[3], QString::asprintf("new image size is (%d.000000, %d.000000)", frames[0].width(), frames[0].height()));
    }
}

// A lamp switched on re-bases; dusk drifts the base along; a frame of
// another size starts a new base; none of them is motion.
TEST_F(MotionDetectionOnTheStandingPattern, LightChangesAreNotMotion)
{
    const QImage lampOn = lit(frame, 80);
    EXPECT_FALSE(detector.detectMotion(lampOn, 1.5f));
    EXPECT_EQ(detector.baseMotionImage(), lampOn);
    EXPECT_TRUE(console.lines.filter(QStringLiteral("changed at once; taking it as the new base image")).size() == 1);

    console.lines.clear();
    for (int dusk = 1; dusk <= 60; ++dusk)
        ASSERT_FALSE(detector.detectMotion(lit(lampOn, -dusk), 1.5f)) << "step " << dusk;
    EXPECT_TRUE(console.lines.filter(QStringLiteral("new base")).isEmpty());
    const QImage lastStep = lit(lampOn, -60);
    EXPECT_LT(countChangedBlocks(BlockMeans::of(detector.baseMotionImage()), BlockMeans::of(lastStep), 10), 1);

    const QImage smaller = frame.scaled(160, 120);
    EXPECT_FALSE(detector.detectMotion(smaller, 1.5f));
    EXPECT_TRUE(console.lines.contains(
        QStringLiteral("Wendle Error: the camera frame is 160×120 but the base image is 320×240; the frame becomes the new base")));
    EXPECT_EQ(detector.baseMotionImage().size(), QSize(160, 120));

    detector.reset();
    EXPECT_TRUE(detector.baseMotionImage().isNull());
    detector.setBaseMotionImage(QImage());
    EXPECT_EQ(console.lines.last(), QStringLiteral("nil image for setBaseMotionImage"));
}

TEST_F(MotionDetectionOnTheStandingPattern, DifferenceAndNegatives)
{
    // |frame − frame| is black; |negative − frame| is |255 − 2v|; a smaller
    // image leaves the base showing where it does not reach.
    QImage black(frame.size(), QImage::Format_RGB32);
    black.fill(Qt::black);
    EXPECT_EQ(detector.differenceFromImage(frame), black);
    const QImage inverted = negative::negativeImage(frame);
    const QImage fromNegative = detector.differenceFromImage(inverted);
    for (const QPoint &p : {QPoint(10, 10), QPoint(200, 200), QPoint(319, 239)})
        EXPECT_EQ(qRed(fromNegative.pixel(p)), std::abs(255 - 2 * qRed(frame.pixel(p))));
    const QImage corner = detector.differenceFromImage(frame.copy(0, 0, 100, 100));
    EXPECT_EQ(corner.pixel(50, 50), qRgb(0, 0, 0));
    EXPECT_EQ(corner.pixel(200, 200), frame.pixel(200, 200));
    EXPECT_EQ(detector.differenceFromImage(QImage()), frame);

    EXPECT_EQ(negative::negativeImage(inverted), frame);
    const struct {
        int samplesPerPixel;
        QByteArray in;
        std::optional<QByteArray> out;
    } bitmaps[] = {
        {1, QByteArray("\x00\x10\xff", 3), QByteArray("\xff\xef\x00", 3)},
        {2, QByteArray("\x00\x80\x10\x40", 4), QByteArray("\xff\x80\xef\x40", 4)},
        {3, QByteArray("\x01\x02\x03", 3), QByteArray("\xfe\xfd\xfc", 3)},
        {4, QByteArray("\x01\x02\x03\x7f", 4), QByteArray("\xfe\xfd\xfc\x7f", 4)},
        {5, QByteArray(5, '\x01'), std::nullopt},
    };
    for (const auto &b : bitmaps) {
        const int width = int(b.in.size()) / b.samplesPerPixel;
        const std::optional<Bitmap> result = negative::negativeImageRep(Bitmap{width, 1, b.samplesPerPixel, b.in});
        EXPECT_EQ(result.has_value(), b.out.has_value()) << b.samplesPerPixel;
        if (result && b.out) {
            EXPECT_EQ(result->samples, *b.out) << b.samplesPerPixel;
        }
    }
}

// A source that cannot start says so once, however often it is tried.
TEST_F(MovieViewTest, SourceThatCannotStartIsReportedOnce)
{
    const struct {
        const char *description;
        const char *consoleLine;
    } cases[] = {
        {"videotestsrc ! ! nonsense",
         "Wendle Error: While trying to build the camera pipeline \"videotestsrc ! ! nonsense\"; syntax error"},
        {"no_such_camera_element",
         "Wendle Error: While trying to build the camera pipeline \"no_such_camera_element\"; no element \"no_such_camera_element\""},
        {"v4l2src device=/dev/wendle-no-camera",
         "Wendle Error: gst_element_set_state() returned Cannot identify device '/dev/wendle-no-camera'."},
        {"videotestsrc ! video/x-raw,width=0", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        description = QString::fromUtf8(c.description);
        console.lines.clear();
        EXPECT_FALSE(view.restartPreview());
        EXPECT_FALSE(view.restartPreview());
        EXPECT_FALSE(view.cameraAvailable());
        EXPECT_TRUE(view.grabFrame().isNull());
        ASSERT_EQ(console.lines.size(), 1) << console.lines.join(QLatin1Char(10)).toStdString();
        if (c.consoleLine) {
            EXPECT_EQ(console.lines[0], QString::fromUtf8(c.consoleLine));
        }
        EXPECT_EQ(scheduler.pending(), 0u);
    }
}

// A camera that stops delivering (here a stream of three frames) is
// reported once and counts as gone; the next start sets it up anew.
TEST_F(MovieViewTest, LostSignalStopsTheCamera)
{
    description = QStringLiteral("videotestsrc num-buffers=3 ! video/x-raw,width=160,height=120");
    ASSERT_TRUE(view.restartPreview());
    EXPECT_EQ(view.grabFrame().size(), QSize(160, 120));
    EXPECT_EQ(view.grabFrame().format(), QImage::Format_RGB32);
    // The end of the stream reaches the view within a few ticks.
    waitFor(
        [&] {
            scheduler.advance(20ms);
            return !view.cameraAvailable();
        },
        3000);
    EXPECT_EQ(console.lines, (QStringList{"Wendle Error: Camera signal lost...", "Wendle Error: the camera stopped: the stream ended"}));
    EXPECT_FALSE(view.cameraAvailable());
    EXPECT_TRUE(view.signalLost());
    EXPECT_EQ(scheduler.pending(), 0u);

    ASSERT_TRUE(view.restartPreview());
    EXPECT_FALSE(view.signalLost());
    view.stopPreview();
    EXPECT_EQ(console.lines.last(), QStringLiteral("stopPreview called...killing camera"));
    EXPECT_FALSE(view.cameraAvailable());
    EXPECT_TRUE(view.image().isNull());
}
