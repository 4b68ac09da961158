#include "ui/dialogs/FormPlacement.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QSize ScaledSize(int width, int height)
{
    const double k = std::max(1.0, QFontMetricsF(QGuiApplication::font()).height() / 13.0);
    return QSize(qRound(width * k), qRound(height * k));
}

void CentreOn(QWidget *window, const QWidget *owner)
{
    const QSize size = window->frameGeometry().size().expandedTo(window->sizeHint());
    QRect area;
    if (owner != nullptr && owner->isVisible())
        area = owner->frameGeometry();
    else if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    else
        return;
    window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}
