#pragma once

// User input as the window system reports it: spontaneous events that go
// the whole way through QApplication, where Qt hands focus on a click or a
// wheel and holds input back from a loop that excludes it. Needs Qt's
// private headers (qt6-base-private-dev) and Qt6::GuiPrivate.

#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <cstdlib>

namespace windowSystem {

using Queued = QWindowSystemInterface::AsynchronousDelivery;

inline QPointF inWindow(QWidget *widget)
{
    return widget->mapTo(widget->window(), QRectF(widget->rect()).center());
}

inline QPointF onScreen(QWidget *widget)
{
    return widget->mapToGlobal(QRectF(widget->rect()).center());
}

// A click in the middle of the widget, queued: delivered whenever the
// event loop takes user input.
inline void queueClick(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    QWindowSystemInterface::handleMouseEvent<Queued>(window, inWindow(widget), onScreen(widget),
                                                     Qt::LeftButton, Qt::LeftButton,
                                                     QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Queued>(window, inWindow(widget), onScreen(widget),
                                                     Qt::NoButton, Qt::LeftButton,
                                                     QEvent::MouseButtonRelease);
}

// A key pressed and let go, queued, for whichever widget has the focus.
inline void queueKey(QWidget *widget, Qt::Key key)
{
    QWindow *window = widget->window()->windowHandle();
    QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyPress, key, Qt::NoModifier);
    QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyRelease, key, Qt::NoModifier);
}

// Notches of a mouse wheel over the middle of the widget, delivered
// before this returns. Negative notches turn the wheel towards the user
// (down a list).
inline void turnWheel(QWidget *widget, int notches)
{
    QWindow *window = widget->window()->windowHandle();
    for (int i = 0; i < std::abs(notches); ++i) {
        QWindowSystemInterface::handleWheelEvent(window, inWindow(widget), onScreen(widget),
                                                 QPoint(), QPoint(0, notches < 0 ? -120 : 120));
        QWindowSystemInterface::flushWindowSystemEvents();
    }
}

} // namespace windowSystem
