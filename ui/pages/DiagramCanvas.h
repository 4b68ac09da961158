// A picture canvas that keeps its drawing as a pixmap of its current size, so that the
// animated arrows and changing labels over it repaint from the pixmap instead of drawing
// the whole picture again many times a second.
#pragma once

#include <QPixmap>

#include "ui/widgets/PictureCanvas.h"

class DiagramCanvas : public PictureCanvas {
    Q_OBJECT
public:
    explicit DiagramCanvas(const QString &svgResource, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap cache_;
};
