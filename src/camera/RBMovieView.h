#pragma once

#include "platform/scheduler/Scheduler.h"

#include <QImage>
#include <QWidget>

#include <functional>

namespace wendle {

class Console;
class FrameSource;

// The camera preview and the one way the application gets pictures. It
// starts the frame source on the first restartPreview, shows the newest
// frame twenty times a second while it is on screen, and hands out the
// current frame on request. Off screen (a headless run, a hidden window or
// tab) it is a plain frame holder: the source delivers a few frames a
// second, which stay in it until grabFrame asks.
class RBMovieView : public QWidget {
    Q_OBJECT

public:
    // The source description is read at each set-up, so a changed setting
    // applies at the next start of the camera.
    RBMovieView(FrameSource &source, Scheduler &scheduler, Console &console, std::function<QString()> sourceDescription,
                QWidget *parent = nullptr);
    ~RBMovieView() override;

    // True when the preview runs afterwards; sets the camera up when it is
    // not available.
    bool restartPreview();
    void stopPreview();
    bool cameraAvailable() const;
    // The current frame (waiting briefly for the first one after a start);
    // null when there is no camera or it delivered nothing.
    QImage grabFrame();
    // True once a running camera stopped delivering (unplugged, stream
    // ended), until it is set up again.
    bool signalLost() const { return m_signalLost; }

    QImage image() const { return m_image; }
    void setImage(const QImage &image);
    QSize sizeHint() const override { return {320, 240}; }

    // Frames a second the source delivers while the preview is off screen:
    // enough for the motion watch and snapshots, whose frame is then at
    // most this old, at a fraction of a camera's conversions.
    static constexpr int UnseenFramesPerSecond = 5;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setupComponents();
    void updateDisplay();
    void stopUpdateTimer();
    // A source that fails on every attempt (no camera attached) is
    // reported once, not at every snapshot.
    void reportSetupFailure(const QString &description, const QString &line);

    FrameSource &m_source;
    Scheduler &m_scheduler;
    Console &m_console;
    std::function<QString()> m_sourceDescription;
    TimerId m_timer = 0;
    bool m_signalLost = false;
    QImage m_frame;
    QImage m_image;
    QString m_failedDescription;
};

} // namespace wendle
