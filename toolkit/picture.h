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
class Picture : public Control {
public:
    Picture(WinControl* host, int left, int top, int width, int height, QString resource);
    const QImage& image() const;

    void paint(QPainter& painter) override;

private:
    QString resource_;
    mutable QImage image_;
};

} // namespace tk
