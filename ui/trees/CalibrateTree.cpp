#include "ui/trees/CalibrateTree.h"

#include "core/MicroClock.h"
#include "ui/trees/CommandAfterWrite.h"

namespace {

struct CalibrateRow {
    const char *Caption;  // translated in the cCalibrateTree context
    const char16_t *Adc;
    const char16_t *Channel;  // prefix of the calibration variables
    bool HasZero;
};

constexpr CalibrateRow kCalibrateRows[] = {
    {QT_TRANSLATE_NOOP("cCalibrateTree", "I Solar, ток ФГП"), u"Adc.I_Solar", u"Cal_I_Solar", true},
    {QT_TRANSLATE_NOOP("cCalibrateTree", "U Solar, напряжение ФГП"), u"Adc.U_Solar", u"Cal_U_Solar", true},
    {QT_TRANSLATE_NOOP("cCalibrateTree", "I Accu, ток АКБ"), u"Adc.I_Accu", u"Cal_I_Accu", true},
    {QT_TRANSLATE_NOOP("cCalibrateTree", "U Accu, напряжение АКБ"), u"Adc.U_Accu", u"Cal_U_Accu", true},
    {QT_TRANSLATE_NOOP("cCalibrateTree", "I Load, ток нагрузки"), u"Adc.I_Load", u"Cal_I_Load", true},
    // The table has a zero command for the temperature channel too; it is not offered here.
    {QT_TRANSLATE_NOOP("cCalibrateTree", "Температура [°C]"), u"Adc.Temp_External", u"Cal_Temp_External", false},
    {QT_TRANSLATE_NOOP("cCalibrateTree", "AI 1, напряжение входа 1"), u"Adc.UserAdcV1", u"Cal_UserAdcV1", true},
    {QT_TRANSLATE_NOOP("cCalibrateTree", "AI 2, напряжение входа 2"), u"Adc.UserAdcV2", u"Cal_UserAdcV2", true},
};

}  // namespace

void cCalibrateTree::SetupView(cTreeView *view)
{
    view->SetColumns({tr("Параметр"), tr("Текущее значение"), tr("Калибровать")}, {282, 137, 152});
    view->SetDefaultRowHeight(20);
    view->SetHighlightSelection(true);
    QStringList captions;
    for (const CalibrateRow &row : kCalibrateRows)
        captions << QCoreApplication::translate("cCalibrateTree", row.Caption);
    view->SetCaptionTexts(captions, false);
}

void cCalibrateTree::Build()
{
    if (!TreeView)
        return;
    Clear();
    for (const CalibrateRow &row : kCalibrateRows) {
        sCalibrateND *record = AddRecord();
        TreeView->SetRowHeight(record->Node, 20);
        AttachControls(record);
        record->Caption = FromQString(QCoreApplication::translate("cCalibrateTree", row.Caption));  // only shown
        const MString channel(row.Channel);
        record->AdcAction = Find(row.Adc);
        record->PreciseAction = Device->Variable(MString::Concat(channel, u".PreciseValue"));
        record->OnValueModeAction = Device->Variable(MString::Concat(channel, u".CalibrateOnValueMode"));
        record->ZeroModeAction =
            row.HasZero ? Device->Variable(MString::Concat(channel, u".CalibrateZeroMode")) : nullptr;
    }
}

void cCalibrateTree::AttachControls(sCalibrateND *record)
{
    SetupSquareButton(record->ZeroBtn.get(), tr("Калибровать 0"));
    SetupSquareButton(record->OnValueBtn.get(), tr("Калибровать на значение"));
    SetupEdit(record->ValueEdit.get(), tr("Введите истинное значение"));
    record->ZeroBtn->setIcon(TreeGlyphIcon(tgZero));
    record->OnValueBtn->setIcon(TreeGlyphIcon(tgOnValue));
    ParentToView(record->ZeroBtn.get(), TreeView);
    ParentToView(record->ValueEdit.get(), TreeView);
    ParentToView(record->OnValueBtn.get(), TreeView);
    OnTreeClick(record->ZeroBtn.get(), [this, record] { ZeroBtnClick(record); });
    OnTreeClick(record->OnValueBtn.get(), [this, record] { OnValueBtnClick(record); });
    WatchEditFocus(
        record->ValueEdit.get(), [this, record] { ValueEditEnter(record); }, [this, record] { ValueEditExit(record); });
}

MString cCalibrateTree::GetText(int row, int column)
{
    sCalibrateND *record = FindRow(row);
    if (record == nullptr)
        return {};
    // The measured value keeps coming while the operator types a true value.
    RequestReadOf(record->AdcAction);
    switch (column) {
    case 0:
        return record->Caption;
    case 1:
        return record->AdcAction != nullptr ? FormatRounded(record->AdcAction->Value, 3) : MString();
    default:
        return {};
    }
}

void cCalibrateTree::AfterItemPaint(int row)
{
    sCalibrateND *record = FindRow(row);
    if (record == nullptr || record->PreciseAction == nullptr)
        return;
    const std::optional<QRect> cell = MovedValueCell(record, row);
    if (!cell)
        return;
    const QRect r = *cell;
    const int w = r.width();
    const int h = r.height();
    if (w <= 0) {
        SetVisibleIfChanged(record->ZeroBtn.get(), false);
        SetVisibleIfChanged(record->ValueEdit.get(), false);
        SetVisibleIfChanged(record->OnValueBtn.get(), false);
        return;
    }
    if (record->ZeroModeAction != nullptr) {
        record->ZeroBtn->setGeometry(r.left(), r.top(), h, h);
        SetVisibleIfChanged(record->ZeroBtn.get(), true);
    }
    // Without a zero button its place stays empty, so the edit boxes line up.
    const int editLeft = r.left() + h + 2;
    const int editWidth = w - 2 * h - 6;
    record->ValueEdit->setGeometry(editLeft, r.top(), editWidth, h);
    record->OnValueBtn->setGeometry(editLeft + editWidth + 2, r.top(), h, h);
    SetVisibleIfChanged(record->ValueEdit.get(), true);
    SetVisibleIfChanged(record->OnValueBtn.get(), true);
}

void cCalibrateTree::HideRowControls(int row)
{
    sCalibrateND *record = FindRow(row);
    if (record == nullptr)
        return;
    record->LastRect = {};
    SetVisibleIfChanged(record->ZeroBtn.get(), false);
    SetVisibleIfChanged(record->ValueEdit.get(), false);
    SetVisibleIfChanged(record->OnValueBtn.get(), false);
}

void cCalibrateTree::ZeroBtnClick(sCalibrateND *record)
{
    Write(record->ZeroModeAction, MString(u"1"));
}

void cCalibrateTree::OnValueBtnClick(sCalibrateND *record)
{
    ModbusAction *precise = record->PreciseAction;
    ModbusAction *command = record->OnValueModeAction;
    if (precise == nullptr)
        return;
    // Without an accepted true value the command would calibrate to whatever value the
    // device holds: nothing is sent then.
    const MString trueValue = FromQString(record->ValueEdit->text());
    if (!Write(precise, trueValue))
        return;
    const uint32_t generation = Generation;
    LastWaitSteps = Device->AwaitWrite(precise, kWaitSteps);
    // A refresh inside the wait may have found the connection gone and cleared the trees:
    // the record is gone then, and so is the device the command was meant for.
    if (generation != Generation || command == nullptr)
        return;
    // A refused or unconfirmed true value: the channel is left as it is, and the operator
    // learns why.
    if (!cActionManager::WriteAccepted(*precise)) {
        CommandAfterWrite::ShowNotSent(*precise, trueValue, ToQString(command->Name));
        return;
    }
    Write(command, MString(u"1"));
}
