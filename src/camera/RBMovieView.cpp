#include "camera/RBMovieView.h"

#include "platform/camera/FrameSource.h"
#include "platform/console/Console.h"

#include <QPainter>

namespace wendle {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds UpdateInterval = 50ms;
// How long grabFrame waits for the first frame of a camera just started;
// cameras take a moment to open, test patterns are at once.
constexpr std::chrono::milliseconds FirstFrameWait = 2000ms;

} // namespace

RBMovieView::RBMovieView(FrameSource &source, Scheduler &scheduler, Console &console, std::function<QString()> sourceDescription,
                         QWidget *parent)
    : QWidget(parent)
    , m_source(source)
    , m_scheduler(scheduler)
    , m_console(console)
    , m_sourceDescription(std::move(sourceDescription))
{
    // The size a placeholder gets until a window lays the view out.
    resize(640, 480);
    m_source.setFrameRateLimit(UnseenFramesPerSecond);
}

RBMovieView::~RBMovieView()
{
    stopUpdateTimer();
    m_source.close();
}

bool RBMovieView::cameraAvailable() const
{
    return m_source.isOpen();
}

bool RBMovieView::restartPreview()
{
    if (cameraAvailable())
        return m_source.resume();
    setupComponents();
    return cameraAvailable();
}

void RBMovieView::setupComponents()
{
    // An earlier set-up's timer would tick on a source that is gone.
    stopUpdateTimer();
    const QString description = m_sourceDescription();
    QString consoleLine;
    if (!m_source.open(description, &consoleLine)) {
        reportSetupFailure(description, consoleLine);
        return;
    }
    m_failedDescription.clear();
    m_signalLost = false;
    m_frame = QImage();
    m_timer = m_scheduler.schedule(UpdateInterval, true, [this] { updateDisplay(); });
}

void RBMovieView::reportSetupFailure(const QString &description, const QString &line)
{
    if (description == m_failedDescription)
        return;
    m_failedDescription = description;
    m_console.writeLine(line);
}

void RBMovieView::stopPreview()
{
    m_console.writeLine(QStringLiteral("stopPreview called...killing camera"));
    const QString status = m_source.close();
    if (!status.isEmpty())
        m_console.writeLine(QStringLiteral("Wendle Error: While trying to stop the camera preview; %1").arg(status));
    stopUpdateTimer();
    m_frame = QImage();
    setImage(QImage());
}

void RBMovieView::stopUpdateTimer()
{
    m_scheduler.cancel(m_timer);
    m_timer = 0;
}

QImage RBMovieView::grabFrame()
{
    if (!cameraAvailable())
        return QImage();
    const QImage frame = m_source.takeFrame(m_frame.isNull() ? FirstFrameWait : 0ms);
    if (!frame.isNull())
        m_frame = frame;
    return m_frame;
}

void RBMovieView::updateDisplay()
{
    const QString failure = m_source.failure();
    if (!failure.isEmpty()) {
        // The camera is gone; the next restartPreview sets it up again.
        m_console.writeLine(QStringLiteral("Wendle Error: Camera signal lost..."));
        m_console.writeLine(QStringLiteral("Wendle Error: the camera stopped: %1").arg(failure));
        m_source.close();
        stopUpdateTimer();
        m_signalLost = true;
        m_frame = QImage();
        setImage(QImage());
        return;
    }
    // Nobody looks: the frames wait in the source for grabFrame.
    if (!isVisible())
        return;
    const QImage frame = m_source.takeFrame(0ms);
    if (frame.isNull())
        return;
    m_frame = frame;
    setImage(frame);
}

void RBMovieView::showEvent(QShowEvent *event)
{
    m_source.setFrameRateLimit(0);
    QWidget::showEvent(event);
}

void RBMovieView::hideEvent(QHideEvent *event)
{
    m_source.setFrameRateLimit(UnseenFramesPerSecond);
    QWidget::hideEvent(event);
}

void RBMovieView::setImage(const QImage &image)
{
    m_image = image;
    update();
}

void RBMovieView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_image.isNull())
        return;
    QSize fitted = m_image.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_image);
}

} // namespace wendle
