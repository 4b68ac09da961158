#include "ui/SetpointEdit.h"

#include <QKeyEvent>

SetpointEdit::SetpointEdit(double maximum, double step, QWidget *parent) : QDoubleSpinBox(parent)
{
    // Two places: the refresh puts the device's set-point rounded to 0.01 here, and an ENTER
    // must write back what is shown, not a value rounded again to one place.
    setDecimals(2);
    setRange(0, maximum);
    setSingleStep(step);
    setToolTip(QStringLiteral("Введите значение и нажмите ENTER"));
    setKeyboardTracking(false);
    setAccelerated(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

void SetpointEdit::stepBy(int steps)
{
    QDoubleSpinBox::stepBy(steps);
    emit topClick();
}

void SetpointEdit::keyPressEvent(QKeyEvent *event)
{
    emit keyDown();
    QDoubleSpinBox::keyPressEvent(event);
}

void SetpointEdit::keyReleaseEvent(QKeyEvent *event)
{
    QDoubleSpinBox::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        emit keyUp(event->key());
}

void SetpointEdit::focusOutEvent(QFocusEvent *event)
{
    QDoubleSpinBox::focusOutEvent(event);
    emit exited();
}
