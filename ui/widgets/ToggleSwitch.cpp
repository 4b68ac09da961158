#include "ui/widgets/ToggleSwitch.h"

#include <QPainter>

#include <algorithm>

namespace {
const QColor kOnTrack(0x43, 0xA0, 0x47);
const QColor kOffTrack(0xB0, 0xBE, 0xC5);
const QColor kKnob(0xFF, 0xFF, 0xFF);
const QColor kOutline(0x78, 0x90, 0x9C);
}  // namespace

ToggleSwitch::ToggleSwitch(QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        p.setOpacity(0.45);

    // Keep the track's proportions whatever the widget's shape.
    const qreal h = std::min<qreal>(height() - 2, (width() - 2) / 2.0);
    const qreal w = std::min<qreal>(width() - 2, h * 2.15);
    const QRectF track(QPointF((width() - w) / 2, (height() - h) / 2), QSizeF(w, h));
    const bool on = isChecked();

    p.setPen(QPen(on ? kOnTrack.darker(120) : kOutline, 1.0));
    p.setBrush(on ? kOnTrack : kOffTrack);
    p.drawRoundedRect(track, h / 2, h / 2);

    // "I" and "O" marks on the free side of the track say which state the knob stands for.
    const qreal knobD = h - 6;
    const qreal knobX = on ? track.right() - 3 - knobD : track.left() + 3;
    QPen mark(QColor(255, 255, 255, 220), std::max<qreal>(1.5, h / 12), Qt::SolidLine, Qt::RoundCap);
    p.setPen(mark);
    p.setBrush(Qt::NoBrush);
    if (on) {
        const qreal x = track.left() + (track.width() - knobD - 6) / 2 + 3;
        p.drawLine(QPointF(x, track.center().y() - h * 0.2), QPointF(x, track.center().y() + h * 0.2));
    } else {
        mark.setColor(kOutline);
        p.setPen(mark);
        const qreal r = h * 0.17;
        const QPointF c(track.right() - (track.width() - knobD - 6) / 2 - 3, track.center().y());
        p.drawEllipse(c, r, r);
    }

    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(kKnob);
    p.drawEllipse(QRectF(knobX, track.top() + 3, knobD, knobD));

    if (hasFocus()) {
        QPen focus(palette().color(QPalette::Highlight), 1.0, Qt::DotLine);
        p.setPen(focus);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(-1, -1, 1, 1), h / 2 + 1, h / 2 + 1);
    }
}
