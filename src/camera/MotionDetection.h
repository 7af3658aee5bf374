#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace wendle {

class Console;

// How much change counts as motion, for a given sensitivity. Frames are
// compared in blocks of BlockSize × BlockSize pixels: a block has changed
// when the mean of one of its colour channels differs from the base by more
// than the noise floor (averaging a block first takes out sensor noise and
// speckle, which a moving object does not have), and a frame shows motion
// when at least motionFraction of its blocks changed. Higher sensitivities
// lower both thresholds.
struct MotionThresholds {
    int noiseFloor = 0;         // levels out of 255
    double motionFraction = 0;  // share of the blocks
    static MotionThresholds forSensitivity(double sensitivity);
};

// The channel means of each block of a picture, in 8.8 fixed point, row by
// row, three (red, green, blue) per block.
struct BlockMeans {
    static constexpr int BlockSize = 16;
    int columns = 0;
    int rows = 0;
    std::vector<std::int32_t> means;
    static BlockMeans of(const QImage &picture); // picture in RGB32
    qsizetype blockCount() const { return qsizetype(columns) * rows; }
};

// Blocks whose means differ by more than noiseFloor levels in any channel.
qsizetype countChangedBlocks(const BlockMeans &base, const BlockMeans &frame, int noiseFloor);

// The motion watch's judge. It keeps a base picture of the quiet room and
// compares each new frame with it: enough blocks changed beyond the noise
// floor is motion; most of the picture changed at once (a lamp switched on,
// the camera's exposure jumping) becomes the new base instead; and after
// each check the base drifts a little towards the frame, so that dusk or a
// parked object stop counting as motion after a while.
class MotionDetection {
public:
    // Beyond this share of changed blocks a frame is a new scene, not motion.
    static constexpr double NewSceneFraction = 0.6;

    explicit MotionDetection(Console &console) : m_console(console) {}

    void reset();
    void setBaseMotionImage(const QImage &image);
    QImage baseMotionImage() const { return m_base; }
    bool detectMotion(const QImage &image, float sensitivity);
    // |image − base| per colour channel, at the base's size; where the image
    // does not reach, it counts as black. A null image answers the base.
    QImage differenceFromImage(const QImage &image) const;

private:
    // Moves the base towards the frame by 1/2^shift of the distance.
    void refreshBase(const QImage &frame, const BlockMeans &frameBlocks, int shift);

    Console &m_console;
    QImage m_base; // RGB32
    // The base's channels in 8.8 fixed point, so that small steps of the
    // slow refresh add up instead of rounding away.
    std::vector<std::int32_t> m_fineBase;
    BlockMeans m_baseBlocks;
};

} // namespace wendle
