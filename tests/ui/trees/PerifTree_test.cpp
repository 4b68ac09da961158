// The peripherals tree: rows by firmware version, headings, switch, counter and mode rows,
// and the zero-width third column.
#include <QComboBox>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>

#include "ui/TreeTestUtil.h"
#include "ui/trees/PerifTree.h"

using namespace treetest;

class PerifTreeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TreeRig> rig;
    std::unique_ptr<cPerifTree> tree;

    sPerifND *Row(int i) { return tree->Rows.At(i); }
    int RowOf(const char16_t *caption)
    {
        for (int i = 0; i < tree->Rows.Count(); ++i)
            if (Row(i)->Caption.Equals(caption))
                return i;
        return -1;
    }

private slots:
    void init()
    {
        rig = std::make_unique<TreeRig>();
        tree = std::make_unique<cPerifTree>(&rig->Manager);
        cPerifTree::SetupView(rig->View);
        tree->Bind(rig->View);
        rig->Host.resize(640, 900);
    }
    void cleanup()
    {
        tree.reset();
        rig.reset();
    }

    void rowsFollowTheFirmwareVersion_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("rows");
        QTest::newRow("1.10") << "1.10" << 36;
        QTest::newRow("1.11") << "1.11" << 40;
    }
    void rowsFollowTheFirmwareVersion()
    {
        QFETCH(QString, version);
        QFETCH(int, rows);
        QVERIFY2(rig->Connect({"--version", version.toStdString()}), rig->Sim.Stderr().c_str());
        tree->Build();
        QCOMPARE(rig->View->RowCount(), rows);
        QCOMPARE(RowOf(u"Режим работы DO 1") >= 0, rows == 40);
        QCOMPARE(rig->Cell(rows - 1, 0), QString("Общее время работы"));
        rig->Run();
        // The firmware text is not a number and shows as the device sent it.
        QTRY_COMPARE_WITH_TIMEOUT(rig->Cell(1, 1), QString("Quintavolte ") + version, 5000);
    }

    void headingsAreBoldGreenAndTallerWithoutControls()
    {
        tree->Build();
        QAbstractItemModel *model = rig->View->model();
        const QModelIndex heading = model->index(0, 0);
        QVERIFY(model->data(heading, Qt::FontRole).value<QFont>().bold());
        QCOMPARE(model->data(heading, Qt::ForegroundRole).value<QColor>(), QColor(0, 128, 0));
        QVERIFY(!model->data(model->index(1, 0), Qt::FontRole).isValid());
        QCOMPARE(rig->Cell(0, 1), QString());
        rig->Host.show();
        QTRY_VERIFY(Row(3)->ValueEdit->isVisible());
        QCOMPARE(rig->CellRect(0, 2).height(), rig->View->Scaled(25));
        QCOMPARE(rig->CellRect(1, 2).height(), rig->View->Scaled(20));
        for (QWidget *w : rig->View->viewport()->findChildren<QWidget *>())
            if (w->isVisible())
                QVERIFY(!rig->CellRect(0, 2).intersects(w->geometry()));
    }

    void switchAndModeRowsWriteAgainstTheDevice()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sPerifND *output = Row(RowOf(u"Дискретный выход DO 2"));
        QTRY_VERIFY_WITH_TIMEOUT(output->Action->Value.Equals(u"0"), 5000);
        // Off: the row offers "1".
        QTRY_VERIFY(output->OnBtn->isVisible() && output->OffBtn->isHidden());
        QCOMPARE(output->OnBtn->text(), QString("1"));
        QTest::mouseClick(output->OnBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Do2.State"), QStringList{"1"}, 5000);
        // On: the row offers "0".
        QTRY_VERIFY_WITH_TIMEOUT(output->OffBtn->isVisible() && output->OnBtn->isHidden(), 5000);
        QCOMPARE(output->OffBtn->text(), QString("0"));
        QTest::mouseClick(output->OffBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Do2.State"), (QStringList{"1", "0"}), 5000);

        const int modeRow = RowOf(u"Режим работы DO 3");
        sPerifND *mode = Row(modeRow);
        QTRY_VERIFY_WITH_TIMEOUT(mode->ModeCB->isVisible() && mode->ModeCB->count() == 6, 5000);
        QCOMPARE(mode->ModeCB->currentIndex(), -1);
        QCOMPARE(mode->ModeCB->itemText(3), QString("АКБ заряжена"));
        emit mode->ModeCB->activated(3);  // what the list sends when the operator picks an item
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Do3.Mode"), QStringList{"3"}, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig->Cell(modeRow, 1), QString("АКБ заряжена"), 5000);
    }

    // Scrolling the page with the pointer over a row's control once wrote the output's mode.
    void aWheelOverRowControlsScrollsTheTreeAndWritesNothing()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Host.resize(640, 420);
        rig->Run();
        QScrollBar *bar = rig->View->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), 0);
        sPerifND *address = Row(RowOf(u"Адрес устройства Modbus RTU"));
        QTRY_VERIFY(address->ValueEdit->isVisible());
        TurnWheel(address->ValueEdit.get(), -1);
        QVERIFY(bar->value() > 0);

        const int modeRow = RowOf(u"Режим работы DO 1");
        sPerifND *mode = Row(modeRow);
        rig->View->scrollTo(rig->View->model()->index(modeRow, 2));
        QTRY_VERIFY(mode->ModeCB->isVisible() && mode->ModeCB->count() == 6);
        const int scrolled = bar->value();
        TurnWheel(mode->ModeCB.get(), 1);
        QVERIFY(bar->value() < scrolled);
        TurnWheel(mode->ModeCB.get(), -1);
        TurnWheel(mode->ModeCB.get(), -1);
        QCOMPARE(mode->ModeCB->currentIndex(), -1);
        QVERIFY(!mode->Action->WritePending);
    }

    // A closed list once wrote the item every key or wheel notch moved to: a click on the list,
    // Escape and Down x3 switched an output on through modes 0, 1 and 2.
    void aClosedModeListWritesNothing_data()
    {
        QTest::addColumn<QList<int>>("keys");  // 0: a wheel notch down, -1: the letter П
        QTest::newRow("Down x3") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down};
        QTest::newRow("Up") << QList<int>{Qt::Key_Up};
        QTest::newRow("Home") << QList<int>{Qt::Key_Home};
        QTest::newRow("End") << QList<int>{Qt::Key_End};
        QTest::newRow("PageDown") << QList<int>{Qt::Key_PageDown};
        QTest::newRow("PageUp") << QList<int>{Qt::Key_PageUp};
        QTest::newRow("letter") << QList<int>{-1};
        QTest::newRow("Enter") << QList<int>{Qt::Key_Return};
        QTest::newRow("wheel") << QList<int>{0, 0};
    }
    void aClosedModeListWritesNothing()
    {
        QFETCH(QList<int>, keys);
        rig->Manager.VersionX100 = 111;
        tree->Build();
        rig->Host.show();
        sPerifND *mode = Row(RowOf(u"Режим работы DO 1"));
        TreeComboBox *list = mode->ModeCB.get();
        QTRY_VERIFY(list->isVisible() && list->count() == 6);
        list->setFocus();
        // Opened with a click and closed with Escape, as the operator did.
        QTest::mouseClick(list, Qt::LeftButton);
        QTRY_VERIFY(list->view()->isVisible());
        QTest::keyClick(list->view(), Qt::Key_Escape);
        QTRY_VERIFY(!list->view()->isVisible());
        // An item shown (as after an earlier choice), so that every key has somewhere to move.
        list->setCurrentIndex(2);
        QSignalSpy activated(list, &QComboBox::activated);
        for (int key : keys) {
            // Each key on the closed list: a key that moves opens the list, which is closed again.
            if (list->view()->isVisible())
                QTest::keyClick(list->view(), Qt::Key_Escape);
            QTRY_VERIFY(!list->view()->isVisible());
            if (key == 0) {
                TurnWheel(list, -1);
            } else if (key == -1) {
                QTest::sendKeyEvent(QTest::Click, list, Qt::Key_unknown, QStringLiteral("П"), Qt::NoModifier);
            } else {
                QTest::keyClick(list, Qt::Key(key));
            }
        }
        if (list->view()->isVisible())
            QTest::keyClick(list->view(), Qt::Key_Escape);
        QCOMPARE(activated.count(), 0);
        QCOMPARE(list->currentIndex(), 2);
        QVERIFY(!mode->Action->WritePending);
        QVERIFY(mode->Action->Value.Equals(u"--"));
    }

    // The moving keys open the list; a click on an item of the open list, or Enter in it,
    // writes that item once.
    void aChoiceInTheOpenModeListWritesItOnce()
    {
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sPerifND *mode = Row(RowOf(u"Режим работы DO 1"));
        TreeComboBox *list = mode->ModeCB.get();
        rig->View->scrollTo(rig->View->model()->index(mode->Node, 2));
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible() && list->count() == 6, 5000);
        list->setFocus();

        QTest::keyClick(list, Qt::Key_Down);
        QTRY_VERIFY(list->view()->isVisible());
        QVERIFY(!mode->Action->WritePending);
        QTest::keyClick(list->view(), Qt::Key_End);
        QTest::keyClick(list->view(), Qt::Key_Return);
        QTRY_VERIFY(!list->view()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Do1.Mode"), QStringList{"5"}, 5000);

        QTest::mouseClick(list, Qt::LeftButton);
        QTRY_VERIFY(list->view()->isVisible());
        const QRect item = list->view()->visualRect(list->model()->index(2, 0));
        // The list ignores a release that comes within a double click of the click that opened
        // it; the operator clicks again, and the first click taken closes the list.
        QVERIFY(QTest::qWaitFor([&] {
            QTest::mouseClick(list->view()->viewport(), Qt::LeftButton, {}, item.center());
            return !list->view()->isVisible();
        }));
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf("Do1.Mode"), (QStringList{"5", "2"}), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig->Cell(mode->Node, 1), QString("АКБ заряжается"), 5000);
        QCOMPARE(rig->WritesOf("Do1.Mode"), (QStringList{"5", "2"}));
    }

    // After No to the question the row follows the device again, and nothing is written.
    void aDeclinedAddressOrRateShowsTheDeviceValueAgain_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("device");
        QTest::newRow("address") << "Адрес устройства Modbus RTU"
                                 << "Mb.MyModbusAddr"
                                 << "7"
                                 << "1";
        QTest::newRow("baud rate") << "Скорость обмена RS485"
                                   << "485.Init.BaudRate"
                                   << "19200"
                                   << "9600";
    }
    void aDeclinedAddressOrRateShowsTheDeviceValueAgain()
    {
        QFETCH(QString, caption);
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, device);
        QVERIFY2(rig->Connect(), rig->Sim.Stderr().c_str());
        tree->Build();
        rig->Run();
        sPerifND *row = Row(RowOf(reinterpret_cast<const char16_t *>(caption.utf16())));
        QTRY_VERIFY_WITH_TIMEOUT(row->ValueEdit->isVisible() && row->ValueEdit->text() == device, 5000);
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        row->ValueEdit->selectAll();
        QTest::keyClicks(row->ValueEdit.get(), typed);
        QTRY_VERIFY(row->Editing);
        QuestionLog questions(false);
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QCOMPARE(questions.Texts.size(), 1);
        QVERIFY2(questions.Texts[0].contains(typed) && questions.Texts[0].contains("потеряет"),
                 qPrintable(questions.Texts[0]));
        QVERIFY(!row->Action->WritePending);
        QVERIFY(!row->Editing);
        QCOMPARE(row->ValueEdit->text(), device);

        // Yes writes it.
        questions.Answer = true;
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        row->ValueEdit->selectAll();
        QTest::keyClicks(row->ValueEdit.get(), typed);
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QCOMPARE(questions.Texts.size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(rig->WritesOf(name), QStringList{typed}, 5000);
    }

    // The question's own event loop runs the refresh, which clears the trees when the link
    // ends: the handler then writes nothing and leaves its destroyed record alone.
    void theTreesClearedWhileAskingWriteNothing()
    {
        tree->Build();
        rig->Host.show();
        sPerifND *row = Row(RowOf(u"Адрес устройства Modbus RTU"));
        ModbusAction *address = row->Action;
        QTRY_VERIFY(row->ValueEdit->isVisible());
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        QTRY_VERIFY(row->Editing);
        row->ValueEdit->setText("7");
        const QuestionHook old = SetQuestionHook([this](const QString &, const QString &) {
            tree->Clear();
            return true;
        });
        MessageLog messages;
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        SetQuestionHook(old);
        QVERIFY2(messages.Texts.isEmpty(), qPrintable(messages.Texts.join('\n')));
        QCOMPARE(tree->Rows.Count(), 0);
        QVERIFY(!address->WritePending);
    }

    void modeValuesAndEditableRowsWithoutDevice()
    {
        rig->Manager.VersionX100 = 111;
        tree->Build();
        const int modeRow = RowOf(u"Режим работы DO 1");
        sPerifND *mode = Row(modeRow);
        // Before the list is filled the value shows as read; then as the mode's name.
        QCOMPARE(rig->Cell(modeRow, 1), QString("--"));
        rig->Host.show();
        QTRY_COMPARE(mode->ModeCB->count(), 6);
        QCOMPARE(rig->Cell(modeRow, 1), QString("Управление по Modbus"));
        mode->Action->Value = MString(u"9");
        QCOMPARE(rig->Cell(modeRow, 1), QString("9"));

        sPerifND *address = Row(RowOf(u"Адрес устройства Modbus RTU"));
        address->Action->Value = MString(u"2.999");
        QCOMPARE(rig->Cell(address->Node, 1), QString("3"));
        QCOMPARE(address->ValueEdit->text(), QString("3"));
    }

    void aCounterLeavingZeroOffersItsResetAtTheNextRefresh()
    {
        tree->Build();
        sPerifND *counter = Row(RowOf(u"Счетчик переключений DI 1"));
        counter->Action->Value = MString(u"0");
        rig->Host.show();
        QTRY_VERIFY(counter->LastRect.Right > counter->LastRect.Left);
        QVERIFY(counter->ResetBtn->isHidden());
        const sTreeRect laidOut = counter->LastRect;

        counter->Action->Value = MString(u"17");
        rig->View->Refresh();
        QTRY_VERIFY(counter->ResetBtn->isVisible());
        QCOMPARE(counter->LastRect, laidOut);  // the row was not laid out again
        QVERIFY(ShownIn(counter->ResetBtn.get(), rig->CellRect(counter->Node, 2)));

        counter->Action->Value = MString(u"0");
        rig->View->Refresh();
        QTRY_VERIFY(counter->ResetBtn->isHidden());
    }

    void aZeroWidthThirdColumnHidesEveryControl()
    {
        rig->Manager.VersionX100 = 111;
        tree->Build();
        Row(RowOf(u"Счетчик переключений DI 2"))->Action->Value = MString(u"5");
        rig->Host.show();
        auto shownControls = [&] {
            int n = 0;
            for (QWidget *w : rig->View->viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                n += w->isVisible() ? 1 : 0;
            return n;
        };
        QTRY_VERIFY(Row(RowOf(u"Режим работы DO 4"))->ModeCB->isVisible());
        const int shown = shownControls();
        QVERIFY(shown >= 2 + 1 + 4 + 4);  // two edit rows (2 each), a counter, four switches, four modes

        rig->View->header()->resizeSection(2, 0);
        QTRY_COMPARE(shownControls(), 0);

        rig->View->header()->resizeSection(2, 180);
        QTRY_COMPARE(shownControls(), shown);
        for (int i = 0; i < tree->Rows.Count(); ++i) {
            const QRect cell = rig->CellRect(i, 2);
            QCOMPARE(cell.width(), 180);
            for (QWidget *w :
                 {static_cast<QWidget *>(Row(i)->ValueEdit.get()), static_cast<QWidget *>(Row(i)->WriteBtn.get()),
                  static_cast<QWidget *>(Row(i)->ModeCB.get())})
                if (w->isVisible())
                    QVERIFY(cell.contains(w->geometry()));
        }
    }
};

QTEST_MAIN(PerifTreeTest)
#include "PerifTree_test.moc"
