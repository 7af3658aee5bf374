#include "camera/SnapshotPicture.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace wendle {

namespace {

QFont userFont(int pixelSize)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    return font;
}

// 30 pixels on a frame 640 wide, in proportion on others: the stamp takes
// the same share of any camera's picture and fits a small one.
int stampPixelSize(int frameWidth)
{
    return std::max(1, int(std::lround(30.0 * frameWidth / 640.0)));
}

} // namespace

QString shortDateTime(const QDateTime &when)
{
    return QLocale::system().toString(when, QLocale::ShortFormat);
}

void drawDateStamp(QImage &frame, const QString &text, const QColor &color)
{
    if (frame.isNull())
        return;
    QPainter painter(&frame);
    painter.setFont(userFont(stampPixelSize(frame.width())));
    painter.setPen(color);
    painter.drawText(QPointF(20, frame.height() - 20), text);
}

QImage noCameraPicture(const QSize &size, const QString &title, const QColor &color)
{
    QImage picture(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    const QFont font = userFont(20);
    painter.setFont(font);
    painter.setPen(color);
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance(title);
    painter.drawText(QPointF((picture.width() - textWidth) / 2, picture.height() - picture.height() / 2.0), title);
    return picture;
}

QByteArray jpegData(const QImage &picture, double quality)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(int(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0)));
    if (!writer.write(picture))
        return QByteArray();
    return data;
}

} // namespace wendle
