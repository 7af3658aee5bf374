// Figures for the camera: the cost of one motion check on a 640×480 frame
// beside a plain memcmp of the same two frames, and the CPU the motion watch
// takes while idle, beside gst-launch-1.0 running the same pipeline alone.
//
//   build/bench/bench_camera [seconds]   (default 20 s for the CPU figures)

#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "platform/console/Console.h"
#include "platform/scheduler/QtScheduler.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace wendle;

namespace {

constexpr const char *Camera = "videotestsrc pattern=ball ! video/x-raw,width=640,height=480,framerate=30/1";

class SilentConsole : public Console {
public:
    void writeLine(const QString &) override {}
};

double cpuSeconds(const rusage &usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double selfCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

void motionCheckFigures()
{
    QString error;
    const QList<QImage> frames = GStreamerFrameSource::readFrames(QString::fromLatin1(Camera), 40, &error);
    if (frames.size() < 40) {
        std::printf("cannot read frames: %s\n", qPrintable(error));
        return;
    }
    const int rounds = 500;
    SilentConsole console;
    MotionDetection detector(console);
    detector.setBaseMotionImage(frames[0]);
    int motions = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        motions += detector.detectMotion(frames[1 + i % 39], 1.5f);
    const double checkMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    timer.restart();
    for (int i = 0; i < rounds; ++i)
        detector.differenceFromImage(frames[1 + i % 39]);
    const double differenceMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    const size_t bytes = size_t(frames[0].sizeInBytes());
    volatile int sink = 0;
    timer.restart();
    for (int i = 0; i < rounds; ++i)
        sink = sink + (std::memcmp(frames[0].constBits(), frames[1 + i % 39].constBits(), bytes) != 0);
    const double memcmpMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    std::printf("motion check, 640x480 (difference + decision + base refresh): %.3f ms per frame (%d of %d frames were motion)\n",
                checkMs, motions, rounds);
    std::printf("differenceFromImage, 640x480:                                  %.3f ms per frame\n", differenceMs);
    std::printf("memcmp of the same two frames (floor):                         %.3f ms per frame\n", memcmpMs);
}

// The watch as the daemon runs it headless: the camera view with its
// 0.05 s update timer and a motion check every 1.5 s.
double watchCpuShare(int seconds)
{
    QtScheduler scheduler;
    SilentConsole console;
    GStreamerFrameSource source;
    RBMovieView view(source, scheduler, console, [] { return QString::fromLatin1(Camera); });
    MotionDetection detector(console);
    if (!view.restartPreview())
        return -1;
    scheduler.schedule(std::chrono::milliseconds(1500), true, [&] { detector.detectMotion(view.grabFrame(), 1.5f); });
    const double before = selfCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
    return (selfCpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9);
}

double gstLaunchCpuShare(int seconds)
{
    const QByteArray buffers = QByteArray::number(seconds * 30);
    QElapsedTimer wall;
    wall.start();
    const pid_t child = fork();
    if (child == 0) {
        execlp("gst-launch-1.0", "gst-launch-1.0", "-q", "videotestsrc", "pattern=ball", ("num-buffers=" + buffers).constData(), "!",
               "video/x-raw,width=640,height=480,framerate=30/1", "!", "videoconvert", "!", "video/x-raw,format=BGRx", "!",
               "fakesink", "sync=true", static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return cpuSeconds(usage) / (double(wall.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    motionCheckFigures();
    std::printf("idle CPU over %d s, 640x480 at 30 frames/s, check every 1.5 s:\n", seconds);
    std::printf("  motion watch (camera view + checks, in process): %5.2f %% of one core\n", 100 * watchCpuShare(seconds));
    std::printf("  gst-launch-1.0, same source to fakesink (peer):  %5.2f %% of one core\n", 100 * gstLaunchCpuShare(seconds));
    return 0;
}
