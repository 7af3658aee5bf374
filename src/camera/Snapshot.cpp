#include "app/Controller.h"

#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "camera/SnapshotPicture.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"
#include "settings/Settings.h"

#include <QDir>
#include <QSaveFile>

#include <cmath>

namespace wendle {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds GrabDelay = 500ms;
constexpr std::chrono::milliseconds MailDelay = 3000ms;
constexpr const char *SnapshotFileName = "snapshot.jpg";

} // namespace

RBMovieView *Controller::movieView()
{
    if (!m_camera.movieView) {
        m_camera.movieView = new RBMovieView(m_platform.camera, m_platform.scheduler, m_platform.console,
                                             [this] { return m_platform.preferences.stringValue(RBCameraSource); });
    }
    return m_camera.movieView;
}

void Controller::takeSnapshotAndEmailTo(const QString &ccAddress)
{
    if (!m_platform.preferences.boolValue(RBEnableiSight)) {
        log(localized(QStringLiteral("stopped_snapshot_log")));
        return;
    }
    log(localized(QStringLiteral("take_snapshot_log")));
    setLastCCAddress(ccAddress);
    startPreview();
    // Replacing the held timer does not cancel it: two snapshot commands
    // close together both get their mail.
    ++m_camera.snapshotsPending;
    m_camera.snapshotTimer = m_platform.scheduler.schedule(MailDelay, false, [this, askedBy = m_intake.cmdMessageId] {
        --m_camera.snapshotsPending;
        answerUnder(askedBy, [this] { emailSnapshot(); });
        settleCommands();
    });
}

void Controller::startPreview()
{
    RBMovieView *view = movieView();
    view->restartPreview();
    if (view->cameraAvailable()) {
        m_camera.snapshotTimer = m_platform.scheduler.schedule(GrabDelay, false, [this] { grabCameraSnapshot(); });
        return;
    }
    view->stopPreview();
    const QImage placeholder = noCameraPicture(view->size(), localized(QStringLiteral("no_camera_title")), m_camera.stampColor);
    view->setImage(placeholder);
    setCurrentSnapshot(placeholder);
}

QImage Controller::grabCameraSnapshot()
{
    RBMovieView *view = movieView();
    view->restartPreview();
    if (!view->cameraAvailable())
        return QImage();
    QImage frame = view->grabFrame();
    if (frame.isNull())
        return QImage();
    if (m_platform.preferences.boolValue(RBiSightDateStamp))
        drawDateStamp(frame, shortDateTime(m_platform.clock.now()), m_camera.stampColor);
    setCurrentSnapshot(frame);
    return frame;
}

void Controller::emailSnapshot()
{
    if (m_camera.currentSnapshot.isNull())
        return;
    QString path;
    if (!writeSnapshotFile(m_camera.currentSnapshot, &path))
        return;
    sendMessageWithContents(localized(QStringLiteral("isight_attached")), lastCCAddress(), path);
}

bool Controller::writeSnapshotFile(const QImage &picture, QString *path)
{
    double quality = m_platform.preferences.doubleValue(RBiSightQuality);
    if (!(quality >= 0.0 && quality <= 1.0)) {
        const double used = std::isnan(quality) ? 0.2 : std::clamp(quality, 0.0, 1.0);
        m_platform.console.writeLine(
            QStringLiteral("Wendle Error: iSightQuality %1 is outside 0.0 to 1.0; using %2").arg(quality).arg(used));
        quality = used;
    }
    const QByteArray jpeg = jpegData(picture, quality);
    if (jpeg.isEmpty())
        return false;
    const QString folder = applicationSupportFolder();
    *path = folder + u'/' + QLatin1String(SnapshotFileName);
    QDir().mkpath(folder);
    // Written whole under another name and renamed, so a mail being
    // composed never reads half a picture.
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit()) {
        m_platform.console.writeLine(QStringLiteral("Wendle Error: could not write %1: %2").arg(*path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace wendle
