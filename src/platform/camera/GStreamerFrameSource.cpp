#include "platform/camera/GStreamerFrameSource.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>

namespace wendle {

namespace {

constexpr const char *SinkName = "wendle_frames";
constexpr const char *RateName = "wendle_rate";
constexpr const char *PaceName = "wendle_pace";
// A camera may take a moment to open its device and deliver the first
// frame; a source that is not ready by then is taken as running and
// reports later failures through its bus.
constexpr GstClockTime StartWait = 3 * GST_SECOND;

QString initialisationFailure()
{
    static const QString failure = [] {
        GError *error = nullptr;
        if (gst_init_check(nullptr, nullptr, &error))
            return QString();
        const QString text = QStringLiteral("Wendle Error: gst_init_check() didn't work; %1")
                                 .arg(QString::fromUtf8(error ? error->message : "unknown reason"));
        g_clear_error(&error);
        return text;
    }();
    return failure;
}

// What the pipeline's bus says about an error or the end of the stream;
// empty when it says nothing of the kind.
QString busFailure(GstElement *pipeline)
{
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *message = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    gst_object_unref(bus);
    if (!message)
        return QString();
    QString text = QStringLiteral("the stream ended");
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError *error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        text = QString::fromUtf8(error ? error->message : "unknown error");
        g_clear_error(&error);
    }
    gst_message_unref(message);
    return text;
}

// `limiter` goes between the source and the conversion; empty for none.
GstElement *buildPipeline(const QString &description, const QByteArray &limiter, const char *sinkOptions, QString *consoleLine)
{
    const QString init = initialisationFailure();
    if (!init.isEmpty()) {
        *consoleLine = init;
        return nullptr;
    }
    // The owner's description comes first so that any source works; the
    // conversion keeps the source's size and only changes the pixel layout.
    const QByteArray text = description.toUtf8() + (limiter.isEmpty() ? QByteArray() : " ! " + limiter)
                            + " ! videoconvert ! video/x-raw,format=BGRx ! appsink name=" + SinkName + ' ' + sinkOptions;
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch_full(text.constData(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &error);
    if (!pipeline || error) {
        *consoleLine = QStringLiteral("Wendle Error: While trying to build the camera pipeline \"%1\"; %2")
                           .arg(description, QString::fromUtf8(error ? error->message : "unknown error"));
        g_clear_error(&error);
        if (pipeline)
            gst_object_unref(pipeline);
        return nullptr;
    }
    return pipeline;
}

GstElement *elementOf(GstElement *pipeline, const char *name)
{
    return GST_IS_BIN(pipeline) ? gst_bin_get_by_name(GST_BIN(pipeline), name) : nullptr;
}

// videorate only drops (never repeats) frames, and only when a maximum is
// set; without one every frame passes.
void applyLimit(GstElement *rate, int framesPerSecond)
{
    if (rate)
        g_object_set(rate, "max-rate", framesPerSecond > 0 ? framesPerSecond : G_MAXINT, nullptr);
}

// Sets the state and waits (bounded) for it; empty on success, otherwise
// the reason, preferably the element's own error text.
QString changeState(GstElement *pipeline, GstState state)
{
    GstStateChangeReturn result = gst_element_set_state(pipeline, state);
    if (result == GST_STATE_CHANGE_ASYNC)
        result = gst_element_get_state(pipeline, nullptr, nullptr, StartWait);
    if (result != GST_STATE_CHANGE_FAILURE)
        return QString();
    const QString reason = busFailure(pipeline);
    return reason.isEmpty() ? QStringLiteral("GST_STATE_CHANGE_FAILURE") : reason;
}

QImage imageFromSample(GstSample *sample)
{
    GstVideoInfo info;
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    GstCaps *caps = gst_sample_get_caps(sample);
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps))
        return QImage();
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return QImage();
    // BGRx in memory is what QImage calls RGB32 on a little-endian machine.
    const QImage view(static_cast<const uchar *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_FRAME_WIDTH(&frame),
                      GST_VIDEO_FRAME_HEIGHT(&frame), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
    QImage copy = view.copy();
    gst_video_frame_unmap(&frame);
    return copy;
}

} // namespace

GStreamerFrameSource::~GStreamerFrameSource()
{
    close();
}

bool GStreamerFrameSource::open(const QString &description, QString *consoleLine)
{
    close();
    // Newest frame only, paced by the clock: a source that could run faster
    // than real time (a test pattern, a file) does not spin a core.
    // Frames beyond the limit are dropped before the conversion, the costly
    // step of a pipeline whose pictures nobody looks at.
    GstElement *pipeline =
        buildPipeline(description, QByteArray("capsfilter name=") + PaceName + " ! videorate drop-only=true name=" + RateName,
                      "max-buffers=1 drop=true sync=true wait-on-eos=false", consoleLine);
    if (!pipeline)
        return false;
    GstElement *sink = elementOf(pipeline, SinkName);
    GstElement *rate = elementOf(pipeline, RateName);
    applyLimit(rate, m_frameRateLimit);
    const QString reason = sink ? changeState(pipeline, GST_STATE_PLAYING) : QStringLiteral("no frame sink");
    if (!reason.isEmpty()) {
        *consoleLine = QStringLiteral("Wendle Error: gst_element_set_state() returned %1").arg(reason);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        if (sink)
            gst_object_unref(sink);
        if (rate)
            gst_object_unref(rate);
        gst_object_unref(pipeline);
        return false;
    }
    m_pipeline = pipeline;
    m_sink = sink;
    m_rate = rate;
    m_pace = elementOf(pipeline, PaceName);
    m_failure.clear();
    pace();
    return true;
}

bool GStreamerFrameSource::resume()
{
    if (!m_pipeline || !failure().isEmpty())
        return false;
    return changeState(m_pipeline, GST_STATE_PLAYING).isEmpty();
}

QString GStreamerFrameSource::close()
{
    if (!m_pipeline)
        return QString();
    const GstStateChangeReturn result = gst_element_set_state(m_pipeline, GST_STATE_NULL);
    gst_object_unref(m_sink);
    if (m_rate)
        gst_object_unref(m_rate);
    if (m_pace)
        gst_object_unref(m_pace);
    gst_object_unref(m_pipeline);
    m_rate = nullptr;
    m_pace = nullptr;
    m_pacePending = false;
    m_sink = nullptr;
    m_pipeline = nullptr;
    m_failure.clear();
    return result == GST_STATE_CHANGE_FAILURE ? QStringLiteral("GST_STATE_CHANGE_FAILURE") : QString();
}

QImage GStreamerFrameSource::takeFrame(std::chrono::milliseconds wait)
{
    if (!m_sink)
        return QImage();
    const GstClockTime timeout = GstClockTime(wait.count()) * GST_MSECOND;
    GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink), timeout);
    if (!sample)
        return QImage();
    QImage image = imageFromSample(sample);
    gst_sample_unref(sample);
    if (m_pacePending)
        pace();
    return image;
}

void GStreamerFrameSource::setFrameRateLimit(int framesPerSecond)
{
    const int limit = std::max(0, framesPerSecond);
    if (limit == m_frameRateLimit)
        return;
    m_frameRateLimit = limit;
    applyLimit(m_rate, limit);
    pace();
}

void GStreamerFrameSource::pace()
{
    m_pacePending = false;
    if (!m_pace)
        return;
    if (m_frameRateLimit == 0) {
        GstCaps *any = gst_caps_new_any();
        g_object_set(m_pace, "caps", any, nullptr);
        gst_caps_unref(any);
        return;
    }
    // What the source delivers now: its format is kept, only the rate may
    // go down. Before the first frame it is not known yet.
    GstPad *pad = gst_element_get_static_pad(m_pace, "sink");
    GstCaps *current = pad ? gst_pad_get_current_caps(pad) : nullptr;
    if (pad)
        gst_object_unref(pad);
    if (!current) {
        m_pacePending = true;
        return;
    }
    int numerator = 0;
    int denominator = 1;
    const GstStructure *format = gst_caps_get_structure(current, 0);
    // A variable rate (0/1) or one within the limit stays as it is.
    if (!format || !gst_structure_get_fraction(format, "framerate", &numerator, &denominator) || denominator <= 0
        || numerator <= m_frameRateLimit * denominator) {
        gst_caps_unref(current);
        return;
    }
    // Preferred: the same format at a rate within the limit; where the
    // source offers none (its slowest rate is faster, or the description
    // fixes the rate), exactly what it delivers now, so nothing changes.
    GstCaps *slower = gst_caps_copy(current);
    gst_caps_set_simple(slower, "framerate", GST_TYPE_FRACTION_RANGE, 1, 1, m_frameRateLimit, 1, nullptr);
    gst_caps_append(slower, current);
    g_object_set(m_pace, "caps", slower, nullptr);
    gst_caps_unref(slower);
}

QString GStreamerFrameSource::failure()
{
    if (m_pipeline && m_failure.isEmpty())
        m_failure = busFailure(m_pipeline);
    return m_failure;
}

QList<QImage> GStreamerFrameSource::readFrames(const QString &description, int count, QString *error)
{
    QList<QImage> frames;
    // Every frame, none dropped; the small queue holds the source back
    // instead of filling memory.
    GstElement *pipeline = buildPipeline(description, QByteArray(), "max-buffers=4 drop=false sync=false", error);
    if (!pipeline)
        return frames;
    GstElement *sink = elementOf(pipeline, SinkName);
    const QString reason = sink ? changeState(pipeline, GST_STATE_PLAYING) : QStringLiteral("no frame sink");
    if (reason.isEmpty()) {
        while (frames.size() < count) {
            GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), StartWait);
            if (!sample)
                break;
            frames.append(imageFromSample(sample));
            gst_sample_unref(sample);
        }
    } else {
        *error = reason;
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    if (sink)
        gst_object_unref(sink);
    gst_object_unref(pipeline);
    return frames;
}

} // namespace wendle
