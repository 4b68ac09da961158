// The training chart: two energies on the right axis and the battery voltage on the left
// over hours since the start. A check box per series above the chart hides or shows it;
// dragging a rectangle zooms in, the right button steps back one zoom, a double click or
// "Весь график" shows the whole chart again.
#pragma once

#include <QChartView>
#include <QList>
#include <QWidget>
#include <array>

class QCheckBox;
class QLineSeries;
class QValueAxis;
class QToolButton;

// The view: rubber-band zoom with a history of the ranges before each zoom, no wheel.
class TrainingChartView : public QChartView {
    Q_OBJECT
public:
    explicit TrainingChartView(QChart *chart, QWidget *parent = nullptr);

    int ZoomDepth() const { return static_cast<int>(history_.size()); }
    void ZoomBack();
    void ZoomReset();

signals:
    // The ranges should follow the data again.
    void ZoomCleared();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    struct Ranges {
        QList<QPair<qreal, qreal>> Axes;
    };
    Ranges Current() const;
    void Restore(const Ranges &ranges);

    QList<Ranges> history_;
    Ranges beforePress_;
};

class TrainingChart : public QWidget {
    Q_OBJECT
public:
    enum SeriesId { Discharge = 0, Charge = 1, Ubat = 2 };

    explicit TrainingChart(QWidget *parent = nullptr);

    // Keeps x ascending: a point earlier than the last goes to its place.
    void AddPoint(SeriesId series, double x, double y);
    void Clear();
    // Replaces every series at once (a whole log); each list in ascending x.
    void SetPoints(const std::array<QList<QPointF>, 3> &points);
    // The axes follow the data unless the operator has zoomed in.
    void FitToData();

    // The series' colours on a background: their own hue, with the contrast a line (3:1) or
    // the legend's text (4.5:1) needs.
    static QColor SeriesColour(SeriesId id, const QColor &background);
    static QColor LegendColour(SeriesId id, const QColor &background);

    QLineSeries *Series(SeriesId id) const { return series_[id]; }
    QCheckBox *LegendBox(SeriesId id) const { return legend_[id]; }

    QChart *Chart = nullptr;
    TrainingChartView *View = nullptr;
    QLineSeries *DischargeSeries = nullptr;
    QLineSeries *ChargeSeries = nullptr;
    QLineSeries *UbatSeries = nullptr;
    QValueAxis *TimeAxis = nullptr;
    QValueAxis *VoltageAxis = nullptr;
    QValueAxis *EnergyAxis = nullptr;
    QToolButton *WholeChartButton = nullptr;

protected:
    void changeEvent(QEvent *event) override;

private:
    void ApplyColours();

    std::array<QLineSeries *, 3> series_{};
    std::array<QCheckBox *, 3> legend_{};
};

// "#,##0.#" for an axis: whole numbers when every tick is whole, else one decimal.
QString AxisLabelFormat(double min, double max, int tickCount);
