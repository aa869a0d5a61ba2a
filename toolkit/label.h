#pragma once
// A graphic control showing a caption of 8-bit text.

#include "controls.h"

#include <QFont>
#include <QString>
#include <vector>

namespace tk {

// A caption of 8-bit text on a transparent background. Carriage returns (and
// line feeds) start new lines; nothing wraps. A line too wide for the label is
// set narrower, just enough to fit but not below tk::MinimumStretch; what does
// not fit even then is clipped.
class Label : public Control {
public:
    Label(WinControl* host, int left, int top, int width, int height,
          Text caption = {}, Color fontColor = clBlack, int fontPixelHeight = 11);

    const Text& Caption() const { return caption_; }
    void setCaption(const Text& caption);

    Color FontColor() const { return fontColor_; }
    void setFontColor(Color color);

    const QFont& font() const { return font_; }
    void setFont(const QFont& font);

    // When set, the label resizes itself to fit its caption.
    void setAutoSize(bool autoSize);

    // Distance between the tops of two lines: the font's own height unless
    // set to a number of pixels.
    int lineHeight() const;
    void setLineHeight(int pixels);

    // The width the lines are fitted to: the label's own unless set to less,
    // where the right part of the label lies over something the text should
    // not reach.
    int textWidth() const;
    void setTextWidth(int pixels);

    void paint(QPainter& painter) override;

private:
    void fitToCaption();
    // The lines the label shows, each with the stretch that fits it.
    const std::vector<std::pair<QString, int>>& fittedLines();

    Text caption_;
    Color fontColor_;
    QFont font_;
    bool autoSize_ = false;
    int lineHeight_ = 0;
    int textWidth_ = 0;

    // Fitting a line takes up to a dozen measurements of it, so the result
    // is kept until the caption, the font or the room changes: a clock or a
    // key repaints its label far more often than its text changes.
    std::vector<std::pair<QString, int>> fitted_;
    bool fittedValid_ = false;
    QSize fittedSize_;
    int fittedTextWidth_ = 0;
};

} // namespace tk
