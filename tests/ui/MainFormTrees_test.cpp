// The trees in the main window against the stand-in: built once per connection, only the
// tree in front is read, cleared on disconnection, the service filter.
#include <QAction>
#include <QLineEdit>
#include <QTabWidget>
#include <QtTest>

#include "UiFixture.h"
#include "ui/trees/AccuTree.h"
#include "ui/trees/CalibrateTree.h"
#include "ui/trees/PerifTree.h"
#include "ui/trees/ServiceTree.h"

using namespace uitest;

namespace {
constexpr int kTimeoutMs = 8000;
}

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
    QTest::qWait(700);
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
    QTRY_VERIFY_WITH_TIMEOUT(!address->ValueEdit->text().isEmpty() && address->ValueEdit->text() != "--", kTimeoutMs);
    QCOMPARE(address->ValueEdit->text(), f.PerifTreeView->model()->data(f.PerifTreeView->model()->index(mb, 1)).toString());
    QVERIFY(answers.messages.isEmpty());
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
