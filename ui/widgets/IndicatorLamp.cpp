#include "ui/widgets/IndicatorLamp.h"

#include <QPainter>

#include <algorithm>

namespace {
const QColor kSilver(0xCF, 0xD8, 0xDC);
const QColor kRim(0x78, 0x90, 0x9C);
}  // namespace

IndicatorLamp::IndicatorLamp(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void IndicatorLamp::setLit(bool lit)
{
    if (Lit == lit)
        return;
    Lit = lit;
    update();
}

void IndicatorLamp::setOnColor(const QColor &color)
{
    OnColor = color;
    if (Lit)
        update();
}

QColor IndicatorLamp::faceColor() const
{
    return Lit ? OnColor : kSilver;
}

void IndicatorLamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = std::min(width(), height()) - 2.0;
    const QRectF face(QPointF((width() - d) / 2, (height() - d) / 2), QSizeF(d, d));
    const qreal rim = std::max<qreal>(1.0, d / 10);
    p.setPen(QPen(Lit ? OnColor.darker(140) : kRim, rim));
    p.setBrush(faceColor());
    p.drawEllipse(face.adjusted(rim / 2, rim / 2, -rim / 2, -rim / 2));
    // A small highlight makes the dome read as a lamp rather than a dot.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, Lit ? 150 : 110));
    const qreal h = d * 0.28;
    p.drawEllipse(QRectF(face.left() + d * 0.24, face.top() + d * 0.2, h, h * 0.8));
}
