#pragma once
// Lightweight controls with the classic mouse-event order:
//  - a press of any button calls OnMouseDown with button and position;
//  - a release calls OnClick first (only after a primary-button press that
//    was not the second press of a double click, and only when released over
//    the control), then OnMouseUp;
//  - the second press of a double click calls OnDblClick (primary button
//    only) and then OnMouseDown flagged as double; its release clicks nothing.
// A press is taken by the control it lands on, whether or not a handler is
// set: it never falls through to the control behind. Qt grabs the pointer for
// the pressed widget, so the release reaches the same control wherever the
// pointer is let go. The whole rectangle takes the mouse, also where nothing
// is painted (transparent labels, invisible shapes).

#include "text.h"

#include <QImage>
#include <QLineEdit>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace tk {

// Colours are 0xBBGGRR, blue in the high byte.
using Color = std::uint32_t;
constexpr Color clBlack = 0x000000;
constexpr Color clWhite = 0xFFFFFF;
constexpr Color clLime = 0x00FF00;
constexpr Color clGray = 0x808080;
QColor toQColor(Color color);

enum class MouseButton { Left, Right, Middle };

struct ShiftState {
    Qt::KeyboardModifiers modifiers;
    bool isDouble = false;
};

using MouseHandler = std::function<void(MouseButton, ShiftState, int x, int y)>;

class Control : public QWidget {
    Q_OBJECT
public:
    Control(QWidget* parent, int left, int top, int width, int height);

    void setBounds(int left, int top, int width, int height);

    MouseHandler OnMouseDown;
    MouseHandler OnMouseUp;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void press(QMouseEvent* event, bool isDouble);
    bool clickPending_ = false;
};

// A caption of 8-bit text on a transparent background. Carriage returns (and
// line feeds) start new lines; nothing wraps. A line too wide for the label is
// set narrower, just enough to fit but not below tk::MinimumStretch; what does
// not fit even then is clipped.
class Label : public Control {
    Q_OBJECT
public:
    Label(QWidget* parent, int left, int top, int width, int height,
          Text caption = {}, Color fontColor = clBlack, int fontPixelHeight = 11);

    const Text& Caption() const { return caption_; }
    void setCaption(const Text& caption);

    Color FontColor() const { return fontColor_; }
    void setFontColor(Color color);

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fitToCaption();

    Text caption_;
    Color fontColor_;
    bool autoSize_ = false;
    int lineHeight_ = 0;
    int textWidth_ = 0;
};

enum class ShapeType { Rectangle, Circle };

class Shape : public Control {
    Q_OBJECT
public:
    Shape(QWidget* parent, int left, int top, int width, int height,
          ShapeType type = ShapeType::Rectangle);

    ShapeType Type() const { return type_; }

    // The outline; width 0 or setPenVisible(false) draws none.
    Color PenColor() const { return penColor_; }
    void setPen(Color color, int width);
    void setPenVisible(bool visible);

    // The fill; setBrushVisible(false) leaves the inside unpainted.
    Color BrushColor() const { return brushColor_; }
    void setBrushColor(Color color);
    void setBrushVisible(bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ShapeType type_;
    Color penColor_ = clBlack;
    int penWidth_ = 1;
    bool penVisible_ = true;
    Color brushColor_ = clWhite;
    bool brushVisible_ = true;
};

// A bitmap drawn unscaled from the top-left corner, clipped to the control.
class Picture : public Control {
    Q_OBJECT
public:
    Picture(QWidget* parent, int left, int top, int width, int height, const QString& resource);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

// A flat panel in one colour, without border or caption.
class Panel : public Control {
    Q_OBJECT
public:
    Panel(QWidget* parent, int left, int top, int width, int height, Color color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Color color_;
};

// A one-line edit field whose "select all and cut" really goes through the
// system clipboard. It has no length limit of its own beyond Qt's.
class Edit : public QLineEdit {
    Q_OBJECT
public:
    Edit(QWidget* parent, int left, int top, int width, int height);
    void setText8(const Text& text) { setText(toQString(text)); }
    Text text8() const { return fromQString(text()); }
};

// The font every caption uses: the sans-serif compiled into the program, at a
// given character height in pixels.
QFont uiFont(int pixelHeight);

} // namespace tk
