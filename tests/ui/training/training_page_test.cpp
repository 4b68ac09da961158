// The training page. Against the stand-in: starting and aborting a training and what the
// device receives. With the device values set by hand and an injected clock: the 30 s
// rule, the 0.1 threshold, the log beside the chart, the legend, zoom, saving and opening.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QtTest>

#include "ui/TrainingSimRig.h"
#include "ui/widgets/RadioGroupBox.h"
#include "ui/training/TrainingChart.h"
#include "ui/training/TrainingPage.h"

namespace {

// The page with the state the window would hold for it.
struct PageState {
    bool editing = false;
    uint32_t start = 0;
    uint32_t lastPoint = 0;
    uint32_t now = 1'800'000'000;
};

QList<QPointF> Points(TrainingChart *chart, TrainingChart::SeriesId id)
{
    return chart->Series(id)->points();
}

}  // namespace

class TrainingPageTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // Against the stand-in.
    void startWritesLoadStateThenCountAndEmptiesTheChart();
    void abortWritesOnlyTheCycleCountAndTheGroupComesBack();

    void aCycleCountTheGateRefusesStartsNothing();

    // Device values by hand, injected clock.
    void pointSetEvery30SecondsAndOnlyValuesAbove0_1();
    void logHoldsTheChartsPoints();
    void aLogThatCannotBeWrittenIsReportedOncePerTraining();
    void aTrainingStartedElsewhereAfterAnEndGetsItsOwnChart();
    void aReconnectionDuringATrainingKeepsItsChart();
    void energiesAndEfficiency();
    void legendCheckBoxHidesAndShowsItsSeries();
    void zoomStepsBackOneAtATime();
    void saveWritesPictureAndPointsAndOpenShowsALog();
    void axisLabelsReadApartAtEveryRange();
    void theLogEndsWithTheFinalFiguresAndNothingEmptyIsLogged();
    void aLonePointIsDrawn();

    // A window opened again during a training.
    void reopeningMidTrainingContinuesTheSameLog();
    void onlyTheNewestLogOfThisDeviceStillUnderWayGoesOn();
    void aContinuedLogKeepsItsRowsApartAndATrainingSeenToStartDoesNotContinue();

private:
    void SetValue(const char16_t *name, const char16_t *text)
    {
        offline->Shell.FindVariable(MString(name))->Value = MString(text);
    }
    std::unique_ptr<cActionManager> offline;
    std::unique_ptr<PageState> state;
    std::unique_ptr<TrainingPage> page;
    std::unique_ptr<QTemporaryDir> logDir;
};

void TrainingPageTest::init()
{
    offline = std::make_unique<cActionManager>();
    offline->BuildRegisterMap();
    state = std::make_unique<PageState>();
    page = std::make_unique<TrainingPage>(*offline, state->editing, state->start, state->lastPoint);
    page->SetClock([s = state.get()] { return s->now; });
    // The device's chip id decides whether a training under way goes on in an earlier log.
    SetValue(u"ChipUID.H1", u"11");
    SetValue(u"ChipUID.H2", u"22");
    SetValue(u"ChipUID.L", u"33");
    logDir = std::make_unique<QTemporaryDir>();
    page->Log().SetFolder(logDir->path());
}

void TrainingPageTest::cleanup()
{
    page.reset();
    state.reset();
    offline.reset();
    logDir.reset();
}

void TrainingPageTest::startWritesLoadStateThenCountAndEmptiesTheChart()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    PageState st;
    TrainingPage live(sim.Manager, st.editing, st.start, st.lastPoint);
    live.Log().SetFolder(logDir->path());
    live.SetClock([&st] { return st.now; });
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &live, &TrainingPage::UpdateTraining);
    refresh.start(300);
    QSignalSpy refreshes(&refresh, &QTimer::timeout);  // after the page's own slot, so it counts done refreshes
    live.TrainBeginBitBtn->setFocus();                 // the focus arriving at the count field would count as an entry
    live.show();
    QVERIFY(QTest::qWaitForWindowExposed(&live));

    // Idle: the field follows the device's count until the operator enters it.
    QTRY_COMPARE(live.TrainCycleCountEdit->text(), QStringLiteral("0"));
    QCOMPARE(live.TrainBeginBitBtn->text(), QStringLiteral("Начать"));
    QTest::mouseClick(live.TrainCycleCountEdit, Qt::LeftButton);
    QVERIFY(st.editing);
    live.TrainCycleCountEdit->setText(QStringLiteral("2"));
    QTest::mouseClick(live.TrainLoadStateRG->Button(1), Qt::LeftButton);
    QCOMPARE(live.TrainLoadStateRG->ItemIndex(), 1);
    const qsizetype seen = refreshes.count();
    QTRY_VERIFY(refreshes.count() > seen);
    QCOMPARE(live.TrainCycleCountEdit->text(), QStringLiteral("2"));  // the refresh left the entered count alone

    live.Chart1->AddPoint(TrainingChart::Ubat, 0.5, 12.0);  // a previous training's point
    const size_t before = sim.Writes().size();
    QTest::mouseClick(live.TrainBeginBitBtn, Qt::LeftButton);
    const auto writes = sim.WritesSince(before);
    QCOMPARE(writes.size(), size_t(2));
    QCOMPARE(writes[0].Name, std::string("Reg.bForceLoadOff"));
    QCOMPARE(writes[0].Value, 1.0);
    QCOMPARE(writes[1].Name, std::string("Reg.TrainingCycleCount"));
    QCOMPARE(writes[1].Value, 2.0);
    QCOMPARE(live.Chart1->UbatSeries->count(), 0);
    QVERIFY(!st.editing);
    QVERIFY(st.start != 0);

    QTRY_COMPARE_WITH_TIMEOUT(live.TrainBeginBitBtn->text(), QStringLiteral("Прервать"), 300);
    QVERIFY(!live.TrainLoadStateRG->isEnabled());
    QVERIFY(live.TrainStateLabel->text() == QStringLiteral("Разряд") ||
            live.TrainStateLabel->text() == QStringLiteral("Заряд"));
    // The first point set came with the first refresh, before the voltage had been read;
    // the next comes 30 s later with it.
    QTRY_VERIFY(sim.Manager.Shell.FindVariable(MString(u"Adc.U_Accu"))->Value.ToReal() > 10);
    QCOMPARE(st.lastPoint, st.now);
    st.now += 30;
    QTRY_COMPARE(live.Chart1->UbatSeries->count(), 1);
    QCOMPARE(live.Chart1->UbatSeries->at(0).x(), 30.0 / 3600);
}

void TrainingPageTest::abortWritesOnlyTheCycleCountAndTheGroupComesBack()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    PageState st;
    TrainingPage live(sim.Manager, st.editing, st.start, st.lastPoint);
    live.Log().SetFolder(logDir->path());
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &live, &TrainingPage::UpdateTraining);
    refresh.start(300);

    live.TrainCycleCountEditEnter();
    live.TrainCycleCountEdit->setText(QStringLiteral("3"));
    live.TrainLoadStateRG->SetItemIndex(1);
    live.TrainBeginBitBtnClick();
    QTRY_VERIFY(live.Running());
    QVERIFY(!live.TrainLoadStateRG->isEnabled());
    QTRY_COMPARE(live.TrainCycleCountEdit->text(), QStringLiteral("3"));  // the cycles left
    live.TrainCycleCountEditEnter();
    QVERIFY(!st.editing);  // no editing during a training

    const size_t before = sim.Writes().size();
    QTest::mouseClick(live.TrainBeginBitBtn, Qt::LeftButton);
    const auto writes = sim.WritesSince(before);
    QCOMPARE(writes.size(), size_t(1));
    QCOMPARE(writes[0].Name, std::string("Reg.TrainingCycleCount"));
    QCOMPARE(writes[0].Value, 0.0);

    QTRY_VERIFY(live.TrainLoadStateRG->isEnabled());
    QCOMPARE(live.TrainBeginBitBtn->text(), QStringLiteral("Начать"));
    QCOMPARE(live.TrainStateLabel->text(), QStringLiteral("Завершено"));
    QTRY_COMPARE(live.TrainCycleCountEdit->text(), QStringLiteral("0"));
    QCOMPARE(live.TrainLoadStateRG->ItemIndex(), 1);  // the device's load setting was not changed
}

// Letters once started a training of 0 cycles, a fraction one of its whole part.
void TrainingPageTest::aCycleCountTheGateRefusesStartsNothing()
{
    rig::Messages messages;
    for (const char *typed : {"abc", "1,5", "70000", ""}) {
        page->TrainCycleCountEdit->setText(QString::fromLatin1(typed));
        page->TrainBeginBitBtnClick();
        QVERIFY2(messages.Texts.size() == 1 && messages.Texts[0].contains(QStringLiteral("Reg.TrainingCycleCount")),
                 qPrintable(messages.Texts.join('|')));
        messages.Texts.clear();
        QCOMPARE(state->start, uint32_t(0));
        // The unconnected device: a write would have marked the variables.
        QVERIFY(!offline->Shell.FindVariable(MString(u"Reg.bForceLoadOff"))->WritePending);
        QVERIFY(offline->Shell.FindVariable(MString(u"Reg.TrainingCycleCount"))->Value.Equals(u"--"));
    }
}

void TrainingPageTest::pointSetEvery30SecondsAndOnlyValuesAbove0_1()
{
    SetValue(u"Reg.TrainingCycleCount", u"2");
    SetValue(u"Reg.bLoadIsOn", u"1");
    SetValue(u"Adc.U_Accu", u"12.5");
    SetValue(u"Reg.TrainingChargeEnergy", u"0.1");
    SetValue(u"Reg.TrainingDischargeEnergy", u"0.11");
    page->UpdateTraining();
    QCOMPARE(page->TrainStateLabel->text(), QStringLiteral("Разряд"));
    QCOMPARE(state->start, state->now);  // a training under way at connection starts its chart here
    QCOMPARE(Points(page->Chart1, TrainingChart::Ubat), (QList<QPointF>{{0, 12.5}}));
    QCOMPARE(page->Chart1->ChargeSeries->count(), 0);
    QCOMPARE(page->Chart1->DischargeSeries->count(), 1);

    const uint32_t first = state->now;
    state->now = first + 29;
    SetValue(u"Adc.U_Accu", u"12.4");
    page->UpdateTraining();
    QCOMPARE(page->Chart1->UbatSeries->count(), 1);

    state->now = first + 30;
    SetValue(u"Reg.TrainingChargeEnergy", u"0.2");
    SetValue(u"Reg.bLoadIsOn", u"0");
    page->UpdateTraining();
    QCOMPARE(page->TrainStateLabel->text(), QStringLiteral("Заряд"));
    QCOMPARE(Points(page->Chart1, TrainingChart::Ubat), (QList<QPointF>{{0, 12.5}, {30.0 / 3600, double(12.4f)}}));
    QCOMPARE(Points(page->Chart1, TrainingChart::Charge), (QList<QPointF>{{30.0 / 3600, double(0.2f)}}));
    QCOMPARE(state->lastPoint, first + 30);

    // The next set counts from the last one, not from the start.
    state->now = first + 59;
    page->UpdateTraining();
    QCOMPARE(page->Chart1->UbatSeries->count(), 2);
    state->now = first + 60;
    page->UpdateTraining();
    QCOMPARE(page->Chart1->UbatSeries->count(), 3);

    // A clock set back: the difference is unsigned, so a set comes at once, in its place on x.
    state->now = first + 45;
    page->UpdateTraining();
    const QList<QPointF> u = Points(page->Chart1, TrainingChart::Ubat);
    QCOMPARE(u.size(), 4);
    QCOMPARE(u[2].x(), 45.0 / 3600);
    QVERIFY(std::is_sorted(u.begin(), u.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
}

void TrainingPageTest::logHoldsTheChartsPoints()
{
    SetValue(u"Reg.TrainingCycleCount", u"1");
    const char16_t *values[][3] = {
        {u"0", u"0.5", u"12.7"}, {u"0.05", u"3.25", u"12.1"}, {u"1.5", u"6", u"11.2"}, {u"4.75", u"6", u"13.9"}};
    for (auto &v : values) {
        SetValue(u"Reg.TrainingChargeEnergy", v[0]);
        SetValue(u"Reg.TrainingDischargeEnergy", v[1]);
        SetValue(u"Adc.U_Accu", v[2]);
        page->UpdateTraining();
        state->now += 31;
    }
    const QString path = page->Log().Path();
    QVERIFY(QFileInfo(path).dir() == QDir(logDir->path()));
    const auto logged = TrainingCsv::Read(path);
    QVERIFY(logged);
    QCOMPARE(logged->size(), size_t(4));
    QList<QPointF> charge, discharge, voltage;
    for (const TrainingPoint &p : *logged) {
        if (p.Charge)
            charge.append({p.Hours, *p.Charge});
        if (p.Discharge)
            discharge.append({p.Hours, *p.Discharge});
        if (p.Voltage)
            voltage.append({p.Hours, *p.Voltage});
    }
    QCOMPARE(charge, Points(page->Chart1, TrainingChart::Charge));
    QCOMPARE(discharge, Points(page->Chart1, TrainingChart::Discharge));
    QCOMPARE(voltage, Points(page->Chart1, TrainingChart::Ubat));
    QCOMPARE(charge.size(), 2);

    // The training ends; the log closes with it.
    SetValue(u"Reg.TrainingCycleCount", u"0");
    page->UpdateTraining();
    QVERIFY(!page->Log().IsOpen());
    QCOMPARE(page->Chart1->UbatSeries->count(), 4);  // the chart keeps its points
}

void TrainingPageTest::aLogThatCannotBeWrittenIsReportedOncePerTraining()
{
    rig::Messages messages;
    QFile blocker(logDir->filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    page->Log().SetFolder(blocker.fileName() + QStringLiteral("/training"));  // under a file
    SetValue(u"Reg.TrainingCycleCount", u"1");
    SetValue(u"Adc.U_Accu", u"12.0");
    for (int i = 0; i < 3; ++i) {
        page->UpdateTraining();
        state->now += 30;
    }
    QCOMPARE(page->Chart1->UbatSeries->count(), 3);  // the chart goes on
    QCOMPARE(messages.Texts.size(), 1);
    QVERIFY(messages.Texts[0].startsWith(QStringLiteral("Не удалось записать журнал тренировки:\r\n")));
}

void TrainingPageTest::aTrainingStartedElsewhereAfterAnEndGetsItsOwnChart()
{
    SetValue(u"Reg.TrainingCycleCount", u"1");
    SetValue(u"Adc.U_Accu", u"12.0");
    page->UpdateTraining();
    const QString firstLog = page->Log().Path();
    SetValue(u"Reg.TrainingCycleCount", u"0");
    state->now += 3600;
    page->UpdateTraining();
    QVERIFY(page->TrainLoadStateRG->isEnabled());

    SetValue(u"Reg.TrainingCycleCount", u"2");
    state->now += 3600;
    page->UpdateTraining();
    QCOMPARE(Points(page->Chart1, TrainingChart::Ubat), (QList<QPointF>{{0, 12.0}}));
    QCOMPARE(state->start, state->now);
    QVERIFY(page->Log().Path() != firstLog);
}

void TrainingPageTest::aReconnectionDuringATrainingKeepsItsChart()
{
    SetValue(u"Reg.TrainingCycleCount", u"2");
    SetValue(u"Adc.U_Accu", u"12.0");
    page->UpdateTraining();
    const uint32_t start = state->start;
    const QString log = page->Log().Path();
    // A fresh variable table: the count has not been read yet.
    SetValue(u"Reg.TrainingCycleCount", u"--");
    state->now += 60;
    page->UpdateTraining();
    SetValue(u"Reg.TrainingCycleCount", u"2");
    state->now += 60;
    page->UpdateTraining();
    QCOMPARE(state->start, start);
    QCOMPARE(page->Log().Path(), log);
    QCOMPARE(Points(page->Chart1, TrainingChart::Ubat), (QList<QPointF>{{0, 12.0}, {120.0 / 3600, 12.0}}));
}

void TrainingPageTest::energiesAndEfficiency()
{
    SetValue(u"Reg.TrainingCycleCount", u"0");
    SetValue(u"Reg.TrainingChargeEnergy", u"12.25");
    SetValue(u"Reg.TrainingDischargeEnergy", u"10.04");
    page->UpdateTraining();
    const QString sep = QLocale().decimalPoint();
    QCOMPARE(page->TrainChargeEnLabel->text().replace(sep, QStringLiteral(".")), QStringLiteral("12.3"));
    QCOMPARE(page->TrainDischargeEnLabel->text().replace(sep, QStringLiteral(".")), QStringLiteral("10"));
    QCOMPARE(page->TrainEfficiencyLabel->text(), QLocale().toString(81.959, 'f', 1));

    struct Case {
        double charge, discharge;
        const char *text;
    } cases[] = {{0, 5, "--"}, {0.1, 5, "--"}, {0.11, 0.11, "100.0"}, {10, 8.55, "85.5"}, {-3, 1, "--"}};
    for (const Case &c : cases)
        QCOMPARE(EfficiencyText(c.charge, c.discharge).replace(sep, QStringLiteral(".")), QString::fromLatin1(c.text));
}

void TrainingPageTest::legendCheckBoxHidesAndShowsItsSeries()
{
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    for (auto id : {TrainingChart::Discharge, TrainingChart::Charge, TrainingChart::Ubat}) {
        QCheckBox *box = page->Chart1->LegendBox(id);
        QCOMPARE(box->text(), page->Chart1->Series(id)->name());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!page->Chart1->Series(id)->isVisible());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(page->Chart1->Series(id)->isVisible());
    }
    QCOMPARE(page->Chart1->UbatSeries->name(), QStringLiteral("U") + QStringLiteral("акб"));
    QCOMPARE(page->Chart1->ChargeSeries->pen().color(), QColor(245, 45, 16));
    QCOMPARE(page->Chart1->ChargeSeries->pen().width(), 2);
}

void TrainingPageTest::zoomStepsBackOneAtATime()
{
    SetValue(u"Reg.TrainingCycleCount", u"1");
    for (int i = 0; i < 20; ++i) {
        SetValue(u"Adc.U_Accu", (i % 2) ? u"12.0" : u"13.0");
        page->UpdateTraining();
        state->now += 600;
    }
    page->resize(800, 500);
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    TrainingChartView *view = page->Chart1->View;
    QValueAxis *time = page->Chart1->TimeAxis;
    const double wholeMax = time->max();
    const QRect area = view->chart()->plotArea().toRect();

    auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view->viewport(), to);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    };
    drag(area.topLeft() + QPoint(10, 10), area.center());
    QCOMPARE(view->ZoomDepth(), 1);
    const double firstMax = time->max();
    QVERIFY(firstMax < wholeMax);
    drag(area.topLeft() + QPoint(10, 10), area.center());
    QCOMPARE(view->ZoomDepth(), 2);
    QVERIFY(time->max() < firstMax);

    // A new point set does not undo the operator's zoom.
    page->UpdateTraining();
    QCOMPARE(view->ZoomDepth(), 2);

    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, area.center());
    QCOMPARE(view->ZoomDepth(), 1);
    QCOMPARE(time->max(), firstMax);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, area.center());
    QCOMPARE(view->ZoomDepth(), 0);
    QVERIFY(time->max() >= wholeMax);
}

void TrainingPageTest::saveWritesPictureAndPointsAndOpenShowsALog()
{
    rig::Messages messages;
    SetValue(u"Reg.TrainingCycleCount", u"1");
    SetValue(u"Reg.TrainingDischargeEnergy", u"2.5");
    SetValue(u"Adc.U_Accu", u"12.2");
    page->UpdateTraining();
    state->now += 60;
    page->UpdateTraining();
    page->resize(700, 400);

    const QString base = logDir->filePath(QStringLiteral("saved"));
    page->SaveDialogHook = [&] { return base; };
    QTest::mouseClick(page->SaveChartButton, Qt::LeftButton);
    QImage picture(base + QStringLiteral(".png"));
    QVERIFY(!picture.isNull());
    const auto saved = TrainingCsv::Read(base + QStringLiteral(".csv"));
    QVERIFY(saved);
    QCOMPARE(saved->size(), size_t(2));
    QCOMPARE(saved->at(1).Hours, 60.0 / 3600);
    QCOMPARE(saved->at(1).Discharge, std::optional<float>(2.5f));
    QVERIFY(!saved->at(1).Charge);

    // Opening: the log's points replace the view; the running training goes on aside.
    QFile other(logDir->filePath(QStringLiteral("other.csv")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("time,hours,charge_Wh,discharge_Wh,battery_V\n"
                "2026-01-01T10:00:00,0,,,12.5\n"
                "2026-01-01T10:30:00,0.5,1.5,,12.9\n"
                "2026-01-01T11:00:00,1,3");  // cut short: skipped
    other.close();
    page->OpenDialogHook = [&] { return other.fileName(); };
    QTest::mouseClick(page->OpenLogButton, Qt::LeftButton);
    QVERIFY(page->IsViewingLog());
    // The name on a row of its own, which a long name cannot widen; the whole path on hover.
    QCOMPARE(page->ShownLogLabel->toolTip(), QDir::toNativeSeparators(QFileInfo(other.fileName()).absoluteFilePath()));
    QCOMPARE(page->ShownLogLabel->minimumSizeHint().width(), 0);
    QCOMPARE(Points(page->Chart1, TrainingChart::Ubat), (QList<QPointF>{{0, 12.5}, {0.5, double(12.9f)}}));
    QCOMPARE(Points(page->Chart1, TrainingChart::Charge), (QList<QPointF>{{0.5, 1.5}}));
    QVERIFY(page->Running());

    state->now += 60;
    page->UpdateTraining();
    QCOMPARE(page->Chart1->UbatSeries->count(), 2);  // live points stay out of an opened log
    QVERIFY(page->LiveChartButton->isVisibleTo(page.get()));
    QTest::mouseClick(page->LiveChartButton, Qt::LeftButton);
    QVERIFY(!page->IsViewingLog());
    QCOMPARE(page->Chart1->UbatSeries->count(), 3);

    // Not a log, and a folder that cannot be written: the operator is told.
    QVERIFY(!page->OpenLog(base + QStringLiteral(".png")));
    QVERIFY(!page->SaveChart(logDir->filePath(QStringLiteral("missing/dir/x.png"))));
    QCOMPARE(messages.Texts.size(), 2);
    QVERIFY(messages.Texts[0].startsWith(QStringLiteral("Файл не является журналом тренировки:")));
    QVERIFY(messages.Texts[1].startsWith(QStringLiteral("Не удалось сохранить файл:")));
    QCOMPARE(page->Chart1->UbatSeries->count(), 3);
}

// The time axis over trainings of every length and after a zoom: every label differs
// from its neighbours, with no more decimals than that takes.
void TrainingPageTest::axisLabelsReadApartAtEveryRange()
{
    QCOMPARE(AxisLabelFormat(0, 20, 5), QStringLiteral("%.0f"));
    QCOMPARE(AxisLabelFormat(10.5, 14.5, 5), QStringLiteral("%.1f"));
    QCOMPARE(AxisLabelFormat(0, 1, 5), QStringLiteral("%.2f"));
    QCOMPARE(AxisLabelFormat(0, 0.1, 5), QStringLiteral("%.3f"));
    const auto labelsReadApart = [](const QValueAxis *axis) {
        const double step = (axis->max() - axis->min()) / (axis->tickCount() - 1);
        QStringList labels;
        for (int i = 0; i < axis->tickCount(); ++i)
            labels << QString::asprintf(axis->labelFormat().toLatin1().constData(), axis->min() + i * step);
        for (int i = 1; i < labels.size(); ++i)
            if (labels[i] == labels[i - 1])
                return labels.join(' ');
        return QString();
    };
    for (const double hours : {0.1, 0.2, 0.5, 2.0, 30.0}) {
        page->Chart1->SetPoints({QList<QPointF>{}, QList<QPointF>{}, QList<QPointF>{{0, 12.0}, {hours, 13.0}}});
        QVERIFY2(labelsReadApart(page->Chart1->TimeAxis).isEmpty(),
                 qPrintable(QString::number(hours) + " h: " + labelsReadApart(page->Chart1->TimeAxis)));
    }
    // A zoom into a few minutes.
    page->Chart1->TimeAxis->setRange(0.0123, 0.0456);
    QVERIFY2(labelsReadApart(page->Chart1->TimeAxis).isEmpty(), qPrintable(labelsReadApart(page->Chart1->TimeAxis)));
}

// The end of a training comes between two 30-s points: one last row carries the final
// energies, which are also what the page shows; the efficiency appears only then. A row
// with nothing to plot (a window reopened before any value was read) is not written.
void TrainingPageTest::theLogEndsWithTheFinalFiguresAndNothingEmptyIsLogged()
{
    SetValue(u"Reg.TrainingCycleCount", u"1");
    page->UpdateTraining();  // nothing read yet: no row, no file
    QVERIFY(page->Log().Path().isEmpty() || !QFileInfo::exists(page->Log().Path()) ||
            TrainingCsv::Read(page->Log().Path())->empty());
    QCOMPARE(page->Chart1->UbatSeries->count(), 0);

    state->now += 31;
    SetValue(u"Reg.TrainingChargeEnergy", u"150.5");
    SetValue(u"Reg.TrainingDischargeEnergy", u"170.25");  // the first discharge: above 100 %
    SetValue(u"Adc.U_Accu", u"12.1");
    page->UpdateTraining();
    QCOMPARE(page->TrainEfficiencyLabel->text(), QStringLiteral("--"));
    const QString path = page->Log().Path();
    QVERIFY(!path.isEmpty());

    state->now += 7;
    SetValue(u"Reg.TrainingCycleCount", u"0");
    SetValue(u"Reg.TrainingChargeEnergy", u"173.4");
    SetValue(u"Reg.TrainingDischargeEnergy", u"155.8");
    SetValue(u"Adc.U_Accu", u"13.6");
    page->UpdateTraining();
    const auto logged = TrainingCsv::Read(path);
    QVERIFY(logged);
    QCOMPARE(logged->size(), size_t(2));
    const TrainingPoint &last = logged->back();
    QCOMPARE(last.Charge, std::optional<float>(173.4f));
    QCOMPARE(last.Discharge, std::optional<float>(155.8f));
    QCOMPARE(last.Voltage, std::optional<float>(13.6f));
    QCOMPARE(last.Hours, 38.0 / 3600);
    const QLocale locale;
    QCOMPARE(page->TrainChargeEnLabel->text(), locale.toString(173.4, 'f', 1));
    QCOMPARE(page->TrainDischargeEnLabel->text(), locale.toString(155.8, 'f', 1));
    QCOMPARE(page->TrainEfficiencyLabel->text(), locale.toString(155.8 / 173.4 * 100, 'f', 1));
    QCOMPARE(page->Chart1->UbatSeries->count(), 1);  // the chart keeps its 30-s points
    QVERIFY(!page->Log().IsOpen());
}

void TrainingPageTest::aLonePointIsDrawn()
{
    TrainingChart *chart = page->Chart1;
    chart->AddPoint(TrainingChart::Charge, 0.1, 2.0);
    QVERIFY(chart->ChargeSeries->pointsVisible());
    chart->AddPoint(TrainingChart::Charge, 0.2, 3.0);
    QVERIFY(!chart->ChargeSeries->pointsVisible());
    chart->SetPoints({QList<QPointF>{{0.5, 1.0}}, QList<QPointF>{}, QList<QPointF>{{0, 12}, {1, 13}}});
    QVERIFY(chart->DischargeSeries->pointsVisible());
    QVERIFY(!chart->UbatSeries->pointsVisible());
}

// The window closes during a training and opens again: the same log goes on, and the
// chart shows the points from before with the new ones after them.
void TrainingPageTest::reopeningMidTrainingContinuesTheSameLog()
{
    rig::SimDevice sim;
    QVERIFY2(sim.Start(), sim.Error.c_str());
    PageState first;
    QString path;
    QList<QPointF> before;
    {
        TrainingPage window(sim.Manager, first.editing, first.start, first.lastPoint);
        window.Log().SetFolder(logDir->path());
        window.SetClock([&first] { return first.now; });
        QTimer refresh;
        QObject::connect(&refresh, &QTimer::timeout, &window, &TrainingPage::UpdateTraining);
        refresh.start(300);
        window.TrainCycleCountEditEnter();
        window.TrainCycleCountEdit->setText(QStringLiteral("2"));
        window.TrainBeginBitBtnClick();
        QTRY_VERIFY(window.Running());
        QTRY_VERIFY(sim.Manager.Shell.FindVariable(MString(u"Adc.U_Accu"))->Value.ToReal() > 10);
        for (int n = 1; n <= 2; ++n) {
            first.now += 30;
            QTRY_COMPARE(window.Chart1->UbatSeries->count(), n);
        }
        path = window.Log().Path();
        before = window.Chart1->UbatSeries->points();
    }

    // Opened again 10 s after the last point set: a fresh connection, state and page.
    sim.Manager.Disconnect();
    QVERIFY(sim.Manager.Connect());
    PageState second;
    second.now = first.now + 10;
    TrainingPage window(sim.Manager, second.editing, second.start, second.lastPoint);
    window.Log().SetFolder(logDir->path());
    window.SetClock([&second] { return second.now; });
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &window, &TrainingPage::UpdateTraining);
    refresh.start(300);

    QTRY_COMPARE(window.Log().Path(), path);
    QCOMPARE(second.start, first.start);
    QCOMPARE(window.Chart1->UbatSeries->points(), before);
    // The next point set 30 s after the last one before the window closed.
    QTRY_VERIFY(sim.Manager.Shell.FindVariable(MString(u"Adc.U_Accu"))->Value.ToReal() > 10);
    second.now += 20;
    QTRY_COMPARE(window.Chart1->UbatSeries->count(), 3);
    QCOMPARE(window.Chart1->UbatSeries->at(2).x(), (second.now - first.start) / 3600.0);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).count(TrainingCsv::Header()), 1);
    const auto log = TrainingCsv::ReadLog(path);
    QVERIFY(log);
    QCOMPARE(log->Points.size(), size_t(3));
    QVERIFY(!log->Device.isEmpty());
    QVERIFY(!log->Ended);
    QCOMPARE(QDir(logDir->path()).entryList({QStringLiteral("*.csv")}, QDir::Files).size(), 1);
    // The viewer reads the continued log as any other.
    QVERIFY(window.OpenLog(path));
    QCOMPARE(window.Chart1->UbatSeries->count(), 3);
}

void TrainingPageTest::onlyTheNewestLogOfThisDeviceStillUnderWayGoesOn()
{
    const int64_t now = 1'800'000'000;
    const QDateTime base = QDateTime::fromSecsSinceEpoch(now);
    // Two point sets 30 s apart, the last `age` seconds before now, written `newerBy`
    // seconds after `now` (the newest log is the one last written).
    const auto write = [&](const QString &name, const QString &extra, int64_t age, int newerBy) {
        QFile file(logDir->filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        const QString first = base.addSecs(-age - 30).toString(Qt::ISODate);
        const QString last = base.addSecs(-age).toString(Qt::ISODate);
        file.write((TrainingCsv::Header() + "\n" + extra + first + ",1,,2.5,12.1\n" + last +
                    QStringLiteral(",%1,,3,12\n").arg(1 + 30.0 / 3600, 0, 'g', 17))
                       .toUtf8());
        file.flush();
        return file.setFileTime(base.addSecs(newerBy), QFileDevice::FileModificationTime);
    };
    struct Case {
        const char *what;
        QString extra;  // the log's own lines after the header
        int64_t age;    // of its last point
        bool olderOwn;  // an own log under way, written before the newest
        bool resumed;
    } cases[] = {
        {"own, under way", "# device: 11-22-33\n", 60, false, true},
        {"own, last point just within the hour", "# device: 11-22-33\n", 3600, false, true},
        {"another device's, an older own one", "# device: 44-55-66\n", 60, true, false},
        {"no device noted", "", 60, false, false},
        {"ended", "# device: 11-22-33\n# ended\n", 60, false, false},
        {"last point more than an hour ago", "# device: 11-22-33\n", 3601, false, false},
        {"last point after now", "# device: 11-22-33\n", -120, false, false},
    };
    for (const Case &c : cases) {
        QDir(logDir->path()).removeRecursively();
        QDir().mkpath(logDir->path());
        if (c.olderOwn)
            QVERIFY(write(QStringLiteral("training-a.csv"), QStringLiteral("# device: 11-22-33\n"), 60, -10));
        QVERIFY(write(QStringLiteral("training-b.csv"), c.extra, c.age, 0));
        const auto r = FindResumableLog(logDir->path(), QStringLiteral("11-22-33"), now, 3600);
        QVERIFY2(r.has_value() == c.resumed, c.what);
        if (r) {
            QCOMPARE(r->Path, logDir->filePath(QStringLiteral("training-b.csv")));
            QCOMPARE(r->StartTime, now - c.age - 30 - 3600);
            QCOMPARE(r->Points.size(), size_t(2));
        }
        // The viewer reads every one of them.
        QCOMPARE(TrainingCsv::Read(logDir->filePath(QStringLiteral("training-b.csv")))->size(), size_t(2));
    }
    QVERIFY(!FindResumableLog(logDir->path(), QString(), now, 3600));  // a device without an id
}

// A log whose last row was cut short (the program ended mid-write) goes on with its next
// row on a line of its own. A training the page has seen start after the device was idle
// is a new one, even when the newest log looks like its own.
void TrainingPageTest::aContinuedLogKeepsItsRowsApartAndATrainingSeenToStartDoesNotContinue()
{
    const QString path = logDir->filePath(QStringLiteral("training-x.csv"));
    const auto writeLog = [&] {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QString start = QDateTime::fromSecsSinceEpoch(state->now - 600).toString(Qt::ISODate);
        const QString last = QDateTime::fromSecsSinceEpoch(state->now - 40).toString(Qt::ISODate);
        file.write((TrainingCsv::Header() + "\n# device: 11-22-33\n" + start + ",0,,1.5,12.5\n" + last +
                    QStringLiteral(",%1,,2,12.4\n").arg(560.0 / 3600, 0, 'g', 17) + last + ",0.15")
                       .toUtf8());
        return true;
    };
    QVERIFY(writeLog());
    SetValue(u"Reg.TrainingCycleCount", u"2");
    SetValue(u"Reg.TrainingDischargeEnergy", u"2.5");
    SetValue(u"Adc.U_Accu", u"12.3");
    page->UpdateTraining();
    QCOMPARE(page->Log().Path(), path);
    QCOMPARE(state->start, state->now - 600);
    QCOMPARE(Points(page->Chart1, TrainingChart::Ubat),
             (QList<QPointF>{{0, 12.5}, {560.0 / 3600, double(12.4f)}, {600.0 / 3600, double(12.3f)}}));
    const auto continued = TrainingCsv::ReadLog(path);
    QVERIFY(continued);
    QCOMPARE(continued->Points.size(), size_t(3));
    QCOMPARE(continued->Points.back().Discharge, std::optional<float>(2.5f));

    // Another page that sees the device idle first, then training.
    QVERIFY(writeLog());
    PageState other;
    other.now = state->now;
    TrainingPage seen(*offline, other.editing, other.start, other.lastPoint);
    seen.Log().SetFolder(logDir->path());
    seen.SetClock([&other] { return other.now; });
    SetValue(u"Reg.TrainingCycleCount", u"0");
    seen.UpdateTraining();
    SetValue(u"Reg.TrainingCycleCount", u"2");
    seen.UpdateTraining();
    QVERIFY(seen.Log().Path() != path);
    QCOMPARE(other.start, other.now);
    QCOMPARE(Points(seen.Chart1, TrainingChart::Ubat), (QList<QPointF>{{0, double(12.3f)}}));
}

QTEST_MAIN(TrainingPageTest)
#include "training_page_test.moc"
