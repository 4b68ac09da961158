// The main window against the real stand-in: start-up, connect and disconnect, the lost
// device, the tab sets of the two modes, expert access and the debug dump.
#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <signal.h>

#include "ui/dialogs/DebugViewerForm.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "ui/history/HistoryPage.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/pages/SupplyMnemoPage.h"
#include "InputUtil.h"
#include "testkit/FakeClock.h"
#include "UiFixture.h"

using namespace uitest;

namespace {
constexpr int kViewTimeoutMs = 5000;
// What a search of the one missing port ends with: the port, why, and the way forward.
QString ConnectFailed()
{
    return QStringLiteral("Устройство Quintavolte не найдено.\nПорт %1: не открывается: %2.\nВыберите порт: Порт…")
        .arg(QString::fromStdString(kNoDevice[0]), QString::fromLocal8Bit(strerror(ENOENT)));
}

// Answers the modal password dialog once it is up: types the code and presses OK, or closes it.
void AnswerPassword(TMainForm &form, const QString &code, bool ok = true)
{
    QTimer::singleShot(0, &form, [&form, code, ok] {
        TExpertPasswordForm *dialog = form.ExpertPasswordForm;
        QTRY_VERIFY(dialog->isVisible());
        dialog->ExpertPassEdit->setText(code);
        if (ok)
            QTest::mouseClick(dialog->OkButton, Qt::LeftButton);
        else
            dialog->reject();
    });
}
}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT
private slots:
    void startWithoutDeviceShowsSplashOnly()
    {
        Answers answers;
        Window w(kNoDevice);
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        QVERIFY(f.SplashImage->isVisible());
        QVERIFY(!f.MainPC->isVisible());
        QVERIFY(!f.ServiceMenuItem->isVisible());
        QVERIFY(f.ConnectMenuItem->isVisible());
        QVERIFY(f.AboutMenuItem->isVisible());
        QCOMPARE(f.ConnectMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Подключить"));
        QCOMPARE(f.windowTitle(), QStringLiteral("Quintavolte Control"));
        QVERIFY(answers.messages.isEmpty());

        f.ConnectMenuItem->trigger();
        QCOMPARE(answers.messages.join('|'), ConnectFailed());
        QVERIFY(WaitForRefreshes(1));  // nothing else changes
        QVERIFY(!f.MainPC->isVisible());
        QCOMPARE(f.ConnectMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Подключить"));
    }

    void connectsAndShowsChargerTabs()
    {
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        Answers answers;
        Window w({sim.Path()});
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        QVERIFY(ActionManager->Identified);
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), kViewTimeoutMs);
        QVERIFY(!f.SplashImage->isVisible() || f.MainPC->geometry().contains(f.SplashImage->geometry()));
        QVERIFY(f.ServiceMenuItem->isVisible());
        QCOMPARE(f.ConnectMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Отключить"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.IsTabShown(f.ExpertTS), kViewTimeoutMs);
        for (QWidget *page :
             {(QWidget *)f.ChargerMnemoTS, f.BatConfigTS, static_cast<QWidget *>(f.TrainingTS), f.PerifTS})
            QVERIFY2(f.IsTabShown(page), qPrintable(page->objectName()));
        for (QWidget *page : {(QWidget *)f.SupplyMnemoTS, f.CalibrateTS, f.ExpertTS})
            QVERIFY2(!f.IsTabShown(page), qPrintable(page->objectName()));
        QCOMPARE(f.MainPC->currentWidget(), f.ChargerMnemoTS);
        QVERIFY(f.ChargerModeMenuItem->isChecked());
        QVERIFY(!f.SupplyModeMenuItem->isChecked());
        QVERIFY(!f.LoadDebugMenuItem->isVisible());
        QVERIFY(f.ExpertMenuItem->isVisible());
        QVERIFY(answers.messages.isEmpty());
    }

    void disconnectMenuSavesAndReturnsToSplash()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        QVERIFY(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).isEmpty());
        f.ConnectMenuItem->trigger();
        QCOMPARE(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")), QStringList{QStringLiteral("1")});
        QTRY_VERIFY_WITH_TIMEOUT(!f.MainPC->isVisible(), 1000);
        QVERIFY(f.SplashImage->isVisible());
        QVERIFY(!f.ServiceMenuItem->isVisible());
        QCOMPARE(f.ConnectMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Подключить"));

        // And back: the connected view is set up again.
        f.ConnectMenuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible(), kViewTimeoutMs);
    }

    void closingSavesOnlyAnIdentifiedDevice()
    {
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        {
            Window w({sim.Path()});
            QVERIFY(w.ShowAndConnect());
            QTRY_VERIFY_WITH_TIMEOUT(w.form->MainPC->isVisible(), kViewTimeoutMs);
            w.form->ConnectMenuItem->trigger();  // disconnect: one save
            QTRY_VERIFY_WITH_TIMEOUT(!w.form->MainPC->isVisible(), 1000);
            w.form->close();  // disconnected: nothing more
        }
        QCOMPARE(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).size(), 1);
        {
            Window w({sim.Path()});
            QVERIFY(w.ShowAndConnect());
            QTRY_VERIFY_WITH_TIMEOUT(w.form->MainPC->isVisible(), kViewTimeoutMs);
            w.form->close();
        }
        QCOMPARE(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).size(), 2);
    }

    void lostDeviceReturnsToSplashWithoutSaveOrMessage()
    {
        Answers answers;
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        // A frozen stand-in answers nothing; what the program sends meanwhile waits in the line.
        QVERIFY(sim.Signal(SIGSTOP));
        QTRY_VERIFY_WITH_TIMEOUT(!f.MainPC->isVisible(), 20000);
        QVERIFY(!ActionManager->Identified);
        QVERIFY(sim.Signal(SIGCONT));
        QVERIFY(f.SplashImage->isVisible());
        QCOMPARE(f.ConnectMenuItem->text().remove(QLatin1Char('&')), QStringLiteral("Подключить"));
        QVERIFY(answers.messages.isEmpty());
        // Whatever the stand-in still finds in the line, no save request is among it.
        QTest::qWait(300);
        QVERIFY(sim.WritesTo(QStringLiteral("SaveConfigToRomNow")).isEmpty());
    }

    // A device plugged in after the connection renumbers the ports: the status line and the
    // counters dialog still name the port the device is on.
    void statusLineNamesTheOpenPortAfterTheListChanged()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        const QString path = QString::fromStdString(c.sim.Path());
        SetExplicitPorts({"/dev/null", c.sim.Path()});
        f.UpdateLinkStatus();
        QVERIFY2(f.LinkStatusLabel->text().startsWith(QStringLiteral("Порт ") + path + QLatin1Char(' ')),
                 qPrintable(f.LinkStatusLabel->text()));
        QCOMPARE(QString::fromStdString(ActionManager->DevicePath()), path);
    }

    void modeSwitchMovesTabsAndMenuCheck()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();
        QTRY_VERIFY_WITH_TIMEOUT(!f.IsTabShown(f.SupplyMnemoTS), kViewTimeoutMs);
        f.MainPC->setCurrentWidget(f.PerifTS);

        f.SupplyModeMenuItem->trigger();
        QVERIFY(f.SupplyModeMenuItem->isChecked());
        QVERIFY(!f.ChargerModeMenuItem->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->currentWidget() == f.SupplyMnemoTS, kViewTimeoutMs);
        QVERIFY(f.IsTabShown(f.SupplyMnemoTS));
        QVERIFY(f.IsTabShown(f.PerifTS));
        for (QWidget *page : {(QWidget *)f.ChargerMnemoTS, f.BatConfigTS, static_cast<QWidget *>(f.TrainingTS)})
            QVERIFY2(!f.IsTabShown(page), qPrintable(page->objectName()));
        QTRY_COMPARE_WITH_TIMEOUT(sim.WritesTo(QStringLiteral("Reg.bModeCharger")), QStringList{QStringLiteral("0")},
                                  kViewTimeoutMs);

        f.ChargerModeMenuItem->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->currentWidget() == f.ChargerMnemoTS, kViewTimeoutMs);
        QVERIFY(!f.IsTabShown(f.SupplyMnemoTS));
        QVERIFY(f.IsTabShown(f.BatConfigTS) && f.IsTabShown(f.TrainingTS));
        QVERIFY(f.ChargerModeMenuItem->isChecked());
        QTRY_COMPARE_WITH_TIMEOUT(sim.WritesTo(QStringLiteral("Reg.bModeCharger")),
                                  (QStringList{QStringLiteral("0"), QStringLiteral("1")}), kViewTimeoutMs);
    }

    void heartbeatTicksOnceAndNeverNests()
    {
        Window w(kNoDevice);
        MicroTmCore *core = MicroTaskManager::Core();
        QVERIFY(core != nullptr);
        // A timer event that arrives while a tick is still processing messages does nothing.
        bTimerBusy = true;
        const uint32_t cursor = core->Cursor;
        const uint32_t cycles = core->CycleCount;
        w.form->HandlerTimerTimer();
        QCOMPARE(core->Cursor, cursor);
        QCOMPARE(core->CycleCount, cycles);
        QVERIFY(bTimerBusy);
        bTimerBusy = false;
        w.form->HandlerTimerTimer();
        QVERIFY(core->Cursor != cursor || core->CycleCount != cycles);
        QVERIFY(!bTimerBusy);
        QCOMPARE(w.form->HandlerTimer->interval(), 10);
        QVERIFY(w.form->HandlerTimer->isActive());
    }

    void onlyThePageInFrontIsRead()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        Window &w = *c.w;
        TMainForm &f = c.Form();
        ModbusAction *chargerOnly = w.Var(u"Adc.EnergyLoad");
        ModbusAction *supplyOnly = w.Var(u"Reg.ChargeI");
        QTRY_VERIFY_WITH_TIMEOUT(!chargerOnly->Value.Equals(u"--"), kViewTimeoutMs);
        QVERIFY(supplyOnly->Value.Equals(u"--"));
        // On another page the charger's values are no longer asked for.
        f.MainPC->setCurrentWidget(f.TrainingTS);
        QTRY_VERIFY_WITH_TIMEOUT(chargerOnly->State == mbsDone, kViewTimeoutMs);
        const QString before = ToQString(chargerOnly->Value);
        chargerOnly->Value = MString(u"stale");
        QVERIFY(WaitForRefreshes(2));
        QVERIFY(chargerOnly->Value.Equals(u"stale"));
        QVERIFY(supplyOnly->Value.Equals(u"--"));
        f.MainPC->setCurrentWidget(f.ChargerMnemoTS);
        QTRY_VERIFY_WITH_TIMEOUT(!chargerOnly->Value.Equals(u"stale"), kViewTimeoutMs);
        QVERIFY(!before.isEmpty());
    }

    void hiddenCurrentTabHandsOver()
    {
        Window w(kNoDevice);
        TMainForm &f = *w.form;
        f.MainPC->setCurrentWidget(f.TrainingTS);
        f.SetTabShown(f.TrainingTS, false);
        QCOMPARE(f.MainPC->currentWidget(), f.HistoryTS);  // the next shown tab
        f.SetTabShown(f.HistoryTS, false);
        QCOMPARE(f.MainPC->currentWidget(), f.PerifTS);
        f.SetTabShown(f.CalibrateTS, false);
        f.SetTabShown(f.ExpertTS, false);
        f.MainPC->setCurrentWidget(f.PerifTS);
        f.SetTabShown(f.PerifTS, false);
        QCOMPARE(f.MainPC->currentWidget(), f.BatConfigTS);  // none follows: the last shown before
    }

    // The tab bar once moved onto hidden tabs: the power-supply page in charger mode, the
    // calibration and expert pages without their codes.
    void navigationReachesOnlyShownTabs_data()
    {
        QTest::addColumn<bool>("supply");
        QTest::addColumn<QString>("code");
        QTest::newRow("charger, no code") << false << "";
        QTest::newRow("charger, calibration code") << false << "woodpecker";
        QTest::newRow("supply, no code") << true << "";
        QTest::newRow("supply, calibration code") << true << "woodpecker";
    }
    void navigationReachesOnlyShownTabs()
    {
        QFETCH(bool, supply);
        QFETCH(QString, code);
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        TMainForm &f = c.Form();
        Answers answers;
        if (supply) {
            f.SupplyModeMenuItem->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->currentWidget() == f.SupplyMnemoTS, kViewTimeoutMs);
            QTRY_COMPARE_WITH_TIMEOUT(c.sim.WritesTo(QStringLiteral("Reg.bModeCharger")), QStringList{"0"},
                                      kViewTimeoutMs);
        }
        if (!code.isEmpty()) {
            AnswerPassword(f, code);
            f.ExpertMenuItemClick();
            QVERIFY(f.IsTabShown(f.CalibrateTS));
        }
        QVERIFY(!f.IsTabShown(f.ExpertTS));
        QVERIFY(f.IsTabShown(f.ChargerMnemoTS) != supply);
        const QStringList writesBefore = c.sim.Writes();
        QTabBar *bar = f.MainPC->tabBar();
        bar->setFocus();
        struct Input {
            const char *name;
            std::function<void()> send;
        };
        const std::vector<Input> inputs{
            {"Right", [bar] { QTest::keyClick(bar, Qt::Key_Right); }},
            {"Left", [bar] { QTest::keyClick(bar, Qt::Key_Left); }},
            {"Ctrl+Tab", [bar] { QTest::keyClick(bar, Qt::Key_Tab, Qt::ControlModifier); }},
            {"Ctrl+Shift+Tab",
             [bar] { QTest::keyClick(bar, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier); }},
            {"wheel up", [bar] { TurnWheel(bar, 1); }},
            {"wheel down", [bar] { TurnWheel(bar, -1); }},
        };
        for (const Input &input : inputs) {
            // Far enough each way to pass every tab, and back.
            for (int i = 0; i < 2 * f.MainPC->count(); ++i) {
                input.send();
                QWidget *front = f.MainPC->currentWidget();
                QVERIFY2(f.IsTabShown(front), qPrintable(QStringLiteral("%1 brought %2 to the front")
                                                             .arg(QLatin1String(input.name), front->objectName())));
                QVERIFY(f.MainPC->isTabVisible(f.MainPC->currentIndex()));
            }
        }
        // A refresh period with the last page in front: still nothing written.
        QVERIFY(!QTest::qWaitFor([&] { return c.sim.Writes() != writesBefore; }, 400));
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('|')));
    }

    void expertAccessCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("expert");
        QTest::addColumn<bool>("calibration");
        QTest::addColumn<bool>("message");
        QTest::newRow("expert") << "plumbeous" << true << true << false;
        QTest::newRow("calibration") << "woodpecker" << false << true << false;
        QTest::newRow("wrong") << "sesame" << false << false << true;
        QTest::newRow("upper case") << "Plumbeous" << false << false << true;
        QTest::newRow("trailing space") << "plumbeous " << false << false << true;
    }
    void expertAccessCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, expert);
        QFETCH(bool, calibration);
        QFETCH(bool, message);
        StandIn sim;
        QVERIFY2(sim.Start(), sim.Stderr().c_str());
        Answers answers;
        Window w({sim.Path()});
        QVERIFY(w.ShowAndConnect());
        TMainForm &f = *w.form;
        QTRY_VERIFY_WITH_TIMEOUT(f.MainPC->isVisible() && !f.IsTabShown(f.ExpertTS), kViewTimeoutMs);

        AnswerPassword(f, code);
        f.ExpertMenuItem->trigger();
        QCOMPARE(bExpertMode, expert);
        QCOMPARE(f.ExpertMenuItem->isVisible(), !expert);
        QCOMPARE(answers.messages,
                 message
                     ? QStringList{QStringLiteral("Неверный пароль эксперта. Доступ к сервисным функциям запрещен.")}
                     : QStringList{});
        QVERIFY(WaitForRefreshes(2));
        QCOMPARE(f.IsTabShown(f.ExpertTS), expert);
        QCOMPARE(f.IsTabShown(f.CalibrateTS), calibration);
        QCOMPARE(f.LoadDebugMenuItem->isVisible(), expert);
        // The edit keeps its text for the next opening.
        QCOMPARE(f.ExpertPasswordForm->ExpertPassEdit->text(), code);
    }

    void closingPasswordDialogChangesNothing()
    {
        Answers answers;
        Window w(kNoDevice);
        AnswerPassword(*w.form, QStringLiteral("plumbeous"), false);
        w.form->ExpertMenuItemClick();
        QVERIFY(!bExpertMode);
        QVERIFY(answers.messages.isEmpty());
        QVERIFY(w.form->ExpertMenuItem->isVisible());
    }

    void dumpWithALostLinkLeavesTheFileAlone()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();

        const QString path = sim.TempPath(QStringLiteral("old.debug"));
        QVERIFY(WriteFile(path, "older dump"));
        Answers answers;
        sim.Stop();
        f.DebugSaveDialogHook = [&] { return path; };
        {
            // The loss's eleven time-outs pass on the test's clock, moved by the dump's rests.
            testkit::FakeClock clock(GetTickCount32());
            f.DebugMenuItem->trigger();
        }
        QCOMPARE(answers.messages, QStringList{QStringLiteral("Связь с устройством потеряна: дамп не сохранен.")});
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("older dump"));
    }

    void dumpSavedFromMenuReadsBackInViewer()
    {
        Connected c;
        QVERIFY2(c.Start(), c.error.c_str());
        StandIn &sim = c.sim;
        TMainForm &f = c.Form();

        const QString path = sim.TempPath(QStringLiteral("Quintavolte.debug"));
        f.DebugSaveDialogHook = [&] { return path; };
        Answers answers;
        f.DebugMenuItem->trigger();
        QVERIFY(QFile::exists(path));
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));

        // A file that cannot be written is said so, not passed over in silence.
        const QString nowhere = sim.TempPath(QStringLiteral("missing-folder/Quintavolte.debug"));
        f.DebugSaveDialogHook = [&] { return nowhere; };
        f.DebugMenuItem->trigger();
        QCOMPARE(answers.messages, QStringList{QStringLiteral("Не удалось записать файл ") + nowhere});
        QVERIFY(!QFile::exists(nowhere));
        f.DebugSaveDialogHook = [&] { return path; };

        TDebugViewerForm &viewer = *f.DebugViewerForm;
        QCOMPARE(viewer.DumpMemo->toPlainText(), QString::fromUtf8(TDebugViewerForm::kHintLine));
        viewer.DebugOpenDialogHook = [&] { return path; };
        f.LoadDebugMenuItemClick();
        QVERIFY(viewer.isVisible());
        QVERIFY(!viewer.isModal());
        QTest::mouseClick(viewer.LoadDumpButton, Qt::LeftButton);
        const QStringList lines = viewer.DumpMemo->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), ActionManager->Shell.Actions.Count());
        QVERIFY(lines.contains(QStringLiteral("Reg.bModeCharger = 1")));
        QVERIFY(lines.contains(QStringLiteral("DeviceType = Quintavolte 1.11")));
        QVERIFY(!lines.join(QLatin1Char('\n')).contains(QStringLiteral(" = --")));
        QStringList sorted = lines;
        std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
            return a.section(QStringLiteral(" = "), 0, 0) < b.section(QStringLiteral(" = "), 0, 0);
        });
        QCOMPARE(lines, sorted);

        // A damaged file shows the one line; a cancelled dialog leaves the memo empty.
        QFile damaged(sim.TempPath(QStringLiteral("bad.debug")));
        QVERIFY(WriteFile(damaged.fileName(), QByteArray("\x10\x00\x00\x00\x01", 5)));
        viewer.DebugOpenDialogHook = [&] { return damaged.fileName(); };
        viewer.LoadDumpButtonClick();
        QCOMPARE(viewer.DumpMemo->toPlainText(),
                 QStringLiteral("Файл ") + damaged.fileName() + QStringLiteral(" поврежден!"));
        viewer.DebugOpenDialogHook = [] { return QString(); };
        viewer.LoadDumpButtonClick();
        QCOMPARE(viewer.DumpMemo->toPlainText(), QString());
    }

    void dumpDialogsAreConfigured()
    {
        Window w(kNoDevice);
        std::unique_ptr<QFileDialog> save(w.form->CreateDebugSaveDialog());
        QCOMPARE(save->windowTitle(), QStringLiteral("Сохранение отладочного дампа"));
        QCOMPARE(save->nameFilters(), QStringList{QStringLiteral("Quintavolte debug file (*.debug)")});
        QCOMPARE(save->defaultSuffix(), QStringLiteral("debug"));
        QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
        std::unique_ptr<QFileDialog> open(w.form->DebugViewerForm->CreateDebugOpenDialog());
        QCOMPARE(open->windowTitle(), QStringLiteral("Загрузить отладочный дамп"));
        QCOMPARE(open->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(open->nameFilters(), QStringList{QStringLiteral("Quintavolte Debug Dump (*.debug)")});
    }
};

QTEST_MAIN(MainFormTest)
#include "MainForm_test.moc"
