#include "picture.h"

#include <rawbitmap.h>

#include <QPainter>
#include <QResource>
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
    const QImage shown(pixels, width, height, width * 4, QImage::Format_RGB32);
    if (unpacked.isEmpty() && reinterpret_cast<quintptr>(pixels) % alignof(quint32) == 0)
        return shown;
    // Unpacked into a buffer that goes away, or not aligned for QImage: a
    // copy of its own, row by row.
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

void Picture::paint(QPainter& painter)
{
    const QImage& bitmap = image();
    painter.drawImage(pos(), bitmap, rect().intersected(bitmap.rect()));
}

} // namespace tk
