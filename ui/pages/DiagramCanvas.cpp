#include "ui/pages/DiagramCanvas.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSvgRenderer>

DiagramCanvas::DiagramCanvas(const QString &svgResource, QWidget *parent) : PictureCanvas(svgResource, parent)
{
}

void DiagramCanvas::paintEvent(QPaintEvent *event)
{
    if (!isPictureValid())
        return;
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (cache_.size() != pixels || cache_.devicePixelRatio() != dpr) {
        cache_ = QPixmap(pixels);
        cache_.setDevicePixelRatio(dpr);
        cache_.fill(Qt::transparent);
        QPainter painter(&cache_);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer renderer(picture());
        renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        renderer.render(&painter, mapFromPicture(QRectF(QPointF(0, 0), pictureSize())));
    }
    QPainter painter(this);
    painter.drawPixmap(event->rect(), cache_,
                       QRectF(QPointF(event->rect().topLeft()) * dpr, QSizeF(event->rect().size()) * dpr).toRect());
}
