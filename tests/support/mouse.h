#pragma once
// Real mouse events sent to the window (or panel) that holds a graphic
// control, in the order the platform sends them: a click is press and
// release; on Qt 6 under X11 a double click is press, release, double-click
// event, release. Positions are in the receiving widget's coordinates.

#include <controls.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include <initializer_list>

inline void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, QPoint pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

inline void sendMouse(QWidget* widget, std::initializer_list<QEvent::Type> types, Qt::MouseButton button, QPoint pos)
{
    for (QEvent::Type type : types)
        sendMouse(widget, type, button, pos);
}

// A click (or double click) in the middle of a control, sent to its host.
inline void clickControl(const tk::Control* control, bool doubleClick = false,
                         Qt::MouseButton button = Qt::LeftButton)
{
    using E = QEvent;
    const QPoint centre = control->geometry().center();
    sendMouse(control->host(), {E::MouseButtonPress, E::MouseButtonRelease}, button, centre);
    if (doubleClick)
        sendMouse(control->host(), {E::MouseButtonDblClick, E::MouseButtonRelease}, button, centre);
}
