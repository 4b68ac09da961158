#include "ui/widgets/RadioGroupBox.h"

#include <QEvent>
#include <QRadioButton>
#include <QVBoxLayout>

RadioGroupBox::RadioGroupBox(const QString &title, const QStringList &items, int itemIndex, QWidget *parent)
    : QGroupBox(title, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        group_.addButton(button, i);
        button->installEventFilter(this);
        layout->addWidget(button);
    }
    layout->addStretch();
    SetItemIndex(itemIndex);
}

void RadioGroupBox::SetItemIndex(int index)
{
    if (QAbstractButton *button = group_.button(index))
        button->setChecked(true);
}

QRadioButton *RadioGroupBox::Button(int index) const
{
    return qobject_cast<QRadioButton *>(group_.button(index));
}

bool RadioGroupBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn)
        emit Entered();
    return QGroupBox::eventFilter(watched, event);
}
