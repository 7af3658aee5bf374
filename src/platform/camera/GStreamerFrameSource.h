#pragma once

#include "platform/camera/FrameSource.h"

#include <QList>

typedef struct _GstElement GstElement;

namespace wendle {

// Frames from a GStreamer pipeline: the owner's source description (a
// camera's "v4l2src", or any source such as "videotestsrc pattern=ball")
// followed by two rate limiters (the source's own rate where it can change,
// otherwise dropping frames), a conversion to 32-bit pixels and an appsink
// that keeps only the newest frame. Nothing runs a GLib main loop: frames and bus messages
// are collected when the main thread asks.
class GStreamerFrameSource : public FrameSource {
public:
    GStreamerFrameSource() = default;
    ~GStreamerFrameSource() override;
    GStreamerFrameSource(const GStreamerFrameSource &) = delete;
    GStreamerFrameSource &operator=(const GStreamerFrameSource &) = delete;

    bool open(const QString &description, QString *consoleLine) override;
    bool resume() override;
    QString close() override;
    bool isOpen() const override { return m_pipeline != nullptr; }
    QImage takeFrame(std::chrono::milliseconds wait) override;
    void setFrameRateLimit(int framesPerSecond) override;
    QString failure() override;

    // The first `count` frames of a finite description, every one in order
    // and as fast as they can be made (for tests and benchmarks, which need
    // the same frames on every run). Fewer when the stream ends early; none
    // and `error` set when it does not start.
    static QList<QImage> readFrames(const QString &description, int count, QString *error);

private:
    // Asks the source itself for no more frames than the limit, where its
    // formats allow that; a camera then captures (and a test pattern draws)
    // fewer frames, not only converts fewer.
    void pace();

    GstElement *m_pipeline = nullptr;
    GstElement *m_sink = nullptr;
    GstElement *m_rate = nullptr;
    GstElement *m_pace = nullptr;
    bool m_pacePending = false; // the source's format was not known yet
    int m_frameRateLimit = 0;
    QString m_failure;
};

} // namespace wendle
