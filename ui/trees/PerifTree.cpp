#include "ui/trees/PerifTree.h"

namespace {

enum PerifKind { pkGroup, pkShown, pkEditable, pkCounter, pkSwitch, pkMode };

struct PerifRow {
    const char *Caption;  // translated in the cPerifTree context
    const char16_t *Variable;
    PerifKind Kind;
};

constexpr PerifRow kPerifRows[] = {
    {QT_TRANSLATE_NOOP("cPerifTree", "Версия устройства"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Прошивка"), u"DeviceType", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Настройки Modbus RTU и RS485"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Адрес устройства Modbus RTU"), u"Mb.MyModbusAddr", pkEditable},
    {QT_TRANSLATE_NOOP("cPerifTree", "Скорость обмена RS485"), u"485.Init.BaudRate", pkEditable},
    {QT_TRANSLATE_NOOP("cPerifTree", "Аналоговые входы"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Напряжение на входе AI 1"), u"Adc.UserAdcV1", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Напряжение на входе AI 2"), u"Adc.UserAdcV2", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный вход DI 1"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Уровень на входе DI 1"), u"Di1.CurState", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Счетчик переключений DI 1"), u"Di1.ChangesCounter", pkCounter},
    {QT_TRANSLATE_NOOP("cPerifTree", "Частота сигнала DI 1"), u"Di1.Frequency", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Скважность сигнала DI 1"), u"Di1.DutyCycle", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный вход DI 2"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Уровень на входе DI 2"), u"Di2.CurState", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Счетчик переключений DI 2"), u"Di2.ChangesCounter", pkCounter},
    {QT_TRANSLATE_NOOP("cPerifTree", "Частота сигнала DI 2"), u"Di2.Frequency", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Скважность сигнала DI 2"), u"Di2.DutyCycle", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный вход DI 3"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Уровень на входе DI 3"), u"Di3.CurState", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Счетчик переключений DI 3"), u"Di3.ChangesCounter", pkCounter},
    {QT_TRANSLATE_NOOP("cPerifTree", "Частота сигнала DI 3"), u"Di3.Frequency", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Скважность сигнала DI 3"), u"Di3.DutyCycle", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный вход DI 4"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Уровень на входе DI 4"), u"Di4.CurState", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Счетчик переключений DI 4"), u"Di4.ChangesCounter", pkCounter},
    {QT_TRANSLATE_NOOP("cPerifTree", "Частота сигнала DI 4"), u"Di4.Frequency", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Скважность сигнала DI 4"), u"Di4.DutyCycle", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретные выходы"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный выход DO 1"), u"Do1.State", pkSwitch},
    {QT_TRANSLATE_NOOP("cPerifTree", "Режим работы DO 1"), u"Do1.Mode", pkMode},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный выход DO 2"), u"Do2.State", pkSwitch},
    {QT_TRANSLATE_NOOP("cPerifTree", "Режим работы DO 2"), u"Do2.Mode", pkMode},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный выход DO 3"), u"Do3.State", pkSwitch},
    {QT_TRANSLATE_NOOP("cPerifTree", "Режим работы DO 3"), u"Do3.Mode", pkMode},
    {QT_TRANSLATE_NOOP("cPerifTree", "Дискретный выход DO 4"), u"Do4.State", pkSwitch},
    {QT_TRANSLATE_NOOP("cPerifTree", "Режим работы DO 4"), u"Do4.Mode", pkMode},
    {QT_TRANSLATE_NOOP("cPerifTree", "Счетчики наработки (часов)"), nullptr, pkGroup},
    {QT_TRANSLATE_NOOP("cPerifTree", "Время работы от перезагрузки"), u"Rtc.UpTimeHours", pkShown},
    {QT_TRANSLATE_NOOP("cPerifTree", "Общее время работы"), u"Rtc.WorkTimeHours", pkShown},
};

// An item's index is the number held in the output's mode variable.
const char *const kOutputModes[] = {
    QT_TRANSLATE_NOOP("cPerifTree", "Управление по Modbus"), QT_TRANSLATE_NOOP("cPerifTree", "Панель ОК"),
    QT_TRANSLATE_NOOP("cPerifTree", "АКБ заряжается"),       QT_TRANSLATE_NOOP("cPerifTree", "АКБ заряжена"),
    QT_TRANSLATE_NOOP("cPerifTree", "АКБ разряжена"),        QT_TRANSLATE_NOOP("cPerifTree", "Нагрузка включена"),
};

}  // namespace

void cPerifTree::SetupView(cTreeView *view)
{
    view->SetColumns({tr("Параметр"), tr("Текущее значение"), tr("Записать")}, {282, 137, 131});
    view->SetDefaultRowHeight(20);
    QStringList captions;
    for (const PerifRow &row : kPerifRows)
        captions << QCoreApplication::translate("cPerifTree", row.Caption);
    view->SetCaptionTexts(captions, true);  // headings are bold
    QStringList modes;
    for (const char *mode : kOutputModes)
        modes << QCoreApplication::translate("cPerifTree", mode);
    view->SetValueTexts(modes);
}

void cPerifTree::Build()
{
    if (!TreeView)
        return;
    Clear();
    const bool modeRows = Device->VersionX100 > kModeRowsAfterVersion;
    for (const PerifRow &row : kPerifRows) {
        if (row.Kind == pkMode && !modeRows)
            continue;
        sPerifND *record = AddRecord();
        record->Caption = FromQString(QCoreApplication::translate("cPerifTree", row.Caption));  // only shown
        record->IsGroup = row.Kind == pkGroup;
        record->IsEditable = row.Kind == pkEditable;
        record->IsCounter = row.Kind == pkCounter;
        record->IsSwitch = row.Kind == pkSwitch;
        record->IsMode = row.Kind == pkMode;
        record->Action = row.Variable != nullptr ? Find(row.Variable) : nullptr;
        AttachControls(record);
    }
}

void cPerifTree::AttachControls(sPerifND *record)
{
    TreeView->SetRowHeight(record->Node, record->IsGroup ? 25 : 20);
    SetupSquareButton(record->OffBtn.get(), tr("Выключить"), QStringLiteral("0"));
    SetupSquareButton(record->OnBtn.get(), tr("Включить"), QStringLiteral("1"));
    SetupSquareButton(record->ResetBtn.get(), tr("Обнулить"));
    SetupSquareButton(record->WriteBtn.get(), tr("Записать"));
    SetupEdit(record->ValueEdit.get(), tr("Введите значение для записи"));
    record->ModeCB->setEditable(false);
    record->ModeCB->setFocusPolicy(Qt::StrongFocus);
    for (QWidget *control :
         {static_cast<QWidget *>(record->OffBtn.get()), static_cast<QWidget *>(record->OnBtn.get()),
          static_cast<QWidget *>(record->ResetBtn.get()), static_cast<QWidget *>(record->WriteBtn.get()),
          static_cast<QWidget *>(record->ValueEdit.get()), static_cast<QWidget *>(record->ModeCB.get())})
        ParentToView(control, TreeView);
    record->ResetBtn->setIcon(TreeGlyphIcon(tgReset));
    record->WriteBtn->setIcon(TreeGlyphIcon(tgWrite));
    OnTreeClick(record->OffBtn.get(), [this, record] { OffBtnClick(record); });
    OnTreeClick(record->OnBtn.get(), [this, record] { OnBtnClick(record); });
    OnTreeClick(record->ResetBtn.get(), [this, record] { ResetBtnClick(record); });
    OnTreeClick(record->WriteBtn.get(), [this, record] { WriteBtnClick(record); });
    WatchEditFocus(
        record->ValueEdit.get(), [this, record] { ValueEditEnter(record); }, [this, record] { ValueEditExit(record); });
    QObject::connect(record->ModeCB.get(), &QComboBox::activated, record->ModeCB.get(), [this, record](int index) {
        TreeHandlerScope scope;
        ModeCBSelect(record, index);
    });
}

MString cPerifTree::GetText(int row, int column)
{
    sPerifND *record = FindRow(row);
    if (record == nullptr)
        return {};
    if (!record->Editing)
        RequestReadOf(record->Action);
    if (column == 0)
        return record->Caption;
    if (column != 1 || record->IsGroup || record->Action == nullptr)
        return {};
    MString text = FormatRounded(record->Action->Value, 2);
    if (record->IsEditable && !record->Editing) {
        SetTextIfChanged(record->ValueEdit.get(), ToQString(text));
    } else if (record->IsMode) {
        const int64_t index = text.ToInt();
        if (index >= 0 && index < record->ModeCB->count())
            text = FromQString(record->ModeCB->itemText(static_cast<int>(index)));
    }
    return text;
}

void cPerifTree::PaintText(int row, int, QFont &font, QColor &color)
{
    sPerifND *record = FindRow(row);
    if (record == nullptr || !record->IsGroup)
        return;
    font.setBold(true);
    color = QColor(0, 128, 0);
}

void cPerifTree::AfterItemPaint(int row)
{
    sPerifND *record = FindRow(row);
    if (record == nullptr || record->Action == nullptr)
        return;
    if (const std::optional<QRect> cell = MovedValueCell(record, row)) {
        const QRect r = *cell;
        const int w = r.width();
        const int h = r.height();
        if (w <= 0) {
            HideRowControls(row);
            return;
        }
        if (record->IsSwitch) {
            record->OffBtn->setGeometry(r.left(), r.top(), h, h);
            record->OnBtn->setGeometry(r.left(), r.top(), h, h);
        } else if (record->IsCounter) {
            record->ResetBtn->setGeometry(r.left(), r.top(), h, h);
        } else if (record->IsEditable) {
            PlaceEditAndButton(record->ValueEdit.get(), record->WriteBtn.get(), r);
        } else if (record->IsMode) {
            record->ModeCB->setGeometry(r.left(), r.top() + 1, w - 4, h - 2);
            SetVisibleIfChanged(record->ModeCB.get(), true);
            // Refilling the list drops its selection: it shows no item until the operator picks one.
            record->ModeCB->clear();
            for (const char *mode : kOutputModes)
                record->ModeCB->addItem(QCoreApplication::translate("cPerifTree", mode));
            record->ModeCB->setCurrentIndex(-1);
        }
    }
    if (record->LastRect.Right > record->LastRect.Left)
        FollowValue(record);
}

// The controls that depend on the value follow it on every repaint, not only when the row
// is laid out again: a counter that leaves 0 while the operator watches offers its reset.
void cPerifTree::FollowValue(sPerifND *record)
{
    if (!record->IsSwitch && !record->IsCounter)
        return;
    const bool nonZero = record->Action->Value.ToInt() != 0;
    if (record->IsSwitch) {
        SetVisibleIfChanged(record->OffBtn.get(), nonZero);
        SetVisibleIfChanged(record->OnBtn.get(), !nonZero);
    } else {
        SetVisibleIfChanged(record->ResetBtn.get(), nonZero);
    }
}

void cPerifTree::HideRowControls(int row)
{
    sPerifND *record = FindRow(row);
    if (record == nullptr)
        return;
    record->LastRect = {};
    for (QWidget *control :
         {static_cast<QWidget *>(record->OffBtn.get()), static_cast<QWidget *>(record->OnBtn.get()),
          static_cast<QWidget *>(record->ResetBtn.get()), static_cast<QWidget *>(record->WriteBtn.get()),
          static_cast<QWidget *>(record->ValueEdit.get()), static_cast<QWidget *>(record->ModeCB.get())})
        if (control != nullptr)
            SetVisibleIfChanged(control, false);
}

void cPerifTree::OffBtnClick(sPerifND *record)
{
    Write(record->Action, MString(u"0"));
}
void cPerifTree::OnBtnClick(sPerifND *record)
{
    Write(record->Action, MString(u"1"));
}
void cPerifTree::ResetBtnClick(sPerifND *record)
{
    Write(record->Action, MString(u"0"));
}

void cPerifTree::WriteBtnClick(sPerifND *record)
{
    if (record->Action == nullptr)
        return;
    switch (WriteAsked(record->Action, FromQString(record->ValueEdit->text()))) {
    case WriteEnd::Queued:
        record->Editing = false;
        break;
    case WriteEnd::Declined:
        // The operator kept the device's value: the box shows it again and follows it.
        record->Editing = false;
        SetTextIfChanged(record->ValueEdit.get(), ToQString(FormatRounded(record->Action->Value, 2)));
        break;
    case WriteEnd::Refused:
        // A refused text stays in the box, the row still frozen, for the operator to correct.
        break;
    case WriteEnd::Gone:
        break;
    }
}

void cPerifTree::ModeCBSelect(sPerifND *record, int index)
{
    if (index >= 0)
        Write(record->Action, MString::FromInt(index));
}
