#include "ui/app/AppMain.h"
#include "ui/dialogs/FormPlacement.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QSocketNotifier>
#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

#include "port/PortList.h"
#include "ui/MainForm.h"
#include "ui/history/HistoryPage.h"
#include "ui/MainUnit.h"
#include "ui/app/Language.h"
#include "ui/app/QtHooks.h"
#include "ui/app/Theme.h"
#include "ui/app/WindowMemory.h"
#include "device/WriteJournal.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig)
{
    const char c = static_cast<char>(sig);
    (void)!write(g_signalPipe[1], &c, 1);
}

// The signal only wakes the event loop; the window closes from there, as by its close box.
void CatchStopSignals(QWidget *window)
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char c;
        while (read(g_signalPipe[0], &c, 1) > 0) {
        }
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void ShowException(const QString &text)
{
    if (QApplication::instance() != nullptr) {
        QMessageBox::critical(nullptr, ProgramName(), text);
    } else {
        std::fprintf(stderr, "quintavolte: %s\n", text.toLocal8Bit().constData());
    }
}

// An exception thrown by a handler is shown in the framework's box, as one that reaches
// the entry is; the window goes on.
class QuintavolteApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            ShowException(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            ShowException(QString());
        }
        return false;
    }
};

}  // namespace

void SetApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("quintavolte"));
}

void PlaceMainWindow(QWidget &window)
{
    window.adjustSize();
    // Where it stood last time, unless no screen shows that place any more (a screen
    // unplugged, a smaller one): then centred.
    const WindowMemory memory = LoadWindowMemory();
    if (memory.Position && ReachableOnScreens(QRect(*memory.Position, window.size()), ScreenAreas()))
        window.move(*memory.Position);
    else
        CentreOn(&window, nullptr);
}

int RunQuintavolte(int &argc, char **argv, const AppOptions &options, const std::function<void(TMainForm &)> &started)
{
    std::setlocale(LC_ALL, "");
    QuintavolteApplication app(argc, argv);
    SetApplicationIdentity();
    ApplyTheme(options.Theme);
    InstallLanguage(options.Language.value_or(LanguageOf(QLocale::system())));
    SetExplicitPorts(options.Ports);
    SetPreferredPort(RememberedPort());
    SetJournalPath(options.Journal);
    WindowHistoryOptions() = {options.HistoryDb, options.HistoryIntervalS};
    SetDefaultWriteOrigin("window");
    try {
        MainUnit::Initialize();
        ActionManager->SetMaxRead(options.MaxRead);
        ActionManager->LineBaud = options.Baud;
        ActionManager->SetUnitAddress(options.Address);
        ActionManager->SetRtsDirection(options.RtsDirection);
        int status = 0;
        {
            TMainForm form;
            InstallQtMessageHook(&form);
            form.RememberPlace(true);
            CatchStopSignals(&form);
            if (started)
                started(form);
            PlaceMainWindow(form);
            form.show();
            status = QApplication::exec();
        }
        MainUnit::Finalize();
        return status;
    } catch (const std::exception &e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QString());
    }
    MainUnit::Finalize();
    return 0;
}
