#include "ui/trees/AccuTree.h"

namespace {

struct AccuRow {
    const char *Caption;  // translated in the cAccuTree context
    const char16_t *Variable;
};

constexpr AccuRow kAccuRows[] = {
    {QT_TRANSLATE_NOOP("cAccuTree", "Напряжение начала заряда, В"), u"Reg.ChargeMinU"},
    {QT_TRANSLATE_NOOP("cAccuTree", "Напряжение окончания заряда, В"), u"Reg.ChargeMaxU"},
    {QT_TRANSLATE_NOOP("cAccuTree", "Максимальный ток заряда, А"), u"Reg.ChargeI"},
    {QT_TRANSLATE_NOOP("cAccuTree", "Напряжение отключения нагрузки, В"), u"Reg.LoadOffU"},
    {QT_TRANSLATE_NOOP("cAccuTree", "Напряжение включения нагрузки, В"), u"Reg.LoadOnU"},
    {QT_TRANSLATE_NOOP("cAccuTree", "Коэффициент температурной коррекции, мВ/(В•°C)"), u"Reg.VoltTempCoef"},
};

}  // namespace

void cAccuTree::SetupView(cTreeView *view)
{
    view->SetColumns({tr("Параметр"), tr("Текущее значение"), tr("Записать")}, {336, 125, 99});
    view->SetDefaultRowHeight(25);
    QStringList captions;
    for (const AccuRow &row : kAccuRows)
        captions << QCoreApplication::translate("cAccuTree", row.Caption);
    view->SetCaptionTexts(captions, true);
}

void cAccuTree::Build()
{
    if (!TreeView)
        return;
    Clear();
    for (const AccuRow &row : kAccuRows) {
        sAccuND *record = AddRecord();
        record->Caption = FromQString(QCoreApplication::translate("cAccuTree", row.Caption));  // only shown
        record->Action = Find(row.Variable);
        AttachControls(record);
    }
}

void cAccuTree::AttachControls(sAccuND *record)
{
    SetupSquareButton(record->WriteBtn.get(), tr("Записать"));
    record->WriteBtn->setIcon(TreeGlyphIcon(tgWrite));
    SetupEdit(record->ValueEdit.get(), tr("Введите значение для записи"));
    ParentToView(record->WriteBtn.get(), TreeView);
    ParentToView(record->ValueEdit.get(), TreeView);
    OnTreeClick(record->WriteBtn.get(), [this, record] { WriteBtnClick(record); });
    WatchEditFocus(
        record->ValueEdit.get(), [this, record] { ValueEditEnter(record); }, [this, record] { ValueEditExit(record); });
}

MString cAccuTree::GetText(int row, int column)
{
    sAccuND *record = FindRow(row);
    if (record == nullptr)
        return {};
    if (!record->Editing)
        RequestReadOf(record->Action);
    switch (column) {
    case 0:
        return record->Caption;
    case 1: {
        if (record->Action == nullptr)
            return {};
        MString text = FormatRounded(record->Action->Value, 2);
        if (!record->Editing && record->ValueEdit)
            SetTextIfChanged(record->ValueEdit.get(), ToQString(text));
        return text;
    }
    default:
        return {};
    }
}

void cAccuTree::PaintText(int, int, QFont &font, QColor &)
{
    font.setBold(true);
}

void cAccuTree::AfterItemPaint(int row)
{
    sAccuND *record = FindRow(row);
    if (record == nullptr || record->Action == nullptr || !record->ValueEdit || !record->WriteBtn)
        return;
    const QRect r = TreeView->CellRect(row, 2);
    if (r.width() <= 0) {
        HideRowControls(row);
        return;
    }
    // Laid out on every paint: this tree keeps no layout cache.
    PlaceEditAndButton(record->ValueEdit.get(), record->WriteBtn.get(), r);
}

void cAccuTree::HideRowControls(int row)
{
    sAccuND *record = FindRow(row);
    if (record == nullptr)
        return;
    record->LastRect = {};
    if (record->ValueEdit)
        SetVisibleIfChanged(record->ValueEdit.get(), false);
    if (record->WriteBtn)
        SetVisibleIfChanged(record->WriteBtn.get(), false);
}

void cAccuTree::WriteBtnClick(sAccuND *record)
{
    if (record->Action == nullptr)
        return;
    // A refused text stays in the box, the row still frozen, for the operator to correct.
    if (Write(record->Action, FromQString(record->ValueEdit->text())))
        record->Editing = false;
}

void cAccuTree::ValueEditEnter(sAccuND *record)
{
    record->Editing = true;
}

// Leaving the edit box keeps the row frozen until its write button is pressed.
void cAccuTree::ValueEditExit(sAccuND *)
{
}
