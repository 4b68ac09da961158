#include "ui/pages/DiagramLabels.h"

#include <QEvent>
#include <QLabel>

#include "ui/MainUnit.h"
#include "ui/app/QtHooks.h"
#include "ui/resources/DiagramLayout.h"
#include "ui/widgets/PictureCanvas.h"

DiagramLabels::DiagramLabels(PictureCanvas *canvas) : QObject(canvas), canvas_(canvas)
{
    canvas_->installEventFilter(this);
}

QLabel *DiagramLabels::AddLine(const QRectF &block, int line, const char *objectName, qreal rightReserve)
{
    auto *label = new QLabel(canvas_);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setText(QStringLiteral("--"));
    const QRectF rect(block.left(), block.top() + line * kLabelLine, block.width() - rightReserve, kLabelLine);
    canvas_->placeChild(label, rect);
    scaled_.push_back(label);
    Rescale();
    return label;
}

QLabel *DiagramLabels::AddDisplayLine(const QRectF &block, int line, const char *objectName)
{
    QLabel *label = AddLine(block, line, objectName);
    QPalette ink = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        ink.setColor(group, QPalette::WindowText, QColor(kDisplayInk));
    label->setPalette(ink);
    return label;
}

void DiagramLabels::PlaceAtLineEnd(QWidget *widget, const QRectF &block, int line)
{
    const qreal inset = (kLabelLine - kResetButton) / 2;
    canvas_->placeChild(widget, QRectF(block.right() - kResetButton, block.top() + line * kLabelLine + inset,
                                       kResetButton, kResetButton));
}

void DiagramLabels::Track(QWidget *widget)
{
    scaled_.push_back(widget);
    Rescale();
}

bool DiagramLabels::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == canvas_ && event->type() == QEvent::Resize)
        Rescale();
    return QObject::eventFilter(watched, event);
}

void DiagramLabels::Rescale()
{
    const int pixels = std::max(8, qRound(kTextPixels * canvas_->scale()));
    for (QWidget *w : scaled_) {
        QFont font = w->font();
        if (font.pixelSize() == pixels)
            continue;
        font.setPixelSize(pixels);
        w->setFont(font);
    }
}

void ShowNoValues(const std::vector<ValueLabel> &labels)
{
    for (const ValueLabel &v : labels)
        v.Label->setText(v.Text.arg(QStringLiteral("--")));
}

void ShowValues(const std::vector<ValueLabel> &labels)
{
    for (const ValueLabel &v : labels) {
        const MString shown = cActionManager::RoundValue(ActionManager->GetValue(MString(v.Variable)), 10);
        v.Label->setText(v.Text.arg(ToQString(shown)));
    }
}
