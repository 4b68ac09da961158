// The calibration tree: rows and layout, three decimals, and the on-value procedure
// against the stand-in, against a silent device, and with the trees cleared meanwhile.
#include <QLineEdit>
#include <QToolButton>

#include "ui/TreeTestUtil.h"
#include "core/MicroClock.h"
#include "core/MicroTask.h"
#include "ui/trees/CalibrateTree.h"

using namespace treetest;

namespace {

// Plays the refresh that finds the connection gone: it clears the trees when it runs.
class ClearingTask : public MicroTaskBase {
public:
    explicit ClearingTask(cCalibrateTree *tree) : Tree(tree) { TaskManager.Register(this, 0, 1); }
    void Run() override
    {
        if (Armed) {
            Armed = false;
            Tree->Clear();
        }
    }
    cCalibrateTree *Tree;
    bool Armed = true;
};

}  // namespace

class CalibrateTreeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TreeRig> rig;
    std::unique_ptr<cCalibrateTree> tree;

    sCalibrateND *Row(int i) { return tree->Rows.At(i); }

private slots:
    void init()
    {
        rig = std::make_unique<TreeRig>();
        tree = std::make_unique<cCalibrateTree>(&rig->Manager);
        cCalibrateTree::SetupView(rig->View);
        tree->Bind(rig->View);
    }
    void cleanup()
    {
        tree.reset();
        rig.reset();
    }

    void rowsAndLayoutWithoutDevice()
    {
        tree->Build();
        QCOMPARE(rig->View->RowCount(), 8);
        QCOMPARE(rig->Cell(5, 0), QString("Температура [°C]"));
        QVERIFY(Row(5)->ZeroModeAction == nullptr);
        QVERIFY(Row(0)->ZeroModeAction != nullptr);
        QCOMPARE(Q(Row(7)->PreciseAction->Name), QString("Cal_UserAdcV2.PreciseValue"));
        QCOMPARE(Q(Row(7)->OnValueModeAction->Name), QString("Cal_UserAdcV2.CalibrateOnValueMode"));

        // Three decimals; the measured value keeps being asked for while the operator types.
        Row(0)->AdcAction->Value = MString(u"1.23456");
        Row(1)->AdcAction->Value = MString(u"7");
        Row(0)->Editing = true;
        Row(0)->AdcAction->State = mbsDone;
        QCOMPARE(rig->Cell(0, 1), Num("1.235"));
        QCOMPARE(Row(0)->AdcAction->State, uint32_t(mbsRequested));
        QCOMPARE(rig->Cell(1, 1), QString("7"));
        QCOMPARE(rig->Cell(2, 1), QString("--"));

        rig->Host.show();
        QTRY_VERIFY(Row(5)->ValueEdit->isVisible());
        for (int i = 0; i < 8; ++i) {
            const QRect cell = rig->CellRect(i, 2);
            const int h = cell.height();
            QCOMPARE(h, rig->View->Scaled(20));
            QVERIFY(ShownIn(Row(i)->ValueEdit.get(), cell));
            QVERIFY(ShownIn(Row(i)->OnValueBtn.get(), cell));
            // The edit box starts one button width plus 2 pixels in, with or without a zero button.
            QCOMPARE(Row(i)->ValueEdit->geometry().left(), cell.left() + h + 2);
            QCOMPARE(Row(i)->OnValueBtn->geometry().right(), cell.right() - 2);
            if (i == 5)
                QVERIFY(Row(i)->ZeroBtn->isHidden());
            else
                QVERIFY(ShownIn(Row(i)->ZeroBtn.get(), cell));
        }
    }

    void onValueWritesTheTrueValueBeforeTheCommand()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sCalibrateND *row = Row(3);
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible(), 5000);
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        QTest::keyClicks(row->ValueEdit.get(), "12,5");
        QTest::mouseClick(row->OnValueBtn.get(), Qt::LeftButton);
        QVERIFY(tree->LastWaitSteps < cCalibrateTree::kWaitSteps);
        QCOMPARE(row->PreciseAction->State, uint32_t(mbsDone));
        // The edit box keeps the typed text.
        QCOMPARE(row->ValueEdit->text(), QString("12,5"));
        QTRY_VERIFY_WITH_TIMEOUT(rig->WritesOf("Cal_U_Accu.CalibrateOnValueMode").size() == 1, 5000);
        const QStringList writes = rig->Writes();
        int precise = -1, command = -1;
        for (int i = 0; i < writes.size(); ++i) {
            if (writes[i].startsWith("Cal_U_Accu.PreciseValue ") && precise < 0)
                precise = i;
            if (writes[i].startsWith("Cal_U_Accu.CalibrateOnValueMode ") && command < 0)
                command = i;
        }
        QVERIFY2(precise >= 0 && precise < command, qPrintable(writes.join('\n')));
        QVERIFY(writes[precise].endsWith(" 12.5"));
        QVERIFY(writes[command].endsWith(" 1"));

        // The zero button writes 1 to the zero command; the temperature row has none.
        QTest::mouseClick(Row(0)->ZeroBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Cal_I_Solar.CalibrateZeroMode"), QStringList{"1"}, 5000);
    }

    // An empty or wrong true value would calibrate the channel to 0: nothing goes out.
    void aRefusedTrueValueSendsNeitherValueNorCommand_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "abc";
    }
    void aRefusedTrueValueSendsNeitherValueNorCommand()
    {
        QFETCH(QString, typed);
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sCalibrateND *row = Row(3);
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible(), 5000);
        row->ValueEdit->setText(typed);
        MessageLog messages;
        QTest::mouseClick(row->OnValueBtn.get(), Qt::LeftButton);
        QVERIFY(!row->PreciseAction->WritePending);
        QVERIFY(!row->OnValueModeAction->WritePending);
        QCOMPARE(messages.Texts.size(), 1);
        QVERIFY2(messages.Texts[0].contains("Cal_U_Accu.PreciseValue"), qPrintable(messages.Texts[0]));
        // A later write to the device gets through; the channel's got none.
        QTest::mouseClick(Row(0)->ZeroBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Cal_I_Solar.CalibrateZeroMode"), QStringList{"1"}, 5000);
        for (const QString &write : rig->Writes())
            QVERIFY2(!write.startsWith("Cal_U_Accu."), qPrintable(write));
    }

    // The command calibrates to the true value the device holds: it follows only a true value
    // the device acknowledged. Refused, the channel once read 0 V afterwards with no word.
    void aTrueValueNotAcknowledgedSendsNoCommand_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("why");
        QTest::newRow("refused") << false << "не приняло";
        QTest::newRow("unanswered") << true << "не подтвердило";
    }
    void aTrueValueNotAcknowledgedSendsNoCommand()
    {
        QFETCH(bool, silent);
        QFETCH(QString, why);
        QVERIFY2(rig->Connect({"--refuse-write", "Cal_U_Accu.PreciseValue"}), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Host.show();
        sCalibrateND *row = Row(3);
        QTRY_VERIFY(row->ValueEdit->isVisible());
        if (silent)
            QVERIFY(rig->Sim.Signal(SIGSTOP));
        row->ValueEdit->setText("13");
        MessageLog messages;
        QTest::mouseClick(row->OnValueBtn.get(), Qt::LeftButton);
        // A refusal ends the wait at once, not at its bound.
        QVERIFY(silent || tree->LastWaitSteps < cCalibrateTree::kWaitSteps);
        QVERIFY(!cActionManager::WriteAccepted(*row->PreciseAction));
        QVERIFY(!row->OnValueModeAction->WritePending);
        QCOMPARE(messages.Texts.size(), 1);
        QVERIFY2(messages.Texts[0].contains(why) && messages.Texts[0].contains("Cal_U_Accu.PreciseValue") &&
                     messages.Texts[0].contains("Cal_U_Accu.CalibrateOnValueMode"),
                 qPrintable(messages.Texts[0]));
        if (silent)
            QVERIFY(rig->Sim.Signal(SIGCONT));
        // A later write reaches the device; the command never did.
        rig->Run();
        QTest::mouseClick(Row(0)->ZeroBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Cal_I_Solar.CalibrateZeroMode"), QStringList{"1"}, 5000);
        QCOMPARE(rig->WritesOf("Cal_U_Accu.CalibrateOnValueMode"), QStringList());
    }

    void theTreesClearedDuringTheWaitAreLeftAlone()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Host.show();
        QTRY_VERIFY(Row(0)->ValueEdit->isVisible());
        QVERIFY(rig->Sim.Signal(SIGSTOP));
        ModbusAction *command = Row(0)->OnValueModeAction;
        Row(0)->ValueEdit->setText("3");
        QPointer<QToolButton> button = Row(0)->OnValueBtn.get();
        ClearingTask clearing(tree.get());
        QTest::mouseClick(button.data(), Qt::LeftButton);
        QCOMPARE(tree->Rows.Count(), 0);
        QCOMPARE(rig->View->RowCount(), 0);
        // The connection is gone with the trees: the command is not queued for it.
        QVERIFY(!command->WritePending);
        // The clicked button outlived its handler and goes with the next turn of the loop.
        QTRY_VERIFY(button.isNull());
    }
};

QTEST_MAIN(CalibrateTreeTest)
#include "CalibrateTree_test.moc"
