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

Shape::DevicePixels Shape::toDevicePixels(const QRect& outer, int penWidth, const QTransform& device)
{
    return {QRect(qRound(outer.x() * device.m11() + device.dx()), qRound(outer.y() * device.m22() + device.dy()),
                  qRound(outer.width() * device.m11()), qRound(outer.height() * device.m22())),
            penWidth > 0 ? std::max(1, qRound(penWidth * device.m11())) : 0};
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
        int pen = PenWidth();
        if (inDevicePixels) {
            const DevicePixels placed = toDevicePixels(outer, pen, device);
            outer = placed.outer;
            pen = placed.penWidth;
            painter.save();
            painter.setWorldTransform(device.inverted() * painter.worldTransform());
        }
        // Pixel-exact: the outline covers the outermost pen-width pixels, the
        // fill the rest (an 8 x 8 dot with a 1-pixel pen shows 6 x 6 colour).
        const QRect inner = outer.adjusted(pen, pen, -pen, -pen);
        if (pen > 0 && brushVisible_) {
            // Both colours are opaque: the fill painted over the outline's
            // colour leaves the same pixels as four edges, in two steps.
            painter.fillRect(outer, toQColor(penColor_));
            painter.fillRect(inner, toQColor(brushColor_));
        } else if (brushVisible_) {
            painter.fillRect(outer, toQColor(brushColor_));
        } else {
            const QColor c = toQColor(penColor_);
            painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), pen), c);
            painter.fillRect(QRect(outer.left(), outer.bottom() - pen + 1, outer.width(), pen), c);
            painter.fillRect(QRect(outer.left(), inner.top(), pen, inner.height()), c);
            painter.fillRect(QRect(outer.right() - pen + 1, inner.top(), pen, inner.height()), c);
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
