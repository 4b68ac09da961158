// The trees in the main window against the stand-in: built once per connection, only the
// tree in front is read, cleared on disconnection, the service filter, and the commands
// that follow a write only when the device acknowledged it.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "UiFixture.h"
#include "ui/training/TrainingPage.h"
#include "ui/trees/AccuTree.h"
#include "ui/trees/CalibrateTree.h"
#include "ui/trees/PerifTree.h"
#include "ui/trees/ServiceTree.h"

using namespace uitest;

namespace {
constexpr int kTimeoutMs = 8000;

// One "write, then command" operation of the window: the write the command depends on,
// the command (the writes that must not follow), and how the operator starts it.
enum class Sequence { Calibration, Training };
}  // namespace
Q_DECLARE_METATYPE(Sequence)

class MainFormTreesTest : public QObject {
    Q_OBJECT
private slots:
    void treesFollowTheConnection()
    {
        Answers answers;
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        Window &w = *c.w;
        TMainForm &f = c.Form();
        QCOMPARE(ServiceTree->View(), f.ServiceTreeView);
        QCOMPARE(f.ServiceTreeView->RowCount(), ActionManager->Shell.Actions.Count());
        QCOMPARE(f.CalibTreeView->RowCount(), 8);
        QCOMPARE(f.PerifTreeView->RowCount(), 40);
        QCOMPARE(f.AccuTreeView->RowCount(), 6);

        // Only the tree in front is read: the peripherals' variables wait for their page.
        ModbusAction *input = w.Var(u"Adc.UserAdcV1");
        QVERIFY(WaitForRefreshes(2));
        QVERIFY(input->Value.Equals(u"--"));
        f.MainPC->setCurrentWidget(f.PerifTS);
        QTRY_VERIFY_WITH_TIMEOUT(!input->Value.Equals(u"--"), kTimeoutMs);
        const int mb = 3;  // "Адрес устройства Modbus RTU"
        sPerifND *address = PerifTree->FindRow(mb);
        QTRY_VERIFY_WITH_TIMEOUT(address->ValueEdit->isVisible(), kTimeoutMs);
        QTest::mouseClick(address->ValueEdit.get(), Qt::LeftButton);
        QTest::keyClicks(address->ValueEdit.get(), "7");
        QTRY_VERIFY(address->Editing);

        // Disconnected: the trees are emptied; connected again: fresh rows, nothing frozen.
        f.ConnectMenuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!f.MainPC->isVisible(), kTimeoutMs);
        for (cTreeView *view : {f.ServiceTreeView, f.CalibTreeView, f.PerifTreeView, f.AccuTreeView})
            QCOMPARE(view->RowCount(), 0);
        QCOMPARE(PerifTree->Rows.Count(), 0);
        f.ConnectMenuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), kTimeoutMs);
        QCOMPARE(f.PerifTreeView->RowCount(), 40);
        for (int i = 0; i < PerifTree->Rows.Count(); ++i)
            QVERIFY(!PerifTree->Rows.At(i)->Editing);
        address = PerifTree->FindRow(mb);
        QTRY_VERIFY_WITH_TIMEOUT(!address->ValueEdit->text().isEmpty() && address->ValueEdit->text() != "--",
                                 kTimeoutMs);
        QCOMPARE(address->ValueEdit->text(),
                 f.PerifTreeView->model()->data(f.PerifTreeView->model()->index(mb, 1)).toString());
        QVERIFY(answers.messages.isEmpty());
    }

    // A command acts on the value written before it: when that write is refused or not
    // answered, the command never reaches the device and the operator is told why.
    void aCommandFollowsOnlyAnAcceptedWrite_data()
    {
        QTest::addColumn<Sequence>("sequence");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("silent");
        const QStringList calibrate{"Cal_U_Accu.CalibrateOnValueMode"};
        const QStringList train{"Reg.TrainingCycleCount"};
        QTest::newRow("calibration, refused")
            << Sequence::Calibration << "Cal_U_Accu.PreciseValue" << calibrate << false;
        QTest::newRow("calibration, unanswered")
            << Sequence::Calibration << "Cal_U_Accu.PreciseValue" << calibrate << true;
        QTest::newRow("training, refused") << Sequence::Training << "Reg.bForceLoadOff" << train << false;
        QTest::newRow("training, unanswered") << Sequence::Training << "Reg.bForceLoadOff" << train << true;
    }
    void aCommandFollowsOnlyAnAcceptedWrite()
    {
        QFETCH(Sequence, sequence);
        QFETCH(QString, first);
        QFETCH(QStringList, commands);
        QFETCH(bool, silent);
        Answers answers;
        Connected c;
        std::vector<std::string> faults;
        if (!silent)
            faults = {"--refuse-write", first.toStdString()};
        QVERIFY2(c.Start(faults), c.error.c_str());
        TMainForm &f = c.Form();
        bExpertMode = true;
        QWidget *page = sequence == Sequence::Calibration ? f.CalibrateTS : static_cast<QWidget *>(f.TrainingTS);
        QTRY_VERIFY_WITH_TIMEOUT(f.IsTabShown(page), kTimeoutMs);
        f.MainPC->setCurrentWidget(page);
        QAbstractButton *button = nullptr;
        switch (sequence) {
        case Sequence::Calibration: {
            sCalibrateND *row = CalibrateTree->FindRow(3);  // "U Accu"
            QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible(), kTimeoutMs);
            row->ValueEdit->setText("13");
            button = row->OnValueBtn.get();
            break;
        }
        case Sequence::Training:
            QTRY_COMPARE_WITH_TIMEOUT(f.TrainingTS->TrainCycleCountEdit->text(), QString("0"), kTimeoutMs);
            f.TrainingTS->TrainCycleCountEditEnter();
            f.TrainingTS->TrainCycleCountEdit->setText("2");
            button = f.TrainingTS->TrainBeginBitBtn;
            break;
        }
        QTRY_VERIFY(button->isVisible());
        if (silent)
            QVERIFY(c.sim.Signal(SIGSTOP));
        QTest::mouseClick(button, Qt::LeftButton);
        if (silent)
            QVERIFY(c.sim.Signal(SIGCONT));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(first), qPrintable(answers.messages[0]));
        for (const QString &command : commands)
            QVERIFY(!c.w->Var(reinterpret_cast<const char16_t *>(command.utf16()))->WritePending);

        // The stand-in takes whatever reached the line before a write that follows; the
        // command is not among it.
        QVERIFY(
            QTest::qWaitFor([] { return ActionManager->WriteNumber(MString(u"Di1.ChangesCounter"), 0); }, kTimeoutMs));
        QTRY_VERIFY2_WITH_TIMEOUT(!c.sim.WritesTo("Di1.ChangesCounter").isEmpty(),
                                  qPrintable(c.sim.Writes().join('\n')), kTimeoutMs);
        for (const QString &command : commands)
            QVERIFY2(c.sim.WritesTo(command).isEmpty(), qPrintable(c.sim.Writes().join('\n')));
        QCOMPARE(answers.messages.size(), 1);
    }

    void theServiceFilterInExpertMode()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        Window &w = *c.w;
        TMainForm &f = c.Form();
        bExpertMode = true;
        QTRY_VERIFY_WITH_TIMEOUT(f.IsTabShown(f.ExpertTS), kTimeoutMs);
        f.MainPC->setCurrentWidget(f.ExpertTS);
        QTest::keyClicks(f.ServiceFilterEdit, "TOFF");
        int shown = 0;
        for (int i = 0; i < f.ServiceTreeView->RowCount(); ++i)
            shown += f.ServiceTreeView->isRowHidden(i, {}) ? 0 : 1;
        QCOMPARE(shown, 4);  // Di1.Toff .. Di4.Toff
        ModbusAction *toff = w.Var(u"Di4.Toff");
        QTRY_VERIFY_WITH_TIMEOUT(!toff->Value.Equals(u"--"), kTimeoutMs);
        QVERIFY(w.Var(u"Di4.Ton")->Value.Equals(u"--"));
        f.ServiceFilterEdit->clear();
        QTRY_VERIFY_WITH_TIMEOUT(ServiceTree->FindRow(0)->ValueEdit->isVisible(), kTimeoutMs);
        for (int i = 0; i < f.ServiceTreeView->RowCount(); ++i)
            QVERIFY(!f.ServiceTreeView->isRowHidden(i, {}));
    }
};

QTEST_MAIN(MainFormTreesTest)
#include "MainFormTrees_test.moc"
