#include "ui/pages/SupplyMnemoPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QLocale>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/Notify.h"
#include "ui/pages/DiagramCanvas.h"
#include "ui/pages/DiagramLabels.h"
#include "ui/widgets/FixedNotation.h"
#include "ui/MainUnit.h"
#include "ui/app/QtHooks.h"
#include "ui/widgets/SetpointEdit.h"
#include "ui/dialogs/WriteRefusal.h"
#include "ui/resources/DiagramLayout.h"
#include "ui/widgets/IndicatorLamp.h"
#include "ui/widgets/PictureCanvas.h"
#include "ui/widgets/ToggleSwitch.h"
#include "device/WriteJournal.h"
#include "ui/trees/CommandAfterWrite.h"

namespace {

constexpr int kEnterKeys[] = {Qt::Key_Return, Qt::Key_Enter};
constexpr float kConfirmRise = 3.0f;
constexpr double kOutputOnAbove = 0.1;  // the output counts as on above this set-point
const QColor kPanel(0x37, 0x47, 0x4F);
const QColor kPanelText(0xEC, 0xEF, 0xF1);
const QColor kLcdFace(0x1C, 0x25, 0x2A);
const QColor kPowerDigits(0x43, 0xA0, 0x47);

MString Value(const char16_t *name)
{
    return ActionManager->GetValue(MString(name));
}

bool IsEnter(int key)
{
    return key == kEnterKeys[0] || key == kEnterKeys[1];
}

QLCDNumber *SegmentDisplay(const char *name, const QColor &digits, bool small)
{
    auto *lcd = new QLCDNumber(3);
    lcd->setObjectName(QString::fromLatin1(name));
    lcd->setSmallDecimalPoint(true);
    lcd->setSegmentStyle(QLCDNumber::Flat);
    lcd->setFrameShape(QFrame::Box);
    lcd->setAutoFillBackground(true);
    QPalette p = lcd->palette();
    p.setColor(QPalette::Window, kLcdFace);
    p.setColor(QPalette::WindowText, digits);
    p.setColor(QPalette::Light, digits);
    p.setColor(QPalette::Dark, kLcdFace.darker(150));
    lcd->setPalette(p);
    const QSize size = small ? QSize(72, 34) : QSize(104, 48);
    const double k = std::max(1.0, QFontMetricsF(lcd->font()).height() / 13.0);
    lcd->setFixedSize(qRound(size.width() * k), qRound(size.height() * k));
    return lcd;
}

QLabel *Caption(const QString &text, bool bold = false)
{
    auto *label = new QLabel(text);
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
    return label;
}

}  // namespace

SupplyMnemoPage::SupplyMnemoPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SupplyMnemoTS"));
    Image5 = new DiagramCanvas(QStringLiteral(":/pictures/supply.svg"), this);
    Image5->setObjectName(QStringLiteral("Image5"));
    SupplyLampLoadOnImg = new PictureCanvas(QStringLiteral(":/pictures/supply_lamp_lit.svg"));
    SupplyLampLoadOnImg->setObjectName(QStringLiteral("SupplyLampLoadOnImg"));
    SupplyLampLoadOnImg->setAttribute(Qt::WA_TransparentForMouseEvents);
    SupplyLampLoadOnImg->hide();
    Image5->placeChild(SupplyLampLoadOnImg, kSupplyLampOverlay);

    auto *text = new DiagramLabels(Image5);
    SupSrcCurrentLabel = text->AddLine(kSupplySourceLabels, 0, "SupSrcCurrentLabel");
    SupSrcVoltageLabel = text->AddLine(kSupplySourceLabels, 1, "SupSrcVoltageLabel");
    SupSrcPowerLabel = text->AddLine(kSupplySourceLabels, 2, "SupSrcPowerLabel");
    SupBoardTempLabel = text->AddDisplayLine(kSupplyBoardLabels, 0, "SupBoardTempLabel");
    SupMcuUptimeLabel = text->AddDisplayLine(kSupplyBoardLabels, 1, "SupMcuUptimeLabel");
    // In this mode the solar input is the source and the battery terminals the output.
    valueLabels_ = {
        {SupBoardTempLabel, u"Adc.Temp_External", DiagramLabels::tr("t[°C] %1")},
        {SupMcuUptimeLabel, u"Rtc.UpTimeHours", DiagramLabels::tr("Ton[ч] %1")},
        {SupSrcCurrentLabel, u"Adc.I_Solar", DiagramLabels::tr("I[A] %1")},
        {SupSrcVoltageLabel, u"Adc.U_Solar", DiagramLabels::tr("U[В] %1")},
        {SupSrcPowerLabel, u"Adc.PowerSolar", DiagramLabels::tr("P[Вт] %1")},
    };
    ShowNoValues(valueLabels_);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 6, 2);
    layout->addWidget(Image5, 1);
    layout->addWidget(CreatePanel(), 0, Qt::AlignVCenter);

    Show(SupUDisplay, FormatFixed(0, 3, 1).rightJustified(4, QLatin1Char('0')));
    Show(SupIDisplay, FormatFixed(0, 3, 2));
    Show(SupPDisplay, QStringLiteral("OFF"));
}

QWidget *SupplyMnemoPage::CreatePanel()
{
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("SupplyPanel"));
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, kPanel);
    p.setColor(QPalette::WindowText, kPanelText);
    panel->setPalette(p);

    const QColor highlight = palette().color(QPalette::Highlight).lighter(130);
    SupUDisplay = SegmentDisplay("SupUDisplay", highlight, false);
    SupIDisplay = SegmentDisplay("SupIDisplay", highlight, false);
    SupPDisplay = SegmentDisplay("SupPDisplay", kPowerDigits, true);
    SupUstabLed = new IndicatorLamp;
    SupUstabLed->setObjectName(QStringLiteral("SupUstabLed"));
    SupIstabLed = new IndicatorLamp;
    SupIstabLed->setObjectName(QStringLiteral("SupIstabLed"));
    SupUsetEdit = new SetpointEdit(33.0, 1.0);
    SupUsetEdit->setObjectName(QStringLiteral("SupUsetEdit"));
    SupIsetEdit = new SetpointEdit(8.0, 0.1);
    SupIsetEdit->setObjectName(QStringLiteral("SupIsetEdit"));
    SupOutSwitch = new ToggleSwitch;
    SupOutSwitch->setObjectName(QStringLiteral("SupOutSwitch"));
    SupOutSwitch->setFocusPolicy(Qt::StrongFocus);

    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 8, 10, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    int row = 0;
    auto addMeter = [&](const QString &title, QLCDNumber *display, const QString &unit, IndicatorLamp *led,
                        SetpointEdit *edit) {
        grid->addWidget(Caption(title, true), row++, 0, 1, 4, Qt::AlignHCenter);
        grid->addWidget(display, row, 0, 1, 3, Qt::AlignRight);
        grid->addWidget(Caption(unit), row++, 3);
        auto *stab = new QHBoxLayout;
        stab->addWidget(led);
        stab->addWidget(Caption(tr("СТАБ")));
        grid->addLayout(stab, row, 0);
        grid->addWidget(Caption(tr("УСТАВКА")), row, 1, Qt::AlignRight);
        grid->addWidget(edit, row++, 2, 1, 2);
        grid->setRowMinimumHeight(row++, 8);
    };
    // The letters of "[В]" and "[А]" are Cyrillic.
    addMeter(tr("Н А П Р Я Ж Е Н И Е"), SupUDisplay, tr("[В]"), SupUstabLed, SupUsetEdit);
    addMeter(tr("Т О К"), SupIDisplay, tr("[А]"), SupIstabLed, SupIsetEdit);

    auto *output = new QVBoxLayout;
    output->addWidget(Caption(tr("В Ы Х О Д"), true), 0, Qt::AlignHCenter);
    output->addWidget(SupOutSwitch, 0, Qt::AlignHCenter);
    auto *power = new QGridLayout;
    power->addWidget(Caption(tr("МОЩНОСТЬ"), true), 0, 0, 1, 2, Qt::AlignHCenter);
    power->addWidget(SupPDisplay, 1, 0);
    power->addWidget(Caption(tr("[Вт]")), 1, 1);
    grid->addLayout(output, row, 0, 1, 2);
    grid->addLayout(power, row, 2, 1, 2);

    connect(SupUsetEdit, &SetpointEdit::keyDown, this, &SupplyMnemoPage::SupUsetEditKeyDown);
    connect(SupIsetEdit, &SetpointEdit::keyDown, this, &SupplyMnemoPage::SupIsetEditKeyDown);
    connect(SupUsetEdit, &SetpointEdit::keyUp, this, &SupplyMnemoPage::SupUsetEditKeyUp);
    connect(SupIsetEdit, &SetpointEdit::keyUp, this, &SupplyMnemoPage::SupIsetEditKeyUp);
    connect(SupUsetEdit, &SetpointEdit::topClick, this, &SupplyMnemoPage::SupUsetEditTopClick);
    connect(SupIsetEdit, &SetpointEdit::topClick, this, &SupplyMnemoPage::SupIsetEditTopClick);
    connect(SupUsetEdit, &SetpointEdit::exited, this, &SupplyMnemoPage::SupUsetEditExit);
    connect(SupIsetEdit, &SetpointEdit::exited, this, &SupplyMnemoPage::SupIsetEditExit);
    connect(SupOutSwitch, &ToggleSwitch::toggled, this, &SupplyMnemoPage::SupOutSwitchOn);
    return panel;
}

void SupplyMnemoPage::Show(QLCDNumber *display, const QString &text)
{
    (display == SupUDisplay ? uText_ : display == SupIDisplay ? iText_ : pText_) = text;
    QString segments = text;
    segments.replace(QLocale().decimalPoint(), QStringLiteral("."));
    display->display(segments);
}

QString SupplyMnemoPage::DisplayText(const QLCDNumber *display) const
{
    return display == SupUDisplay ? uText_ : display == SupIDisplay ? iText_ : pText_;
}

void SupplyMnemoPage::Update()
{
    ShowValues(valueLabels_);
    float u = static_cast<float>(Value(u"Adc.U_Accu").ToReal());
    float i = static_cast<float>(Value(u"Adc.I_Accu").ToReal());
    float p = static_cast<float>(Value(u"Adc.PowerAccu").ToReal());
    const MString m = Value(u"Reg.ChargeMaxU");
    const bool on = m.ToReal() > kOutputOnAbove;
    // The first values read fill the editors whatever the output's state: an editor left at
    // 0 would switch the output on with no current limit. Later, while the output is off,
    // they keep what the operator entered.
    auto fill = [on](SetpointEdit *edit, const MString &value, bool editing) {
        if (value.Equals(u"--"))
            edit->ShowNoValue();
        else if (!editing && (on || !edit->HasValue()))
            edit->ShowValue(cActionManager::RoundValue(value, 100).ToReal());
    };
    fill(SupUsetEdit, m, bUsetEditing);
    fill(SupIsetEdit, Value(u"Reg.ChargeI"), bIsetEditing);
    SupOutSwitch->setEnabled(SupUsetEdit->HasValue() && SupIsetEdit->HasValue());
    const float uset = static_cast<float>(FromQString(SupUsetEdit->text()).ToReal());
    const float iset = static_cast<float>(FromQString(SupIsetEdit->text()).ToReal());
    u = std::max(u, 0.0f);
    i = std::max(i, 0.0f);
    p = std::max(p, 0.0f);

    QString uText = FormatFixed(u, 3, 1);
    if (uText.size() < 4)
        uText.prepend(QLatin1Char('0'));  // 05.0: below 100 V the point stays after the second digit
    Show(SupUDisplay, uText);
    Show(SupIDisplay, FormatFixed(i, 3, 2));
    Show(SupPDisplay, on ? FormatFixed(p, 3, 0) : QStringLiteral("OFF"));
    SupUstabLed->setLit(on && std::fabs(u - uset) < 0.5f);
    SupIstabLed->setLit(on && std::fabs(i - iset) < 0.2f);
    SupplyLampLoadOnImg->setVisible(on);
    if (!SupOutSwitchGuard) {
        SupOutSwitchGuard = true;
        SupOutSwitch->setChecked(on);
        SupOutSwitchGuard = false;
    }
}

void SupplyMnemoPage::SupUsetEditKeyDown()
{
    bUsetEditing = true;
}

void SupplyMnemoPage::SupIsetEditKeyDown()
{
    bIsetEditing = true;
}

void SupplyMnemoPage::SupUsetEditExit()
{
    bUsetEditing = false;
}

void SupplyMnemoPage::SupIsetEditExit()
{
    bIsetEditing = false;
}

std::optional<float> SupplyMnemoPage::TakeSetpoint(SetpointEdit *edit, const char16_t *name)
{
    ModbusAction *variable = ActionManager->Variable(MString(name));
    if (variable == nullptr) {
        ShowMessageBox(name);
        return std::nullopt;
    }
    const QString typed = edit->text();
    WriteCheck check = CheckWrite(*variable, FromQString(typed));
    double wanted = 0;
    if (check.Ok() && !SetpointEdit::ParseTyped(typed, &wanted))
        check.Fault = WriteFault::NotANumber;  // "1e1": the gate reads exponents, the editor does not
    if (check.Ok() && (wanted < edit->minimum() || wanted > edit->maximum()))
        check.Fault = WriteFault::OutOfRange;
    if (!check.Ok()) {
        // What this editor allows is narrower than what the variable takes.
        check.Limits.Min = std::max(check.Limits.Min, edit->minimum());
        check.Limits.Max = std::min(check.Limits.Max, edit->maximum());
        ModbusShell::JournalRefusal(*variable, FromQString(typed), check);
        WriteRefusal::Show(check);
        return std::nullopt;
    }
    // The editor shows the number in its own form, as the question shows it and as it is written.
    edit->ShowValue(wanted);
    return static_cast<float>(edit->value());
}

void SupplyMnemoPage::SupUsetEditKeyUp(int key)
{
    const WriteOrigin origin("window: SupUsetEdit");
    if (!IsEnter(key) || questionOpen_ || (!SupUsetEdit->HasValue() && SupUsetEdit->text() == QLatin1String("--")))
        return;
    // A refused text stays in the editor, still being edited, for the operator to correct.
    const std::optional<float> wanted = TakeSetpoint(SupUsetEdit, u"Reg.ChargeMaxU");
    if (!wanted)
        return;
    if (NeedsConfirmation(*wanted)) {
        AskForVoltage([this, u = *wanted] { WriteNumberOrExplain(*ActionManager, MString(u"Reg.ChargeMaxU"), u); });
        return;
    }
    WriteNumberOrExplain(*ActionManager, MString(u"Reg.ChargeMaxU"), *wanted);
    bUsetEditing = false;
}

bool SupplyMnemoPage::NeedsConfirmation(float volts) const
{
    return volts - FromQString(uText_).ToReal() > kConfirmRise;
}

void SupplyMnemoPage::AskForVoltage(std::function<void()> write)
{
    // Asked later, from the event loop: a modal opened inside a step or a key handler takes
    // the focus, and the spin box's repeat starts again behind it. Until it is answered,
    // steps and ENTER do nothing.
    questionOpen_ = true;
    SupUsetEdit->SetStepsBlocked(true);
    const QString question = tr("Задать напряжение %1В ?").arg(SupUsetEdit->text());
    QTimer::singleShot(0, this, [this, question, write = std::move(write)] {
        SupUsetEdit->EndStepping();
        // Leaving the editor ends the editing before the question is asked.
        SupOutSwitch->setFocus(Qt::OtherFocusReason);
        bUsetEditing = false;
        const bool yes = AskYesNo(window(), tr("Внимание!"), question);
        questionOpen_ = false;
        SupUsetEdit->SetStepsBlocked(false);
        if (yes)
            write();
        else
            ShowDeviceSetpoints();  // not the value refused
    });
}

void SupplyMnemoPage::ShowDeviceSetpoints()
{
    bUsetEditing = false;
    bIsetEditing = false;
    for (auto [edit, name] : {std::pair{SupUsetEdit, u"Reg.ChargeMaxU"}, std::pair{SupIsetEdit, u"Reg.ChargeI"}}) {
        const MString value = Value(name);
        if (value.Equals(u"--"))
            edit->ShowNoValue();
        else
            edit->ShowValue(cActionManager::RoundValue(value, 100).ToReal());
    }
}

void SupplyMnemoPage::ForgetSetpoints()
{
    SupUsetEdit->ShowNoValue();
    SupIsetEdit->ShowNoValue();
    SupOutSwitch->setEnabled(false);
}

void SupplyMnemoPage::SupIsetEditKeyUp(int key)
{
    const WriteOrigin origin("window: SupIsetEdit");
    if (!IsEnter(key))
        return;
    const std::optional<float> wanted = TakeSetpoint(SupIsetEdit, u"Reg.ChargeI");
    if (!wanted)
        return;
    WriteNumberOrExplain(*ActionManager, MString(u"Reg.ChargeI"), *wanted);
    bIsetEditing = false;
}

void SupplyMnemoPage::SupUsetEditTopClick()
{
    bUsetEditing = true;
    SupUsetEditKeyUp(Qt::Key_Return);
}

void SupplyMnemoPage::SupIsetEditTopClick()
{
    bIsetEditing = true;
    SupIsetEditKeyUp(Qt::Key_Return);
}

bool SupplyMnemoPage::WriteCurrentLimit(float current)
{
    const MString name(u"Reg.ChargeI");
    WriteCheck refusal;
    if (ActionManager->WriteNumber(name, current, &refusal))
        return true;
    if (!WriteRefusal::Show(refusal))
        if (const ModbusAction *variable = ActionManager->Variable(name))
            CommandAfterWrite::ShowNotSent(*variable, MString::FromReal(current, 10, 5),
                                           QStringLiteral("Reg.ChargeMaxU"));
    return false;
}

void SupplyMnemoPage::SupOutSwitchOn()
{
    const WriteOrigin origin("window: SupOutSwitch");
    if (SupOutSwitchGuard)
        return;
    SupOutSwitchGuard = true;
    if (SupOutSwitch->isChecked()) {
        SwitchOutputOn();
        // Switched on only by the writes: the refresh shows the device's state.
        SupOutSwitch->setChecked(Value(u"Reg.ChargeMaxU").ToReal() > kOutputOnAbove);
    } else {
        WriteNumberOrExplain(*ActionManager, MString(u"Reg.ChargeMaxU"), 0);
    }
    SupOutSwitchGuard = false;
}

void SupplyMnemoPage::SwitchOutputOn()
{
    // Editors that have shown nothing yet would switch on with 0 V and no current limit.
    if (!SupUsetEdit->HasValue() || !SupIsetEdit->HasValue() || questionOpen_)
        return;
    const std::optional<float> u = TakeSetpoint(SupUsetEdit, u"Reg.ChargeMaxU");
    const std::optional<float> i = u ? TakeSetpoint(SupIsetEdit, u"Reg.ChargeI") : std::nullopt;
    if (!u || !i)
        return;
    if (*u <= static_cast<float>(kOutputOnAbove)) {  // 0.1 as the single-precision number written
        ShowMessageBox(tr("Выход не включен: уставка напряжения должна быть больше 0,1 В.").toStdU16String());
        return;
    }
    auto write = [this, u = *u, i = *i] {
        const bool wasGuarded = SupOutSwitchGuard;
        SupOutSwitchGuard = true;
        // The voltage switches the output on: only with the current limit in place.
        if (WriteCurrentLimit(i))
            WriteNumberOrExplain(*ActionManager, MString(u"Reg.ChargeMaxU"), u);
        SupOutSwitchGuard = wasGuarded;
    };
    if (NeedsConfirmation(*u))
        AskForVoltage(write);
    else
        write();
}
