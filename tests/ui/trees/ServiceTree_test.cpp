// The service tree and what all trees share: rounding, painting drives reading, the
// controls of read-only rows, editing, and the name filter.
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>

#include "ui/TreeTestUtil.h"
#include "ui/trees/ServiceTree.h"

using namespace treetest;

class ServiceTreeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TreeRig> rig;
    std::unique_ptr<cServiceTree> tree;

    sServiceND *Row(int i) { return tree->Rows.At(i); }
    int RowOf(const char16_t *name)
    {
        for (int i = 0; i < tree->Rows.Count(); ++i)
            if (Row(i)->Action->Name.Equals(name))
                return i;
        return -1;
    }
    bool InView(int row)
    {
        const QRect r = rig->CellRect(row, 0);
        return !r.isNull() && r.bottom() >= 0 && r.top() < rig->View->viewport()->height();
    }

private slots:
    void init()
    {
        rig = std::make_unique<TreeRig>();
        tree = std::make_unique<cServiceTree>(&rig->Manager);
        cServiceTree::SetupView(rig->View);
        tree->Bind(rig->View);
    }
    void cleanup()
    {
        tree.reset();
        rig.reset();
    }

    void formatRounded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2: half up") << "13.456" << 2 << Num("13.46");
        QTest::newRow("2: half away from zero") << "-13.456" << 2 << Num("-13.46");
        QTest::newRow("2: carries to an integer") << "2.999" << 2 << "3";
        QTest::newRow("2: small negative to 0") << "-0.004" << 2 << "0";
        QTest::newRow("2: exponent") << "1e3" << 2 << "1000";
        QTest::newRow("2: integer") << "14" << 2 << "14";
        QTest::newRow("2: comma input") << "14,4" << 2 << Num("14.4");
        QTest::newRow("3: three decimals") << "1.23456" << 3 << Num("1.235");
        QTest::newRow("3: half") << "12.3455" << 3 << Num("12.346");
        QTest::newRow("never read") << "--" << 2 << "--";
        QTest::newRow("version text") << "Quintavolte 1.11" << 2 << "Quintavolte 1.11";
        QTest::newRow("bool text") << "true" << 3 << "true";
        QTest::newRow("largest count") << "21474836.47" << 2 << Num("21474836.47");
        QTest::newRow("beyond the count") << "21474836.48" << 2 << "21474836.48";
        QTest::newRow("far beyond, negative") << "-3e9" << 3 << "-3e9";
    }
    void formatRounded()
    {
        QFETCH(QString, text);
        QFETCH(int, decimals);
        QFETCH(QString, shown);
        QCOMPARE(Q(FormatRounded(FromQString(text), decimals)), shown);
    }

    void bindingBuildingAndClearing()
    {
        // Without a view nothing happens.
        cServiceTree unbound(&rig->Manager);
        unbound.Build();
        unbound.Clear();
        QCOMPARE(unbound.Rows.Count(), 0);

        // Binding takes the view's rows away; building twice does not add up.
        tree->Build();
        tree->Build();
        QCOMPARE(rig->View->RowCount(), rig->Manager.Shell.Actions.Count());
        QCOMPARE(tree->Rows.Count(), rig->View->RowCount());
        cServiceTree other(&rig->Manager);
        other.Bind(rig->View);
        QCOMPARE(rig->View->RowCount(), 0);
        QCOMPARE(rig->Cell(0, 0), QString());
        tree->Clear();
        QCOMPARE(tree->Rows.Count(), 0);
    }

    void valueTexts()
    {
        tree->Build();
        QCOMPARE(tree->Rows.Count(), rig->Manager.Shell.Actions.Count());
        const struct {
            const char16_t *value;
            QString shown;
        } cases[] = {
            {u"--", "--"},    {u"12", "12"},     {u"0x1F", "0x1F"}, {u"12.3456", Num("12.346")},
            {u"1e3", "1000"}, {u"true", "true"},
        };
        const int row = RowOf(u"Reg.ChargeMaxU");
        for (const auto &c : cases) {
            Row(row)->Action->Value = MString(c.value);
            QCOMPARE(rig->Cell(row, 1), c.shown);
        }
        QCOMPARE(rig->Cell(row, 0), QString("Reg.ChargeMaxU"));
    }

    void onlyPaintedRowsAreRead()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        rig->Host.resize(640, 300);
        tree->Build();
        rig->Run();
        const int last = tree->Rows.Count() - 1;
        QTRY_VERIFY_WITH_TIMEOUT(!Row(3)->Action->Value.Equals(u"--"), 10000);
        int lastInView = 0;
        while (InView(lastInView + 1))
            ++lastInView;
        QTRY_VERIFY_WITH_TIMEOUT(!Row(lastInView)->Action->Value.Equals(u"--"), 10000);
        QVERIFY(lastInView < last / 2);
        for (int i = lastInView + 1; i <= last; ++i)
            QVERIFY2(Row(i)->Action->Value.Equals(u"--"), qPrintable(Q(Row(i)->Action->Name)));

        // Scrolled to the end, the last rows are read and the first ones no longer asked for.
        rig->View->verticalScrollBar()->setValue(rig->View->verticalScrollBar()->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(!Row(last)->Action->Value.Equals(u"--"), 10000);
        QTRY_VERIFY(!InView(0));
        QTRY_COMPARE_WITH_TIMEOUT(Row(0)->Action->State, uint32_t(mbsDone), 5000);  // a read under way ends
        const uint32_t polled = Row(0)->Action->LastPoll;
        QVERIFY(WaitForReads(Row(last)->Action, 2));  // the rows in view go on being read
        QCOMPARE(Row(0)->Action->LastPoll, polled);
        QVERIFY(Row(0)->ValueEdit->isHidden());
        // Rows in the middle that never came into view were never read.
        QVERIFY(Row(last / 2)->Action->Value.Equals(u"--"));
    }

    void readOnlyRowsHaveNoControls()
    {
        tree->Build();
        rig->Host.resize(640, 2600);
        rig->Host.show();
        QTRY_VERIFY(Row(0)->ValueEdit->isVisible());
        int readOnly = 0;
        for (int i = 0; i < tree->Rows.Count(); ++i) {
            sServiceND *row = Row(i);
            const QRect cell = rig->CellRect(i, 2);
            if (row->Action->Access == mbaRead) {
                ++readOnly;
                QVERIFY2(row->ValueEdit->isHidden() && row->WriteBtn->isHidden(), qPrintable(Q(row->Action->Name)));
            } else {
                QVERIFY2(ShownIn(row->ValueEdit.get(), cell) && ShownIn(row->WriteBtn.get(), cell),
                         qPrintable(Q(row->Action->Name)));
                QCOMPARE(row->WriteBtn->geometry().right(), cell.right() - 2);
            }
        }
        QVERIFY(readOnly > 0);
        QVERIFY(Row(RowOf(u"DeviceType"))->ValueEdit->isHidden());
    }

    void editingPausesReadsAndTheWriteKeepsTheText()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sServiceND *row = Row(RowOf(u"Mb.MyModbusAddr"));
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible() && !row->Action->Value.Equals(u"--"), 10000);
        QVERIFY(row->ValueEdit->text().isEmpty());  // never filled by the program
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        QTRY_VERIFY(row->Editing);
        QTest::keyClicks(row->ValueEdit.get(), "0x10");
        QTRY_COMPARE(row->Action->State, uint32_t(mbsDone));  // a read under way ends
        const uint32_t polled = row->Action->LastPoll;
        QVERIFY(WaitForReads(Row(RowOf(u"Mb.MyModbusAddr") + 1)->Action, 2));  // its neighbour goes on being read
        QCOMPARE(row->Action->LastPoll, polled);
        // The button takes the focus: editing ends, the text stays, reading resumes.
        QuestionLog questions(true);
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QCOMPARE(questions.Texts.size(), 1);  // a new address: the operator agreed
        QTRY_VERIFY(!row->Editing);
        QCOMPARE(row->ValueEdit->text(), QString("0x10"));
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Mb.MyModbusAddr"), QStringList{"16"}, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig->Cell(row->Node, 1), QString("16"), 5000);
    }

    // The address and the baud rate cut the program off the device: asked first, and after
    // No nothing is written and the box shows the device's value.
    void writesThatCutTheLinkAskFirst_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("device");
        QTest::newRow("address") << "Mb.MyModbusAddr"
                                 << "7"
                                 << "1";
        QTest::newRow("baud rate") << "485.Init.BaudRate"
                                   << "19200"
                                   << "9600";
    }
    void writesThatCutTheLinkAskFirst()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, device);
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->SetFilter(name);
        tree->Build();
        rig->Run();
        sServiceND *row = Row(RowOf(reinterpret_cast<const char16_t *>(name.utf16())));
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible() && Q(row->Action->Value) == device, 10000);
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        QTest::keyClicks(row->ValueEdit.get(), typed);
        QuestionLog questions(false);
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QCOMPARE(questions.Texts.size(), 1);
        QVERIFY2(questions.Texts[0].startsWith("Внимание!|") && questions.Texts[0].contains(typed) &&
                     questions.Texts[0].contains("потеряет"),
                 qPrintable(questions.Texts[0]));
        QVERIFY(!row->Action->WritePending);
        QCOMPARE(row->ValueEdit->text(), device);
        // A write that follows reaches the device; the declined one never did.
        tree->SetFilter("Di1.ChangesCounter");
        sServiceND *counter = Row(RowOf(u"Di1.ChangesCounter"));
        QTRY_VERIFY_WITH_TIMEOUT(counter->ValueEdit->isVisible(), 5000);
        counter->ValueEdit->setText("0");
        QTest::mouseClick(counter->WriteBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Di1.ChangesCounter"), QStringList{"0"}, 5000);
        QCOMPARE(rig->WritesOf(name), QStringList());
        QCOMPARE(questions.Texts.size(), 1);  // other variables are written without a question
    }

    void theFilterHidesRowsAndTheirReads()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->SetFilter("cal_i_SOLAR");
        tree->Build();
        QStringList shown;
        for (int i = 0; i < tree->Rows.Count(); ++i)
            if (!rig->View->isRowHidden(i, {}))
                shown << Q(Row(i)->Action->Name);
        QCOMPARE(shown, (QStringList{"Cal_I_Solar.ZeroOffset", "Cal_I_Solar.Mul", "Cal_I_Solar.PreciseValue",
                                     "Cal_I_Solar.CalibrateZeroMode", "Cal_I_Solar.CalibrateOnValueMode"}));
        rig->Run();
        const int mul = RowOf(u"Cal_I_Solar.Mul");
        QTRY_VERIFY_WITH_TIMEOUT(!Row(mul)->Action->Value.Equals(u"--"), 10000);
        QTRY_VERIFY(ShownIn(Row(mul)->ValueEdit.get(), rig->CellRect(mul, 2)));
        QVERIFY(Row(RowOf(u"Mb.MyModbusAddr"))->Action->Value.Equals(u"--"));
        QVERIFY(Row(RowOf(u"Mb.MyModbusAddr"))->ValueEdit->isHidden());

        tree->SetFilter("");
        QTRY_VERIFY_WITH_TIMEOUT(!Row(RowOf(u"Mb.MyModbusAddr"))->Action->Value.Equals(u"--"), 10000);
        QTRY_VERIFY(Row(RowOf(u"Mb.MyModbusAddr"))->ValueEdit->isVisible());
        tree->SetFilter("no such name");
        QTRY_VERIFY(Row(RowOf(u"Mb.MyModbusAddr"))->ValueEdit->isHidden());
        for (int i = 0; i < tree->Rows.Count(); ++i)
            QVERIFY(rig->View->isRowHidden(i, {}));
    }
};

QTEST_MAIN(ServiceTreeTest)
#include "ServiceTree_test.moc"
