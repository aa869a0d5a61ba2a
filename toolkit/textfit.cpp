#include "textfit.h"

#include <QFontMetrics>
#include <algorithm>

namespace tk {

int lineWidth(const QFont& font, const QString& line)
{
    const QFontMetrics metrics(font);
    return std::max(metrics.horizontalAdvance(line), metrics.boundingRect(line).right() + 1);
}

int fittingStretch(const QFont& font, const QString& line, int width)
{
    QFont narrowed = font;
    int stretch = 100;
    // Glyph widths are rounded to whole pixels, so the width does not fall
    // strictly in proportion; one step at a time finds the first that fits.
    while (stretch > MinimumStretch && lineWidth(narrowed, line) > width) {
        --stretch;
        narrowed.setStretch(stretch);
    }
    return stretch;
}

} // namespace tk
