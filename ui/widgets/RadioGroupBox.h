// A titled group of radio buttons read and set by index, like the option groups of the
// pages. `Entered` fires when the focus arrives at any of its buttons.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QRadioButton;

class RadioGroupBox : public QGroupBox {
    Q_OBJECT
public:
    RadioGroupBox(const QString &title, const QStringList &items, int itemIndex, QWidget *parent = nullptr);

    int ItemIndex() const { return group_.checkedId(); }
    void SetItemIndex(int index);
    QRadioButton *Button(int index) const;

signals:
    void Entered();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QButtonGroup group_;
};
