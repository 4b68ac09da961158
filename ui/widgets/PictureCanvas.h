// A scalable picture from our resources with child widgets pinned to places on it.
//
// The pictures live in ui/resources/pictures.qrc (prefix "/pictures") inside the static library
// qv_ui. A static library's resources are registered only when something calls
// Q_INIT_RESOURCE(pictures) (outside any namespace) or ensurePicturesLoaded() below; the canvas
// calls the latter itself, so code that only loads a QIcon or QPixmap by path calls it first.
#pragma once

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

class QSvgRenderer;

// Registers the picture resources once; safe to call any number of times.
void ensurePicturesLoaded();

class PictureCanvas : public QWidget {
    Q_OBJECT
public:
    explicit PictureCanvas(const QString &svgResource, QWidget *parent = nullptr);
    ~PictureCanvas() override;

    void setPicture(const QString &svgResource);
    QString picture() const { return Resource; }
    // The picture's own size in picture pixels; empty when the resource is not a valid SVG.
    QSizeF pictureSize() const;
    bool isPictureValid() const;

    // Keeps `child` over `pictureRect` (picture pixels), scaled and offset as the picture is.
    // The canvas becomes the child's parent; a child placed again moves to its new rectangle.
    void placeChild(QWidget *child, const QRectF &pictureRect);

    // Where a picture rectangle stands in this widget at its current size.
    QRectF mapFromPicture(const QRectF &pictureRect) const;
    // Picture pixels per widget pixel's inverse: widget pixels per picture pixel.
    qreal scale() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Placed {
        QPointer<QWidget> Child;
        QRectF Rect;
    };
    QRectF pictureArea() const;
    void layoutChildren();

    QString Resource;
    QSvgRenderer *Renderer;
    QPixmap Cache;  // the picture at the current size
    QList<Placed> Children;
};
