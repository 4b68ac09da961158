// The charger settings tree against the stand-in: values, the frozen row while editing,
// writes of the typed text, and fresh rows after a new connection.
#include <QLineEdit>
#include <QToolButton>

#include "ui/TreeTestUtil.h"
#include "ui/trees/AccuTree.h"

using namespace treetest;

class AccuTreeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TreeRig> rig;
    std::unique_ptr<cAccuTree> tree;

    sAccuND *Row(int i) { return tree->Rows.At(i); }

private slots:
    void init()
    {
        rig = std::make_unique<TreeRig>();
        tree = std::make_unique<cAccuTree>(&rig->Manager);
        cAccuTree::SetupView(rig->View);
        tree->Bind(rig->View);
    }
    void cleanup()
    {
        tree.reset();
        rig.reset();
    }

    void rowsShowDashesThenRoundedValues()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        QCOMPARE(rig->View->RowCount(), 6);
        QCOMPARE(rig->Cell(1, 0), QString("Напряжение окончания заряда, В"));
        QCOMPARE(rig->Cell(5, 0), QString("Коэффициент температурной коррекции, мВ/(В•°C)"));
        QCOMPARE(rig->Cell(1, 1), QString("--"));
        QCOMPARE(Row(1)->ValueEdit->text(), QString("--"));
        // Every text of this tree is bold.
        QVERIFY(rig->View->model()->data(rig->View->model()->index(0, 1), Qt::FontRole).value<QFont>().bold());

        rig->Run();
        // The longest caption shows whole, and the three columns still fit the view.
        QFont bold = rig->View->font();
        bold.setBold(true);
        QHeaderView *header = rig->View->header();
        QTRY_VERIFY(header->sectionSize(0) > QFontMetrics(bold).horizontalAdvance(rig->Cell(5, 0)));
        QVERIFY(header->length() <= rig->View->viewport()->width());

        QTRY_VERIFY_WITH_TIMEOUT(!Row(5)->Action->Value.Equals(u"--"), 10000);
        for (int i = 0; i < 6; ++i) {
            const QString shown = Q(FormatRounded(Row(i)->Action->Value, 2));
            QTRY_COMPARE_WITH_TIMEOUT(rig->Cell(i, 1), shown, 3000);
            QTRY_COMPARE_WITH_TIMEOUT(Row(i)->ValueEdit->text(), rig->Cell(i, 1), 3000);
            QVERIFY(ShownIn(Row(i)->ValueEdit.get(), rig->CellRect(i, 2)));
            QVERIFY(ShownIn(Row(i)->WriteBtn.get(), rig->CellRect(i, 2)));
        }
    }

    void editingFreezesTheRowUntilItsWriteButton()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sAccuND *row = Row(1);
        QTRY_VERIFY_WITH_TIMEOUT(!row->Action->Value.Equals(u"--"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible(), 3000);

        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        QTRY_VERIFY(row->Editing);
        row->ValueEdit->selectAll();
        QTest::keyClicks(row->ValueEdit.get(), "14,2");
        // Leaving the box for another row's box keeps this row frozen.
        QTest::mouseClick(Row(2)->ValueEdit.get(), Qt::LeftButton);
        QTRY_VERIFY(Row(2)->ValueEdit->hasFocus());
        // The frozen row's variable is not asked for again (a read already under way ends), and
        // the typed text stays.
        QTRY_COMPARE(row->Action->State, uint32_t(mbsDone));
        const uint32_t reads = row->Action->LastPoll;
        Row(2)->Editing = false;  // let the other row go on reading meanwhile
        QVERIFY(WaitForReads(Row(2)->Action, 2));
        QCOMPARE(row->Action->LastPoll, reads);
        QCOMPARE(row->Action->State, uint32_t(mbsDone));
        QCOMPARE(row->ValueEdit->text(), QString("14,2"));
        QVERIFY(row->Editing);

        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QVERIFY(!row->Editing);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Reg.ChargeMaxU"), QStringList{"14.2"}, 5000);
        // After the write the row reads again and shows the device's value.
        QTRY_COMPARE_WITH_TIMEOUT(rig->Cell(1, 1), Num("14.2"), 5000);
    }

    void refusedTextWritesNothingAndSaysWhy_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << ""
                               << "не введено";
        QTest::newRow("letters") << "abc"
                                 << "это не число";
        QTest::newRow("beyond the limit") << "1000"
                                          << "вне допустимых пределов";
    }
    void refusedTextWritesNothingAndSaysWhy()
    {
        QFETCH(QString, typed);
        QFETCH(QString, reason);
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sAccuND *row = Row(3);
        QCOMPARE(Q(row->Action->Name), QString("Reg.LoadOffU"));
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible() && !row->Action->Value.Equals(u"--"), 10000);
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        row->ValueEdit->clear();
        QTest::keyClicks(row->ValueEdit.get(), typed);
        MessageLog messages;
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QVERIFY(!row->Action->WritePending);
        QCOMPARE(messages.Texts.size(), 1);
        QVERIFY2(messages.Texts[0].contains("Reg.LoadOffU") && messages.Texts[0].contains(reason) &&
                     messages.Texts[0].contains("от 0 до 100 В"),
                 qPrintable(messages.Texts[0]));
        // The row stays frozen with the refused text, for the operator to correct it.
        QVERIFY(row->Editing);
        QCOMPARE(row->ValueEdit->text(), typed);
        row->ValueEdit->setText("10,9");
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QVERIFY(!row->Editing);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Reg.LoadOffU"), QStringList{"10.9"}, 5000);
        QCOMPARE(messages.Texts.size(), 1);
    }

    void aNewConnectionGivesFreshRows()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        QTRY_VERIFY_WITH_TIMEOUT(Row(0)->ValueEdit->isVisible(), 5000);
        QTest::mouseClick(Row(0)->ValueEdit.get(), Qt::LeftButton);
        QTest::keyClicks(Row(0)->ValueEdit.get(), "99");
        QTRY_VERIFY(Row(0)->Editing);

        // The connection goes: the refresh clears the trees; a new one builds them again.
        rig->Manager.Identified = false;
        rig->Manager.Disconnect();
        tree->Clear();
        QCOMPARE(rig->View->RowCount(), 0);
        QCOMPARE(tree->Rows.Count(), 0);
        QVERIFY(rig->Manager.Connect());
        tree->Build();
        QCOMPARE(tree->Rows.Count(), 6);
        for (int i = 0; i < 6; ++i)
            QVERIFY(!Row(i)->Editing);
        QTRY_VERIFY_WITH_TIMEOUT(!Row(0)->Action->Value.Equals(u"--"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(Row(0)->ValueEdit->text(), Q(FormatRounded(Row(0)->Action->Value, 2)), 3000);
        QVERIFY(!Row(0)->ValueEdit->text().contains("99"));
    }
};

QTEST_MAIN(AccuTreeTest)
#include "AccuTree_test.moc"
