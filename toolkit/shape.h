#pragma once
// A graphic control drawing a rectangle or an ellipse: the sign's dots, the
// frames on the control unit's display, and invisible keys.

#include "controls.h"

#include <QTransform>

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

    // A rectangle's place and outline on a scaled screen, in device pixels:
    // each corner at the device pixel nearest to it, the size and the outline
    // width rounded on their own, so that rectangles of one size all come out
    // the same wherever they stand; only the gaps between them may differ by
    // a device pixel. Painted alone or with others, a rectangle is placed so.
    struct DevicePixels {
        QRect outer;
        int penWidth;
    };
    static DevicePixels toDevicePixels(const QRect& outer, int penWidth, const QTransform& device);
    // True when the painter's device is scaled, so that rectangles are
    // placed as above.
    static bool scaled(const QTransform& device) { return device.m11() != 1 || device.m22() != 1; }

private:
    ShapeType type_;
    Color penColor_ = clBlack;
    int penWidth_ = 1;
    bool penVisible_ = true;
    Color brushColor_ = clWhite;
    bool brushVisible_ = true;
};

} // namespace tk
