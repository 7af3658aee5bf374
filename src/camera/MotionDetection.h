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
    int noiseFloor = 0;        // levels out of 255
    double motionFraction = 0; // share of the blocks
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
//
// A check looks at block means only, so the drift moves the base's block
// means, not its pixels: the full-size base (the picture last set, each
// block shifted by how far its means drifted) is drawn only when somebody
// asks for it or for a difference image.
class MotionDetection {
public:
    // Beyond this share of changed blocks a frame is a new scene, not motion.
    static constexpr double NewSceneFraction = 0.6;

    explicit MotionDetection(Console &console) : m_console(console) {}

    void reset();
    void setBaseMotionImage(const QImage &image);
    QImage baseMotionImage() const;
    bool detectMotion(const QImage &image, float sensitivity);
    // |image − base| per colour channel, at the base's size; where the image
    // does not reach, the base shows. A null image answers the base.
    QImage differenceFromImage(const QImage &image) const;

private:
    // Moves the base's block means towards the frame's by 1/2^shift of the
    // distance.
    void refreshBase(const BlockMeans &frameBlocks, int shift);

    Console &m_console;
    QImage m_picture; // RGB32, the picture last made the base
    BlockMeans m_pictureBlocks;
    // The means the frames are judged against: m_pictureBlocks after the
    // slow refresh, in 8.8 fixed point so that its small steps add up.
    BlockMeans m_baseBlocks;
};

} // namespace wendle
