#include "camera/Negative.h"

namespace wendle::negative {

namespace {

// Inverts the colour samples of every pixel; the sample at alphaIndex (if
// any) is left alone.
Bitmap &invertSamples(Bitmap &bitmap, int samplesPerPixel, int alphaIndex)
{
    const qsizetype used = qsizetype(bitmap.width) * bitmap.height * samplesPerPixel;
    uchar *data = reinterpret_cast<uchar *>(bitmap.samples.data());
    const qsizetype end = qMin(used, bitmap.samples.size());
    for (qsizetype i = 0; i < end; ++i) {
        if (i % samplesPerPixel != alphaIndex)
            data[i] = uchar(255 - data[i]);
    }
    return bitmap;
}

QImage::Format formatFor(int samplesPerPixel)
{
    switch (samplesPerPixel) {
    case 1: return QImage::Format_Grayscale8;
    case 3: return QImage::Format_RGB888;
    default: return QImage::Format_RGBA8888;
    }
}

} // namespace

Bitmap &invertGrey(Bitmap &bitmap)
{
    return invertSamples(bitmap, 1, -1);
}
Bitmap &invertGreyAlpha(Bitmap &bitmap)
{
    return invertSamples(bitmap, 2, 1);
}
Bitmap &invertRGB(Bitmap &bitmap)
{
    return invertSamples(bitmap, 3, -1);
}
Bitmap &invertRGBA(Bitmap &bitmap)
{
    return invertSamples(bitmap, 4, 3);
}

std::optional<Bitmap> negativeImageRep(const Bitmap &bitmap)
{
    Bitmap copy = bitmap;
    switch (bitmap.samplesPerPixel) {
    case 1: return invertGrey(copy);
    case 2: return invertGreyAlpha(copy);
    case 3: return invertRGB(copy);
    case 4: return invertRGBA(copy);
    default: return std::nullopt;
    }
}

Bitmap bitmapFromImage(const QImage &image)
{
    Bitmap bitmap;
    if (image.isNull())
        return bitmap;
    const QImage::Format format = image.format() == QImage::Format_Grayscale8 ? QImage::Format_Grayscale8
                                  : image.format() == QImage::Format_RGB888   ? QImage::Format_RGB888
                                                                              : QImage::Format_RGBA8888;
    const QImage converted = image.convertToFormat(format);
    bitmap.width = converted.width();
    bitmap.height = converted.height();
    bitmap.samplesPerPixel = format == QImage::Format_Grayscale8 ? 1 : format == QImage::Format_RGB888 ? 3 : 4;
    const qsizetype rowBytes = qsizetype(bitmap.width) * bitmap.samplesPerPixel;
    bitmap.samples.reserve(rowBytes * bitmap.height);
    for (int y = 0; y < bitmap.height; ++y)
        bitmap.samples.append(reinterpret_cast<const char *>(converted.constScanLine(y)), rowBytes);
    return bitmap;
}

QImage imageFromBitmap(const Bitmap &bitmap)
{
    if (bitmap.width <= 0 || bitmap.height <= 0)
        return QImage();
    const int spp = bitmap.samplesPerPixel;
    if (spp < 1 || spp > 4)
        return QImage();
    const qsizetype rowBytes = qsizetype(bitmap.width) * spp;
    if (bitmap.samples.size() < rowBytes * bitmap.height)
        return QImage();
    if (spp == 2) {
        // Qt has no grey-and-alpha format: spread each pair into RGBA.
        QImage image(bitmap.width, bitmap.height, QImage::Format_RGBA8888);
        const uchar *in = reinterpret_cast<const uchar *>(bitmap.samples.constData());
        for (int y = 0; y < bitmap.height; ++y) {
            uchar *out = image.scanLine(y);
            for (int x = 0; x < bitmap.width; ++x, in += 2, out += 4) {
                out[0] = out[1] = out[2] = in[0];
                out[3] = in[1];
            }
        }
        return image;
    }
    QImage image(bitmap.width, bitmap.height, formatFor(spp));
    for (int y = 0; y < bitmap.height; ++y)
        memcpy(image.scanLine(y), bitmap.samples.constData() + y * rowBytes, size_t(rowBytes));
    return image;
}

QImage negativeImage(const QImage &image)
{
    const std::optional<Bitmap> inverted = negativeImageRep(bitmapFromImage(image));
    if (!inverted)
        return QImage();
    return imageFromBitmap(*inverted).convertToFormat(image.format());
}

} // namespace wendle::negative
