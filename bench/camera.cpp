// Figures for the camera: the cost of one motion check on a 640×480 frame
// beside a plain memcmp of the same two frames, and the CPU the motion watch
// takes while idle (in this process, and in a real `wendle run --headless`)
// beside gst-launch-1.0 running the same source with and without the
// conversion to 32-bit pixels.
//
//   build/bench/bench_camera [seconds]   (default 15 s for each CPU figure)

#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "platform/console/Console.h"
#include "platform/scheduler/QtScheduler.h"
#include "process_cpu.h"
#include "support/WendleInstance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace wendle;
using wendle::bench::processCpuSeconds;

namespace {

constexpr const char *Camera = "videotestsrc pattern=ball ! video/x-raw,width=640,height=480,framerate=30/1";
// The same pattern in the packed YUV most webcams deliver: every frame then
// needs a conversion, as a camera's would (the test pattern above is made
// in the pipeline's own pixel layout, so its conversion is a pass-through).
// The pattern with its rate left open, as a plain "v4l2src" leaves a
// camera's: unseen, the source is asked for fewer frames.
constexpr const char *OpenRateCamera = "videotestsrc pattern=ball ! video/x-raw,width=640,height=480";
constexpr const char *YuvCamera = "videotestsrc pattern=ball ! video/x-raw,width=640,height=480,framerate=30/1,format=YUY2";
// The watch's interval, "iSightSensitivity".
constexpr int CheckMs = 1500;

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
    const QImage copy = frames[0].copy();
    timer.restart();
    for (int i = 0; i < rounds; ++i)
        sink = sink + (std::memcmp(frames[0].constBits(), copy.constBits(), bytes) != 0);
    const double fullMemcmpMs = double(timer.nsecsElapsed()) / 1e6 / rounds;

    std::printf("motion check, 640x480 (block difference + decision + base refresh): %.3f ms per frame (%d of %d frames were motion)\n",
                checkMs, motions, rounds);
    std::printf("differenceFromImage, 640x480 (full-size |new - base| image):        %.3f ms per frame\n", differenceMs);
    std::printf("memcmp of the same two frames (floor; stops at the first change): %.3f ms per frame\n", memcmpMs);
    std::printf("memcmp of a frame and its copy (floor; the whole frame):           %.3f ms per frame\n", fullMemcmpMs);
}

// The watch as the daemon runs it headless: the camera view with its
// 0.05 s update timer and a motion check every 1.5 s.
double watchCpuShare(const char *camera, int seconds)
{
    QtScheduler scheduler;
    SilentConsole console;
    GStreamerFrameSource source;
    RBMovieView view(source, scheduler, console, [camera] { return QString::fromLatin1(camera); });
    MotionDetection detector(console);
    if (!view.restartPreview())
        return -1;
    scheduler.schedule(std::chrono::milliseconds(CheckMs), true, [&] { detector.detectMotion(view.grabFrame(), 1.5f); });
    const double before = selfCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
    return (selfCpuSeconds() - before) / (double(wall.nsecsElapsed()) / 1e9);
}

// The real daemon, headless, with the camera and the motion watch switched
// on; the first seconds (start-up, the camera's set-up) are not counted.
double daemonCpuShare(int seconds)
{
    test::TestSession session;
    if (!session.isReady())
        return -1;
    session.configure(QStringLiteral("cameraSource"), QString::fromLatin1(Camera));
    session.configure(QStringLiteral("iSightSensitivity"), QString::number(CheckMs / 1000.0));
    session.configure(QStringLiteral("enableiSight"), QStringLiteral("yes"));
    session.configure(QStringLiteral("enableiSightMotion"), QStringLiteral("yes"));
    // The daemon's console (its standard error) goes to a file, read
    // afterwards to see that the watch ran.
    QTemporaryFile console;
    if (!console.open())
        return -1;
    const int ownErrors = dup(STDERR_FILENO);
    dup2(console.handle(), STDERR_FILENO);
    const bool started = session.startDaemon();
    dup2(ownErrors, STDERR_FILENO);
    close(ownErrors);
    if (!started)
        return -1;
    QThread::sleep(3);
    const qint64 pid = session.daemonProcessId();
    const double before = processCpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::sleep(seconds);
    const double share = (processCpuSeconds(pid) - before) / (double(wall.nsecsElapsed()) / 1e9);
    session.stopDaemon();
    console.seek(0); // the daemon moved the shared file offset
    const int checks = int(console.readAll().count("trying to detect motion"));
    if (checks < seconds * 1000 / CheckMs) {
        std::printf("  (the daemon made only %d motion checks)\n", checks);
        return -1;
    }
    return share;
}

// gst-launch-1.0 running the source for `seconds` in real time, with the
// given elements after it.
double gstLaunchCpuShare(const char *camera, int seconds, const QString &after)
{
    // The description's words, with a frame count so that it ends.
    QStringList words = {"gst-launch-1.0", "-q"};
    words += QString::fromLatin1(camera).split(' ');
    words.insert(4, "num-buffers=" + QString::number(seconds * 30));
    words += after.split(' ');
    std::vector<QByteArray> bytes;
    for (const QString &word : words)
        bytes.push_back(word.toUtf8());
    std::vector<char *> arguments;
    for (QByteArray &word : bytes)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    QElapsedTimer wall;
    wall.start();
    const pid_t child = fork();
    if (child == 0) {
        execvp(arguments[0], arguments.data());
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
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    motionCheckFigures();
    std::printf("idle CPU over %d s, 640x480 at 30 frames/s, check every %.1f s (preview not on screen):\n", seconds, CheckMs / 1000.0);
    std::printf("  wendle run --headless, watch on (/proc/PID/stat):        %5.2f %% of one core\n", 100 * daemonCpuShare(seconds));
    std::printf("  camera view + checks alone, in this process (rusage):   %5.2f %% of one core\n", 100 * watchCpuShare(Camera, seconds));
    std::printf("  gst-launch-1.0, source ! videoconvert ! fakesink (peer): %5.2f %% of one core\n",
                100 * gstLaunchCpuShare(Camera, seconds, "! videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true"));
    std::printf("  gst-launch-1.0, source ! fakesink (the source alone):    %5.2f %% of one core\n",
                100 * gstLaunchCpuShare(Camera, seconds, "! capsfilter caps=video/x-raw,format=BGRx ! fakesink sync=true"));
    std::printf("the same with the source's rate left open (the source makes 30 frames/s unless asked otherwise):\n");
    std::printf("  camera view + checks alone, in this process (rusage):   %5.2f %% of one core\n",
                100 * watchCpuShare(OpenRateCamera, seconds));
    std::printf("the same with a webcam's YUY2 frames (converted to 32 bits):\n");
    std::printf("  camera view + checks alone, in this process (rusage):   %5.2f %% of one core\n",
                100 * watchCpuShare(YuvCamera, seconds));
    std::printf("  gst-launch-1.0, source ! videoconvert ! fakesink (peer): %5.2f %% of one core\n",
                100 * gstLaunchCpuShare(YuvCamera, seconds, "! videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true"));
    std::printf("  gst-launch-1.0, source ! fakesink (the source alone):    %5.2f %% of one core\n",
                100 * gstLaunchCpuShare(YuvCamera, seconds, "! fakesink sync=true"));
    return 0;
}
