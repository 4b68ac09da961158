// A set-point spin editor that reports what the power-supply page needs: a key pressed,
// a key released, a step (button, arrow key) after the value has stepped, and focus loss.
// The typed text stays as typed until ENTER, which the page decides on; only the arrow
// buttons and the Up/Down keys step. The wheel and PageUp/PageDown do nothing here: a
// step writes to the device, and those come too easily by accident.
#pragma once

#include <QDoubleSpinBox>

class SetpointEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    SetpointEdit(double maximum, double step, QWidget *parent = nullptr);
    void stepBy(int steps) override;

    // A number typed with a point or a comma, whatever the locale: "12.5", "12,5", "-3",
    // "12.", ",5". False for anything else, "" and "-" included.
    static bool ParseTyped(const QString &text, double *value);

    // Partial numbers are Intermediate, so no keystroke is refused for passing the maximum
    // or for the other separator; only letters and the like are.
    QValidator::State validate(QString &text, int &pos) const override;
    double valueFromText(const QString &text) const override;

signals:
    void keyDown();
    void keyUp(int key);
    void topClick();
    void exited();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    // Draws the arrows on the step buttons: the platform's default style leaves them bare,
    // and the operator must see what the buttons do.
    void paintEvent(QPaintEvent *event) override;
};
