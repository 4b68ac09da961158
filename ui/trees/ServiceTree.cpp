#include "ui/trees/ServiceTree.h"

void cServiceTree::SetupView(cTreeView *view)
{
    view->SetColumns({tr("Параметр"), tr("Значение"), tr("Редактировать")}, {250, 150, 154});
    view->SetDefaultRowHeight(20);
}

void cServiceTree::Build()
{
    if (!TreeView)
        return;
    Clear();
    TMbActions &table = Device->Shell.Actions;
    // The count is read again before every entry, and each entry is taken under the table's
    // lock on its own: the table may change meanwhile.
    for (int i = 0; i < table.Count(); ++i) {
        sServiceND *record = AddRecord();
        {
            CAutoLock guard(table.Lock);
            record->Action = table.At(i);
        }
        AttachControls(record);
    }
    QStringList names;
    for (int i = 0; i < Rows.Count(); ++i)
        if (Rows.At(i)->Action != nullptr)
            names << ToQString(Rows.At(i)->Action->Name);
    TreeView->SetCaptionTexts(names, false);
    ApplyFilter();
}

void cServiceTree::AttachControls(sServiceND *record)
{
    SetupSquareButton(record->WriteBtn.get(), tr("Записать в устройство"));
    record->WriteBtn->setIcon(TreeGlyphIcon(tgWrite));
    ParentToView(record->WriteBtn.get(), TreeView);
    ParentToView(record->ValueEdit.get(), TreeView);
    OnTreeClick(record->WriteBtn.get(), [this, record] { WriteBtnClick(record); });
    WatchEditFocus(
        record->ValueEdit.get(), [this, record] { ValueEditEnter(record); }, [this, record] { ValueEditExit(record); });
}

MString cServiceTree::GetText(int row, int column)
{
    sServiceND *record = FindRow(row);
    if (record == nullptr || record->Action == nullptr)
        return {};
    if (!record->Editing)
        RequestReadOf(record->Action);
    switch (column) {
    case 0:
        return record->Action->Name;
    case 1: {
        const MString &value = record->Action->Value;
        if (!value.IsNumber() || value.IsInteger(true))
            return value;
        return FormatRounded(value, 3);
    }
    default:
        return {};
    }
}

void cServiceTree::AfterItemPaint(int row)
{
    sServiceND *record = FindRow(row);
    if (record == nullptr || record->Action == nullptr)
        return;
    const std::optional<QRect> cell = MovedValueCell(record, row);
    if (!cell)
        return;
    const QRect r = *cell;
    if (record->Action->Access == mbaRead || r.width() <= 0) {
        SetVisibleIfChanged(record->ValueEdit.get(), false);
        SetVisibleIfChanged(record->WriteBtn.get(), false);
        return;
    }
    PlaceEditAndButton(record->ValueEdit.get(), record->WriteBtn.get(), r);
}

void cServiceTree::HideRowControls(int row)
{
    sServiceND *record = FindRow(row);
    if (record == nullptr)
        return;
    record->LastRect = {};
    SetVisibleIfChanged(record->ValueEdit.get(), false);
    SetVisibleIfChanged(record->WriteBtn.get(), false);
}

// Writes the text as typed; the edit box keeps it, and editing goes on. When the operator
// declines a write that would cut the program off, the box shows the device's value instead.
void cServiceTree::WriteBtnClick(sServiceND *record)
{
    if (WriteAsked(record->Action, FromQString(record->ValueEdit->text())) == WriteEnd::Declined)
        record->ValueEdit->setText(ToQString(record->Action->Value));
}

void cServiceTree::SetFilter(const QString &text)
{
    FilterText = text;
    ApplyFilter();
}

void cServiceTree::ApplyFilter()
{
    if (!TreeView)
        return;
    for (int i = 0; i < Rows.Count(); ++i) {
        sServiceND *record = Rows.At(i);
        const bool shown =
            FilterText.isEmpty() ||
            (record->Action != nullptr && ToQString(record->Action->Name).contains(FilterText, Qt::CaseInsensitive));
        TreeView->setRowHidden(record->Node, {}, !shown);
    }
}
