#include "ui/training/TrainingPage.h"

#include <QDateTime>
#include <algorithm>
#include <array>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLineSeries>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Notify.h"
#include "device/ActionManager.h"
#include "ui/widgets/RadioGroupBox.h"
#include "ui/training/TrainingChart.h"
#include "ui/dialogs/WriteRefusal.h"
#include "device/WriteJournal.h"
#include "ui/trees/CommandAfterWrite.h"

namespace {

constexpr uint32_t kPointPeriodSec = 30;
constexpr float kSmallestPlotted = 0.1f;
// A log whose last point is older than this belongs to a training that ended while the
// program was closed, not to the one under way.
constexpr int64_t kResumeWithinSec = 3600;
const char16_t *const kDeviceIdNames[] = {u"ChipUID.H1", u"ChipUID.H2", u"ChipUID.L"};

MString Get(cActionManager &device, const char16_t *name)
{
    return device.GetValue(MString(name));
}

QString ToQString(const MString &text)
{
    const std::u16string_view v = text.View();
    return QString::fromUtf16(v.data(), static_cast<qsizetype>(v.size()));
}

void Show(const QString &text)
{
    ShowMessageBox(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), text.size()));
}

std::optional<float> Plotted(const MString &text)
{
    const float y = static_cast<float>(text.ToReal());
    if (y > kSmallestPlotted)
        return y;
    return std::nullopt;
}

void Compact(QLayout *layout)
{
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
}

QLabel *BoldLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

void MiddleElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

QString EfficiencyText(double chargeWh, double dischargeWh)
{
    if (!(chargeWh > kSmallestPlotted))
        return QStringLiteral("--");
    return QLocale().toString(dischargeWh / chargeWh * 100.0, 'f', 1);
}

TrainingPage::TrainingPage(cActionManager &device, bool &settingsEditing, uint32_t &startTime, uint32_t &lastPointTime,
                           QWidget *parent)
    : QWidget(parent), bTrainSettingsEditing(settingsEditing), TrainStartTime(startTime),
      TrainLastPointTime(lastPointTime), device_(device),
      clock_([] { return static_cast<uint32_t>(QDateTime::currentSecsSinceEpoch()); })
{
    setObjectName(QStringLiteral("TrainingTS"));
    Label4 = new QLabel(tr("Тренировка АКБ заключается в нескольких циклах полного разряда и полного "
                           "заряда. Регистрация значений энергии, принятой и отданной АКБ, позволяет "
                           "оценить его реальную емкость и КПД."),
                        this);
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setWordWrap(true);

    auto *statusGroup = new QGroupBox(tr("Статус"), this);
    TrainStateLabel = BoldLabel(tr("Завершено"), statusGroup);
    auto *statusLayout = new QVBoxLayout(statusGroup);
    Compact(statusLayout);
    statusLayout->addWidget(TrainStateLabel);

    auto *settingsGroup = new QGroupBox(tr("Настройки"), this);
    TrainCycleCountEdit = new QLineEdit(QStringLiteral("2"), settingsGroup);
    TrainCycleCountEdit->installEventFilter(this);
    TrainLoadStateRG =
        new RadioGroupBox(tr("После окончания"), {tr("Нагрузка включена"), tr("Нагрузка выключена")}, 0, settingsGroup);
    TrainBeginBitBtn = new QPushButton(tr("Начать"), settingsGroup);
    auto *settingsLayout = new QGridLayout(settingsGroup);
    Compact(settingsLayout);
    settingsLayout->addWidget(new QLabel(tr("Количество циклов"), settingsGroup), 0, 0);
    settingsLayout->addWidget(TrainCycleCountEdit, 0, 1);
    settingsLayout->addWidget(TrainLoadStateRG, 1, 0, 1, 2);
    settingsLayout->addWidget(TrainBeginBitBtn, 2, 0, 1, 2);

    auto *valuesGroup = new QGroupBox(tr("Текущие показатели"), this);
    TrainChargeEnLabel = BoldLabel(QStringLiteral("0"), valuesGroup);
    TrainDischargeEnLabel = BoldLabel(QStringLiteral("0"), valuesGroup);
    TrainEfficiencyLabel = BoldLabel(QStringLiteral("--"), valuesGroup);
    // Each value beside its caption: the window is too low to stack them.
    auto *valuesLayout = new QGridLayout(valuesGroup);
    Compact(valuesLayout);
    valuesLayout->setHorizontalSpacing(8);  // a figure must not run into its caption
    valuesLayout->addWidget(new QLabel(tr("Энергия заряда, Вт·ч"), valuesGroup), 0, 0);
    valuesLayout->addWidget(TrainChargeEnLabel, 0, 1);
    valuesLayout->addWidget(new QLabel(tr("Энергия разряда, Вт·ч"), valuesGroup), 1, 0);
    valuesLayout->addWidget(TrainDischargeEnLabel, 1, 1);
    valuesLayout->addWidget(new QLabel(tr("КПД, %"), valuesGroup), 2, 0);
    valuesLayout->addWidget(TrainEfficiencyLabel, 2, 1);
    valuesLayout->setColumnStretch(1, 1);

    Chart1 = new TrainingChart(this);
    SaveChartButton = new QPushButton(tr("Сохранить…"), this);
    OpenLogButton = new QPushButton(tr("Открыть журнал…"), this);
    ShownLogLabel = new MiddleElidedLabel(this);
    ShownLogLabel->hide();
    LiveChartButton = new QPushButton(tr("Текущая тренировка"), this);
    LiveChartButton->hide();

    auto *left = new QVBoxLayout;
    left->setSpacing(2);
    left->addWidget(statusGroup);
    left->addWidget(settingsGroup);
    left->addWidget(valuesGroup);
    left->addStretch();

    auto *files = new QHBoxLayout;
    files->addWidget(SaveChartButton);
    files->addWidget(OpenLogButton);
    files->addWidget(LiveChartButton);
    files->addStretch();

    auto *right = new QVBoxLayout;
    right->addWidget(Chart1, 1);
    right->addLayout(files);
    // On its own row: a long name must not squeeze the buttons or the left panel.
    right->addWidget(ShownLogLabel);

    auto *body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(right, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    layout->addWidget(Label4);
    layout->addLayout(body, 1);

    connect(TrainBeginBitBtn, &QPushButton::clicked, this, &TrainingPage::TrainBeginBitBtnClick);
    connect(TrainLoadStateRG, &RadioGroupBox::Entered, this, &TrainingPage::TrainCycleCountEditEnter);
    connect(SaveChartButton, &QPushButton::clicked, this, &TrainingPage::SaveChartButtonClick);
    connect(OpenLogButton, &QPushButton::clicked, this, &TrainingPage::OpenLogButtonClick);
    connect(LiveChartButton, &QPushButton::clicked, this, &TrainingPage::ShowLiveChart);
}

bool TrainingPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TrainCycleCountEdit && event->type() == QEvent::FocusIn)
        TrainCycleCountEditEnter();
    return QWidget::eventFilter(watched, event);
}

void TrainingPage::TrainCycleCountEditEnter()
{
    if (!running_)
        bTrainSettingsEditing = true;
}

void TrainingPage::UpdateTraining()
{
    const MString cycles = Get(device_, u"Reg.TrainingCycleCount");
    const bool done = cycles.ToInt() == 0;
    if (!bTrainSettingsEditing) {
        TrainCycleCountEdit->setText(ToQString(cycles));
        if (done)
            TrainLoadStateRG->SetItemIndex(Get(device_, u"Reg.bForceLoadOff").ToInt() != 0 ? 1 : 0);
    }
    const MString charge = Get(device_, u"Reg.TrainingChargeEnergy");
    const MString discharge = Get(device_, u"Reg.TrainingDischargeEnergy");
    TrainChargeEnLabel->setText(ToQString(cActionManager::RoundValue(charge, 10)));
    TrainDischargeEnLabel->setText(ToQString(cActionManager::RoundValue(discharge, 10)));
    // Only a whole training has an efficiency: during one, the first discharge alone would
    // read above 100 %.
    TrainEfficiencyLabel->setText(done ? EfficiencyText(charge.ToReal(), discharge.ToReal()) : QStringLiteral("--"));
    running_ = !done;
    if (done && !cycles.Equals(u"--"))
        idleSeen_ = true;

    if (done) {
        TrainStateLabel->setText(tr("Завершено"));
        TrainBeginBitBtn->setText(tr("Начать"));
        if (!TrainLoadStateRG->isEnabled()) {
            TrainLoadStateRG->setEnabled(true);
            bTrainSettingsEditing = false;
            // The device reports the end (a count not yet read after a reconnection does
            // not): the next training, whoever starts it, gets its own time origin and log
            // instead of continuing this one's.
            if (!cycles.Equals(u"--")) {
                // The result: one last row with the final energies, whenever the end came.
                if (TrainStartTime != 0)
                    AddPointSet(clock_(), charge, discharge, true);
                TrainStartTime = 0;
                log_.End();
            }
        }
        return;
    }

    TrainBeginBitBtn->setText(tr("Прервать"));
    TrainLoadStateRG->setEnabled(false);
    TrainStateLabel->setText(Get(device_, u"Reg.bLoadIsOn").ToInt() != 0 ? tr("Разряд") : tr("Заряд"));
    AddPointSet(clock_(), charge, discharge);
}

void TrainingPage::AddPointSet(uint32_t now, const MString &charge, const MString &discharge, bool final)
{
    const MString u = Get(device_, u"Adc.U_Accu");
    if (!final && now - TrainLastPointTime < kPointPeriodSec)
        return;
    if (TrainStartTime == 0) {
        // A training this program did not start (under way at connection, or started
        // elsewhere): it goes on in its log when the newest one is its own (the window was
        // closed and opened again meanwhile), else its chart and log begin here. Which
        // device this is decides it: wait until its id has been read.
        const std::optional<QString> device = DeviceIdentity();
        if (!device)
            return;
        if (ResumeLog(*device, now)) {
            if (now - TrainLastPointTime < kPointPeriodSec)
                return;
        } else {
            TrainStartTime = now;
            livePoints_.clear();
            if (!viewingLog_)
                Chart1->Clear();
            log_.Begin(now);
            log_.NoteDevice(*device);
        }
    } else if (!log_.IsOpen()) {
        log_.Begin(TrainStartTime);
    }
    if (!log_.HasDevice())
        if (const std::optional<QString> device = DeviceIdentity())
            log_.NoteDevice(*device);
    TrainLastPointTime = now;
    TrainingPoint point;
    point.Time = now;
    // Signed: a clock set back gives a point a little before the last, not one far away.
    point.Hours = static_cast<double>(static_cast<int64_t>(now) - static_cast<int64_t>(TrainStartTime)) / 3600.0;
    point.Charge = Plotted(charge);
    point.Discharge = Plotted(discharge);
    point.Voltage = Plotted(u);
    // A row with nothing to plot (values not read yet after a reopening) says nothing.
    if (!point.Charge && !point.Discharge && !point.Voltage)
        return;
    livePoints_.push_back(point);
    // The chart keeps its every-30-s points; the last row is for the log and the CSV.
    if (!viewingLog_ && !final)
        PlotPoint(point);
    log_.Append(point);
}

bool TrainingPage::ResumeLog(const QString &device, uint32_t now)
{
    if (idleSeen_)
        return false;
    std::optional<ResumableLog> resumable = FindResumableLog(log_.Folder(), device, now, kResumeWithinSec);
    if (!resumable)
        return false;
    TrainStartTime = static_cast<uint32_t>(resumable->StartTime);
    TrainLastPointTime = static_cast<uint32_t>(resumable->Points.back().Time);
    livePoints_ = std::move(resumable->Points);
    log_.Continue(resumable->Path, device);
    if (!viewingLog_)
        ShowPoints(livePoints_);
    return true;
}

std::optional<QString> TrainingPage::DeviceIdentity()
{
    QStringList parts;
    bool pending = false;
    for (const char16_t *name : kDeviceIdNames) {
        const ModbusAction *variable = device_.Variable(MString(name));
        if (variable == nullptr)
            return QString();
        if (variable->Value.Equals(u"--")) {
            // A device that refuses its id has none to give: no log can be its own.
            if (variable->State == mbsException || variable->State == mbsTimedOut || variable->State == mbsBadReply)
                return QString();
            device_.GetValue(MString(name));
            pending = true;
            continue;
        }
        parts << ToQString(variable->Value);
    }
    if (pending)
        return std::nullopt;
    return parts.join(QLatin1Char('-'));
}

void TrainingPage::PlotPoint(const TrainingPoint &p)
{
    if (p.Charge)
        Chart1->AddPoint(TrainingChart::Charge, p.Hours, *p.Charge);
    if (p.Discharge)
        Chart1->AddPoint(TrainingChart::Discharge, p.Hours, *p.Discharge);
    if (p.Voltage)
        Chart1->AddPoint(TrainingChart::Ubat, p.Hours, *p.Voltage);
}

void TrainingPage::ShowPoints(const std::vector<TrainingPoint> &points)
{
    std::vector<TrainingPoint> sorted = points;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TrainingPoint &a, const TrainingPoint &b) { return a.Hours < b.Hours; });
    std::array<QList<QPointF>, 3> series;
    for (const TrainingPoint &p : sorted) {
        if (p.Discharge)
            series[TrainingChart::Discharge].append({p.Hours, *p.Discharge});
        if (p.Charge)
            series[TrainingChart::Charge].append({p.Hours, *p.Charge});
        if (p.Voltage)
            series[TrainingChart::Ubat].append({p.Hours, *p.Voltage});
    }
    Chart1->SetPoints(series);
}

void TrainingPage::TrainBeginBitBtnClick()
{
    const WriteOrigin origin("window: TrainBeginBitBtn");
    const MString countName(u"Reg.TrainingCycleCount");
    if (running_) {
        WriteNumberOrExplain(device_, countName, 0);
        return;
    }
    // The count as typed passes the gate before anything is written: "abc" or 70000
    // start nothing, rather than a training of 0 cycles or of a number cut short.
    const QString countText = TrainCycleCountEdit->text();
    const MString count(reinterpret_cast<const char16_t *>(countText.utf16()));
    if (const ModbusAction *variable = device_.Variable(countName); variable != nullptr) {
        if (const WriteCheck check = CheckWrite(*variable, count); !check.Ok()) {
            ModbusShell::JournalRefusal(*variable, count, check);
            WriteRefusal::Show(check);
            return;
        }
    }
    // The training starts only with the load setting it ends with in place on the device.
    if (!WriteLoadStateAfterTraining())
        return;
    WriteNumberOrExplain(device_, countName, static_cast<float>(count.ToInt()));
    TrainStartTime = clock_();
    bTrainSettingsEditing = false;
    livePoints_.clear();
    log_.Begin(TrainStartTime);
    // The id is asked for now, so that the log names its device from its first row.
    if (const std::optional<QString> device = DeviceIdentity())
        log_.NoteDevice(*device);
    ShowLiveChart();
}

bool TrainingPage::WriteLoadStateAfterTraining()
{
    const MString name(u"Reg.bForceLoadOff");
    const float value = static_cast<float>(TrainLoadStateRG->ItemIndex());
    WriteCheck refusal;
    if (device_.WriteNumber(name, value, &refusal))
        return true;
    if (!WriteRefusal::Show(refusal))
        if (const ModbusAction *variable = device_.Variable(name))
            CommandAfterWrite::ShowNotSent(*variable, MString::FromReal(value, 10, 5),
                                           QStringLiteral("Reg.TrainingCycleCount"));
    return false;
}

bool TrainingPage::SaveChart(const QString &pngPath)
{
    QString png = pngPath;
    if (QFileInfo(png).suffix().compare(QStringLiteral("png"), Qt::CaseInsensitive) != 0)
        png += QStringLiteral(".png");
    const QFileInfo info(png);
    const QString csv = info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"));
    QString failed;
    // The picture carries the chart's own legend: the check boxes are not part of it.
    Chart1->Chart->legend()->show();
    Chart1->Chart->layout()->activate();
    // Drawn at twice the screen size: the chart is vector, so the file stays sharp.
    QImage picture(Chart1->View->size() * 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        Chart1->View->render(&painter);
    }
    Chart1->Chart->legend()->hide();
    Chart1->Chart->layout()->activate();
    if (!picture.save(png, "PNG"))
        failed = png;
    else if (!TrainingCsv::Write(csv, ChartPoints()))
        failed = csv;
    if (!failed.isEmpty()) {
        Show(tr("Не удалось сохранить файл:\r\n%1").arg(QDir::toNativeSeparators(failed)));
        return false;
    }
    return true;
}

bool TrainingPage::OpenLog(const QString &path)
{
    auto points = TrainingCsv::Read(path);
    if (!points) {
        Show(tr("Файл не является журналом тренировки:\r\n%1").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    logPoints_ = std::move(*points);
    viewingLog_ = true;
    ShownLogLabel->setText(tr("Журнал: %1").arg(QFileInfo(path).fileName()));
    ShownLogLabel->setToolTip(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    ShownLogLabel->show();
    LiveChartButton->show();
    ShowPoints(logPoints_);
    return true;
}

void TrainingPage::ShowLiveChart()
{
    viewingLog_ = false;
    logPoints_.clear();
    ShownLogLabel->hide();
    LiveChartButton->hide();
    ShowPoints(livePoints_);
}

void TrainingPage::SaveChartButtonClick()
{
    const QString path = SaveDialogHook ? SaveDialogHook()
                                        : QFileDialog::getSaveFileName(this, tr("Сохранить график"), QString(),
                                                                       tr("Рисунок PNG (*.png)"));
    if (!path.isEmpty())
        SaveChart(path);
}

void TrainingPage::OpenLogButtonClick()
{
    const QString path = OpenDialogHook ? OpenDialogHook()
                                        : QFileDialog::getOpenFileName(this, tr("Открыть журнал"), log_.Folder(),
                                                                       tr("Журнал тренировки (*.csv)"));
    if (!path.isEmpty())
        OpenLog(path);
}
