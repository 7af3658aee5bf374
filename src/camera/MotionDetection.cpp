#include "camera/MotionDetection.h"

#include "platform/console/Console.h"

#include <cmath>

namespace wendle {

namespace {

// The sensitivity is also the watch's interval in seconds; values outside
// this range are taken as its ends.
constexpr double LeastSensitivity = 0.1;
constexpr double MostSensitivity = 10.0;

// Base refresh steps: quick while the room is quiet (a sunset is absorbed
// within a few checks), slow during motion (a parked object after a few
// minutes, while a passer-by leaves no lasting trace).
constexpr int QuietRefreshShift = 3;  // 1/8 of the distance per check
constexpr int MotionRefreshShift = 6; // 1/64

QString percent(double fraction)
{
    return QString::number(fraction * 100.0, 'f', 1);
}

} // namespace

MotionThresholds MotionThresholds::forSensitivity(double sensitivity)
{
    const double s = std::isnan(sensitivity) ? 1.5 : std::clamp(sensitivity, LeastSensitivity, MostSensitivity);
    // The fixed parts keep what a block mean of a noisy webcam picture (or a
    // patch of snow) wanders by out of the count; the sensitivity only
    // raises them.
    MotionThresholds thresholds;
    thresholds.noiseFloor = int(std::lround(8.0 + 16.0 / s));
    thresholds.motionFraction = 0.002 + 0.006 / s;
    return thresholds;
}

BlockMeans BlockMeans::of(const QImage &picture)
{
    BlockMeans blocks;
    blocks.columns = (picture.width() + BlockSize - 1) / BlockSize;
    blocks.rows = (picture.height() + BlockSize - 1) / BlockSize;
    std::vector<std::uint32_t> sums(size_t(blocks.blockCount()) * 3, 0);
    for (int y = 0; y < picture.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        std::uint32_t *blockRow = sums.data() + size_t(y / BlockSize) * blocks.columns * 3;
        for (int x = 0; x < picture.width(); ++x) {
            std::uint32_t *sum = blockRow + (x / BlockSize) * 3;
            sum[0] += qRed(row[x]);
            sum[1] += qGreen(row[x]);
            sum[2] += qBlue(row[x]);
        }
    }
    blocks.means.resize(sums.size());
    for (int by = 0; by < blocks.rows; ++by) {
        const int height = std::min(BlockSize, picture.height() - by * BlockSize);
        for (int bx = 0; bx < blocks.columns; ++bx) {
            const std::uint32_t count = std::uint32_t(height * std::min(BlockSize, picture.width() - bx * BlockSize));
            const size_t at = (size_t(by) * blocks.columns + bx) * 3;
            for (size_t c = 0; c < 3; ++c)
                blocks.means[at + c] = std::int32_t(((sums[at + c] << 8) + count / 2) / count);
        }
    }
    return blocks;
}

qsizetype countChangedBlocks(const BlockMeans &base, const BlockMeans &frame, int noiseFloor)
{
    const std::int32_t floor = noiseFloor << 8;
    qsizetype changed = 0;
    for (size_t i = 0; i + 2 < base.means.size() && i + 2 < frame.means.size(); i += 3) {
        changed += std::abs(base.means[i] - frame.means[i]) > floor || std::abs(base.means[i + 1] - frame.means[i + 1]) > floor
                   || std::abs(base.means[i + 2] - frame.means[i + 2]) > floor;
    }
    return changed;
}

void MotionDetection::reset()
{
    m_base = QImage();
    m_fineBase.clear();
    m_baseBlocks = BlockMeans();
}

void MotionDetection::setBaseMotionImage(const QImage &image)
{
    if (image.isNull()) {
        m_console.writeLine(QStringLiteral("nil image for setBaseMotionImage"));
        return;
    }
    m_base = image.convertToFormat(QImage::Format_RGB32);
    m_base.detach(); // the frame it came from may be changed by its owner
    m_fineBase.resize(size_t(m_base.width()) * m_base.height() * 3);
    size_t i = 0;
    for (int y = 0; y < m_base.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(m_base.constScanLine(y));
        for (int x = 0; x < m_base.width(); ++x) {
            m_fineBase[i++] = qRed(row[x]) << 8;
            m_fineBase[i++] = qGreen(row[x]) << 8;
            m_fineBase[i++] = qBlue(row[x]) << 8;
        }
    }
    m_baseBlocks = BlockMeans::of(m_base);
    m_console.writeLine(QString::asprintf("baseMotionImage set, image size is (%f, %f)", double(m_base.width()),
                                          double(m_base.height())));
}

bool MotionDetection::detectMotion(const QImage &image, float sensitivity)
{
    if (m_base.isNull()) {
        if (!image.isNull())
            setBaseMotionImage(image);
        return false;
    }
    m_console.writeLine(QString::asprintf("trying to detect motion with sensitivity = %f", double(sensitivity)));
    m_console.writeLine(QString::asprintf("baseMotionImage size is (%f, %f)", double(m_base.width()), double(m_base.height())));
    m_console.writeLine(QString::asprintf("new image size is (%f, %f)", double(image.width()), double(image.height())));
    if (image.isNull())
        return false;

    const QImage frame = image.convertToFormat(QImage::Format_RGB32);
    if (frame.size() != m_base.size()) {
        m_console.writeLine(QStringLiteral("Wendle Error: the camera frame is %1×%2 but the base image is %3×%4; the frame becomes the new base")
                                .arg(frame.width()).arg(frame.height()).arg(m_base.width()).arg(m_base.height()));
        setBaseMotionImage(frame);
        return false;
    }

    const MotionThresholds thresholds = MotionThresholds::forSensitivity(sensitivity);
    const BlockMeans frameBlocks = BlockMeans::of(frame);
    const double changed = double(countChangedBlocks(m_baseBlocks, frameBlocks, thresholds.noiseFloor))
                           / double(frameBlocks.blockCount());
    if (changed >= NewSceneFraction) {
        m_console.writeLine(QStringLiteral("Wendle Log Update:  %1 % of the picture changed at once; taking it as the new base image")
                                .arg(percent(changed)));
        setBaseMotionImage(frame);
        return false;
    }
    const bool motion = changed >= thresholds.motionFraction;
    if (motion)
        m_console.writeLine(QStringLiteral("Wendle Log Update:  motion detected, %1 % of the picture changed").arg(percent(changed)));
    refreshBase(frame, frameBlocks, motion ? MotionRefreshShift : QuietRefreshShift);
    return motion;
}

void MotionDetection::refreshBase(const QImage &frame, const BlockMeans &frameBlocks, int shift)
{
    for (size_t j = 0; j < m_baseBlocks.means.size(); ++j)
        m_baseBlocks.means[j] += (frameBlocks.means[j] - m_baseBlocks.means[j]) >> shift;
    size_t i = 0;
    for (int y = 0; y < m_base.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(m_base.scanLine(y));
        for (int x = 0; x < m_base.width(); ++x) {
            int channels[3] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x])};
            for (int &channel : channels) {
                const int fine = m_fineBase[i];
                const int moved = fine + (((channel << 8) - fine) >> shift);
                m_fineBase[i++] = moved;
                channel = (moved + 128) >> 8;
            }
            out[x] = qRgb(std::min(channels[0], 255), std::min(channels[1], 255), std::min(channels[2], 255));
        }
    }
}

QImage MotionDetection::differenceFromImage(const QImage &image) const
{
    QImage difference = m_base.copy();
    if (image.isNull() || difference.isNull())
        return difference;
    const QImage frame = image.convertToFormat(QImage::Format_RGB32);
    const int width = std::min(frame.width(), difference.width());
    const int height = std::min(frame.height(), difference.height());
    for (int y = 0; y < height; ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(difference.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = qRgb(std::abs(qRed(in[x]) - qRed(out[x])), std::abs(qGreen(in[x]) - qGreen(out[x])),
                          std::abs(qBlue(in[x]) - qBlue(out[x])));
    }
    return difference;
}

} // namespace wendle
