#include "app/Controller.h"

#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "camera/SnapshotPicture.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"
#include "settings/SettingRules.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cmath>

namespace wendle {

namespace {

using namespace std::chrono_literals;

// A timer of 0 s would spin the main loop; a huge one would overflow it.
constexpr double ShortestCheckSeconds = 0.1;
constexpr double LongestCheckSeconds = 3600.0;

constexpr std::chrono::milliseconds FirstRetryDelay = 1s;
// A camera gone for good costs a try every five minutes; one plugged back in
// is watched again within that time.
constexpr std::chrono::milliseconds LongestRetryDelay = 5min;

bool available(const QPointer<RBMovieView> &view)
{
    return view && view->cameraAvailable();
}

} // namespace

void Controller::launchCamera()
{
    m_camera.cameraSwitch = m_platform.preferences.boolValue(RBEnableiSight);
    m_camera.motionSwitch = m_platform.preferences.boolValue(RBEnableiSightMotion);
    if (!m_camera.cameraSwitch || !m_camera.motionSwitch)
        return;
    movieView()->restartPreview();
    startMotionTimer();
}

void Controller::shutDownCamera()
{
    m_platform.scheduler.cancel(m_camera.snapshotTimer);
    m_platform.scheduler.cancel(m_camera.motionTimer);
    stopCameraRetry();
    delete m_camera.movieView.data();
}

void Controller::startMotionTimer()
{
    double seconds = m_platform.preferences.doubleValue(RBiSightSensitivity);
    if (!(seconds >= ShortestCheckSeconds && seconds <= LongestCheckSeconds)) {
        const double used = seconds > LongestCheckSeconds ? LongestCheckSeconds : ShortestCheckSeconds;
        m_platform.console.writeLine(
            QStringLiteral("Wendle Error: iSightSensitivity %1 is outside %2 to %3 seconds; checking every %4 seconds")
                .arg(seconds)
                .arg(ShortestCheckSeconds)
                .arg(LongestCheckSeconds)
                .arg(used));
        seconds = used;
    }
    m_platform.scheduler.cancel(m_camera.motionTimer);
    const auto interval = std::chrono::milliseconds(std::llround(seconds * 1000.0));
    m_camera.motionTimer = m_platform.scheduler.schedule(interval, true, [this] { compareMotion(); });
}

void Controller::stopMotionWatch()
{
    m_platform.scheduler.cancel(m_camera.motionTimer);
    m_camera.motionTimer = 0;
    stopCameraRetry();
    if (available(m_camera.movieView))
        m_camera.movieView->stopPreview();
    motionDetector().reset();
}

void Controller::changeiSightCheckbox()
{
    const bool camera = m_platform.preferences.boolValue(RBEnableiSight);
    const bool motion = m_platform.preferences.boolValue(RBEnableiSightMotion);
    m_camera.cameraSwitch = camera;
    m_camera.motionSwitch = motion;
    if (!camera) {
        stopMotionWatch();
        return;
    }
    if (!motion)
        return;
    movieView()->restartPreview();
    startMotionTimer();
}

void Controller::changeMotionCheckbox()
{
    const bool motion = m_platform.preferences.boolValue(RBEnableiSightMotion);
    m_camera.cameraSwitch = m_platform.preferences.boolValue(RBEnableiSight);
    m_camera.motionSwitch = motion;
    if (motion) {
        // The watch needs frames: it starts a camera that does not run yet,
        // where the camera switch allows one.
        if (m_camera.cameraSwitch)
            movieView()->restartPreview();
        startMotionTimer();
        return;
    }
    if (m_camera.motionTimer != 0)
        stopMotionWatch();
}

void Controller::cameraPreferencesChanged()
{
    const bool camera = m_platform.preferences.boolValue(RBEnableiSight);
    const bool motion = m_platform.preferences.boolValue(RBEnableiSightMotion);
    if (camera != m_camera.cameraSwitch)
        changeiSightCheckbox();
    if (motion != m_camera.motionSwitch)
        changeMotionCheckbox();
}

void Controller::compareMotion()
{
    if (!available(m_camera.movieView)) {
        // Only a camera that stopped delivering is tried again; one that
        // never started stays as the switches and snapshots left it.
        if (m_camera.movieView && m_camera.movieView->signalLost())
            scheduleCameraRetry();
        return;
    }
    // Back through another start (a snapshot) while a try was waiting.
    if (m_camera.retryTimer != 0)
        cameraReturned();
    const float sensitivity = float(m_platform.preferences.doubleValue(RBiSightSensitivity));
    const QImage frame = m_camera.movieView->grabFrame();
    if (motionDetector().detectMotion(frame, sensitivity))
        mailMotionAlert(frame);
}

void Controller::scheduleCameraRetry()
{
    if (m_camera.retryTimer != 0)
        return;
    m_platform.scheduler.cancel(m_camera.settleTimer);
    m_camera.settleTimer = 0;
    // Lost again before it settled: a camera that fails as it starts is
    // tried less often, as one that does not start at all.
    if (m_camera.returnUnsettled)
        m_camera.retryDelay *= 2;
    m_camera.returnUnsettled = false;
    m_camera.retryDelay = std::clamp(m_camera.retryDelay, FirstRetryDelay, LongestRetryDelay);
    m_camera.retryTimer = m_platform.scheduler.schedule(m_camera.retryDelay, false, [this] { retryCamera(); });
}

void Controller::retryCamera()
{
    m_camera.retryTimer = 0;
    // Failures are told once per outage by the view, not at every try.
    if (!m_camera.movieView || !m_camera.movieView->restartPreview()) {
        m_camera.retryDelay = std::min(2 * m_camera.retryDelay, LongestRetryDelay);
        scheduleCameraRetry();
        return;
    }
    cameraReturned();
}

void Controller::cameraReturned()
{
    m_platform.scheduler.cancel(m_camera.retryTimer);
    m_camera.retryTimer = 0;
    m_platform.console.writeLine(QStringLiteral("Camera signal back; watching for motion again"));
    // The camera may come back moved or in other light: its first frame is
    // a new base, not motion.
    motionDetector().reset();
    m_camera.returnUnsettled = true;
    m_camera.settleTimer = m_platform.scheduler.schedule(m_camera.retryDelay, false, [this] {
        m_camera.settleTimer = 0;
        if (!available(m_camera.movieView))
            return;
        m_camera.returnUnsettled = false;
        m_camera.retryDelay = 0ms;
    });
}

void Controller::stopCameraRetry()
{
    m_platform.scheduler.cancel(m_camera.retryTimer);
    m_platform.scheduler.cancel(m_camera.settleTimer);
    m_camera.retryTimer = 0;
    m_camera.settleTimer = 0;
    m_camera.retryDelay = 0ms;
    m_camera.returnUnsettled = false;
}

void Controller::mailMotionAlert(QImage frame)
{
    if (!m_platform.preferences.boolValue(RBMotionAlertFlag))
        return;
    const QDateTime now = m_platform.clock.now();
    const qint64 interval = checkedSettingValue(m_platform.preferences, RBMotionAlertInterval).toLongLong();
    if (m_camera.lastMotionAlert.isValid() && m_camera.lastMotionAlert.secsTo(now) < interval)
        return;
    m_camera.lastMotionAlert = now;
    // Always stamped: an alert picture is worth little without its time.
    drawDateStamp(frame, shortDateTime(now), m_camera.stampColor);
    QString path;
    if (!writeSnapshotFile(frame, &path))
        return;
    log(localized(QStringLiteral("motion_alert_log")));
    // The alert answers no command: it goes to the owner's own mailbox, and
    // the sender of the current command stays what it was.
    const QString commandSender = m_intake.cmdAddress;
    const QString commandMessageId = m_intake.cmdMessageId;
    setCmdAddress(m_platform.preferences.stringValue(RBRemoteEmailAddress));
    sendMessageWithContents(localized(QStringLiteral("motion_alert")), QString(), path);
    m_intake.cmdAddress = commandSender;
    m_intake.cmdMessageId = commandMessageId;
}

} // namespace wendle
