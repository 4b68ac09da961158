// A set-point spin editor that reports what the power-supply page needs: a key pressed,
// a key released, a step (button, arrow key) after the value has stepped, and focus loss.
#pragma once

#include <QDoubleSpinBox>

class SetpointEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    SetpointEdit(double maximum, double step, QWidget *parent = nullptr);
    void stepBy(int steps) override;

signals:
    void keyDown();
    void keyUp(int key);
    void topClick();
    void exited();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};
