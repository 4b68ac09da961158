// The training and quick-setup pages inside the main window: a training keeps being
// charted while another page is in front, and entering the lithium cell count counts as
// entering the training settings.
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>

#include "ui/UiFixture.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/pages/PresetPages.h"
#include "ui/widgets/RadioGroupBox.h"
#include "ui/training/TrainingChart.h"
#include "ui/training/TrainingPage.h"

using namespace uitest;

namespace {
constexpr int kViewTimeoutMs = 5000;
}

class TrainingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void trainingIsChartedWhileAnotherPageIsInFront()
    {
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        Answers answers;
        Window w({sim.Path()});
        TMainForm &f = *w.form;
        QTemporaryDir logs;
        f.TrainingTS->Log().SetFolder(logs.path());
        uint32_t now = 1'800'000'000;
        f.TrainingTS->SetClock([&now] { return now; });
        QVERIFY(w.ShowAndConnect());
        QTRY_VERIFY_WITH_TIMEOUT(f.IsTabShown(f.TrainingTS), kViewTimeoutMs);

        f.MainPC->setCurrentWidget(f.TrainingTS);
        QTRY_COMPARE(f.TrainingTS->TrainCycleCountEdit->text(), QStringLiteral("0"));
        f.TrainingTS->TrainCycleCountEditEnter();
        f.TrainingTS->TrainCycleCountEdit->setText(QStringLiteral("2"));
        QTest::mouseClick(f.TrainingTS->TrainBeginBitBtn, Qt::LeftButton);
        QTRY_COMPARE(f.TrainingTS->TrainBeginBitBtn->text(), QStringLiteral("Прервать"));
        QCOMPARE(sim.WritesTo(QStringLiteral("Reg.TrainingCycleCount")), QStringList{QStringLiteral("2")});

        // Another page in front: the refresh still drives the training page.
        f.MainPC->setCurrentWidget(f.ChargerMnemoTS);
        QTRY_VERIFY(w.Var(u"Adc.U_Accu")->Value.ToReal() > 10);
        QVERIFY(WaitForRefreshes(1));  // a refresh with the mnemonic page in front
        const int before = f.TrainingTS->Chart1->UbatSeries->count();
        now += 30;
        QTRY_COMPARE(f.TrainingTS->Chart1->UbatSeries->count(), before + 1);
        QCOMPARE(f.MainPC->currentWidget(), f.ChargerMnemoTS);
        QVERIFY(answers.messages.isEmpty());
    }

    void enteringTheLithiumCellCountEntersTheTrainingSettings()
    {
        Window w(kNoDevice);
        TMainForm &f = *w.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        bTrainSettingsEditing = false;
        emit f.LiPresetTS->CellCountEntered();
        QVERIFY(bTrainSettingsEditing);
    }
};

QTEST_MAIN(TrainingWindowTest)
#include "training_window_test.moc"
