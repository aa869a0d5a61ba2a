#include "shape.h"

#include <QPainter>
#include <algorithm>

namespace tk {

Shape::Shape(WinControl* host, int left, int top, int width, int height, ShapeType type)
    : Control(host, left, top, width, height), type_(type)
{
}

void Shape::setPen(Color color, int width)
{
    if (color == penColor_ && width == penWidth_)
        return;
    penColor_ = color;
    penWidth_ = width;
    invalidate();
}

void Shape::setPenVisible(bool visible)
{
    if (visible == penVisible_)
        return;
    penVisible_ = visible;
    invalidate();
}

void Shape::setBrushColor(Color color)
{
    if (color == brushColor_)
        return;
    brushColor_ = color;
    invalidate();
}

void Shape::setBrushVisible(bool visible)
{
    if (visible == brushVisible_)
        return;
    brushVisible_ = visible;
    invalidate();
}

void Shape::setBlockCorner(QPoint corner)
{
    if (blockCorner_ == corner)
        return;
    invalidate();
    blockCorner_ = corner;
    invalidate();
}

namespace {
// One axis of a rectangle in device pixels: its start and its size.
std::pair<int, int> placeOnAxis(int start, int size, std::optional<int> blockStart, double scale, double offset)
{
    const int deviceSize = qRound(size * scale);
    if (blockStart && size > 0 && (start - *blockStart) % size == 0)
        return {qRound(*blockStart * scale + offset) + (start - *blockStart) / size * deviceSize, deviceSize};
    return {qRound(start * scale + offset), deviceSize};
}

// The outline's two sides on one axis, for a fill that keeps its share.
std::pair<int, int> outlineSides(int size, int pen, int deviceSize)
{
    const int inside = std::max(0, size - 2 * pen);
    const int fill = size > 0 ? std::clamp(qRound(double(deviceSize) * inside / size), 0, deviceSize) : 0;
    const int outline = deviceSize - fill;
    return {outline / 2, outline - outline / 2};
}
} // namespace

Shape::DevicePixels Shape::devicePixels(const QTransform& device) const
{
    lastScale_ = device.m11();
    const QRect logical = geometry();
    const auto [left, width] = placeOnAxis(logical.x(), logical.width(),
                                           blockCorner_ ? std::optional(blockCorner_->x()) : std::nullopt,
                                           device.m11(), device.dx());
    const auto [top, height] = placeOnAxis(logical.y(), logical.height(),
                                           blockCorner_ ? std::optional(blockCorner_->y()) : std::nullopt,
                                           device.m22(), device.dy());
    const QRect outer(left, top, width, height);
    const int pen = PenWidth();
    if (pen <= 0)
        return {outer, outer};
    if (!brushVisible_) {
        const int side = std::max(1, qRound(pen * device.m11()));
        return {outer, outer.adjusted(side, side, -side, -side)};
    }
    const auto [leftSide, rightSide] = outlineSides(logical.width(), pen, width);
    const auto [topSide, bottomSide] = outlineSides(logical.height(), pen, height);
    return {outer, outer.adjusted(leftSide, topSide, -rightSide, -bottomSide)};
}

QRect Shape::paintBounds() const
{
    // The scale last painted at: asking the host for its device pixel ratio
    // at each of the sign's 1000 dots would cost more than the clear itself,
    // and a new ratio repaints the whole window anyway.
    const QRect bounds = geometry();
    const qreal scale = lastScale_;
    if (!blockCorner_ || scale == 1)
        return bounds;
    // Steps of the rounded size drift from the logical place by up to half
    // a device pixel each; the host's own offset may round either way.
    const QRect outer = devicePixels(QTransform::fromScale(scale, scale)).outer;
    const QRect covered = QRectF(outer.x() / scale, outer.y() / scale, outer.width() / scale, outer.height() / scale)
                              .toAlignedRect()
                              .adjusted(-1, -1, 1, 1);
    return bounds.united(covered);
}

void Shape::paint(QPainter& painter)
{
    if (PenWidth() <= 0 && !brushVisible_)
        return;
    QRect outer = geometry();
    if (type_ == ShapeType::Circle) {
        const int side = std::min(width(), height());
        outer = QRect(x() + (width() - side) / 2, y() + (height() - side) / 2, side, side);
    }
    if (type_ == ShapeType::Rectangle) {
        const QTransform device = painter.deviceTransform();
        const bool inDevicePixels = scaled(device);
        QRect inner = outer.adjusted(PenWidth(), PenWidth(), -PenWidth(), -PenWidth());
        if (inDevicePixels) {
            const DevicePixels placed = devicePixels(device);
            outer = placed.outer;
            inner = placed.inner;
            painter.save();
            painter.setWorldTransform(device.inverted() * painter.worldTransform());
        }
        // Pixel-exact: the outline covers the pixels between the outer and
        // the inner rectangle, the fill the rest (an 8 x 8 dot with a 1-pixel
        // pen shows 6 x 6 colour).
        if (PenWidth() > 0 && brushVisible_) {
            // Both colours are opaque: the fill painted over the outline's
            // colour leaves the same pixels as four edges, in two steps.
            painter.fillRect(outer, toQColor(penColor_));
            painter.fillRect(inner, toQColor(brushColor_));
        } else if (brushVisible_) {
            painter.fillRect(outer, toQColor(brushColor_));
        } else {
            const QColor c = toQColor(penColor_);
            painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), inner.top() - outer.top()), c);
            painter.fillRect(QRect(outer.left(), inner.bottom() + 1, outer.width(), outer.bottom() - inner.bottom()), c);
            painter.fillRect(QRect(outer.left(), inner.top(), inner.left() - outer.left(), inner.height()), c);
            painter.fillRect(QRect(inner.right() + 1, inner.top(), outer.right() - inner.right(), inner.height()), c);
        }
        if (inDevicePixels)
            painter.restore();
        return;
    }
    const int pen = PenWidth();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen > 0 ? QPen(toQColor(penColor_), pen) : QPen(Qt::NoPen));
    painter.setBrush(brushVisible_ ? QBrush(toQColor(brushColor_)) : QBrush(Qt::NoBrush));
    const double inset = pen / 2.0;
    painter.drawEllipse(QRectF(outer).adjusted(inset, inset, -inset, -inset));
    painter.restore();
}

} // namespace tk
