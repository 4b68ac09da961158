// The journal of writes in the window: a page's and a tree's writes are journalled with
// the control that made them, and the service menu's dialog lists them, newest first.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "device/WriteJournal.h"
#include "ui/TreeTestUtil.h"
#include "ui/UiFixture.h"
#include "ui/dialogs/JournalForm.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/trees/AccuTree.h"

namespace {
constexpr int kTimeoutMs = 5000;

std::vector<JournalLine> Journal()
{
    std::vector<std::string> raw;
    std::string error;
    std::vector<JournalLine> lines;
    if (!ReadJournal(JournalPath(), &raw, &error))
        return lines;
    for (const std::string &text : raw) {
        JournalLine line;
        if (ParseJournalLine(text, &line))
            lines.push_back(line);
    }
    return lines;
}

QString Cell(QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item != nullptr ? item->text() : QString();
}
}  // namespace

class JournalFormTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void init() { SetJournalPath(dir.filePath(QStringLiteral("writes.log")).toStdString()); }
    void cleanup()
    {
        QFile::remove(dir.filePath(QStringLiteral("writes.log")));
        SetJournalPath(std::string());
    }

    void aTreeRowsWriteNamesItsTreeAndRow()
    {
        treetest::TreeRig rig;
        rig.View->setObjectName(QStringLiteral("AccuTreeView"));
        cAccuTree tree(&rig.Manager);
        cAccuTree::SetupView(rig.View);
        tree.Bind(rig.View);
        QVERIFY2(rig.Connect(), rig.Sim.Stderr().c_str());
        tree.Build();
        rig.Run();
        sAccuND *row = tree.Rows.At(1);
        QTRY_VERIFY_WITH_TIMEOUT(!row->Action->Value.Equals(u"--") && row->ValueEdit->isVisible(), 10000);
        const std::string before = row->Action->Value.ToUtf8();
        QTest::mouseClick(row->ValueEdit.get(), Qt::LeftButton);
        row->ValueEdit->selectAll();
        QTest::keyClicks(row->ValueEdit.get(), "14,2");
        QTest::mouseClick(row->WriteBtn.get(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Journal().size(), size_t(1), kTimeoutMs);
        const JournalLine line = Journal()[0];
        QCOMPARE(line.Origin, std::string("window: AccuTreeView row Reg.ChargeMaxU"));
        QCOMPARE(line.Name, std::string("Reg.ChargeMaxU"));
        QCOMPARE(line.OldValue, before);
        QCOMPARE(line.NewValue, std::string("14,2"));
        QCOMPARE(line.Outcome, std::string("done"));
    }

    void aPageWriteShowsInTheServiceMenusDialog()
    {
        uitest::Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        ChargerMnemoPage &page = *c.Form().ChargerMnemoTS;
        QTRY_VERIFY_WITH_TIMEOUT(c.w->Var(u"Reg.bForceLoadOff")->Value.Equals(u"0"), kTimeoutMs);
        QTest::mouseClick(page.LoadTurnOffCB, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!Journal().empty(), kTimeoutMs);
        QCOMPARE(Journal()[0].Origin, std::string("window: LoadTurnOffCB"));
        QCOMPARE(Journal()[0].OldValue, std::string("0"));
        QCOMPARE(Journal()[0].Outcome, std::string("done"));

        auto *journalItem = c.Form().ServiceMenu->findChild<QAction *>(QStringLiteral("JournalMenuItem"));
        QVERIFY(journalItem != nullptr);
        QCOMPARE(journalItem->text().remove(QLatin1Char('&')), QStringLiteral("Журнал записей…"));
        QVERIFY(c.Form().ServiceMenuItem->isVisible());
        journalItem->trigger();
        auto *form = c.Form().findChild<TJournalForm *>(QStringLiteral("JournalForm"));
        QVERIFY(form != nullptr);
        QTRY_VERIFY(form->isVisible());
        QTableWidget *table = form->JournalTable;
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(Cell(table, 0, 1), QStringLiteral("window: LoadTurnOffCB"));
        QCOMPARE(Cell(table, 0, 2), QStringLiteral("Reg.bForceLoadOff"));
        QCOMPARE(Cell(table, 0, 3), QStringLiteral("0"));
        QCOMPARE(Cell(table, 0, 5), QStringLiteral("done"));
        QVERIFY(!(table->item(0, 4)->flags() & Qt::ItemIsEditable));

        // A second write, and the dialog opened again: newest first.
        QTRY_VERIFY_WITH_TIMEOUT(page.LoadNightModeCB->isEnabled(), kTimeoutMs);  // its state read first
        QTest::mouseClick(page.LoadNightModeCB, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Journal().size(), size_t(2), kTimeoutMs);
        journalItem->trigger();
        QCOMPARE(c.Form().findChildren<TJournalForm *>().size(), 1);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(Cell(table, 0, 1), QStringLiteral("window: LoadNightModeCB"));
        QCOMPARE(Cell(table, 1, 1), QStringLiteral("window: LoadTurnOffCB"));
        QVERIFY(form->PathLabel->text().contains(dir.filePath(QStringLiteral("writes.log"))));
    }

    void awkwardValuesStayOneRowEach()
    {
        QVERIFY(AppendJournal({"2026-12-11T06:00:00.000+00:00", "mqtt a/set/x", "Reg.X", "a\tb", "c\nd", "done"}));
        QVERIFY(AppendJournal({"2026-12-11T06:00:01.000+00:00", "command set", "Reg.Y", "1", "2", "timed out"}));
        TJournalForm form;
        form.Reload();
        QCOMPARE(form.JournalTable->rowCount(), 2);
        QCOMPARE(Cell(form.JournalTable, 0, 5), QStringLiteral("timed out"));
        QCOMPARE(Cell(form.JournalTable, 1, 3), QStringLiteral("a\\tb"));
        QCOMPARE(Cell(form.JournalTable, 1, 4), QStringLiteral("c\\nd"));
    }
};

QTEST_MAIN(JournalFormTest)
#include "JournalForm_test.moc"
