#include "ui/widgets/PictureCanvas.h"

#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <mutex>

// Q_INIT_RESOURCE must stand outside any namespace; this wrapper gives it a plain name.
static void initPicturesResource()
{
    Q_INIT_RESOURCE(pictures);
}

void ensurePicturesLoaded()
{
    static std::once_flag once;
    std::call_once(once, initPicturesResource);
}

PictureCanvas::PictureCanvas(const QString &svgResource, QWidget *parent)
    : QWidget(parent), Renderer(new QSvgRenderer(this))
{
    ensurePicturesLoaded();
    setPicture(svgResource);
}

PictureCanvas::~PictureCanvas() = default;

void PictureCanvas::setPicture(const QString &svgResource)
{
    Resource = svgResource;
    Renderer->load(svgResource);
    Renderer->setAspectRatioMode(Qt::KeepAspectRatio);
    Cache = QPixmap();
    updateGeometry();
    layoutChildren();
    update();
}

QSizeF PictureCanvas::pictureSize() const
{
    if (!Renderer->isValid())
        return {};
    return Renderer->viewBoxF().size();
}

bool PictureCanvas::isPictureValid() const
{
    return Renderer->isValid();
}

qreal PictureCanvas::scale() const
{
    const QSizeF pic = pictureSize();
    if (pic.isEmpty())
        return 1.0;
    return std::min(width() / pic.width(), height() / pic.height());
}

// The picture scaled to the widget with its aspect kept, centred.
QRectF PictureCanvas::pictureArea() const
{
    const QSizeF pic = pictureSize();
    if (pic.isEmpty())
        return QRectF(rect());
    const qreal s = scale();
    const QSizeF scaled = pic * s;
    // Whole-pixel offsets keep the cached picture sharp and the children on the same grid.
    return QRectF(QPointF(std::floor((width() - scaled.width()) / 2), std::floor((height() - scaled.height()) / 2)),
                  scaled);
}

QRectF PictureCanvas::mapFromPicture(const QRectF &pictureRect) const
{
    const QRectF area = pictureArea();
    const qreal s = scale();
    return QRectF(area.topLeft() + pictureRect.topLeft() * s, pictureRect.size() * s);
}

void PictureCanvas::placeChild(QWidget *child, const QRectF &pictureRect)
{
    if (!child)
        return;
    if (child->parentWidget() != this) {
        const bool explicitlyHidden = child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide);
        child->setParent(this);
        // setParent hides a widget; only one that was hidden on purpose stays hidden.
        if (!explicitlyHidden)
            child->show();
    }
    auto it = std::find_if(Children.begin(), Children.end(), [child](const Placed &p) { return p.Child == child; });
    if (it != Children.end())
        it->Rect = pictureRect;
    else
        Children.push_back({child, pictureRect});
    child->setGeometry(mapFromPicture(pictureRect).toAlignedRect());
}

void PictureCanvas::layoutChildren()
{
    Children.removeIf([](const Placed &p) { return p.Child.isNull(); });
    for (const Placed &p : Children) {
        // A child given to another parent since is no longer ours to move.
        if (p.Child->parentWidget() != this)
            continue;
        p.Child->setGeometry(mapFromPicture(p.Rect).toAlignedRect());
    }
}

QSize PictureCanvas::sizeHint() const
{
    const QSizeF pic = pictureSize();
    return pic.isEmpty() ? QSize(100, 100) : pic.toSize();
}

// The arrows over a diagram repaint it many times a second; drawing a cached pixmap keeps that
// cheap, where rendering the SVG again each time would not be.
void PictureCanvas::paintEvent(QPaintEvent *)
{
    if (!Renderer->isValid())
        return;
    const QRectF area = pictureArea();
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (area.size() * dpr).toSize();
    if (pixels.isEmpty())
        return;
    if (Cache.size() != pixels || Cache.devicePixelRatio() != dpr) {
        Cache = QPixmap(pixels);
        Cache.setDevicePixelRatio(dpr);
        Cache.fill(Qt::transparent);
        QPainter cachePainter(&Cache);
        cachePainter.setRenderHint(QPainter::Antialiasing);
        Renderer->render(&cachePainter, QRectF(QPointF(0, 0), area.size()));
    }
    QPainter painter(this);
    painter.drawPixmap(area.topLeft(), Cache);
}

void PictureCanvas::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}
