#pragma once

#include "platform/scheduler/Scheduler.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QPointer>
#include <QVariant>

#include <chrono>
#include <memory>

namespace wendle {

class MotionDetection;
class RBMovieView;

struct CameraState {
    TimerId snapshotTimer = 0; // the last one-shot timer; an earlier one still fires
    int snapshotsPending = 0;  // snapshots asked for and not yet mailed
    TimerId motionTimer = 0;
    // A camera that lost its signal while watched is started again after
    // retryDelay, which doubles at each failed try. The delay is forgiven
    // only once the camera has run that long again: one that opens and
    // fails at once is not restarted every second.
    TimerId retryTimer = 0;
    TimerId settleTimer = 0;
    std::chrono::milliseconds retryDelay{0};
    bool returnUnsettled = false;
    QColor stampColor = QColor::fromRgbF(0, 1, 0, 1);
    QVariant storedStampColor; // the settings file's value when it was last taken up
    QImage currentSnapshot;
    // Made on first use; a window that adopts the view may delete it, which
    // the pointer notices.
    QPointer<RBMovieView> movieView;
    std::unique_ptr<MotionDetection> motionDetector;
    // The switch values the checkbox actions last ran for: a stored value
    // that differs from them is a change to act on.
    bool cameraSwitch = false;
    bool motionSwitch = false;
    QDateTime lastMotionAlert;
};

} // namespace wendle
