// A row of chevrons moving along the widget's length: shows energy flowing along a wire.
// The animation runs only while the arrow is visible, so hidden arrows cost nothing. Every
// arrow takes its frames from one shared timer: the arrows of a diagram then advance in the
// same turn of the event loop and are painted in one pass, not one pass each.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class FlowArrow : public QWidget {
    Q_OBJECT
public:
    enum class Direction { Right, Left, Down, Up };

    FlowArrow(Direction d, const QColor &color, QWidget *parent = nullptr);
    ~FlowArrow() override;

    bool isAnimating() const { return static_cast<bool>(Frames); }
    Direction direction() const { return Dir; }
    QColor color() const { return Color; }
    // How far the chevrons have moved along the length, in widget pixels, within one chevron pitch.
    qreal phase() const { return Phase; }

    static constexpr int kFrameMs = 50;  // 20 frames per second: smooth enough, and cheap while idle

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void advance();
    void startFrames();
    void stopFrames();
    bool horizontal() const { return Dir == Direction::Right || Dir == Direction::Left; }

    Direction Dir;
    QColor Color;
    QMetaObject::Connection Frames;  // to the shared frame timer, while visible
    QElapsedTimer Clock;
    qreal Phase = 0;
};
