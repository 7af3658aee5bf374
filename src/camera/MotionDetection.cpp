#include "camera/MotionDetection.h"

#include "platform/console/Console.h"

#include <algorithm>
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
    blocks.means.resize(size_t(blocks.blockCount()) * 3);
    // Red and blue are summed together in the two halves of one word, green
    // in another: a block holds at most 256 pixels, so no half carries into
    // the next, and a pixel costs two masks and two adds.
    std::vector<std::uint32_t> redBlue(size_t(blocks.columns));
    std::vector<std::uint32_t> green(size_t(blocks.columns));
    const int fullColumns = picture.width() / BlockSize;
    for (int by = 0; by < blocks.rows; ++by) {
        std::fill(redBlue.begin(), redBlue.end(), 0);
        std::fill(green.begin(), green.end(), 0);
        const int top = by * BlockSize;
        const int height = std::min(BlockSize, picture.height() - top);
        for (int y = top; y < top + height; ++y) {
            const QRgb *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
            for (int bx = 0; bx < fullColumns; ++bx) {
                const QRgb *pixel = row + bx * BlockSize;
                std::uint32_t rb = 0;
                std::uint32_t g = 0;
                for (int k = 0; k < BlockSize; ++k) {
                    rb += pixel[k] & 0x00ff00ffu;
                    g += pixel[k] & 0x0000ff00u;
                }
                redBlue[size_t(bx)] += rb;
                green[size_t(bx)] += g;
            }
            for (int x = fullColumns * BlockSize; x < picture.width(); ++x) {
                redBlue[size_t(fullColumns)] += row[x] & 0x00ff00ffu;
                green[size_t(fullColumns)] += row[x] & 0x0000ff00u;
            }
        }
        for (int bx = 0; bx < blocks.columns; ++bx) {
            const std::uint32_t count = std::uint32_t(height * std::min(BlockSize, picture.width() - bx * BlockSize));
            const std::uint32_t sums[3] = {redBlue[size_t(bx)] >> 16, green[size_t(bx)] >> 8, redBlue[size_t(bx)] & 0xffffu};
            std::int32_t *mean = blocks.means.data() + (size_t(by) * blocks.columns + bx) * 3;
            for (int c = 0; c < 3; ++c)
                mean[c] = std::int32_t(((sums[c] << 8) + count / 2) / count);
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
    m_picture = QImage();
    m_pictureBlocks = BlockMeans();
    m_baseBlocks = BlockMeans();
}

void MotionDetection::setBaseMotionImage(const QImage &image)
{
    if (image.isNull()) {
        m_console.writeLine(QStringLiteral("nil image for setBaseMotionImage"));
        return;
    }
    m_picture = image.convertToFormat(QImage::Format_RGB32);
    m_picture.detach(); // the frame may lie in memory its owner reuses
    m_pictureBlocks = BlockMeans::of(m_picture);
    m_baseBlocks = m_pictureBlocks;
    m_console.writeLine(
        QString::asprintf("baseMotionImage set, image size is (%f, %f)", double(m_picture.width()), double(m_picture.height())));
}

bool MotionDetection::detectMotion(const QImage &image, float sensitivity)
{
    if (m_picture.isNull()) {
        if (!image.isNull())
            setBaseMotionImage(image);
        return false;
    }
    m_console.writeLine(QString::asprintf("trying to detect motion with sensitivity = %f", double(sensitivity)));
    m_console.writeLine(QString::asprintf("baseMotionImage size is (%f, %f)", double(m_picture.width()), double(m_picture.height())));
    m_console.writeLine(QString::asprintf("new image size is (%f, %f)", double(image.width()), double(image.height())));
    if (image.isNull())
        return false;

    // A frame of the camera is RGB32 already; the conversion then shares it.
    const QImage frame = image.convertToFormat(QImage::Format_RGB32);
    if (frame.size() != m_picture.size()) {
        m_console.writeLine(
            QStringLiteral("Wendle Error: the camera frame is %1×%2 but the base image is %3×%4; the frame becomes the new base")
                .arg(frame.width())
                .arg(frame.height())
                .arg(m_picture.width())
                .arg(m_picture.height()));
        setBaseMotionImage(frame);
        return false;
    }

    const MotionThresholds thresholds = MotionThresholds::forSensitivity(sensitivity);
    const BlockMeans frameBlocks = BlockMeans::of(frame);
    const double changed = double(countChangedBlocks(m_baseBlocks, frameBlocks, thresholds.noiseFloor)) / double(frameBlocks.blockCount());
    if (changed >= NewSceneFraction) {
        m_console.writeLine(QStringLiteral("Wendle Log Update:  %1 % of the picture changed at once; taking it as the new base image")
                                .arg(percent(changed)));
        setBaseMotionImage(frame);
        return false;
    }
    const bool motion = changed >= thresholds.motionFraction;
    if (motion)
        m_console.writeLine(QStringLiteral("Wendle Log Update:  motion detected, %1 % of the picture changed").arg(percent(changed)));
    refreshBase(frameBlocks, motion ? MotionRefreshShift : QuietRefreshShift);
    return motion;
}

void MotionDetection::refreshBase(const BlockMeans &frameBlocks, int shift)
{
    for (size_t j = 0; j < m_baseBlocks.means.size(); ++j)
        m_baseBlocks.means[j] += (frameBlocks.means[j] - m_baseBlocks.means[j]) >> shift;
}

QImage MotionDetection::baseMotionImage() const
{
    // How far each block's channels drifted, in whole levels.
    std::vector<int> drift(m_baseBlocks.means.size());
    bool drifted = false;
    for (size_t j = 0; j < drift.size(); ++j) {
        drift[j] = (m_baseBlocks.means[j] - m_pictureBlocks.means[j] + 128) >> 8;
        drifted = drifted || drift[j] != 0;
    }
    if (!drifted)
        return m_picture;
    QImage base(m_picture.size(), QImage::Format_RGB32);
    constexpr int Size = BlockMeans::BlockSize;
    const int rowBytes = m_picture.width() * 4;
    // Byte by byte with a repeating pattern of the block's offsets (blue,
    // green, red, alpha in memory), which the compiler vectorises.
    std::int16_t pattern[Size * 4];
    for (int y = 0; y < base.height(); ++y) {
        const uchar *in = m_picture.constScanLine(y);
        uchar *out = base.scanLine(y);
        const int *blockRow = drift.data() + size_t(y / Size) * m_baseBlocks.columns * 3;
        for (int start = 0; start < rowBytes; start += Size * 4) {
            const int *d = blockRow + (start / (Size * 4)) * 3;
            for (int k = 0; k < Size * 4; k += 4) {
                pattern[k] = std::int16_t(d[2]);
                pattern[k + 1] = std::int16_t(d[1]);
                pattern[k + 2] = std::int16_t(d[0]);
                pattern[k + 3] = 0;
            }
            const int end = std::min(Size * 4, rowBytes - start);
            for (int i = 0; i < end; ++i)
                out[start + i] = uchar(std::clamp(in[start + i] + pattern[i], 0, 255));
        }
    }
    return base;
}

QImage MotionDetection::differenceFromImage(const QImage &image) const
{
    QImage difference = baseMotionImage();
    if (image.isNull() || difference.isNull())
        return difference;
    const QImage frame = image.convertToFormat(QImage::Format_RGB32);
    const int width = std::min(frame.width(), difference.width());
    const int height = std::min(frame.height(), difference.height());
    for (int y = 0; y < height; ++y) {
        const uchar *in = frame.constScanLine(y);
        uchar *out = difference.scanLine(y); // a copy of a shared base
        for (int i = 0; i < width * 4; ++i)
            out[i] = uchar(in[i] > out[i] ? in[i] - out[i] : out[i] - in[i]);
        QRgb *pixels = reinterpret_cast<QRgb *>(out);
        for (int x = 0; x < width; ++x)
            pixels[x] |= 0xff000000u;
    }
    return difference;
}

} // namespace wendle
