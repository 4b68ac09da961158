#include "ui/pages/ChargerMnemoPage.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/pages/DiagramCanvas.h"
#include "ui/pages/DiagramLabels.h"
#include "ui/MainUnit.h"
#include "ui/app/QtHooks.h"
#include "ui/dialogs/WriteRefusal.h"
#include "ui/resources/DiagramLayout.h"
#include "ui/widgets/FlowArrow.h"
#include "ui/widgets/PictureCanvas.h"
#include "device/WriteJournal.h"

namespace {

const QColor kEnergyIn(0xFB, 0x8C, 0x00);
const QColor kEnergyOut(0x43, 0xA0, 0x47);

QToolButton *ResetButton(QWidget *parent, const char *name)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(QIcon(QStringLiteral(":/pictures/glyph_reset.svg")));
    button->setToolTip(ChargerMnemoPage::tr("Сбросить счетчик"));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

MString Value(const char16_t *name)
{
    return ActionManager->GetValue(MString(name));
}

}  // namespace

void MouseWriteCheckBox::mouseReleaseEvent(QMouseEvent *event)
{
    QCheckBox::mouseReleaseEvent(event);
    emit mouseReleased();
}

ChargerMnemoPage::ChargerMnemoPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ChargerMnemoTS"));
    Image2 = new DiagramCanvas(QStringLiteral(":/pictures/charger.svg"), this);
    Image2->setObjectName(QStringLiteral("Image2"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(Image2);

    ChargerLoadOnImg = new PictureCanvas(QStringLiteral(":/pictures/charger_bulb_lit.svg"));
    ChargerLoadOnImg->setObjectName(QStringLiteral("ChargerLoadOnImg"));
    ChargerLoadOnImg->setAttribute(Qt::WA_TransparentForMouseEvents);
    ChargerLoadOnImg->hide();
    Image2->placeChild(ChargerLoadOnImg, kChargerBulbOverlay);

    auto *text = new DiagramLabels(Image2);
    PhotoCurrentLabel = text->AddLine(kChargerSolarLabels, 0, "PhotoCurrentLabel");
    PhotoVoltageLabel = text->AddLine(kChargerSolarLabels, 1, "PhotoVoltageLabel");
    PhotoPowerLabel = text->AddLine(kChargerSolarLabels, 2, "PhotoPowerLabel");
    PhotoEnergyLabel = text->AddLine(kChargerSolarLabels, 3, "PhotoEnergyLabel", kResetButton);
    BatCurrentLabel = text->AddLine(kChargerBatteryLabels, 0, "BatCurrentLabel");
    BatVoltageLabel = text->AddLine(kChargerBatteryLabels, 1, "BatVoltageLabel");
    BatPowerLabel = text->AddLine(kChargerBatteryLabels, 2, "BatPowerLabel");
    BatEnergyChargeLabel = text->AddLine(kChargerBatteryLabels, 3, "BatEnergyChargeLabel", kResetButton);
    BatEnergyDischargeLabel = text->AddLine(kChargerBatteryLabels, 4, "BatEnergyDischargeLabel", kResetButton);
    LoadCurrentLabel = text->AddLine(kChargerLoadLabels, 0, "LoadCurrentLabel");
    LoadVoltageLabel = text->AddLine(kChargerLoadLabels, 1, "LoadVoltageLabel");
    LoadPowerLabel = text->AddLine(kChargerLoadLabels, 2, "LoadPowerLabel");
    LoadEnergyLabel = text->AddLine(kChargerLoadLabels, 3, "LoadEnergyLabel", kResetButton);
    ChargerAvddLabel = text->AddDisplayLine(kChargerDeviceLabels, 0, "ChargerAvddLabel");
    ChargerTempLabel = text->AddDisplayLine(kChargerDeviceLabels, 1, "ChargerTempLabel");
    ChargerUptimeLabel = text->AddDisplayLine(kChargerDeviceLabels, 2, "ChargerUptimeLabel");

    // In "I[A] %1" the A is Latin; the В of "U[В] %1" is Cyrillic; "Вт·ч" has a middle dot.
    // The texts the two diagram pages share are translated once, under DiagramLabels.
    valueLabels_ = {
        {PhotoCurrentLabel, u"Adc.I_Solar", DiagramLabels::tr("I[A] %1")},
        {PhotoVoltageLabel, u"Adc.U_Solar", DiagramLabels::tr("U[В] %1")},
        {PhotoPowerLabel, u"Adc.PowerSolar", DiagramLabels::tr("P[Вт] %1")},
        {PhotoEnergyLabel, u"Adc.EnergySolar", DiagramLabels::tr("E[Вт·ч] %1")},
        {BatCurrentLabel, u"Adc.I_Accu", DiagramLabels::tr("I[A] %1")},
        {BatVoltageLabel, u"Adc.U_Accu", DiagramLabels::tr("U[В] %1")},
        {BatPowerLabel, u"Adc.PowerAccu", DiagramLabels::tr("P[Вт] %1")},
        {BatEnergyChargeLabel, u"Adc.EnergyAccuCharge", DiagramLabels::tr("E(заряд)[Вт·ч] %1")},
        {BatEnergyDischargeLabel, u"Adc.EnergyAccuDischarge", DiagramLabels::tr("E(разряд)[Вт·ч] %1")},
        {LoadCurrentLabel, u"Adc.I_Load", DiagramLabels::tr("I[A] %1")},
        {LoadVoltageLabel, u"Adc.U_Load", DiagramLabels::tr("U[В] %1")},
        {LoadPowerLabel, u"Adc.PowerLoad", DiagramLabels::tr("P[Вт] %1")},
        {LoadEnergyLabel, u"Adc.EnergyLoad", DiagramLabels::tr("E[Вт·ч] %1")},
        {ChargerAvddLabel, u"Adc.AvddVoltage", DiagramLabels::tr("Umcu[В] %1")},
        {ChargerTempLabel, u"Adc.Temp_External", DiagramLabels::tr("t[°C] %1")},
        {ChargerUptimeLabel, u"Rtc.UpTimeHours", DiagramLabels::tr("Ton[ч] %1")},
    };
    ShowNoValues(valueLabels_);

    PhotoEnergyResetBtn = ResetButton(Image2, "PhotoEnergyResetBtn");
    text->PlaceAtLineEnd(PhotoEnergyResetBtn, kChargerSolarLabels, 3);
    BatEnergyChargeResetBtn = ResetButton(Image2, "BatEnergyChargeResetBtn");
    text->PlaceAtLineEnd(BatEnergyChargeResetBtn, kChargerBatteryLabels, 3);
    BatEnergyDischargeResetBtn = ResetButton(Image2, "BatEnergyDischargeResetBtn");
    text->PlaceAtLineEnd(BatEnergyDischargeResetBtn, kChargerBatteryLabels, 4);
    LoadEnergyResetBtn = ResetButton(Image2, "LoadEnergyResetBtn");
    text->PlaceAtLineEnd(LoadEnergyResetBtn, kChargerLoadLabels, 3);
    connect(PhotoEnergyResetBtn, &QToolButton::clicked, this, &ChargerMnemoPage::PhotoEnergyResetBtnClick);
    connect(LoadEnergyResetBtn, &QToolButton::clicked, this, &ChargerMnemoPage::LoadEnergyResetBtnClick);
    connect(BatEnergyChargeResetBtn, &QToolButton::clicked, this, &ChargerMnemoPage::BatEnergyChargeResetBtnClick);
    connect(BatEnergyDischargeResetBtn, &QToolButton::clicked, this,
            &ChargerMnemoPage::BatEnergyDischargeResetBtnClick);

    LoadTurnOffCB = new MouseWriteCheckBox(tr("Выключить"), Image2);
    LoadTurnOffCB->setObjectName(QStringLiteral("LoadTurnOffCB"));
    LoadTurnOffCB->setToolTip(tr("Принудительное отключение нагрузки"));
    LoadNightModeCB = new MouseWriteCheckBox(tr("Выкл. днём"), Image2);
    LoadNightModeCB->setObjectName(QStringLiteral("LoadNightModeCB"));
    LoadNightModeCB->setToolTip(tr("Включать нагрузку только ночью"));
    const QRectF boxes = kChargerLoadCheckBoxes;
    Image2->placeChild(LoadTurnOffCB, QRectF(boxes.left(), boxes.top(), boxes.width(), boxes.height() / 2));
    Image2->placeChild(LoadNightModeCB,
                       QRectF(boxes.left(), boxes.top() + boxes.height() / 2, boxes.width(), boxes.height() / 2));
    text->Track(LoadTurnOffCB);
    text->Track(LoadNightModeCB);
    LoadTurnOffCB->setEnabled(false);  // until the device's state is read
    LoadNightModeCB->setEnabled(false);
    connect(LoadTurnOffCB, &MouseWriteCheckBox::mouseReleased, this, &ChargerMnemoPage::LoadTurnOffCBMouseUp);
    connect(LoadNightModeCB, &MouseWriteCheckBox::mouseReleased, this, &ChargerMnemoPage::LoadNightModeCBMouseUp);

    ChargerSolarArrowImg = new FlowArrow(FlowArrow::Direction::Right, kEnergyIn);
    ChargerAccuChargeArrowImg = new FlowArrow(FlowArrow::Direction::Down, kEnergyOut);
    ChargerAccuDischargeArrowImg = new FlowArrow(FlowArrow::Direction::Up, kEnergyIn);
    ChargerLoadArrowImg = new FlowArrow(FlowArrow::Direction::Right, kEnergyOut);
    ChargerSolarArrowImg->setObjectName(QStringLiteral("ChargerSolarArrowImg"));
    ChargerAccuChargeArrowImg->setObjectName(QStringLiteral("ChargerAccuChargeArrowImg"));
    ChargerAccuDischargeArrowImg->setObjectName(QStringLiteral("ChargerAccuDischargeArrowImg"));
    ChargerLoadArrowImg->setObjectName(QStringLiteral("ChargerLoadArrowImg"));
    for (FlowArrow *arrow :
         {ChargerSolarArrowImg, ChargerAccuChargeArrowImg, ChargerAccuDischargeArrowImg, ChargerLoadArrowImg})
        arrow->hide();
    Image2->placeChild(ChargerSolarArrowImg, kChargerSolarArrow);
    Image2->placeChild(ChargerAccuChargeArrowImg, kChargerBatteryArrow);
    Image2->placeChild(ChargerAccuDischargeArrowImg, kChargerBatteryArrow);
    Image2->placeChild(ChargerLoadArrowImg, kChargerLoadArrow);
}

void ChargerMnemoPage::Update()
{
    ShowValues(valueLabels_);
    // Setting the boxes by program writes nothing: their writes belong to the mouse. A box
    // takes clicks only once it shows the device's state: a click on a box never filled
    // would write a state nobody saw.
    for (auto [box, name] :
         {std::pair{LoadTurnOffCB, u"Reg.bForceLoadOff"}, std::pair{LoadNightModeCB, u"Reg.bNightLightMode"}}) {
        const MString value = Value(name);
        box->setEnabled(!value.Equals(u"--"));
        box->setChecked(value.ToInt() != 0);
    }

    ChargerSolarArrowImg->setVisible(Value(u"Adc.PowerSolar").ToReal() > 0.5);
    const float accu = static_cast<float>(Value(u"Adc.PowerAccu").ToReal());
    ChargerAccuChargeArrowImg->setVisible(accu > 0.5f);
    ChargerAccuDischargeArrowImg->setVisible(accu < -0.5f);
    ChargerLoadArrowImg->setVisible(Value(u"Adc.PowerLoad").ToReal() > 0.5);
    ChargerLoadOnImg->setVisible(Value(u"Reg.bLoadIsOn").ToInt() != 0);
}

void ChargerMnemoPage::PhotoEnergyResetBtnClick()
{
    const WriteOrigin origin("window: PhotoEnergyResetBtn");
    WriteNumberOrExplain(*ActionManager, MString(u"Adc.EnergySolar"), 0);
}

void ChargerMnemoPage::LoadEnergyResetBtnClick()
{
    const WriteOrigin origin("window: LoadEnergyResetBtn");
    WriteNumberOrExplain(*ActionManager, MString(u"Adc.EnergyLoad"), 0);
}

void ChargerMnemoPage::BatEnergyChargeResetBtnClick()
{
    const WriteOrigin origin("window: BatEnergyChargeResetBtn");
    WriteNumberOrExplain(*ActionManager, MString(u"Adc.EnergyAccuCharge"), 0);
}

void ChargerMnemoPage::BatEnergyDischargeResetBtnClick()
{
    const WriteOrigin origin("window: BatEnergyDischargeResetBtn");
    WriteNumberOrExplain(*ActionManager, MString(u"Adc.EnergyAccuDischarge"), 0);
}

void ChargerMnemoPage::LoadTurnOffCBMouseUp()
{
    if (!LoadTurnOffCB->isEnabled())
        return;
    const WriteOrigin origin("window: LoadTurnOffCB");
    WriteNumberOrExplain(*ActionManager, MString(u"Reg.bForceLoadOff"), LoadTurnOffCB->isChecked() ? 1 : 0);
}

void ChargerMnemoPage::LoadNightModeCBMouseUp()
{
    if (!LoadNightModeCB->isEnabled())
        return;
    const WriteOrigin origin("window: LoadNightModeCB");
    WriteNumberOrExplain(*ActionManager, MString(u"Reg.bNightLightMode"), LoadNightModeCB->isChecked() ? 1 : 0);
}
