#include "ui/dialogs/PortForm.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "device/LinkOptions.h"
#include "port/PortList.h"

TPortForm::TPortForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PortForm"));
    setWindowTitle(tr("Порт устройства"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(tr("Выберите порт, к которому подключено устройство, или введите путь к нему."), this));

    PortList = new QTreeWidget(this);
    PortList->setObjectName(QStringLiteral("PortList"));
    PortList->setRootIsDecorated(false);
    PortList->setHeaderLabels({tr("Порт"), tr("Состояние"), tr("Постоянное имя")});
    PortList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    PortList->header()->setStretchLastSection(true);
    PortList->setMinimumWidth(640);
    layout->addWidget(PortList);

    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(tr("Путь:"), this));
    PathEdit = new QLineEdit(this);
    PathEdit->setObjectName(QStringLiteral("PathEdit"));
    PathEdit->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    pathRow->addWidget(PathEdit, 1);
    // The lowest step stands for 254: below 1, where a spin box shows its special text.
    pathRow->addWidget(new QLabel(tr("Адрес:"), this));
    AddressBox = new QSpinBox(this);
    AddressBox->setObjectName(QStringLiteral("AddressBox"));
    AddressBox->setRange(0, 247);
    AddressBox->setSpecialValueText(tr("254 (любое устройство)"));
    AddressBox->setToolTip(tr("Адрес устройства на линии RS-485: 1–247, когда на ней несколько устройств"));
    pathRow->addWidget(AddressBox);
    layout->addLayout(pathRow);

    auto *buttons = new QDialogButtonBox(this);
    RefreshButton = buttons->addButton(tr("Обновить"), QDialogButtonBox::ActionRole);
    ConnectButton = buttons->addButton(tr("Подключить"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Отмена"), QDialogButtonBox::RejectRole);
    ConnectButton->setDefault(true);
    ConnectButton->setEnabled(false);
    layout->addWidget(buttons);

    connect(PathEdit, &QLineEdit::textChanged, this, [this] { ConnectButton->setEnabled(!ChosenPort().isEmpty()); });
    connect(PortList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item != nullptr)
            PathEdit->setText(item->data(kPortColumn, Qt::UserRole).toString());
    });
    connect(PortList, &QTreeWidget::itemDoubleClicked, this, &TPortForm::ItemChosen);
    connect(RefreshButton, &QPushButton::clicked, this, [this] { Refresh(connected_); });
    connect(buttons, &QDialogButtonBox::accepted, this, &TPortForm::Choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString TPortForm::StateText(const PortState &state)
{
    switch (state.Access) {
    case PortAccess::Free:
        return tr("свободен");
    case PortAccess::InUse:
        return tr("занят другой программой");
    case PortAccess::NotSerial:
        return tr("не последовательный порт");
    case PortAccess::NoPermission:
        if (!state.Group.empty())
            return tr("нет доступа: нужна группа %1").arg(QString::fromStdString(state.Group));
        if (!state.Owner.User.empty())
            return tr("нет доступа: владелец %1, группа %2, права %3")
                .arg(QString::fromStdString(state.Owner.User), QString::fromStdString(state.Owner.Group),
                     QString::fromStdString(state.Owner.Mode));
        return tr("нет доступа");
    case PortAccess::CannotOpen:
        break;
    }
    return tr("не открывается: %1").arg(QString::fromLocal8Bit(state.Error.c_str()));
}

void TPortForm::Refresh(const QString &connectedPort)
{
    connected_ = connectedPort;
    const QString typed = PathEdit->text();
    PortList->clear();
    for (const std::string &path : PortChoices()) {
        const PortState state = ExaminePort(path);
        const bool ours = !connected_.isEmpty() && SamePort(path, connected_.toStdString());
        auto *item = new QTreeWidgetItem(PortList);
        item->setText(kPortColumn, QString::fromStdString(path));
        item->setText(kStateColumn, ours ? tr("подключён") : StateText(state));
        item->setText(kByIdColumn, QString::fromStdString(state.ById));
        item->setData(kPortColumn, Qt::UserRole, QString::fromStdString(path));
        for (int column : {kPortColumn, kByIdColumn})
            item->setToolTip(column, item->text(column));
    }
    PathEdit->setText(typed);  // listing again keeps what the operator typed
}

void TPortForm::SelectConnectedPort()
{
    PortList->setCurrentItem(nullptr);
    PathEdit->clear();
    for (int i = 0; i < PortList->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = PortList->topLevelItem(i);
        if (!connected_.isEmpty() &&
            SamePort(item->data(kPortColumn, Qt::UserRole).toString().toStdString(), connected_.toStdString())) {
            PortList->setCurrentItem(item);
            break;
        }
    }
    if (ChosenPort().isEmpty())
        PathEdit->setText(connected_);
    // The list would make its first row current when it takes the focus.
    PathEdit->setFocus();
}

QString TPortForm::ChosenPort() const
{
    return PathEdit->text().trimmed();
}

void TPortForm::SetAddress(uint8_t address)
{
    AddressBox->setValue(address >= 1 && address <= 247 ? address : 0);
}

uint8_t TPortForm::ChosenAddress() const
{
    const int n = AddressBox->value();
    return n == 0 ? kAnyUnitAddress : static_cast<uint8_t>(n);
}

void TPortForm::ItemChosen(QTreeWidgetItem *item)
{
    PathEdit->setText(item->data(kPortColumn, Qt::UserRole).toString());
    Choose();
}

void TPortForm::Choose()
{
    const QString path = ChosenPort();
    if (path.isEmpty())
        return;
    accept();
    emit portChosen(path);
}
