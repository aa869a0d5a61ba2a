#pragma once
// What assistive technology (a screen reader, through Qt's accessibility
// bridge) is told of the graphic controls. They are no widgets, so Qt sees
// none of them by itself: the window that holds them describes those worth
// telling, and the toolkit gives each an accessibility interface of its own,
// a child of the window's. The interfaces are made when an assistive
// technology first asks; without one, nothing is made and nothing is spent.

#include "controls.h"

#include <QRect>
#include <QString>
#include <functional>

namespace tk {

struct AccessibleItem {
    enum class Kind {
        // A key: a push button whose press action clicks the control.
        Button,
        // A text that is read: a static text.
        Text,
        // What the window says unasked (a stop called, a menu page, a
        // refusal): a notification whose name is what the window said last
        // (see WinControl::announce), or its `text` before it said anything.
        Status,
    };
    Kind kind = Kind::Text;
    // The control it stands for. A text made of many controls (the sign's
    // dots) has none and gives its place in `bounds`.
    Control* control = nullptr;
    QRect bounds;
    // A button's name when its caption gives none; what a text is.
    QString name;
    // What a text reads, when it is not a label's caption.
    std::function<QString()> text;
    // The keyboard key that does what the press action does, in Qt's
    // portable key names ("Up", "F1").
    QString shortcut;
    // What a button does now, where that changes with what the window
    // shows (a soft key does what the display writes beside it).
    std::function<QString()> description;
};

// Lets Qt build the interfaces of the windows that hold graphic controls.
// Called by the first window made; calling it again does nothing.
void installAccessibleFactory();

} // namespace tk
