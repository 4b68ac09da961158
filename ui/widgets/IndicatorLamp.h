// A small round indicator: its colour when lit, silver when dark.
#pragma once

#include <QColor>
#include <QWidget>

class IndicatorLamp : public QWidget {
    Q_OBJECT
public:
    explicit IndicatorLamp(QWidget *parent = nullptr);

    void setLit(bool lit);
    bool isLit() const { return Lit; }
    void setOnColor(const QColor &color);
    QColor onColor() const { return OnColor; }
    // The colour the face is painted in now.
    QColor faceColor() const;

    QSize sizeHint() const override { return {18, 18}; }
    QSize minimumSizeHint() const override { return {8, 8}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool Lit = false;
    QColor OnColor{0x43, 0xA0, 0x47};
};
