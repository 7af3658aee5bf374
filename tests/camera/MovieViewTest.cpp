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
