// The window program as it starts (the application set up by the program's own entry, the
// main window shown and connected to the stand-in): the caption of every window, dialog and
// message box as the window system shows it.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <functional>
#include <memory>

#include "core/Notify.h"
#include "ui/MainForm.h"
#include "ui/UiFixture.h"
#include "ui/app/AppMain.h"
#include "ui/app/QtHooks.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/DebugViewerForm.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "ui/dialogs/LinkStatus.h"
#include "ui/dialogs/PortForm.h"
#include "ui/training/TrainingPage.h"

using namespace uitest;

namespace {

// A window's caption as the window system shows it: the platform windows end a top-level
// window's title with " — " and the application's display name when one has been set and
// the title does not already end with it.
QString Shown(const QString &title)
{
    const QString name = QGuiApplication::applicationDisplayName();
    const bool set = name != QCoreApplication::applicationName();
    return set && !title.endsWith(name) ? title + QStringLiteral(" — ") + name : title;
}

// The caption of the modal window that `open` shows, which is then closed; empty when none
// showed.
QString ModalCaption(const std::function<void()> &open)
{
    QString caption;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            caption = Shown(box->windowTitle());
            if (auto *dialog = qobject_cast<QDialog *>(box))
                dialog->reject();
        }
    });
    poll.start(20);
    open();
    return caption;
}

}  // namespace

class WindowCaptionsTest : public QObject {
    Q_OBJECT
public:
    TMainForm *form = nullptr;
    QStringList titles;  // every title the main window had, from before it was shown
    std::string port;

private slots:
    void windowsAndDialogsAreCaptionedAsDesigned()
    {
        QTRY_VERIFY_WITH_TIMEOUT(form->MainPC->isVisible(), 10000);
        const QString program = QStringLiteral("Quintavolte Control");
        const QString searching = program + QStringLiteral(" — поиск устройства: ") + QString::fromStdString(port);
        QVERIFY2(titles.contains(searching), qPrintable(titles.join(QLatin1Char('|'))));
        for (const QString &title : titles)
            QVERIFY2(Shown(title) == program || Shown(title) == searching, qPrintable(Shown(title)));

        std::unique_ptr<QFileDialog> debugSave(form->CreateDebugSaveDialog());
        std::unique_ptr<QFileDialog> debugOpen(form->DebugViewerForm->CreateDebugOpenDialog());
        const struct {
            QWidget *window;
            const char *caption;
        } windows[] = {
            {form, "Quintavolte Control"},
            {form->AboutForm, "О программе"},
            {form->ExpertPasswordForm, "Введите пароль"},
            {form->DebugViewerForm, "View Debug Dump"},
            {form->LinkStatsForm, "Связь с устройством"},
            {form->PortForm, "Порт устройства"},
            {debugSave.get(), "Сохранение отладочного дампа"},
            {debugOpen.get(), "Загрузить отладочный дамп"},
        };
        for (const auto &w : windows) {
            QVERIFY(w.window != nullptr);
            QCOMPARE(Shown(w.window->windowTitle()), QString::fromUtf8(w.caption));
        }
    }

    // The file dialogs shown straight from their buttons and menu items.
    void fileDialogsAreCaptionedAsDesigned()
    {
        QTRY_VERIFY_WITH_TIMEOUT(form->MainPC->isVisible(), 10000);
        TrainingPage *training = form->TrainingTS;
        const struct {
            std::function<void()> open;
            const char *caption;
        } dialogs[] = {
            {[&] { training->SaveChartButton->click(); }, "Сохранить график"},
            {[&] { training->OpenLogButton->click(); }, "Открыть журнал"},
            {[&] { form->SaveSettingsMenuItem->trigger(); }, "Сохранение настроек"},
            {[&] { form->LoadSettingsMenuItem->trigger(); }, "Загрузка настроек"},
        };
        for (const auto &d : dialogs)
            QCOMPARE(ModalCaption(d.open), QString::fromUtf8(d.caption));
    }

    // A message from below the window carries the program's name; a question its own caption.
    void messageBoxesAreCaptionedAsDesigned()
    {
        QCOMPARE(ModalCaption([] {
                     ShowMessageBox(
                         u"Устройство Quintavolte не подключено к этому компьютеру либо порт занят другой программой!");
                 }),
                 QStringLiteral("Quintavolte Control"));
        QCOMPARE(ModalCaption([this] {
                     AskYesNo(form, QStringLiteral("Внимание!"), QStringLiteral("Задать напряжение 20 В ?"));
                 }),
                 QStringLiteral("Внимание!"));
    }
};

// The program's own entry runs the window; the tests run inside its event loop.
int main(int argc, char **argv)
{
    StandIn sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "the stand-in did not start: %s\n", sim.Stderr().c_str());
        return 1;
    }
    AppOptions options;
    options.Ports = {sim.Path()};
    WindowCaptionsTest tests;
    tests.port = sim.Path();
    int status = 1;
    RunQuintavolte(argc, argv, options, [&](TMainForm &form) {
        tests.form = &form;
        tests.titles << form.windowTitle();
        QObject::connect(&form, &QWidget::windowTitleChanged, [&tests](const QString &t) { tests.titles << t; });
        QTimer::singleShot(0, &form, [&] {
            status = QTest::qExec(&tests, argc, argv);
            form.close();
        });
    });
    return status;
}

#include "WindowCaptions_test.moc"
