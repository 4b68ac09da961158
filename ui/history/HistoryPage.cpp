#include "ui/history/HistoryPage.h"

#include <QAction>
#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>
#include <map>

#include "core/Notify.h"
#include "history/HistoryRecorder.h"

namespace {

const char *const kSettingsKey = "history/record";

// How each recorded variable is named on the page; powers go on the right axis.
struct VarLook {
    const char *Text;
    bool Power;
    QColor Color;
};

QString VarText(int var)
{
    static const char *const texts[kHistoryVarCount] = {
        QT_TRANSLATE_NOOP("HistoryPage", "Напряжение АКБ, В"),
        QT_TRANSLATE_NOOP("HistoryPage", "Ток АКБ, А"),
        QT_TRANSLATE_NOOP("HistoryPage", "Напряжение панели, В"),
        QT_TRANSLATE_NOOP("HistoryPage", "Ток панели, А"),
        QT_TRANSLATE_NOOP("HistoryPage", "Мощность панели, Вт"),
        QT_TRANSLATE_NOOP("HistoryPage", "Мощность нагрузки, Вт"),
        QT_TRANSLATE_NOOP("HistoryPage", "Температура, °C"),
        QT_TRANSLATE_NOOP("HistoryPage", "Заряд АКБ"),
        QT_TRANSLATE_NOOP("HistoryPage", "Разряд АКБ"),
        QT_TRANSLATE_NOOP("HistoryPage", "От панели"),
        QT_TRANSLATE_NOOP("HistoryPage", "В нагрузку"),
    };
    return HistoryPage::tr(texts[var]);
}

bool IsPower(int var)
{
    return var == 4 || var == 5;
}

QColor VarColor(int var)
{
    static const QColor colors[kHistoryVarCount] = {
        QColor(0xE5, 0x39, 0x35), QColor(0x1E, 0x88, 0xE5), QColor(0x8E, 0x24, 0xAA), QColor(0x00, 0x89, 0x7B),
        QColor(0xFB, 0x8C, 0x00), QColor(0x43, 0xA0, 0x47), QColor(0x6D, 0x4C, 0x41), QColor(0xE5, 0x39, 0x35),
        QColor(0x1E, 0x88, 0xE5), QColor(0xFB, 0x8C, 0x00), QColor(0x43, 0xA0, 0x47),
    };
    return colors[var];
}

QString ErrorText(HistoryError e)
{
    switch (e) {
    case HistoryError::NotOurs:
        return HistoryPage::tr("это не файл истории");
    case HistoryError::Damaged:
        return HistoryPage::tr("файл истории повреждён");
    case HistoryError::Locked:
        return HistoryPage::tr("файл истории занят другой программой");
    case HistoryError::Full:
        return HistoryPage::tr("диск заполнен");
    case HistoryError::ReadOnly:
        return HistoryPage::tr("в файл истории нельзя записать");
    case HistoryError::CannotOpen:
        return HistoryPage::tr("файл истории не открывается");
    default:
        return HistoryPage::tr("ошибка файла истории");
    }
}

int64_t WallNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr int64_t kSpanSeconds[] = {3600, 86400, 7 * 86400, 31 * 86400, 365 * 86400};

}  // namespace

bool HistoryRecordingWanted()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("quintavolte"),
                     QStringLiteral("quintavolte"))
        .value(QLatin1String(kSettingsKey), true)
        .toBool();
}

void SetHistoryRecordingWanted(bool on)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("quintavolte"), QStringLiteral("quintavolte"))
        .setValue(QLatin1String(kSettingsKey), on);
}

HistoryPage::HistoryPage(cActionManager &device, const std::string &dbPath, int intervalS, QWidget *parent)
    : QWidget(parent), device_(device), recordPath_(dbPath), shownPath_(dbPath), intervalS_(intervalS), clock_(WallNow)
{
    setObjectName(QStringLiteral("HistoryTS"));
    BuildControls();
    BuildCharts();
    SetSpan(LastDay);
}

HistoryPage::~HistoryPage() = default;

void HistoryPage::BuildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    auto *row = new QHBoxLayout;
    HistorySpanCB = new QComboBox(this);
    HistorySpanCB->setObjectName(QStringLiteral("HistorySpanCB"));
    HistorySpanCB->addItems({tr("Последний час"), tr("Последние сутки"), tr("Последняя неделя"), tr("Последний месяц"),
                             tr("Последний год")});
    // Only a choice made by the operator reloads; the wheel over the closed list does nothing.
    HistorySpanCB->setFocusPolicy(Qt::StrongFocus);
    connect(HistorySpanCB, &QComboBox::activated, this, [this](int i) { SetSpan(static_cast<Span>(i)); });
    HistoryVarsBtn = new QToolButton(this);
    HistoryVarsBtn->setObjectName(QStringLiteral("HistoryVarsBtn"));
    HistoryVarsBtn->setText(tr("Величины"));
    HistoryVarsBtn->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(HistoryVarsBtn);
    for (int i = 0; i < kHistoryVarCount - kHistoryCounterCount; ++i) {
        QAction *a = menu->addAction(VarText(i));
        a->setCheckable(true);
        a->setChecked(i == 0 || i == 4);
        connect(a, &QAction::toggled, this, [this] { LoadCurves(); });
        VarActions.push_back(a);
    }
    HistoryVarsBtn->setMenu(menu);
    HistoryDeviceCB = new QComboBox(this);
    HistoryDeviceCB->setObjectName(QStringLiteral("HistoryDeviceCB"));
    HistoryDeviceCB->setVisible(false);
    connect(HistoryDeviceCB, &QComboBox::activated, this, [this](int i) {
        deviceId_ = HistoryDeviceCB->itemData(i).toLongLong();
        Reload();
    });
    HistoryOpenBtn = new QPushButton(tr("Открыть…"), this);
    HistoryCsvBtn = new QPushButton(tr("CSV…"), this);
    HistoryPngBtn = new QPushButton(tr("PNG…"), this);
    connect(HistoryOpenBtn, &QPushButton::clicked, this, [this] {
        const QString path = AskFile(false, tr("Файлы истории (*.sqlite);;Все файлы (*)"));
        if (!path.isEmpty())
            OpenFile(path);
    });
    connect(HistoryCsvBtn, &QPushButton::clicked, this, [this] {
        const QString path = AskFile(true, tr("CSV (*.csv)"));
        if (!path.isEmpty())
            ExportCsv(path);
    });
    connect(HistoryPngBtn, &QPushButton::clicked, this, [this] {
        const QString path = AskFile(true, tr("PNG (*.png)"));
        if (!path.isEmpty())
            ExportPng(path);
    });
    row->addWidget(HistorySpanCB);
    row->addWidget(HistoryVarsBtn);
    row->addWidget(HistoryDeviceCB);
    row->addStretch(1);
    row->addWidget(HistoryOpenBtn);
    row->addWidget(HistoryCsvBtn);
    row->addWidget(HistoryPngBtn);
    layout->addLayout(row);
    HistoryStateLabel = new QLabel(this);
    HistoryStateLabel->setObjectName(QStringLiteral("HistoryStateLabel"));
    HistoryStateLabel->setWordWrap(true);
    HistoryStateLabel->setVisible(false);
    layout->addWidget(HistoryStateLabel);
}

void HistoryPage::BuildCharts()
{
    curves_ = new QChart;
    curves_->setLocalizeNumbers(true);
    curves_->legend()->setAlignment(Qt::AlignBottom);
    curves_->setMargins(QMargins(2, 2, 2, 2));
    timeAxis_ = new QDateTimeAxis;
    leftAxis_ = new QValueAxis;
    rightAxis_ = new QValueAxis;
    leftAxis_->setLabelFormat(QStringLiteral("%.1f"));
    rightAxis_->setLabelFormat(QStringLiteral("%.0f"));
    rightAxis_->setTitleText(tr("Вт"));
    curves_->addAxis(timeAxis_, Qt::AlignBottom);
    curves_->addAxis(leftAxis_, Qt::AlignLeft);
    curves_->addAxis(rightAxis_, Qt::AlignRight);
    CurvesView = new QChartView(curves_, this);
    CurvesView->setObjectName(QStringLiteral("CurvesView"));
    CurvesView->setRenderHint(QPainter::Antialiasing);
    // A span dragged along the time axis is read again from the file at the level it needs.
    CurvesView->setRubberBand(QChartView::HorizontalRubberBand);
    connect(timeAxis_, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!settingAxes_)
            QTimer::singleShot(0, this, [this] { OnAxisRange(); });
    });

    daily_ = new QChart;
    daily_->setLocalizeNumbers(true);
    daily_->legend()->setAlignment(Qt::AlignBottom);
    daily_->setMargins(QMargins(2, 2, 2, 2));
    daily_->setTitle(tr("Энергия за сутки, Вт·ч, последние 30 дней"));
    DailyView = new QChartView(daily_, this);
    DailyView->setObjectName(QStringLiteral("DailyView"));
    // Both charts need the page's height to be read: one at a time.
    HistoryViewsPC = new QTabWidget(this);
    HistoryViewsPC->setObjectName(QStringLiteral("HistoryViewsPC"));
    HistoryViewsPC->setDocumentMode(true);
    HistoryViewsPC->addTab(CurvesView, tr("Графики"));
    HistoryViewsPC->addTab(DailyView, tr("Энергия по суткам"));
    static_cast<QVBoxLayout *>(layout())->addWidget(HistoryViewsPC, 1);
}

void HistoryPage::SetRecording(bool on)
{
    if (on == Recording())
        return;
    if (!on) {
        recorder_.reset();
        return;
    }
    recorder_ = std::make_unique<HistoryRecorder>(device_, recordPath_, intervalS_);
    recorder_->OnStopped = [this](HistoryError e, const std::string &) {
        // Not from inside the scheduler's turn: the recorder is destroyed by the handler.
        const QString text = tr("Запись истории остановлена: %1.").arg(ErrorText(e));
        QTimer::singleShot(0, this, [this, text] {
            recorder_.reset();
            SayState(text);
            emit recordingStopped(text);
        });
    };
}

QString HistoryPage::AskFile(bool save, const QString &filter)
{
    if (FileDialogHook)
        return FileDialogHook(save, filter);
    return save ? QFileDialog::getSaveFileName(this, QString(), QString(), filter)
                : QFileDialog::getOpenFileName(this, QString(), QString(), filter);
}

void HistoryPage::SayState(const QString &text)
{
    HistoryStateLabel->setText(text);
    HistoryStateLabel->setVisible(!text.isEmpty());
}

bool HistoryPage::EnsureOpen()
{
    if (store_.IsOpen())
        return true;
    if (!store_.Open(shownPath_, true)) {
        // A recorder that has not written yet leaves no file: nothing to show, no failure.
        if (store_.LastError() == HistoryError::CannotOpen && shownPath_ == recordPath_)
            SayState(tr("Пока ничего не записано."));
        else
            SayState(tr("Не удалось прочитать файл истории: %1.").arg(ErrorText(store_.LastError())));
        return false;
    }
    FillDevices();
    return true;
}

void HistoryPage::FillDevices()
{
    const auto devices = store_.Devices();
    HistoryDeviceCB->clear();
    for (const HistoryDevice &d : devices)
        HistoryDeviceCB->addItem(QString::fromStdString(d.Type.empty() ? d.Chip : d.Type + "  " + d.Chip),
                                 QVariant::fromValue<qlonglong>(d.Id));
    HistoryDeviceCB->setVisible(devices.size() > 1);
    int index = 0;
    for (int i = 0; i < HistoryDeviceCB->count(); ++i)
        if (HistoryDeviceCB->itemData(i).toLongLong() == deviceId_)
            index = i;
    deviceId_ = devices.empty() ? 0 : HistoryDeviceCB->itemData(index).toLongLong();
    HistoryDeviceCB->setCurrentIndex(index);
}

bool HistoryPage::OpenFile(const QString &path)
{
    store_.Close();
    shownPath_ = path.toStdString();
    deviceId_ = 0;
    return Reload();
}

bool HistoryPage::Reload()
{
    if (!EnsureOpen()) {
        curves_->removeAllSeries();
        daily_->removeAllSeries();
        return false;
    }
    // Devices recorded since the file was opened.
    if (deviceId_ == 0)
        FillDevices();
    SayState(shownPath_ == recordPath_ ? QString() : tr("Файл истории: %1").arg(QString::fromStdString(shownPath_)));
    LoadCurves();
    LoadDaily();
    if (store_.LastError() != HistoryError::None && store_.LastError() != HistoryError::CannotOpen) {
        SayState(tr("Не удалось прочитать файл истории: %1.").arg(ErrorText(store_.LastError())));
        return false;
    }
    return true;
}

void HistoryPage::SetSpan(Span span)
{
    HistorySpanCB->setCurrentIndex(span);
    const int64_t now = clock_();
    ShowRange(now - kSpanSeconds[span], now);
}

void HistoryPage::ShowRange(int64_t from, int64_t to)
{
    from_ = from;
    to_ = std::max(to, from + 60);
    if (isVisible())
        Reload();
}

void HistoryPage::OnAxisRange()
{
    const int64_t from = timeAxis_->min().toSecsSinceEpoch();
    const int64_t to = timeAxis_->max().toSecsSinceEpoch();
    if (from != from_ || to != to_) {
        from_ = from;
        to_ = std::max(to, from + 60);
        LoadCurves();
    }
}

std::vector<int> HistoryPage::ChosenVars() const
{
    std::vector<int> vars;
    for (size_t i = 0; i < VarActions.size(); ++i)
        if (VarActions[i]->isChecked())
            vars.push_back(static_cast<int>(i));
    return vars;
}

void HistoryPage::SetChosen(int var, bool chosen)
{
    if (var >= 0 && var < static_cast<int>(VarActions.size()))
        VarActions[var]->setChecked(chosen);
}

void HistoryPage::LoadCurves()
{
    settingAxes_ = true;
    curves_->removeAllSeries();
    level_ = HistoryStore::LevelFor(from_, to_, clock_());
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    bool any = false;
    if (store_.IsOpen() && deviceId_ != 0) {
        for (int var : ChosenVars()) {
            const auto points = store_.Series(deviceId_, var, from_, to_, level_);
            auto *series = new QLineSeries;
            series->setName(VarText(var));
            series->setPen(QPen(VarColor(var), 2));
            QList<QPointF> list;
            list.reserve(static_cast<int>(points.size()));
            const int side = IsPower(var) ? 1 : 0;
            for (const HistoryPoint &p : points) {
                list.append(QPointF(static_cast<double>(p.Time) * 1000.0, p.Mean));
                lo[side] = std::min(lo[side], p.Mean);
                hi[side] = std::max(hi[side], p.Mean);
            }
            series->replace(list);
            curves_->addSeries(series);
            series->attachAxis(timeAxis_);
            series->attachAxis(IsPower(var) ? rightAxis_ : leftAxis_);
            any = any || !points.empty();
        }
    }
    timeAxis_->setRange(QDateTime::fromSecsSinceEpoch(from_), QDateTime::fromSecsSinceEpoch(to_));
    const int64_t span = to_ - from_;
    timeAxis_->setFormat(span <= 86400       ? QStringLiteral("HH:mm")
                         : span <= 8 * 86400 ? QStringLiteral("dd.MM HH:mm")
                                             : QStringLiteral("dd.MM.yy"));
    timeAxis_->setTickCount(span <= 8 * 86400 && span > 86400 ? 5 : 6);
    leftAxis_->setTickCount(6);
    rightAxis_->setTickCount(6);
    QValueAxis *axes[2] = {leftAxis_, rightAxis_};
    for (int side = 0; side < 2; ++side) {
        if (lo[side] > hi[side]) {
            axes[side]->setRange(0, 1);
            axes[side]->setVisible(false);
            continue;
        }
        const double pad = std::max(0.5, (hi[side] - lo[side]) * 0.05);
        // Powers and the like that never go below zero keep zero as their floor.
        const double low = lo[side] >= 0 && lo[side] - pad < 0 ? 0.0 : std::floor(lo[side] - pad);
        axes[side]->setRange(low, std::ceil(hi[side] + pad));
        axes[side]->applyNiceNumbers();
        axes[side]->setVisible(true);
    }
    settingAxes_ = false;
    if (!any && store_.IsOpen())
        SayState(tr("Нет данных за этот период."));
    else if (store_.IsOpen() && HistoryStateLabel->text() == tr("Нет данных за этот период."))
        SayState(QString());
}

void HistoryPage::LoadDaily()
{
    daily_->removeAllSeries();
    // A removed axis comes back to us: without the delete every reload would leak two.
    for (QAbstractAxis *axis : daily_->axes()) {
        daily_->removeAxis(axis);
        delete axis;
    }
    if (!store_.IsOpen() || deviceId_ == 0)
        return;
    const int64_t now = clock_();
    const auto days = store_.Daily(deviceId_, LocalDayOf(now - 29 * 86400), LocalDayOf(now));
    auto *series = new QBarSeries;
    double top = 1;
    for (int c = 0; c < kHistoryCounterCount; ++c) {
        auto *set = new QBarSet(VarText(kHistoryVarCount - kHistoryCounterCount + c));
        set->setColor(VarColor(kHistoryVarCount - kHistoryCounterCount + c));
        set->setBorderColor(VarColor(kHistoryVarCount - kHistoryCounterCount + c));
        for (const HistoryDaily &d : days) {
            const double v = d.Energy[c].value_or(0);
            set->append(v);
            top = std::max(top, v);
        }
        series->append(set);
    }
    // A day nobody recorded is unknown, not zero: a pale bar the height of the chart says so.
    auto *unknown = new QBarSet(tr("нет записи"));
    unknown->setColor(QColor(0xCF, 0xD8, 0xDC));
    unknown->setBorderColor(QColor(0xCF, 0xD8, 0xDC));
    const double full = std::ceil(top * 1.1);
    for (const HistoryDaily &d : days)
        unknown->append(d.Covered == 0 ? full : 0.0);
    series->append(unknown);
    daily_->addSeries(series);
    // A date under every third day: thirty would not fit the page side by side.
    auto *x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setRange(-0.5, static_cast<double>(days.size()) - 0.5);
    x->setGridLineVisible(false);
    const int n = static_cast<int>(days.size());
    for (int i = (n - 1) % 3; i < n; i += 3)
        x->append(QString::fromStdString(days[i].Day.substr(8, 2) + "." + days[i].Day.substr(5, 2)), i);
    auto *y = new QValueAxis;
    y->setRange(0, std::ceil(top * 1.1));
    y->applyNiceNumbers();
    for (int i = 0; i < unknown->count(); ++i)
        if (unknown->at(i) > 0)
            unknown->replace(i, y->max());
    y->setLabelFormat(QStringLiteral("%.0f"));
    daily_->addAxis(x, Qt::AlignBottom);
    daily_->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}

bool HistoryPage::ExportCsv(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        SayState(tr("Файл не записан: %1").arg(file.errorString()));
        return false;
    }
    // What the chart shows, one row per time, the variables side by side.
    const std::vector<int> vars = ChosenVars();
    std::map<int64_t, std::vector<QString>> rows;
    for (size_t k = 0; k < vars.size(); ++k)
        for (const HistoryPoint &p : store_.Series(deviceId_, vars[k], from_, to_, level_)) {
            auto &row = rows[p.Time];
            row.resize(vars.size());
            row[k] = QString::number(p.Mean, 'f', 3);
        }
    QTextStream out(&file);
    out << "time";
    for (int v : vars)
        out << "," << HistoryVars()[v].Name;
    out << "\n";
    for (const auto &[t, values] : rows) {
        out << QDateTime::fromSecsSinceEpoch(t).toString(Qt::ISODate);
        for (const QString &v : values)
            out << "," << v;
        out << "\n";
    }
    out.flush();
    if (file.error() != QFile::NoError || !file.flush()) {
        SayState(tr("Файл не записан: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

bool HistoryPage::ExportPng(const QString &path)
{
    QPixmap curves = CurvesView->grab();
    QPixmap daily = DailyView->grab();
    QImage image(std::max(curves.width(), daily.width()), curves.height() + daily.height(), QImage::Format_RGB32);
    image.fill(palette().window().color());
    QPainter painter(&image);
    painter.drawPixmap(0, 0, curves);
    painter.drawPixmap(0, curves.height(), daily);
    painter.end();
    if (!image.save(path, "PNG")) {
        SayState(tr("Файл не записан: %1").arg(path));
        return false;
    }
    return true;
}

void HistoryPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window's spans end now: a page shown again shows what was recorded meanwhile.
    const int64_t span = to_ - from_;
    const int64_t now = clock_();
    if (HistorySpanCB->currentIndex() >= 0 && to_ >= now - 60)
        from_ = now - span, to_ = now;
    Reload();
}

HistoryWindowOptions &WindowHistoryOptions()
{
    static HistoryWindowOptions options;
    return options;
}

HistoryPage *AttachHistoryPage(QTabWidget *tabs, QMenu *menu, cActionManager &device)
{
    const HistoryWindowOptions &o = WindowHistoryOptions();
    auto *page = new HistoryPage(device, o.Db.empty() ? DefaultHistoryPath() : o.Db, o.IntervalS);
    tabs->addTab(page, HistoryPage::tr("История"));
    QAction *item = menu->addAction(HistoryPage::tr("Записыва&ть историю"));
    item->setObjectName(QStringLiteral("HistoryRecordMenuItem"));
    item->setCheckable(true);
    item->setChecked(HistoryRecordingWanted());
    QObject::connect(item, &QAction::triggered, page, [page](bool on) {
        SetHistoryRecordingWanted(on);
        page->SetRecording(on);
    });
    QObject::connect(page, &HistoryPage::recordingStopped, item, [item](const QString &text) {
        item->setChecked(false);
        ShowMessageBox(text.toStdU16String());
    });
    page->SetRecording(item->isChecked());
    return page;
}
