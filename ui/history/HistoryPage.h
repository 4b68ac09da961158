// The history page: curves of the recorded variables over a chosen span, the daily energy
// of the last 30 days as bars, export to CSV and PNG; and the recorder that fills the file
// while the device is connected.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/HistoryStore.h"

class QAction;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;
class QValueAxis;
class HistoryRecorder;
class cActionManager;

class HistoryPage : public QWidget {
    Q_OBJECT
public:
    enum Span { LastHour, LastDay, LastWeek, LastMonth, LastYear };
    using Clock = std::function<int64_t()>;  // UTC seconds

    HistoryPage(cActionManager &device, const std::string &dbPath, int intervalS, QWidget *parent = nullptr);
    ~HistoryPage() override;

    // Starts or ends the recorder (the settings menu's item).
    void SetRecording(bool on);
    bool Recording() const { return recorder_ != nullptr; }
    HistoryRecorder *Recorder() const { return recorder_.get(); }

    // Shows another history file (the recorder keeps writing its own).
    bool OpenFile(const QString &path);
    const std::string &ShownPath() const { return shownPath_; }
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    // Reads the span again from the file; false when the file could not be read.
    bool Reload();
    void SetSpan(Span span);
    // A span of its own (dragged on the chart).
    void ShowRange(int64_t from, int64_t to);
    int64_t ShownFrom() const { return from_; }
    int64_t ShownTo() const { return to_; }
    HistoryLevel ShownLevel() const { return level_; }
    // The variables of HistoryVars shown as curves.
    std::vector<int> ChosenVars() const;
    void SetChosen(int var, bool chosen);

    bool ExportCsv(const QString &path);
    bool ExportPng(const QString &path);

    // Tests answer the file dialogs with a path (empty: cancelled).
    std::function<QString(bool save, const QString &filter)> FileDialogHook;

    QComboBox *HistorySpanCB = nullptr;
    QComboBox *HistoryDeviceCB = nullptr;
    QToolButton *HistoryVarsBtn = nullptr;
    QPushButton *HistoryOpenBtn = nullptr;
    QPushButton *HistoryCsvBtn = nullptr;
    QPushButton *HistoryPngBtn = nullptr;
    QLabel *HistoryStateLabel = nullptr;
    QTabWidget *HistoryViewsPC = nullptr;
    QChartView *CurvesView = nullptr;
    QChartView *DailyView = nullptr;
    std::vector<QAction *> VarActions;

signals:
    // The recorder stopped on a failure of the database (the text says which).
    void recordingStopped(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BuildControls();
    void BuildCharts();
    bool EnsureOpen();
    void FillDevices();
    void LoadCurves();
    void LoadDaily();
    QString AskFile(bool save, const QString &filter);
    void SayState(const QString &text);
    void OnAxisRange();

    cActionManager &device_;
    std::string recordPath_;
    std::string shownPath_;
    int intervalS_;
    std::unique_ptr<HistoryRecorder> recorder_;
    HistoryStore store_;
    int64_t deviceId_ = 0;
    Clock clock_;
    int64_t from_ = 0, to_ = 0;
    HistoryLevel level_ = HistoryLevel::Raw;
    bool settingAxes_ = false;

    QChart *curves_ = nullptr;
    QDateTimeAxis *timeAxis_ = nullptr;
    QValueAxis *leftAxis_ = nullptr;
    QValueAxis *rightAxis_ = nullptr;
    QChart *daily_ = nullptr;
};

// Recording on or off, kept in the user's settings (on unless turned off).
bool HistoryRecordingWanted();
void SetHistoryRecordingWanted(bool on);

class QMenu;
class QTabWidget;

// The window's command line for the history: --history-db FILE, --history-interval S.
struct HistoryWindowOptions {
    std::string Db;  // empty: the user's history file
    int IntervalS = 10;
};
HistoryWindowOptions &WindowHistoryOptions();

// Puts the page beside the others as the tab "История" and its on/off item into the menu,
// and starts the recorder when the operator wants it (the default).
HistoryPage *AttachHistoryPage(QTabWidget *tabs, QMenu *menu, cActionManager &device);
