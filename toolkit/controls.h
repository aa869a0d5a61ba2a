#pragma once
// Controls as the classic desktop toolkit has them, in two kinds:
//  - windowed controls (WinControl: each window, and Panel) are QWidgets;
//  - graphic controls (Label, Shape, Picture) are plain objects without a
//    window of their own. The windowed control that holds one (its host)
//    owns it, paints its graphic controls in creation order (later ones
//    above), only those that meet the region being repainted, and finds the
//    top-most visible one under the pointer for a press. A change of a
//    property asks the host to repaint that control's rectangle only (old
//    and new one on a move); Qt gathers the requests, so many changes inside
//    one handler give one paint with the final picture. A hidden graphic
//    control is neither painted nor hit.
//
// The mouse order, the same for both kinds:
//  - a press of any button calls OnMouseDown with button and position;
//  - a release calls OnClick first (only after a primary-button press that
//    was not the second press of a double click, and only when released over
//    the control), then OnMouseUp;
//  - the second press of a double click calls OnDblClick (primary button
//    only) and then OnMouseDown flagged as double; its release clicks nothing.
// A press is taken by the graphic control it lands on, whether or not a
// handler is set: it never reaches the host behind. Only a press on no
// graphic control goes to the host's own handlers. The release goes to what
// took the press, wherever the pointer is let go. The whole rectangle takes
// the mouse, also where nothing is painted (transparent labels, invisible
// shapes). Positions are relative to the control's top-left corner.

#include "text.h"

#include <QColor>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

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

class WinControl;
class TileBatch;
struct AccessibleItem;

// The mouse handlers and the classic order in which they are called.
class MouseTarget {
public:
    MouseHandler OnMouseDown;
    MouseHandler OnMouseUp;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;

private:
    friend class WinControl;
    friend class Control;
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position, bool isDouble);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position, bool inside);

    bool clickPending_ = false;
};

// A graphic control: bounds in its host's coordinates, a visibility, the
// mouse handlers, and a way to paint itself.
class Control : public MouseTarget {
public:
    Control(WinControl* host, int left, int top, int width, int height);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    WinControl* host() const { return host_; }

    QRect geometry() const { return bounds_; }
    QRect rect() const { return {0, 0, bounds_.width(), bounds_.height()}; }
    QPoint pos() const { return bounds_.topLeft(); }
    QSize size() const { return bounds_.size(); }
    int x() const { return bounds_.x(); }
    int y() const { return bounds_.y(); }
    int width() const { return bounds_.width(); }
    int height() const { return bounds_.height(); }
    void setBounds(int left, int top, int width, int height);
    void move(int left, int top) { setBounds(left, top, width(), height()); }
    void resize(int width, int height) { setBounds(x(), y(), width, height); }

    bool isVisible() const { return visible_; }
    bool isHidden() const { return !visible_; }
    void setVisible(bool visible);
    void show() { setVisible(true); }
    void hide() { setVisible(false); }

    // Paints the control in its host's coordinates. The painter is clipped
    // to the region being repainted, not to the control.
    virtual void paint(QPainter& painter) = 0;
    // What painting may cover, in its host's coordinates: the control's
    // rectangle, or more where it is placed in device pixels away from it.
    virtual QRect paintBounds() const { return bounds_; }

    // A press and a release of the primary button in the middle of the
    // control, for a key of the keyboard or assistive technology that stands
    // for it: the same handlers in the same order as the mouse's, a press
    // flagged as double being the second press of a double click. A release
    // without its press does nothing.
    void pressAsKey(bool isDouble = false);
    void releaseAsKey();

protected:
    // Asks the host to repaint the control's rectangle, if it shows.
    void invalidate() const;

private:
    friend class WinControl;
    WinControl* host_;
    QRect bounds_;
    bool visible_ = true;
    bool keyHeld_ = false;
};

// A windowed control: a widget that holds, paints and hit-tests graphic
// controls, and takes the presses that land on none of them.
class WinControl : public QWidget, public MouseTarget {
    Q_OBJECT
public:
    explicit WinControl(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~WinControl() override;

    // The graphic controls, bottom to top.
    const std::vector<Control*>& graphicControls() const { return controls_; }

    // The top-most visible graphic control at a point, or none.
    Control* controlAt(QPoint position) const;

    // What assistive technology is told of the graphic controls (see
    // accessible.h): asked the first time an assistive technology looks at
    // the window, never otherwise. Controls left out (dots, frames, the
    // background) are not shown to it.
    std::function<std::vector<AccessibleItem>()> describeAccessible;
    // Says that what the described items read or whether they show may have
    // changed; costs nothing while no assistive technology listens. The
    // listeners are told once the event being handled is done, of what it
    // left: a clear and a write in one handler are one change.
    void accessibilityChanged();
    // Says a sentence unasked, once, through the window's status object
    // (AccessibleItem::Kind::Status), without cutting in on the change
    // events of the event being handled.
    void announce(const QString& sentence);
    // What the window said last.
    const QString& announcement() const { return announcement_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Paints the graphic controls that meet the rectangle being repainted.
    void paintControls(QPainter& painter, const QRect& dirty);

private:
    friend class Control;
    void press(QMouseEvent* event, bool isDouble);

    std::vector<Control*> controls_;
    // Paints runs of the sign's dots and their like together.
    std::unique_ptr<TileBatch> tiles_;
    // What took the last press: a graphic control, or the host itself.
    Control* pressedControl_ = nullptr;
    bool pressed_ = false;
    // A change told to the listeners once the current event is done.
    bool accessibilityPending_ = false;
    QString announcement_;
};

// The classic toolkit's form: a window holding graphic controls.
using Form = WinControl;

// A flat panel in one colour, without border or caption.
class Panel : public WinControl {
    Q_OBJECT
public:
    Panel(QWidget* parent, int left, int top, int width, int height, Color color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Color color_;
};

} // namespace tk

// The kinds of control and the captions' font, so that a window needs this
// one header.
#include "accessible.h"
#include "captionfont.h"
#include "edit.h"
#include "label.h"
#include "picture.h"
#include "shape.h"
