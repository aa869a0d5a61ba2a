#pragma once
// The font every caption uses: the sans-serif compiled into the program, so
// that what the windows look like does not depend on what fonts a machine
// happens to have installed.

#include <QFont>

namespace tk {

// The compiled-in sans-serif at a given character height in pixels.
QFont uiFont(int pixelHeight);

} // namespace tk
