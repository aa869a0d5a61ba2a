#include "controls.h"
#include "accessible.h"
#include "tiles.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <utility>

namespace tk {

QColor toQColor(Color color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

// ---- MouseTarget --------------------------------------------------------------

namespace {
MouseButton toButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton: return MouseButton::Right;
    case Qt::MiddleButton: return MouseButton::Middle;
    default: return MouseButton::Left;
    }
}
} // namespace

void MouseTarget::mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position, bool isDouble)
{
    const bool primary = button == Qt::LeftButton;
    if (isDouble && primary && OnDblClick)
        OnDblClick();
    if (primary)
        clickPending_ = !isDouble;
    if (OnMouseDown)
        OnMouseDown(toButton(button), {modifiers, isDouble}, position.x(), position.y());
}

void MouseTarget::mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position, bool inside)
{
    if (button == Qt::LeftButton && clickPending_) {
        clickPending_ = false;
        if (inside && OnClick)
            OnClick();
    }
    if (OnMouseUp)
        OnMouseUp(toButton(button), {modifiers, false}, position.x(), position.y());
}

// ---- Control ------------------------------------------------------------------

Control::Control(WinControl* host, int left, int top, int width, int height)
    : host_(host), bounds_(left, top, width, height)
{
    if (host_) {
        host_->controls_.push_back(this);
        host_->tiles_->invalidate();
        invalidate();
    }
}

Control::~Control()
{
    if (!host_)
        return;
    invalidate();
    std::erase(host_->controls_, this);
    host_->tiles_->invalidate();
    if (host_->pressedControl_ == this)
        host_->pressedControl_ = nullptr;
}

void Control::setBounds(int left, int top, int width, int height)
{
    const QRect bounds(left, top, width, height);
    if (bounds == bounds_)
        return;
    invalidate(); // the old place
    bounds_ = bounds;
    if (host_)
        host_->tiles_->invalidate();
    invalidate();
}

void Control::setVisible(bool visible)
{
    if (visible == visible_)
        return;
    visible_ = visible;
    if (host_) {
        host_->update(paintBounds());
        host_->accessibilityChanged();
    }
}

void Control::pressAsKey(bool isDouble)
{
    keyHeld_ = true;
    mouseDown(Qt::LeftButton, Qt::NoModifier, rect().center(), isDouble);
}

void Control::releaseAsKey()
{
    if (!std::exchange(keyHeld_, false))
        return;
    mouseUp(Qt::LeftButton, Qt::NoModifier, rect().center(), true);
}

void Control::invalidate() const
{
    if (visible_ && host_)
        host_->update(paintBounds());
}

// ---- WinControl ---------------------------------------------------------------

WinControl::WinControl(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), tiles_(std::make_unique<TileBatch>())
{
    installAccessibleFactory();
}

WinControl::~WinControl()
{
    // The graphic controls still held belong to this control.
    const std::vector<Control*> controls = std::move(controls_);
    for (Control* control : controls) {
        control->host_ = nullptr;
        delete control;
    }
}

Control* WinControl::controlAt(QPoint position) const
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->visible_ && (*it)->bounds_.contains(position))
            return *it;
    return nullptr;
}

void WinControl::paintEvent(QPaintEvent* event)
{
    if (controls_.empty())
        return;
    QPainter painter(this);
    paintControls(painter, event->rect());
}

void WinControl::paintControls(QPainter& painter, const QRect& dirty)
{
    // The painter is already clipped to the region being repainted; the
    // bounding rectangle only spares the controls wholly outside it.
    for (size_t i = 0; i < controls_.size();) {
        if (const size_t end = tiles_->runEnd(controls_, i); end > i) {
            tiles_->paint(painter, i, end, dirty);
            i = end;
            continue;
        }
        Control* control = controls_[i++];
        if (control->visible_ && control->paintBounds().intersects(dirty))
            control->paint(painter);
    }
}

void WinControl::press(QMouseEvent* event, bool isDouble)
{
    event->accept();
    const QPoint position = event->position().toPoint();
    // A further button pressed while one is held goes where the first went.
    const bool anotherHeld = (event->buttons() & ~event->button()) != Qt::NoButton;
    if (!pressed_ || !anotherHeld) {
        pressedControl_ = controlAt(position);
        pressed_ = true;
    }
    if (Control* control = pressedControl_)
        control->mouseDown(event->button(), event->modifiers(), position - control->pos(), isDouble);
    else
        mouseDown(event->button(), event->modifiers(), position, isDouble);
}

void WinControl::mousePressEvent(QMouseEvent* event)
{
    press(event, false);
}

void WinControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    press(event, true);
}

void WinControl::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint position = event->position().toPoint();
    // Qt sends the release to the widget that took the press; here it goes
    // on to the graphic control that took it. A release without a press goes
    // to what lies under the pointer.
    Control* control = pressed_ ? pressedControl_ : controlAt(position);
    if (event->buttons() == Qt::NoButton) {
        pressed_ = false;
        pressedControl_ = nullptr;
    }
    if (control) {
        const QPoint local = position - control->pos();
        control->mouseUp(event->button(), event->modifiers(), local, control->rect().contains(local));
    } else {
        mouseUp(event->button(), event->modifiers(), position, rect().contains(position));
    }
}

// ---- Panel --------------------------------------------------------------------

Panel::Panel(QWidget* parent, int left, int top, int width, int height, Color color)
    : WinControl(parent), color_(color)
{
    setGeometry(left, top, width, height);
}

void Panel::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), toQColor(color_));
    paintControls(painter, event->rect());
}

} // namespace tk
