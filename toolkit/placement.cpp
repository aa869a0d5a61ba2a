#include "placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tk {

namespace {
// The start of a span of `length` moved, as little as may be, into
// [first, last]; a span longer than that starts at `first`.
int fitted(int start, int length, int first, int last)
{
    if (start + length - 1 > last)
        start = last - length + 1;
    return start < first ? first : start;
}
} // namespace

void keepOnScreen(QWidget& window, QMargins frame, bool keepTop)
{
    const QRect outer = window.geometry().marginsAdded(frame);
    QScreen* screen = QGuiApplication::screenAt(outer.topLeft());
    if (!screen)
        screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int left = fitted(outer.left(), outer.width(), area.left(), area.right());
    const int top = keepTop ? outer.top() : fitted(outer.top(), outer.height(), area.top(), area.bottom());
    if (left != outer.left() || top != outer.top())
        window.move(window.pos() + QPoint(left - outer.left(), top - outer.top()));
}

} // namespace tk
