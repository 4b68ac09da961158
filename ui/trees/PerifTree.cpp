#include "ui/trees/PerifTree.h"

namespace {

enum PerifKind { pkGroup, pkShown, pkEditable, pkCounter, pkSwitch, pkMode };

struct PerifRow {
  const char16_t *Caption;
  const char16_t *Variable;
  PerifKind Kind;
};

constexpr PerifRow kPerifRows[] = {
    {u"Версия устройства", nullptr, pkGroup},
    {u"Прошивка", u"DeviceType", pkShown},
    {u"Настройки Modbus RTU и RS485", nullptr, pkGroup},
    {u"Адрес устройства Modbus RTU", u"Mb.MyModbusAddr", pkEditable},
    {u"Скорость обмена RS485", u"485.Init.BaudRate", pkEditable},
    {u"Аналоговые входы", nullptr, pkGroup},
    {u"Напряжение на входе AI 1", u"Adc.UserAdcV1", pkShown},
    {u"Напряжение на входе AI 2", u"Adc.UserAdcV2", pkShown},
    {u"Дискретный вход DI 1", nullptr, pkGroup},
    {u"Уровень на входе DI 1", u"Di1.CurState", pkShown},
    {u"Счетчик переключений DI 1", u"Di1.ChangesCounter", pkCounter},
    {u"Частота сигнала DI 1", u"Di1.Frequency", pkShown},
    {u"Скважность сигнала DI 1", u"Di1.DutyCycle", pkShown},
    {u"Дискретный вход DI 2", nullptr, pkGroup},
    {u"Уровень на входе DI 2", u"Di2.CurState", pkShown},
    {u"Счетчик переключений DI 2", u"Di2.ChangesCounter", pkCounter},
    {u"Частота сигнала DI 2", u"Di2.Frequency", pkShown},
    {u"Скважность сигнала DI 2", u"Di2.DutyCycle", pkShown},
    {u"Дискретный вход DI 3", nullptr, pkGroup},
    {u"Уровень на входе DI 3", u"Di3.CurState", pkShown},
    {u"Счетчик переключений DI 3", u"Di3.ChangesCounter", pkCounter},
    {u"Частота сигнала DI 3", u"Di3.Frequency", pkShown},
    {u"Скважность сигнала DI 3", u"Di3.DutyCycle", pkShown},
    {u"Дискретный вход DI 4", nullptr, pkGroup},
    {u"Уровень на входе DI 4", u"Di4.CurState", pkShown},
    {u"Счетчик переключений DI 4", u"Di4.ChangesCounter", pkCounter},
    {u"Частота сигнала DI 4", u"Di4.Frequency", pkShown},
    {u"Скважность сигнала DI 4", u"Di4.DutyCycle", pkShown},
    {u"Дискретные выходы", nullptr, pkGroup},
    {u"Дискретный выход DO 1", u"Do1.State", pkSwitch},
    {u"Режим работы DO 1", u"Do1.Mode", pkMode},
    {u"Дискретный выход DO 2", u"Do2.State", pkSwitch},
    {u"Режим работы DO 2", u"Do2.Mode", pkMode},
    {u"Дискретный выход DO 3", u"Do3.State", pkSwitch},
    {u"Режим работы DO 3", u"Do3.Mode", pkMode},
    {u"Дискретный выход DO 4", u"Do4.State", pkSwitch},
    {u"Режим работы DO 4", u"Do4.Mode", pkMode},
    {u"Счетчики наработки (часов)", nullptr, pkGroup},
    {u"Время работы от перезагрузки", u"Rtc.UpTimeHours", pkShown},
    {u"Общее время работы", u"Rtc.WorkTimeHours", pkShown},
};

// An item's index is the number held in the output's mode variable.
const char *const kOutputModes[] = {
    "Управление по Modbus", "Панель ОК", "АКБ заряжается", "АКБ заряжена", "АКБ разряжена", "Нагрузка включена",
};

}  // namespace

void cPerifTree::SetupView(cTreeView *view)
{
  view->SetColumns({"Параметр", "Текущее значение", "Записать"}, {282, 137, 131});
  view->SetDefaultRowHeight(20);
  QStringList captions;
  for (const PerifRow &row : kPerifRows)
    captions << ToQString(MString(row.Caption));
  view->SetCaptionTexts(captions, true);  // headings are bold
  QStringList modes;
  for (const char *mode : kOutputModes)
    modes << QString::fromUtf8(mode);
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
    record->Caption = MString(row.Caption);
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
  SetupSquareButton(record->OffBtn.get(), "Выключить", "0");
  SetupSquareButton(record->OnBtn.get(), "Включить", "1");
  SetupSquareButton(record->ResetBtn.get(), "Обнулить");
  SetupSquareButton(record->WriteBtn.get(), "Записать");
  SetupEdit(record->ValueEdit.get(), "Введите значение для записи");
  record->ModeCB->setEditable(false);
  record->ModeCB->setFocusPolicy(Qt::StrongFocus);
  for (QWidget *control : {static_cast<QWidget *>(record->OffBtn.get()), static_cast<QWidget *>(record->OnBtn.get()),
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
        record->ModeCB->addItem(QString::fromUtf8(mode));
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
  for (QWidget *control : {static_cast<QWidget *>(record->OffBtn.get()), static_cast<QWidget *>(record->OnBtn.get()),
                           static_cast<QWidget *>(record->ResetBtn.get()), static_cast<QWidget *>(record->WriteBtn.get()),
                           static_cast<QWidget *>(record->ValueEdit.get()), static_cast<QWidget *>(record->ModeCB.get())})
    if (control != nullptr)
      SetVisibleIfChanged(control, false);
}

void cPerifTree::OffBtnClick(sPerifND *record) { Write(record->Action, MString(u"0")); }
void cPerifTree::OnBtnClick(sPerifND *record) { Write(record->Action, MString(u"1")); }
void cPerifTree::ResetBtnClick(sPerifND *record) { Write(record->Action, MString(u"0")); }

void cPerifTree::WriteBtnClick(sPerifND *record)
{
  if (record->Action == nullptr)
    return;
  // A refused text stays in the box, the row still frozen, for the operator to correct.
  if (Write(record->Action, FromQString(record->ValueEdit->text())))
    record->Editing = false;
}

void cPerifTree::ModeCBSelect(sPerifND *record, int index)
{
  if (index >= 0)
    Write(record->Action, MString::FromInt(index));
}
