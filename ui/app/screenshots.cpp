// Saves a picture of every page of the window, offscreen, against a device (normally the
// stand-in): quintavolte-screenshots DIR --port PATH. Used by scripts/screenshots.
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QLineEdit>
#include <QTabWidget>
#include <clocale>
#include <cstdio>

#include "port/PortList.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/LinkStatus.h"
#include "ui/dialogs/PortForm.h"
#include "ui/dialogs/DebugViewerForm.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "history/HistoryDemo.h"
#include "ui/MainForm.h"
#include "ui/history/HistoryPage.h"
#include "ui/MainUnit.h"
#include "ui/app/Language.h"
#include "ui/app/Theme.h"
#include "ui/app/QtHooks.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/widgets/SetpointEdit.h"
#include "ui/pages/SupplyMnemoPage.h"
#include "ui/trees/TreeView.h"
#include "ui/widgets/ToggleSwitch.h"
#include "ShotUtil.h"

namespace {

using shot::Pump;
using shot::WaitFor;

class Shooter {
public:
    explicit Shooter(const QString &dir) : dir_(dir) {}
    bool Save(QWidget *widget, const QString &name)
    {
        const bool ok = shot::Save(widget, dir_, name);
        failed_ |= !ok;
        return ok;
    }
    // Every shown tab of the page control, each after the refresh has filled it.
    void Tabs(TMainForm &form, const QString &mode)
    {
        for (int i = 0; i < form.MainPC->count(); ++i) {
            if (!form.MainPC->isTabVisible(i))
                continue;
            form.MainPC->setCurrentIndex(i);
            Pump(1500);
            QWidget *page = form.MainPC->widget(i);
            if (page == form.BatConfigTS) {
                for (int j = 0; j < form.BatConfigPC->count(); ++j) {
                    form.BatConfigPC->setCurrentIndex(j);
                    Pump(600);
                    Save(&form, mode + QStringLiteral("-") + page->objectName() + QStringLiteral("-") +
                                    form.BatConfigPC->widget(j)->objectName());
                }
                form.BatConfigPC->setCurrentIndex(0);
            } else {
                Save(&form, mode + QStringLiteral("-") + page->objectName());
            }
            if (page == form.HistoryTS) {
                form.HistoryTS->HistoryViewsPC->setCurrentIndex(1);
                Pump(300);
                Save(&form, mode + QStringLiteral("-HistoryTS-daily"));
                form.HistoryTS->HistoryViewsPC->setCurrentIndex(0);
            }
        }
    }
    bool Failed() const { return failed_; }

private:
    QDir dir_;
    bool failed_ = false;
};

int Run(const QString &dir, const std::string &port)
{
    QDir().mkpath(dir);
    Shooter shoot(dir);
    MainUnit::Initialize();
    int status = 0;
    // The history page shows a made-up week that ends now, from a file of its own.
    const QString history = QDir(dir).filePath(QStringLiteral("history-week.sqlite"));
    QFile::remove(history);
    {
        HistoryStore store;
        const int64_t now = QDateTime::currentSecsSinceEpoch();
        if (!store.Open(history.toStdString(), false) ||
            !FillDemoHistory(store, store.DeviceId("0A1B2C3D 4E5F6071 82930415", "Quintavolte 1.11"), now - 7 * 86400,
                             now))
            std::fprintf(stderr, "quintavolte-screenshots: cannot make %s\n", qPrintable(history));
    }
    WindowHistoryOptions().Db = history.toStdString();
    {
        SetExplicitPorts({"/nonexistent/quintavolte-port"});
        TMainForm form;
        form.HistoryTS->SetRecording(false);  // only the made-up unit in the pictures
        form.HistoryTS->SetSpan(HistoryPage::LastWeek);
        form.show();
        Pump(500);
        shoot.Save(&form, QStringLiteral("disconnected"));

        SetExplicitPorts({port});
        form.ConnectMenuItem->trigger();
        if (!WaitFor([&] { return form.IsConnectedView(); }, 8000)) {
            std::fprintf(stderr, "quintavolte-screenshots: no device on %s\n", port.c_str());
            status = 1;
        } else {
            bExpertMode = true;  // every page there is
            form.ExpertMenuItem->setVisible(false);
            Pump(700);
            shoot.Tabs(form, QStringLiteral("charger"));
            // The rows below the first screen of the peripherals tree (outputs and their
            // modes), and the service tree under a name filter.
            form.MainPC->setCurrentWidget(form.PerifTS);
            form.PerifTreeView->verticalScrollBar()->setValue(form.PerifTreeView->verticalScrollBar()->maximum());
            Pump(1500);
            shoot.Save(&form, QStringLiteral("charger-PerifTS-outputs"));
            form.MainPC->setCurrentWidget(form.ExpertTS);
            form.ServiceFilterEdit->setText(QStringLiteral("cal_u"));
            Pump(1500);
            shoot.Save(&form, QStringLiteral("charger-ExpertTS-filter"));
            form.ServiceFilterEdit->clear();

            form.SupplyModeMenuItem->trigger();
            WaitFor([&] { return form.MainPC->currentWidget() == static_cast<QWidget *>(form.SupplyMnemoTS); }, 5000);
            SupplyMnemoPage &supply = *form.SupplyMnemoTS;
            supply.SupUsetEdit->setValue(12.0);
            supply.SupIsetEdit->setValue(1.5);
            supply.SupOutSwitch->setChecked(true);  // writes the set-points, output on
            Pump(2500);
            shoot.Tabs(form, QStringLiteral("supply"));
            supply.SupOutSwitch->setChecked(false);
            form.ChargerModeMenuItem->trigger();
            WaitFor([&] { return form.MainPC->currentWidget() == static_cast<QWidget *>(form.ChargerMnemoTS); }, 5000);

            form.AboutMenuItemClick();
            Pump(200);
            shoot.Save(form.AboutForm, QStringLiteral("about"));
            form.AboutForm->close();

            form.PortMenuItem->trigger();
            Pump(300);
            shoot.Save(form.PortForm, QStringLiteral("port"));
            form.PortForm->reject();

            form.LinkStatsMenuItem->trigger();
            Pump(1200);
            if (form.LinkStatsForm != nullptr) {
                shoot.Save(form.LinkStatsForm, QStringLiteral("link"));
                form.LinkStatsForm->hide();
            }

            form.ExpertPasswordForm->ExpertPassEdit->clear();
            form.ExpertPasswordForm->show();
            Pump(200);
            shoot.Save(form.ExpertPasswordForm, QStringLiteral("password"));
            form.ExpertPasswordForm->hide();

            const QString dump = QDir(dir).filePath(QStringLiteral("Quintavolte.debug"));
            form.DebugSaveDialogHook = [&] { return dump; };
            form.DebugMenuItem->trigger();
            form.DebugViewerForm->DebugOpenDialogHook = [&] { return dump; };
            form.LoadDebugMenuItemClick();
            form.DebugViewerForm->LoadDumpButtonClick();
            Pump(200);
            shoot.Save(form.DebugViewerForm, QStringLiteral("dump-viewer"));
            QFile::remove(dump);
        }
        form.close();
    }
    MainUnit::Finalize();
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(history + suffix);
    return status != 0 ? status : (shoot.Failed() ? 1 : 0);
}

}  // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments();
    UiLanguage language = LanguageOf(QLocale::system());
    const bool languageOk = TakeLanguageArgument(args, &language);
    UiTheme theme = UiTheme::System;
    const bool themeOk = TakeThemeArgument(args, &theme);
    ApplyTheme(theme);
    InstallLanguage(language);
    const qsizetype portAt = args.indexOf(QStringLiteral("--port"));
    if (!languageOk || !themeOk || args.size() != 4 || portAt < 1 || portAt + 1 >= args.size()) {
        std::fprintf(stderr,
                     "usage: quintavolte-screenshots DIR --port PATH [--lang ru|en] [--theme dark|light|system]\n");
        return 2;
    }
    const QString dir = portAt == 1 ? args[3] : args[1];
    return Run(dir, args[portAt + 1].toStdString());
}
