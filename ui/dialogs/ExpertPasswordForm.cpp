#include "ui/dialogs/ExpertPasswordForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/dialogs/FormPlacement.h"

TExpertPasswordForm::TExpertPasswordForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("ExpertPasswordForm"));
    setWindowTitle(tr("Введите пароль"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);

    Label1 = new QLabel(tr("Для доступа к расширенным возможностям по настройке и тестированию "
                           "устройства введите пароль эксперта"),
                        this);
    Label1->setWordWrap(true);
    ExpertPassEdit = new QLineEdit(this);
    ExpertPassEdit->setObjectName(QStringLiteral("ExpertPassEdit"));
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *row = new QHBoxLayout;
    row->addWidget(ExpertPassEdit, 1);
    row->addWidget(OkButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(row);
    const QSize design = ScaledSize(591, 98);
    setMinimumWidth(design.width());
    resize(design.width(), std::max(design.height(), sizeHint().height()));
}

void TExpertPasswordForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOn(this, parentWidget());
    ExpertPassEdit->setFocus(Qt::OtherFocusReason);
}
