#include "picture.h"

#include <rawbitmap.h>

#include <QPainter>
#include <QResource>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace tk {

Picture::Picture(WinControl* host, int left, int top, int width, int height, QString resource)
    : Control(host, left, top, width, height), resource_(std::move(resource))
{
}

namespace {
// A raw bitmap from the resources. Compiled in uncompressed and aligned, its
// pixels are shown where they lie in the program's memory. Null when the
// resource is missing or not of this kind.
QImage rawBitmap(const QString& path)
{
    const QResource resource(path);
    QByteArray unpacked;
    const uchar* data = resource.data();
    qint64 size = resource.size();
    if (resource.compressionAlgorithm() != QResource::NoCompression) {
        unpacked = resource.uncompressedData();
        data = reinterpret_cast<const uchar*>(unpacked.constData());
        size = unpacked.size();
    }
    const rawbitmap::Header header = rawbitmap::readHeader(data, size);
    if (header.width == 0)
        return {};
    const int width = int(header.width), height = int(header.height);
    const uchar* pixels = data + sizeof header;
    if (reinterpret_cast<quintptr>(pixels) % alignof(quint32) == 0) {
        if (unpacked.isEmpty())
            return QImage(pixels, width, height, width * 4, QImage::Format_RGB32);
        // Unpacked: the image keeps the buffer.
        auto* buffer = new QByteArray(std::move(unpacked));
        return QImage(reinterpret_cast<uchar*>(buffer->data()) + sizeof header, width, height, width * 4,
                      QImage::Format_RGB32, [](void* kept) { delete static_cast<QByteArray*>(kept); }, buffer);
    }
    // Not aligned for QImage: a copy of its own, row by row.
    QImage owned(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(owned.scanLine(y), pixels + qint64(y) * width * 4, size_t(width) * 4);
    return owned;
}
} // namespace

const QImage& Picture::image() const
{
    if (image_.isNull() && !resource_.isEmpty())
        image_ = rawBitmap(resource_);
    return image_;
}

QImage Picture::source(int scale) const
{
    QString path = resource_;
    const qsizetype suffix = path.lastIndexOf(QLatin1Char('.'));
    path.insert(suffix < 0 ? path.size() : suffix, QStringLiteral("@%1x").arg(scale));
    QImage fine = rawBitmap(path);
    // A source that is not exactly the bitmap's size times the scale would
    // shift the picture against the controls over it.
    if (fine.size() != image().size() * scale)
        return {};
    return fine;
}

const QImage& Picture::image(qreal ratio) const
{
    if (ratio <= 1)
        return image();
    if (!scaled_.isNull() && scaled_.devicePixelRatio() == ratio)
        return scaled_;
    // The finest source needed: the next whole ratio up, as far as there
    // are sources; scaling down loses less than scaling up.
    QImage fine;
    for (int scale = std::min(int(std::ceil(ratio)), 3); fine.isNull() && scale > 1; --scale)
        fine = source(scale);
    if (fine.isNull())
        fine = image();
    const QSize size(qRound(image().width() * ratio), qRound(image().height() * ratio));
    if (fine.size() != size)
        fine = fine.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    fine.setDevicePixelRatio(ratio);
    scaled_ = std::move(fine);
    return scaled_;
}

void Picture::paint(QPainter& painter)
{
    // The painter's scale is the ratio of the device actually painted on,
    // which for a widget rendered into an image is the image's.
    const qreal ratio = painter.deviceTransform().m11();
    if (ratio <= 1) {
        const QImage& bitmap = image();
        painter.drawImage(pos(), bitmap, rect().intersected(bitmap.rect()));
        return;
    }
    // One pixel of the bitmap on each device pixel, clipped to the control.
    const QImage& bitmap = image(ratio);
    const QRectF shown(QPointF(), QSizeF(size()) * ratio);
    painter.drawImage(QPointF(pos()), bitmap, shown.intersected(QRectF(bitmap.rect())));
}

} // namespace tk
