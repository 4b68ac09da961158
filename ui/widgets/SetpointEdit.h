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
    // Steps only with the focus, with a value shown and while steps are not held back: a
    // step writes, so the spin box's own repeat must not run on behind a question.
    void stepBy(int steps) override;

    // Whether the editor shows a number: one read from the device, or one the operator
    // entered. Until then it shows "--", does not step, and nothing may be written from it.
    bool HasValue() const { return hasValue_; }
    void ShowValue(double value);
    void ShowNoValue();
    // Holds steps back (a question about a step is open) or lets them run again.
    void SetStepsBlocked(bool blocked) { stepsBlocked_ = blocked; }
    // Ends a step repeat under way (a held arrow key or button) and ignores the key's further
    // auto-repeat until it is pressed anew.
    void EndStepping();

    // A number typed with a point or a comma, whatever the locale: "12.5", "12,5", "-3",
    // "12.", ",5". False for anything else, "" and "-" included.
    static bool ParseTyped(const QString &text, double *value);

    // Partial numbers are Intermediate, so no keystroke is refused for passing the maximum
    // or for the other separator; only letters and the like are.
    QValidator::State validate(QString &text, int &pos) const override;
    double valueFromText(const QString &text) const override;
    QString textFromValue(double value) const override;

signals:
    void keyDown();
    void keyUp(int key);
    void topClick();
    void exited();

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    // Draws the arrows on the step buttons: the platform's default style leaves them bare,
    // and the operator must see what the buttons do.
    void paintEvent(QPaintEvent *event) override;

private:
    bool hasValue_ = false;
    bool stepsBlocked_ = false;
    bool repeatEnded_ = false;
};
