#pragma once
// Where a window opens on a screen smaller than it was laid out for: a
// scale factor, a desktop scale or a small screen can leave too few logical
// pixels for the places the windows open at.

#include <QMargins>

class QWidget;

namespace tk {

// Moves a window that would reach past the available area of its screen
// (the screen without its task bars, in the logical pixels of the scale in
// use) until it lies on that area, and leaves one that fits where it is. It
// is moved, never resized: one larger than the area stands at its left (and
// top) edge. `frame` is what the window manager adds around the client area;
// with `keepTop` the window keeps its top edge and moves only sideways.
void keepOnScreen(QWidget& window, QMargins frame = {}, bool keepTop = false);

} // namespace tk
