// Pictures of the battery training page with a chart that has points: runs a whole
// training of two cycles on a stand-in whose time runs fast, with the page's clock sped up
// alike. quintavolte-training-shot DIR --port PATH --speed F (F: the stand-in's --speed).
// Used by scripts/screenshots.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>

#include "port/PortList.h"
#include "ui/MainForm.h"
#include "ui/MainUnit.h"
#include "ui/app/Language.h"
#include "ui/app/Theme.h"
#include "ui/app/QtHooks.h"
#include "ui/training/TrainingPage.h"
#include "ShotUtil.h"

namespace {

using shot::Pump;
using shot::Save;
using shot::WaitFor;

int Run(const QDir &dir, const std::string &port, double speed)
{
    QDir().mkpath(dir.path());
    QTemporaryDir logs;  // the pictures' training is not the user's
    MainUnit::Initialize();
    int status = 0;
    {
        SetExplicitPorts({port});
        TMainForm form;
        TrainingPage &page = *form.TrainingTS;
        page.Log().SetFolder(logs.path());
        QElapsedTimer elapsed;
        elapsed.start();
        const qint64 origin = QDateTime::currentSecsSinceEpoch();
        page.SetClock([&] { return static_cast<uint32_t>(origin + elapsed.elapsed() / 1000.0 * speed); });
        form.show();
        if (!WaitFor([&] { return form.IsConnectedView() && form.IsTabShown(&page); }, 10000)) {
            std::fprintf(stderr, "quintavolte-training-shot: no device on %s\n", port.c_str());
            status = 1;
        } else {
            form.MainPC->setCurrentWidget(&page);
            Pump(700);
            page.TrainCycleCountEditEnter();
            page.TrainCycleCountEdit->setText(QStringLiteral("2"));
            page.TrainBeginBitBtnClick();
            // Two cycles of the stand-in's small battery take about 30 hours of its time.
            const int budgetMs = static_cast<int>(40.0 * 3600.0 * 1000.0 / speed) + 5000;
            WaitFor([&] { return page.Running(); }, 3000);
            WaitFor([&] { return elapsed.elapsed() / 1000.0 * speed > 6 * 3600; }, budgetMs);
            bool ok = page.Running() && Save(&form, dir, QStringLiteral("charger-TrainingTS-running"));
            ok = WaitFor([&] { return !page.Running(); }, budgetMs) && ok;
            Pump(700);
            ok = Save(&form, dir, QStringLiteral("charger-TrainingTS-done")) && ok;
            if (!ok) {
                std::fprintf(stderr, "quintavolte-training-shot: the training did not run its course\n");
                status = 1;
            }
        }
        form.close();
    }
    MainUnit::Finalize();
    return status;
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
    const qsizetype speedAt = args.indexOf(QStringLiteral("--speed"));
    bool speedOk = false;
    const double speed = speedAt > 0 && speedAt + 1 < args.size() ? args[speedAt + 1].toDouble(&speedOk) : 0;
    if (!languageOk || !themeOk || args.size() != 6 || portAt < 1 || portAt + 1 >= args.size() || !speedOk ||
        !(speed >= 1)) {
        std::fprintf(
            stderr,
            "usage: quintavolte-training-shot DIR --port PATH --speed F [--lang ru|en] [--theme dark|light|system]\n");
        return 2;
    }
    QString dir;
    for (qsizetype i = 1; i < args.size(); ++i)
        if (i != portAt && i != portAt + 1 && i != speedAt && i != speedAt + 1)
            dir = args[i];
    return Run(QDir(dir), args[portAt + 1].toStdString(), speed);
}
