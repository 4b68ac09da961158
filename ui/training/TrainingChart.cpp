#include "ui/training/TrainingChart.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QToolButton>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/widgets/Contrast.h"

namespace {

struct SeriesLook {
    const char *Title;
    QColor Colour;
};

const SeriesLook kLooks[] = {
    {QT_TRANSLATE_NOOP("TrainingChart", "Разряд"), QColor(0, 0, 255)},
    {QT_TRANSLATE_NOOP("TrainingChart", "Заряд"), QColor(245, 45, 16)},
    {QT_TRANSLATE_NOOP("TrainingChart", "Uакб"), QColor(0, 128, 64)},  // the U is Latin
};

bool IsWhole(double v)
{
    return std::fabs(v - std::round(v)) < 1e-6;
}

// A series of one point draws no line: its point is drawn instead.
void ShowLonePoint(QLineSeries *series)
{
    series->setPointsVisible(series->count() < 2);
}

void SetRange(QValueAxis *axis, double min, double max)
{
    if (!(max > min))
        max = min + 1;
    axis->setRange(min, max);
    axis->applyNiceNumbers();
}

}  // namespace

QString AxisLabelFormat(double min, double max, int tickCount)
{
    if (tickCount < 2)
        return QStringLiteral("%.1f");
    const double step = (max - min) / (tickCount - 1);
    // As many decimals as the ticks need to read apart (0,025 0,050 ...), up to three.
    for (int decimals = 0; decimals < 3; ++decimals) {
        const double k = std::pow(10.0, decimals);
        if (IsWhole(min * k) && IsWhole(step * k))
            return QStringLiteral("%.%1f").arg(decimals);
    }
    return QStringLiteral("%.3f");
}

TrainingChartView::TrainingChartView(QChart *chart, QWidget *parent) : QChartView(chart, parent)
{
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
}

TrainingChartView::Ranges TrainingChartView::Current() const
{
    Ranges r;
    for (QAbstractAxis *axis : chart()->axes())
        if (auto *v = qobject_cast<QValueAxis *>(axis))
            r.Axes.append({v->min(), v->max()});
    return r;
}

void TrainingChartView::Restore(const Ranges &ranges)
{
    const QList<QAbstractAxis *> axes = chart()->axes();
    int i = 0;
    for (QAbstractAxis *axis : axes)
        if (auto *v = qobject_cast<QValueAxis *>(axis); v && i < ranges.Axes.size()) {
            v->setRange(ranges.Axes[i].first, ranges.Axes[i].second);
            ++i;
        }
}

void TrainingChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        beforePress_ = Current();
    QChartView::mousePressEvent(event);
}

void TrainingChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        // One zoom back, not the view's own zoom-out by a factor.
        ZoomBack();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        const Ranges after = Current();
        if (after.Axes != beforePress_.Axes)
            history_.append(beforePress_);
    }
}

void TrainingChartView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        ZoomReset();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TrainingChartView::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

void TrainingChartView::ZoomBack()
{
    if (history_.isEmpty())
        return;
    Restore(history_.takeLast());
    if (history_.isEmpty())
        emit ZoomCleared();
}

void TrainingChartView::ZoomReset()
{
    history_.clear();
    emit ZoomCleared();
}

TrainingChart::TrainingChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Chart1"));
    Chart = new QChart;
    Chart->setTitle(QString());
    Chart->legend()->hide();  // the check boxes above are the legend
    Chart->setLocalizeNumbers(true);
    Chart->setMargins(QMargins(4, 4, 4, 4));
    Chart->setBackgroundRoundness(0);

    TimeAxis = new QValueAxis;
    TimeAxis->setTitleText(tr("Время, ч"));
    VoltageAxis = new QValueAxis;
    VoltageAxis->setTitleText(tr("Напряжение, В"));
    EnergyAxis = new QValueAxis;
    EnergyAxis->setTitleText(tr("Энергия, Вт·ч"));
    Chart->addAxis(TimeAxis, Qt::AlignBottom);
    Chart->addAxis(VoltageAxis, Qt::AlignLeft);
    Chart->addAxis(EnergyAxis, Qt::AlignRight);
    for (QValueAxis *axis : {TimeAxis, VoltageAxis, EnergyAxis}) {
        const auto follow = [axis] {
            axis->setLabelFormat(AxisLabelFormat(axis->min(), axis->max(), axis->tickCount()));
        };
        connect(axis, &QValueAxis::rangeChanged, axis, follow);
        connect(axis, &QValueAxis::tickCountChanged, axis, follow);
    }

    auto *legendRow = new QHBoxLayout;
    legendRow->addStretch();
    for (int i = 0; i < 3; ++i) {
        auto *series = new QLineSeries;
        series->setName(TrainingChart::tr(kLooks[i].Title));
        QPen pen(kLooks[i].Colour);
        pen.setWidth(2);
        series->setPen(pen);
        Chart->addSeries(series);
        series->attachAxis(TimeAxis);
        series->attachAxis(i == Ubat ? VoltageAxis : EnergyAxis);
        series_[i] = series;

        auto *box = new QCheckBox(series->name(), this);
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, series, &QLineSeries::setVisible);
        legend_[i] = box;
        legendRow->addWidget(box);
        legendRow->addSpacing(8);
    }
    DischargeSeries = series_[Discharge];
    ChargeSeries = series_[Charge];
    UbatSeries = series_[Ubat];
    legendRow->addStretch();
    WholeChartButton = new QToolButton(this);
    WholeChartButton->setText(tr("Весь график"));
    legendRow->addWidget(WholeChartButton);

    View = new TrainingChartView(Chart, this);
    View->setMinimumHeight(160);
    connect(View, &TrainingChartView::ZoomCleared, this, &TrainingChart::FitToData);
    connect(WholeChartButton, &QToolButton::clicked, View, &TrainingChartView::ZoomReset);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(legendRow);
    layout->addWidget(View, 1);
    ApplyColours();
    FitToData();
}

QColor TrainingChart::SeriesColour(SeriesId id, const QColor &background)
{
    return WithContrast(kLooks[id].Colour, background, kGraphicContrast);
}

QColor TrainingChart::LegendColour(SeriesId id, const QColor &background)
{
    return WithContrast(kLooks[id].Colour, background, kTextContrast);
}

void TrainingChart::ApplyColours()
{
    // The chart takes the palette's text field colours; each series keeps its hue, made
    // lighter or darker where the background would swallow it.
    const QPalette p = palette();
    const QColor base = p.color(QPalette::Base), text = p.color(QPalette::Text);
    Chart->setBackgroundBrush(base);
    View->setBackgroundBrush(base);
    QColor grid = p.color(QPalette::Mid);
    if (ContrastRatio(grid, base) < 1.5)
        grid = WithContrast(grid, base, 1.5);
    for (QValueAxis *axis : {TimeAxis, VoltageAxis, EnergyAxis}) {
        axis->setLabelsColor(text);
        axis->setTitleBrush(text);
        axis->setLinePenColor(text);
        axis->setGridLineColor(grid);
    }
    for (int i = 0; i < 3; ++i) {
        const auto id = static_cast<SeriesId>(i);
        QPen pen = series_[i]->pen();
        pen.setColor(SeriesColour(id, base));
        series_[i]->setPen(pen);
        QPalette boxPalette = legend_[i]->palette();
        boxPalette.setColor(QPalette::WindowText, LegendColour(id, p.color(QPalette::Window)));
        legend_[i]->setPalette(boxPalette);
    }
}

void TrainingChart::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && View != nullptr)
        ApplyColours();
}

void TrainingChart::AddPoint(SeriesId id, double x, double y)
{
    QLineSeries *series = series_[id];
    const int n = series->count();
    if (n == 0 || series->at(n - 1).x() <= x) {
        series->append(x, y);
    } else {
        const QList<QPointF> points = series->points();
        const auto at =
            std::upper_bound(points.begin(), points.end(), x, [](double v, const QPointF &p) { return v < p.x(); });
        series->insert(static_cast<int>(at - points.begin()), QPointF(x, y));
    }
    ShowLonePoint(series);
    if (View->ZoomDepth() == 0)
        FitToData();
}

void TrainingChart::Clear()
{
    for (QLineSeries *series : series_)
        series->clear();
    View->ZoomReset();
}

void TrainingChart::SetPoints(const std::array<QList<QPointF>, 3> &points)
{
    View->ZoomReset();
    for (int i = 0; i < 3; ++i) {
        series_[i]->replace(points[i]);
        ShowLonePoint(series_[i]);
    }
    FitToData();
}

void TrainingChart::FitToData()
{
    double xMax = 0;
    double uMin = std::numeric_limits<double>::max(), uMax = std::numeric_limits<double>::lowest();
    double eMax = 0;
    for (int i = 0; i < 3; ++i) {
        for (const QPointF &p : series_[i]->points()) {
            xMax = std::max(xMax, p.x());
            if (i == Ubat) {
                uMin = std::min(uMin, p.y());
                uMax = std::max(uMax, p.y());
            } else {
                eMax = std::max(eMax, p.y());
            }
        }
    }
    SetRange(TimeAxis, 0, std::max(xMax, 0.1));
    if (uMin > uMax)
        SetRange(VoltageAxis, 10, 15);
    else
        SetRange(VoltageAxis, std::floor(uMin - 0.5), std::ceil(uMax + 0.5));
    SetRange(EnergyAxis, 0, std::max(eMax * 1.05, 1.0));
}
