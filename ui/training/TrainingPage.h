// The battery training page: starts and aborts a training on the device, shows its state
// and energies, and charts the energies and the battery voltage every 30 s while it runs.
// Every point set also goes to a log file, so a long training survives the program.
#pragma once

#include <QLabel>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "ui/training/TrainingLog.h"
#include "values/MString.h"

class QLabel;
class QLineEdit;
class QPushButton;
class RadioGroupBox;
class TrainingChart;
class cActionManager;

class TrainingPage : public QWidget {
    Q_OBJECT
public:
    // Calendar time in whole seconds.
    using Clock = std::function<uint32_t()>;

    // The three state variables belong to the window (they outlive the page's refreshes).
    TrainingPage(cActionManager &device, bool &settingsEditing, uint32_t &startTime, uint32_t &lastPointTime,
                 QWidget *parent = nullptr);

    void SetClock(Clock clock) { clock_ = std::move(clock); }
    TrainingLog &Log() { return log_; }

    void UpdateTraining();
    void TrainBeginBitBtnClick();
    void TrainCycleCountEditEnter();
    bool Running() const { return running_; }

    // Writes the chart as PNG to `pngPath` and its points as CSV beside it (same name,
    // ".csv"); false after telling the operator what could not be written.
    bool SaveChart(const QString &pngPath);
    // Shows a saved log in the chart; the device and the training under way are untouched.
    bool OpenLog(const QString &path);
    // Back from a saved log to the training's own points.
    void ShowLiveChart();
    bool IsViewingLog() const { return viewingLog_; }
    // The point sets the chart shows (the live ones or those of an opened log).
    const std::vector<TrainingPoint> &ChartPoints() const { return viewingLog_ ? logPoints_ : livePoints_; }

    // Tests answer the file dialogs with a path (empty: cancelled) instead of showing them.
    std::function<QString()> SaveDialogHook;
    std::function<QString()> OpenDialogHook;

    QLabel *Label4 = nullptr;
    QLabel *TrainStateLabel = nullptr;
    QLineEdit *TrainCycleCountEdit = nullptr;
    RadioGroupBox *TrainLoadStateRG = nullptr;
    QPushButton *TrainBeginBitBtn = nullptr;
    QLabel *TrainChargeEnLabel = nullptr;
    QLabel *TrainDischargeEnLabel = nullptr;
    QLabel *TrainEfficiencyLabel = nullptr;
    TrainingChart *Chart1 = nullptr;
    QPushButton *SaveChartButton = nullptr;
    QPushButton *OpenLogButton = nullptr;
    QLabel *ShownLogLabel = nullptr;
    QPushButton *LiveChartButton = nullptr;

    bool &bTrainSettingsEditing;
    uint32_t &TrainStartTime;
    uint32_t &TrainLastPointTime;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A point set every 30 s while a training runs; `final` adds the last one at its end
    // whatever the time, to the log only.
    void AddPointSet(uint32_t now, const MString &charge, const MString &discharge, bool final = false);
    // Goes on with the newest log when it belongs to the training under way: its points
    // back on the chart, its time origin and last point time taken over. False when none does.
    bool ResumeLog(const QString &device, uint32_t now);
    // The device's chip id as text; "" when it gives none, nothing while it is being read.
    std::optional<QString> DeviceIdentity();
    void ShowPoints(const std::vector<TrainingPoint> &points);
    void PlotPoint(const TrainingPoint &point);
    void UpdateEfficiency(double charge, double discharge);
    // Writes the load state chosen for the training's end; false, after telling the
    // operator why, when the device did not acknowledge it.
    bool WriteLoadStateAfterTraining();
    void SaveChartButtonClick();
    void OpenLogButtonClick();

    cActionManager &device_;
    Clock clock_;
    TrainingLog log_;
    bool running_ = false;
    bool viewingLog_ = false;
    // The device has been seen idle: a training seen afterwards began since, and is not
    // one that went on while the window was closed.
    bool idleSeen_ = false;
    std::vector<TrainingPoint> livePoints_;
    std::vector<TrainingPoint> logPoints_;
};

// "--" while the charge energy is 0.1 W·h or less, else discharge / charge in percent.
QString EfficiencyText(double chargeWh, double dischargeWh);

// A one-line label that shows a text too long for it with "…" in the middle, so both the
// start and the end of a file name stay readable; it never asks for the text's width.
class MiddleElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }
    QSize sizeHint() const override { return QSize(0, QLabel::sizeHint().height()); }

protected:
    void paintEvent(QPaintEvent *event) override;
};
