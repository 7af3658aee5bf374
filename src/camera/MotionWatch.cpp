#include "app/Controller.h"

#include "app/SettingRules.h"
#include "app/Settings.h"
#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "camera/SnapshotPicture.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"

#include <cmath>

namespace wendle {

namespace {

// A timer of 0 s would spin the main loop; a huge one would overflow it.
constexpr double ShortestCheckSeconds = 0.1;
constexpr double LongestCheckSeconds = 3600.0;

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
    delete m_camera.movieView.data();
}

void Controller::startMotionTimer()
{
    double seconds = m_platform.preferences.doubleValue(RBiSightSensitivity);
    if (!(seconds >= ShortestCheckSeconds && seconds <= LongestCheckSeconds)) {
        const double used = seconds > LongestCheckSeconds ? LongestCheckSeconds : ShortestCheckSeconds;
        m_platform.console.writeLine(QStringLiteral("Wendle Error: iSightSensitivity %1 is outside %2 to %3 seconds; checking every %4 seconds")
                                         .arg(seconds).arg(ShortestCheckSeconds).arg(LongestCheckSeconds).arg(used));
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
    if (available(m_camera.movieView))
        m_camera.movieView->restartPreview();
    startMotionTimer();
}

void Controller::changeMotionCheckbox()
{
    const bool motion = m_platform.preferences.boolValue(RBEnableiSightMotion);
    m_camera.cameraSwitch = m_platform.preferences.boolValue(RBEnableiSight);
    m_camera.motionSwitch = motion;
    if (motion) {
        if (available(m_camera.movieView))
            m_camera.movieView->restartPreview();
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
    if (!available(m_camera.movieView))
        return;
    const float sensitivity = float(m_platform.preferences.doubleValue(RBiSightSensitivity));
    const QImage frame = m_camera.movieView->grabFrame();
    if (motionDetector().detectMotion(frame, sensitivity))
        mailMotionAlert(frame);
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
