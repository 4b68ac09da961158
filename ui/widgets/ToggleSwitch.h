// An on/off slider: a rounded track with a knob, green and to the right when on.
#pragma once

#include <QAbstractButton>

class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget *parent = nullptr);

    QSize sizeHint() const override { return {60, 28}; }
    QSize minimumSizeHint() const override { return {36, 18}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};
