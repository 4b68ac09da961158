#include "ui/widgets/FlowArrow.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {
// Chevron pitch and travel speed as fractions of the arrow's thickness, so the look stays the
// same when the window scales the picture.
constexpr qreal kPitch = 0.8;
constexpr qreal kPitchesPerSecond = 1.6;

// The frame timer all visible arrows share, and how many use it; it runs only while one does.
QTimer *FrameTimer()
{
    static QPointer<QTimer> timer;
    if (timer.isNull()) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(FlowArrow::kFrameMs);
        timer->setTimerType(Qt::CoarseTimer);
    }
    return timer;
}
int g_animating = 0;
}  // namespace

FlowArrow::FlowArrow(Direction d, const QColor &color, QWidget *parent) : QWidget(parent), Dir(d), Color(color)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

FlowArrow::~FlowArrow()
{
    stopFrames();  // a visible arrow deleted gets no hide event
}

void FlowArrow::startFrames()
{
    if (Frames)
        return;
    QTimer *timer = FrameTimer();
    Frames = connect(timer, &QTimer::timeout, this, &FlowArrow::advance);
    if (g_animating++ == 0)
        timer->start();
}

void FlowArrow::stopFrames()
{
    if (!Frames)
        return;
    disconnect(Frames);
    Frames = {};
    if (--g_animating == 0)
        FrameTimer()->stop();
}

QSize FlowArrow::sizeHint() const
{
    return horizontal() ? QSize(50, 15) : QSize(15, 50);
}

void FlowArrow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Clock.start();
    startFrames();
}

void FlowArrow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    stopFrames();
}

// The phase follows the clock rather than counting frames, so late timer ticks under load do not
// slow the flow down.
void FlowArrow::advance()
{
    const qreal thickness = horizontal() ? height() : width();
    const qreal pitch = std::max<qreal>(4.0, thickness * kPitch);
    const qreal travelled = Clock.elapsed() / 1000.0 * kPitchesPerSecond * pitch;
    Phase = std::fmod(travelled, pitch);
    update();
}

void FlowArrow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    // Paint as if pointing right along x, then turn the painter for the other directions.
    const qreal length = horizontal() ? width() : height();
    const qreal thickness = horizontal() ? height() : width();
    switch (Dir) {
    case Direction::Right:
        break;
    case Direction::Left:
        p.translate(width(), height());
        p.rotate(180);
        break;
    case Direction::Down:
        p.translate(width(), 0);
        p.rotate(90);
        break;
    case Direction::Up:
        p.translate(0, height());
        p.rotate(-90);
        break;
    }

    const qreal pitch = std::max<qreal>(4.0, thickness * kPitch);
    const qreal depth = thickness * 0.38;  // how far a chevron's tip stands ahead of its arms
    const qreal half = thickness * 0.36;   // half the chevron's span across the wire
    const qreal mid = thickness / 2;
    QPen pen(Color, std::max<qreal>(1.5, thickness * 0.2), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    const qreal margin = pen.widthF() / 2 + 0.5;

    for (qreal tip = -pitch + Phase + depth; tip < length + pitch; tip += pitch) {
        const qreal back = tip - depth;
        // Chevrons fade in at the tail and out at the head, so the loop shows no seam.
        const qreal centre = (tip + back) / 2;
        const qreal edge = std::min(centre, length - centre) - depth / 2 - margin;
        const qreal fade = std::clamp(edge / (pitch * 0.75), 0.0, 1.0);
        if (fade <= 0)
            continue;
        p.setOpacity(fade);
        QPainterPath path;
        path.moveTo(back, mid - half);
        path.lineTo(tip, mid);
        path.lineTo(back, mid + half);
        p.drawPath(path);
    }
}
