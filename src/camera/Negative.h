#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace wendle {

// 8-bit samples in packed, meshed rows: row r starts at
// r × width × samplesPerPixel bytes.
struct Bitmap {
    int width = 0;
    int height = 0;
    int samplesPerPixel = 0;
    QByteArray samples;
};

// Image negatives: every colour sample becomes 255 minus itself, alpha stays.
namespace negative {

// The same kind and size of image, inverted through its bitmap.
QImage negativeImage(const QImage &image);
// An inverted copy chosen by samples per pixel (grey, grey and alpha, RGB,
// RGBA); none for any other count.
std::optional<Bitmap> negativeImageRep(const Bitmap &bitmap);

// In place; each answers the bitmap it was given.
Bitmap &invertGrey(Bitmap &bitmap);
Bitmap &invertGreyAlpha(Bitmap &bitmap);
Bitmap &invertRGB(Bitmap &bitmap);
Bitmap &invertRGBA(Bitmap &bitmap);

// The bitmap of an image: grey images give one sample per pixel, RGB888
// three, everything else RGBA (not premultiplied, so inverting keeps alpha
// meaningful).
Bitmap bitmapFromImage(const QImage &image);
QImage imageFromBitmap(const Bitmap &bitmap);

} // namespace negative
} // namespace wendle
