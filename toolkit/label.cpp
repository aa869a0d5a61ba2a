#include "label.h"
#include "captionfont.h"
#include "textfit.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <limits>

namespace tk {

Label::Label(WinControl* host, int left, int top, int width, int height,
             Text caption, Color fontColor, int fontPixelHeight)
    : Control(host, left, top, width, height), caption_(std::move(caption)), fontColor_(fontColor),
      font_(uiFont(fontPixelHeight))
{
}

void Label::setCaption(const Text& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    fittedValid_ = false;
    if (autoSize_)
        fitToCaption();
    invalidate();
    if (host())
        host()->accessibilityChanged();
}

void Label::setFontColor(Color color)
{
    if (color == fontColor_)
        return;
    fontColor_ = color;
    invalidate();
}

void Label::setFont(const QFont& font)
{
    font_ = font;
    fittedValid_ = false;
    if (autoSize_)
        fitToCaption();
    invalidate();
}

void Label::setAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_)
        fitToCaption();
}

int Label::lineHeight() const
{
    return lineHeight_ > 0 ? lineHeight_ : QFontMetrics(font_).height();
}

void Label::setLineHeight(int pixels)
{
    lineHeight_ = pixels;
    fittedValid_ = false;
    if (autoSize_)
        fitToCaption();
    invalidate();
}

int Label::textWidth() const
{
    return textWidth_ > 0 ? std::min(textWidth_, width()) : width();
}

void Label::setTextWidth(int pixels)
{
    textWidth_ = pixels;
    invalidate();
}

namespace {
// The lines of a caption, split at CR, LF or CR LF: at most `maxLines` of
// them, each cut to at most `maxChars` characters. Painting asks only for
// what a label of its size can show: a caption may be a stop name of a
// megabyte without a line end, and measuring and shaping it whole would
// cost many times its size for nothing, since everything beyond the first
// few hundred characters lies far outside the label and is clipped anyway.
QStringList shownLines(const Text& caption, int maxLines, qsizetype maxChars)
{
    QStringList lines;
    size_t start = 0;
    while (lines.size() < maxLines) {
        size_t end = caption.find_first_of("\r\n", start);
        if (end == Text::npos)
            end = caption.size();
        const size_t length = std::min(end - start, size_t(maxChars));
        lines.append(toQString(std::string_view(caption).substr(start, length)));
        if (end == caption.size())
            break;
        start = end + (caption.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}
} // namespace

void Label::fitToCaption()
{
    const QStringList lines = shownLines(caption_, std::numeric_limits<int>::max(),
                                         std::numeric_limits<qsizetype>::max());
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, lineWidth(font_, line));
    resize(width, int(lines.size()) * lineHeight());
}

const std::vector<std::pair<QString, int>>& Label::fittedLines()
{
    if (fittedValid_ && fittedSize_ == size() && fittedTextWidth_ == textWidth())
        return fitted_;
    fitted_.clear();
    // Every glyph of the compiled-in font that shows anything advances by
    // well over a pixel at the smallest height and narrowest stretch used, so
    // no line can show more characters than its width has pixels. Four times
    // as many leave room for characters that take no width (controls, soft
    // hyphens) and keep the narrowing of a line that does not fit the same:
    // what is cut off lies beyond the label's right edge either way.
    const qsizetype maxChars = 4 * qsizetype(std::max(textWidth(), 1));
    const int step = std::max(lineHeight(), 1);
    const int maxLines = height() / step + 1;
    int top = 0;
    for (const QString& line : shownLines(caption_, maxLines, maxChars)) {
        if (top >= height())
            break;
        fitted_.emplace_back(line, fittingStretch(font_, line, textWidth()));
        top += step;
    }
    fittedValid_ = true;
    fittedSize_ = size();
    fittedTextWidth_ = textWidth();
    return fitted_;
}

void Label::paint(QPainter& painter)
{
    if (caption_.empty())
        return;
    painter.save();
    painter.setClipRect(geometry(), Qt::IntersectClip);
    painter.setPen(toQColor(fontColor_));
    const int ascent = QFontMetrics(font_).ascent();
    const int step = std::max(lineHeight(), 1);
    int top = 0;
    for (const auto& [line, stretch] : fittedLines()) {
        QFont lineFont = font_;
        if (stretch != 100)
            lineFont.setStretch(stretch);
        painter.setFont(lineFont);
        painter.drawText(x(), y() + top + ascent, line);
        top += step;
    }
    painter.restore();
}

} // namespace tk
