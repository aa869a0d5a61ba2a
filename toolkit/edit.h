#pragma once
// The one real edit field of the toolkit: a widget, unlike the graphic
// controls, so that its "select all and cut" really goes through the
// system clipboard.

#include "text.h"

#include <QLineEdit>

namespace tk {

// A one-line edit field. It has no length limit of its own beyond Qt's.
class Edit : public QLineEdit {
    Q_OBJECT
public:
    Edit(QWidget* parent, int left, int top, int width, int height);
    void setText8(const Text& text) { setText(toQString(text)); }
    Text text8() const { return fromQString(text()); }
};

} // namespace tk
