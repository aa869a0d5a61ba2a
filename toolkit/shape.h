#pragma once
// A graphic control drawing a rectangle or an ellipse: the sign's dots, the
// frames on the control unit's display, and invisible keys.

#include "controls.h"

#include <QTransform>
#include <optional>

namespace tk {

enum class ShapeType { Rectangle, Circle };

class Shape : public Control {
public:
    Shape(WinControl* host, int left, int top, int width, int height,
          ShapeType type = ShapeType::Rectangle);

    ShapeType Type() const { return type_; }

    // The outline; width 0 or setPenVisible(false) draws none.
    Color PenColor() const { return penColor_; }
    int PenWidth() const { return penVisible_ ? penWidth_ : 0; }
    void setPen(Color color, int width);
    void setPenVisible(bool visible);

    // The fill; setBrushVisible(false) leaves the inside unpainted.
    Color BrushColor() const { return brushColor_; }
    bool isBrushVisible() const { return brushVisible_; }
    void setBrushColor(Color color);
    void setBrushVisible(bool visible);

    void paint(QPainter& painter) override;

    // One of a block of touching rectangles of this size, such as the dots
    // of one of the sign's cells, whose top-left corner is `corner`.
    void setBlockCorner(QPoint corner);

    // A rectangle's place on a scaled screen, in device pixels, and the
    // inside its outline leaves for the fill. The size is rounded on its
    // own, so that rectangles of one size all come out the same wherever
    // they stand. A rectangle of a block stands whole steps of that size
    // from the block's corner, so that the gaps inside the block are all
    // alike; any other has its corner at the device pixel nearest to it.
    // Filled, the inside keeps the share of the rectangle it has unscaled
    // (an 8 x 8 dot with a 1-pixel outline: 6 x 6, and 9 x 9 of 12 x 12 at
    // 1.5), with the outline split between the two sides, the odd pixel on
    // the right and at the bottom; an outline alone is one width all round.
    struct DevicePixels {
        QRect outer;
        QRect inner;
    };
    DevicePixels devicePixels(const QTransform& device) const;
    // True when the painter's device is scaled, so that rectangles are
    // placed as above.
    static bool scaled(const QTransform& device) { return device.m11() != 1 || device.m22() != 1; }

    QRect paintBounds() const override;

private:
    ShapeType type_;
    Color penColor_ = clBlack;
    int penWidth_ = 1;
    bool penVisible_ = true;
    Color brushColor_ = clWhite;
    bool brushVisible_ = true;
    std::optional<QPoint> blockCorner_;
    mutable double lastScale_ = 1;
};

} // namespace tk
