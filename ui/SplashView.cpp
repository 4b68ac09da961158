#include "ui/SplashView.h"

#include <QPainter>
#include <QSvgRenderer>

SplashView::SplashView(QWidget *parent) : QWidget(parent)
{
    renderer_ = new QSvgRenderer(QStringLiteral(":/pictures/splash.svg"), this);
    setAutoFillBackground(true);
    setPalette(QPalette(QColor(0xEC, 0xEF, 0xF1)));
}

void SplashView::paintEvent(QPaintEvent *)
{
    if (!renderer_->isValid())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QSizeF size = renderer_->defaultSize();
    size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    renderer_->render(&painter, target);
}
