#pragma once
// A graphic control showing one of the compiled-in bitmaps.

#include "controls.h"

#include <QImage>
#include <QString>

namespace tk {

// A bitmap drawn unscaled from the top-left corner, clipped to the control.
// The resource holds raw pixels as resources/rawbitmap.h lays them out; it
// is looked up when first needed, so a picture that is hidden at start
// costs nothing until it shows.
//
// On a screen scaled up, the picture is drawn from a finer source of the
// same bitmap where there is one: for "name.rgb32" the raw bitmaps
// "name@2x.rgb32" and "name@3x.rgb32", which may be compressed. It takes the finest one needed (the 2x
// one up to a ratio of 2, the 3x one above) and scales it smoothly to the
// screen's ratio, so the picture is as sharp as the text drawn over it. At
// a ratio of 1 only the raw bitmap is touched.
class Picture : public Control {
public:
    Picture(WinControl* host, int left, int top, int width, int height, QString resource);
    // The bitmap at one device pixel per pixel.
    const QImage& image() const;

    void paint(QPainter& painter) override;

private:
    // The bitmap as drawn at a device pixel ratio, with that ratio set.
    const QImage& image(qreal ratio) const;
    // The finer source for a whole ratio of 2 or more, or a null image.
    QImage source(int scale) const;

    QString resource_;
    mutable QImage image_;
    mutable QImage scaled_;
};

} // namespace tk
