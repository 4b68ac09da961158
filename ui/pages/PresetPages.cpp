#include "ui/pages/PresetPages.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "core/Notify.h"
#include "device/ActionManager.h"
#include "device/BatteryPresets.h"
#include "ui/app/QtHooks.h"
#include "ui/widgets/RadioGroupBox.h"
#include "ui/dialogs/WriteRefusal.h"
#include "ui/widgets/PictureCanvas.h"
#include "device/WriteJournal.h"

const char *const kQuickSetupWarning =
    QT_TRANSLATE_NOOP("QuickSetup", "Внимание!\nИнструмент быстрой настройки позволяет записать в ЗУ полный набор "
                                    "установок, но не определяет текущие настройки устройства!");

namespace {

MString ToMString(const QString &text)
{
    return MString(reinterpret_cast<const char16_t *>(text.utf16()));
}

QLabel *WarningLabel(QWidget *parent)
{
    auto *label = new QLabel(QCoreApplication::translate("QuickSetup", kQuickSetupWarning), parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

// The apply button with its picture beside it.
QHBoxLayout *ApplyRow(QPushButton *button, PictureCanvas *picture)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button, 0, Qt::AlignVCenter);
    row->addSpacing(12);
    picture->setFixedSize(108, 90);
    row->addWidget(picture);
    row->addStretch();
    return row;
}

// A setting as the operator reads numbers: the locale's separator, a float's digits.
QString SettingNumber(float value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(value), 'g', 7);
}

void ReportWrite(const BatteryWriteResult &result)
{
    ShowMessageBox(PresetReport::Text(result).toStdU16String());
}

}  // namespace

QString PresetReport::Text(const BatteryWriteResult &result)
{
    if (result.AllWritten())
        return QString::fromUtf16(kPresetDoneText);
    if (result.Any(SettingOutcome::Refused)) {
        // Nothing went to the device: the first refusal says what to change.
        const SettingResult *refused = result.FirstProblem();
        return tr("Установки не записаны: устройство не изменено.") + QStringLiteral("\r\n") +
               WriteRefusal::Text(refused->Refusal).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    }
    // The error message's first line, then what went wrong with which setting.
    const QString failed = QString::fromUtf16(kPresetFailedText);
    QString text = failed.section(QStringLiteral("\r\n"), 0, 0);
    QStringList unanswered;
    for (const SettingResult &r : result.Settings) {
        const QString name = QString::fromUtf16(r.Name);
        if (r.Outcome == SettingOutcome::DeviceRefused)
            text += QStringLiteral("\r\n") + tr("Устройство не приняло %1 = %2.").arg(name, SettingNumber(r.Value));
        else if (r.Outcome == SettingOutcome::Failed)
            unanswered << name;
    }
    if (!unanswered.isEmpty())
        text += QStringLiteral("\r\n") + failed.section(QStringLiteral("\r\n"), 1) + QStringLiteral("\r\n") +
                tr("Не записано: %1.").arg(unanswered.join(QStringLiteral(", ")));
    return text;
}

PbPresetPage::PbPresetPage(cActionManager &device, QWidget *parent) : QWidget(parent), device_(device)
{
    setObjectName(QStringLiteral("PbPresetTS"));
    Label2 = WarningLabel(this);
    Label1 = new QLabel(tr("Емкость, А-ч"), this);
    AccuCapacityEdit = new QComboBox(this);
    AccuCapacityEdit->setEditable(true);
    AccuCapacityEdit->addItems({"4.5", "7.2", "26", "55", "65"});
    AccuCapacityEdit->setCurrentText(QStringLiteral("26"));
    // A capacity is a positive number: no signs, no exponents, at most one separator.
    AccuCapacityEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}([.,][0-9]{0,3})?")), this));
    AccuCapacityEdit->setInsertPolicy(QComboBox::NoInsert);
    Label1->setBuddy(AccuCapacityEdit);

    BatteryUseRG = new RadioGroupBox(
        tr("Режим эксплуатации АКБ"),
        {tr("Макс. использование ёмкости"), tr("Макс. срок службы"), tr("Восстановление сульф. АКБ")}, 1, this);
    BatteryChemRG = new RadioGroupBox(
        tr("Конструктив"), {tr("Абсорбированный (AGM)"), tr("Гелевый (GEL)"), tr("Заливной Ca/Sb")}, 0, this);
    BatteryVoltageRG = new RadioGroupBox(tr("Номинальное напряжение"), {tr("12 В"), tr("24 В")}, 0, this);
    ApplyQuickSetupButton = new QPushButton(tr("Применить"), this);
    Image1 = new PictureCanvas(QStringLiteral(":/pictures/lead_acid.svg"), this);

    auto *capacity = new QHBoxLayout;
    capacity->addWidget(Label1);
    capacity->addWidget(AccuCapacityEdit);
    capacity->addStretch();

    // Two choices side by side, then the voltage beside the button: three groups in one
    // row would cut their texts in a window this size.
    auto *choices = new QHBoxLayout;
    choices->addWidget(BatteryUseRG);
    choices->addWidget(BatteryChemRG);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BatteryVoltageRG);
    bottom->addLayout(ApplyRow(ApplyQuickSetupButton, Image1), 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addLayout(capacity);
    layout->addLayout(choices);
    layout->addLayout(bottom);
    layout->addStretch();

    connect(ApplyQuickSetupButton, &QPushButton::clicked, this, &PbPresetPage::ApplyQuickSetupButtonClick);
}

void PbPresetPage::ApplyQuickSetupButtonClick()
{
    const WriteOrigin origin("window: ApplyQuickSetupButton");
    const BatterySettings settings = LeadAcidPreset(CapacityFromText(ToMString(AccuCapacityEdit->currentText())),
                                                    static_cast<LeadAcidUse>(BatteryUseRG->ItemIndex()),
                                                    static_cast<LeadAcidBuild>(BatteryChemRG->ItemIndex()),
                                                    static_cast<NominalVoltage>(BatteryVoltageRG->ItemIndex()));
    ReportWrite(WriteBatterySettings(device_, settings));
}

LiPresetPage::LiPresetPage(cActionManager &device, QWidget *parent) : QWidget(parent), device_(device)
{
    setObjectName(QStringLiteral("LiPresetTS"));
    Label19 = WarningLabel(this);
    auto *digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), this);
    LiBatCEdit = new QLineEdit(QStringLiteral("20"), this);
    LiBatCEdit->setValidator(digits);
    LiBatSEdit = new QLineEdit(QStringLiteral("3"), this);
    LiBatSEdit->setValidator(digits);
    LiBatSEdit->installEventFilter(this);
    LiBatTypeRG = new RadioGroupBox(tr("Химия"), {"LiPo/LiIon", "LiFePO4"}, 0, this);
    LiBatApplyButton = new QPushButton(tr("Применить"), this);
    Image3 = new PictureCanvas(QStringLiteral(":/pictures/lithium.svg"), this);

    auto *fields = new QFormLayout;
    fields->addRow(tr("[C] Емкость, А-ч"), LiBatCEdit);
    fields->addRow(tr("[S] Кол-во ячеек"), LiBatSEdit);

    auto *choices = new QHBoxLayout;
    choices->addLayout(fields);
    choices->addWidget(LiBatTypeRG);
    choices->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label19);
    layout->addLayout(choices);
    layout->addLayout(ApplyRow(LiBatApplyButton, Image3));
    layout->addStretch();

    connect(LiBatApplyButton, &QPushButton::clicked, this, &LiPresetPage::LiBatApplyButtonClick);
}

bool LiPresetPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LiBatSEdit && event->type() == QEvent::FocusIn)
        emit CellCountEntered();
    return QWidget::eventFilter(watched, event);
}

void LiPresetPage::LiBatApplyButtonClick()
{
    const WriteOrigin origin("window: LiBatApplyButton");
    const auto settings =
        LithiumPreset(CapacityFromText(ToMString(LiBatCEdit->text())), CellCountFromText(ToMString(LiBatSEdit->text())),
                      static_cast<LithiumChemistry>(LiBatTypeRG->ItemIndex()));
    if (!settings) {
        ShowMessageBox(kCellCountRefusedText);
        return;
    }
    ReportWrite(WriteBatterySettings(device_, *settings));
}
