#include "edit.h"

#include <limits>

namespace tk {

Edit::Edit(QWidget* parent, int left, int top, int width, int height) : QLineEdit(parent)
{
    setGeometry(left, top, width, height);
    setMaxLength(std::numeric_limits<int>::max());
}

} // namespace tk
