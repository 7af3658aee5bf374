#pragma once

#include <QImage>
#include <QString>

#include <chrono>

namespace wendle {

// A camera, or anything that delivers pictures like one: opened from a
// description, then asked for its newest frame. Frames are 32-bit
// (QImage::Format_RGB32) at the source's own size. Every call is made on the
// main thread; an adapter may produce frames elsewhere.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Starts the source. On failure answers false and sets `consoleLine` to
    // the line that names the step that failed and why.
    virtual bool open(const QString &description, QString *consoleLine) = 0;
    // Starts an opened source again after a pause; false when it will not run.
    virtual bool resume() = 0;
    // Stops and forgets the source. An empty answer means it stopped cleanly,
    // otherwise the answer says what went wrong while stopping.
    virtual QString close() = 0;
    virtual bool isOpen() const = 0;

    // The newest frame delivered since the last call, waiting up to `wait`
    // for one; null when none came.
    virtual QImage takeFrame(std::chrono::milliseconds wait) = 0;
    // At most this many frames a second are delivered (0: every frame the
    // source makes); the others are dropped before they cost a conversion.
    // Applies at once and to later opens.
    virtual void setFrameRateLimit(int framesPerSecond) = 0;
    // Empty while the source delivers; once it has failed or ended (a camera
    // unplugged, a stream that ran out) the reason, until it is closed.
    virtual QString failure() = 0;
};

} // namespace wendle
