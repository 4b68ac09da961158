// Input the test library has no helper for.
#pragma once
#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QtTest/qtestspontaneevent.h>

// One notch of the mouse wheel over the widget's centre, as the window system delivers it:
// a wheel event the widget ignores goes on to its parents. Positive notches turn away
// from the operator (scroll up).
inline void TurnWheel(QWidget *widget, int notches)
{
    const QPointF local = QRectF(widget->rect()).center();
    QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    // As the test library sends its mouse events: sendEvent would clear the spontaneous flag.
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(widget, &event);
}

// A key held down, as the window system delivers it: one press (unless the key is already
// down), then presses marked as auto-repeat. The release is left to the caller.
inline void HoldKey(QWidget *widget, Qt::Key key, int repeats, bool alreadyDown = false)
{
    for (int i = alreadyDown ? 1 : 0; i <= repeats; ++i) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), i > 0);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(widget, &event);
    }
}
