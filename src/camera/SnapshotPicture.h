#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QString>

namespace wendle {

// Pictures for the snapshot mail. Sizes are in pixels of the picture, as
// points would be on a 72-dpi bitmap, whatever the screen.

// The local date and time in the user's short format.
QString shortDateTime(const QDateTime &when);
// Draws text with its baseline origin 20 pixels from the left and bottom, 30
// pixels tall on a frame 640 wide and in proportion to the width on others.
void drawDateStamp(QImage &frame, const QString &text, const QColor &color);
// A black picture with the title centred across, its baseline at half height.
QImage noCameraPicture(const QSize &size, const QString &title, const QColor &color);
// JPEG data at a quality between 0.0 (smallest) and 1.0 (best); empty when
// the picture cannot be encoded.
QByteArray jpegData(const QImage &picture, double quality);

} // namespace wendle
