#pragma once

#include "camera/MotionDetection.h"
#include "camera/RBMovieView.h"
#include "operations/OwnerFixture.h"
#include "settings/Settings.h"
#include "support/QtApplication.h"

#include <QImage>

namespace wendle::test {

// A controller whose camera is a GStreamer test pattern, after a command
// from the owner, with the camera features on.
class CameraFixture : public OwnerFixture {
protected:
    static constexpr const char *Pattern = "videotestsrc pattern=smpte ! video/x-raw,width=320,height=240";
    static constexpr const char *NoCamera = "v4l2src device=/dev/wendle-no-camera";

    CameraFixture()
    {
        ensureQtApplication();
        preferences.setValue(RBCameraSource, Pattern);
        preferences.setValue(RBEnableiSight, true);
    }

    int consoleCount(const QString &line) const { return int(console.lines.count(line)); }
};

// Pixels of the rectangle whose colour is within 60 levels of the given one
// in every channel (JPEG blurs the edges of letters).
inline int pixelsNear(const QImage &picture, const QRect &area, const QColor &color)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor seen = picture.pixelColor(x, y);
            count += std::abs(seen.red() - color.red()) < 60 && std::abs(seen.green() - color.green()) < 60
                     && std::abs(seen.blue() - color.blue()) < 60;
        }
    }
    return count;
}

} // namespace wendle::test
