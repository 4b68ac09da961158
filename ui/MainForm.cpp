#include "ui/MainForm.h"

#include <QActionGroup>
#include <algorithm>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QDateTime>
#include <QLabel>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include "core/MicroClock.h"
#include "core/Notify.h"
#include "device/DeviceDump.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/dialogs/DebugViewerForm.h"
#include "ui/dialogs/ExpertPasswordForm.h"
#include "ui/LinkWatch.h"
#include "ui/dialogs/LinkStatus.h"
#include "ui/ConnectMessages.h"
#include "ui/MainUnit.h"
#include "ui/pages/PresetPages.h"
#include "ui/app/Language.h"
#include "ui/app/QtHooks.h"
#include "ui/app/WindowMemory.h"
#include "ui/dialogs/WriteRefusal.h"
#include "ui/dialogs/PortForm.h"
#include "ui/dialogs/SettingsMenu.h"
#include "ui/dialogs/JournalForm.h"
#include "ui/pages/SupplyMnemoPage.h"
#include "ui/training/TrainingPage.h"
#include "ui/history/HistoryPage.h"
#include "ui/widgets/MenuKeyboard.h"
#include "ui/widgets/PictureCanvas.h"
#include "values/DebugDump.h"

namespace {

constexpr int kHeartbeatMs = 10;
constexpr int kInFlightRounds = 600;

// A page meant to be filled later: a layout without margins for a view or a form.
QWidget *EmptyPage(const char *name)
{
    auto *page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return page;
}

}  // namespace

QSize TMainForm::ClientSize()
{
    // The design's 594 x 351 assumed a 13-pixel font.
    const double k = std::max(1.0, QFontMetricsF(QGuiApplication::font()).height() / 13.0);
    return QSize(qRound(594 * k), qRound(351 * k));
}

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(ProgramName());
    ensurePicturesLoaded();
    setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.svg")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    CreateMenus();
    CreatePages();
    CreateTreeViews();

    AboutForm = new TAboutForm(this);
    ExpertPasswordForm = new TExpertPasswordForm(this);
    DebugViewerForm = new TDebugViewerForm(this);
    PortForm = new TPortForm(this);
    connect(PortForm, &TPortForm::portChosen, this, [this](const QString &path) {
        if (ActionManager)
            ActionManager->SetUnitAddress(PortForm->ChosenAddress());
        ConnectToPort(path.toStdString());
    });

    HandlerTimer = new QTimer(this);
    HandlerTimer->setInterval(kHeartbeatMs);
    connect(HandlerTimer, &QTimer::timeout, this, &TMainForm::HandlerTimerTimer);
    HandlerTimer->start();

    if (ActionManager) {
        LineNotifier = new QSocketNotifier(ActionManager->LineReadyFd(), QSocketNotifier::Read, this);
        connect(LineNotifier, &QSocketNotifier::activated, this, &TMainForm::LineReady);
        LinkStatsForm = new TLinkStatsForm(*ActionManager, this);
        LinkWatch = new TLinkWatch(this, *ActionManager);
        // Chained, and guarded: the connection may outlive this window.
        QPointer<TMainForm> self(this);
        ModbusShell &shell = ActionManager->Shell;
        shell.ExchangeEnded = [self, previous = shell.ExchangeEnded](ModbusAction &v) {
            if (self)
                self->exchangeEnded_ = true;
            if (previous)
                previous(v);
        };
    }
    connect(MainPC, &QTabWidget::currentChanged, this, &TMainForm::StartFilling);
    LinkStatusLabel = new QLabel(this);
    LinkStatusLabel->setObjectName(QStringLiteral("LinkStatusLabel"));
    statusBar()->addWidget(LinkStatusLabel, 1);
    statusBar()->setSizeGripEnabled(false);
    LinkStatusTimer = new QTimer(this);
    LinkStatusTimer->setInterval(1000);
    connect(LinkStatusTimer, &QTimer::timeout, this, &TMainForm::UpdateLinkStatus);
    LinkStatusTimer->start();
    UpdateLinkStatus();

    if (GuiHandler)
        GuiHandler->Form = this;
}

TMainForm::~TMainForm()
{
    if (GuiHandler && GuiHandler->Form == this)
        GuiHandler->Form = nullptr;
}

void TMainForm::CreateMenus()
{
    // Every item has a letter of its own within its menu, so Alt and that letter reach it;
    // the connect item keeps one letter in both of its captions.
    QMenuBar *bar = menuBar();
    ConnectMenuItem = bar->addAction(tr("Под&ключить"));
    connect(ConnectMenuItem, &QAction::triggered, this, &TMainForm::ConnectMenuItemClick);
    PortMenuItem = bar->addAction(tr("&Порт…"));
    connect(PortMenuItem, &QAction::triggered, this, &TMainForm::PortMenuItemClick);

    // The first letter of the service menu is a Latin C.
    ServiceMenu = bar->addMenu(tr("&Cервис"));
    ServiceMenuItem = ServiceMenu->menuAction();
    ModeGroup = new QActionGroup(this);
    ModeGroup->setExclusive(true);
    ChargerModeMenuItem = ServiceMenu->addAction(tr("Режим &ЗУ"));
    SupplyModeMenuItem = ServiceMenu->addAction(tr("Режим &ИП"));
    for (QAction *item : {ChargerModeMenuItem, SupplyModeMenuItem}) {
        item->setCheckable(true);
        ModeGroup->addAction(item);
        connect(item, &QAction::triggered, this, &TMainForm::SupplyModeMenuItemClick);
    }
    ChargerModeMenuItem->setChecked(true);
    ServiceMenu->addSeparator();
    DebugMenuItem = ServiceMenu->addAction(tr("&Отладка"));
    connect(DebugMenuItem, &QAction::triggered, this, &TMainForm::DebugMenuItemClick);
    ExpertMenuItem = ServiceMenu->addAction(tr("&Эксперт"));
    connect(ExpertMenuItem, &QAction::triggered, this, &TMainForm::ExpertMenuItemClick);
    LoadDebugMenuItem = ServiceMenu->addAction(tr("&Просмотр дампа"));
    LoadDebugMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    LoadDebugMenuItem->setVisible(false);
    connect(LoadDebugMenuItem, &QAction::triggered, this, &TMainForm::LoadDebugMenuItemClick);
    ServiceMenu->addSeparator();
    SaveSettingsMenuItem = ServiceMenu->addAction(tr("&Сохранить настройки…"));
    connect(SaveSettingsMenuItem, &QAction::triggered, this, &TMainForm::SaveSettingsMenuItemClick);
    LoadSettingsMenuItem = ServiceMenu->addAction(tr("За&грузить настройки…"));
    connect(LoadSettingsMenuItem, &QAction::triggered, this, &TMainForm::LoadSettingsMenuItemClick);
    ServiceMenu->addSeparator();
    LinkStatsMenuItem = ServiceMenu->addAction(tr("Связь с &устройством…"));
    connect(LinkStatsMenuItem, &QAction::triggered, this, &TMainForm::LinkStatsMenuItemClick);
    // Who changed what on the device, and when.
    ServiceMenu->addAction(tr("&Журнал записей…"), this, [this] { ShowJournalForm(this); })
        ->setObjectName(QStringLiteral("JournalMenuItem"));
    ServiceMenu->addSeparator();
    // Closes as the close box does. The window holds it too, so Ctrl+Q works while the
    // service menu is hidden.
    QuitMenuItem = ServiceMenu->addAction(tr("&Выход"));
    // Ctrl+Q where the platform names no key of its own (the offscreen one names none).
    QList<QKeySequence> quit = QKeySequence::keyBindings(QKeySequence::Quit);
    if (quit.isEmpty())
        quit << QKeySequence(Qt::CTRL | Qt::Key_Q);
    QuitMenuItem->setShortcuts(quit);
    QuitMenuItem->setShortcutContext(Qt::WindowShortcut);
    addAction(QuitMenuItem);
    connect(QuitMenuItem, &QAction::triggered, this, &QWidget::close);
    ServiceMenuItem->setVisible(false);

    AboutMenuItem = bar->addAction(tr("&О программе"));
    connect(AboutMenuItem, &QAction::triggered, this, &TMainForm::AboutMenuItemClick);

    EnableMenuKeyboard(bar);
}

void TMainForm::CreatePages()
{
    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    // The front panel as printed for the operator's language.
    SplashImage =
        new PictureCanvas(CurrentLanguage() == UiLanguage::Russian ? QStringLiteral(":/pictures/splash.svg")
                                                                   : QStringLiteral(":/pictures/splash_en.svg"),
                          central);
    SplashImage->setAutoFillBackground(true);
    SplashImage->setPalette(QPalette(QColor(0xEC, 0xEF, 0xF1)));
    SplashImage->setObjectName(QStringLiteral("SplashImage"));
    MainPC = new QTabWidget(central);
    MainPC->setObjectName(QStringLiteral("MainPC"));
    // The splash lies under the page control: with few tabs shown it would peek out beside them.
    MainPC->setAutoFillBackground(true);
    grid->addWidget(SplashImage, 0, 0);
    grid->addWidget(MainPC, 0, 0);
    setCentralWidget(central);

    ChargerMnemoTS = new ChargerMnemoPage;
    SupplyMnemoTS = new SupplyMnemoPage;
    BatConfigTS = new QWidget;
    BatConfigTS->setObjectName(QStringLiteral("BatConfigTS"));
    auto *batLayout = new QVBoxLayout(BatConfigTS);
    batLayout->setContentsMargins(0, 0, 0, 0);
    BatConfigPC = new QTabWidget(BatConfigTS);
    BatConfigPC->setObjectName(QStringLiteral("BatConfigPC"));
    batLayout->addWidget(BatConfigPC);
    FineTuneTS = EmptyPage("FineTuneTS");
    PbPresetTS = new PbPresetPage(*ActionManager);
    LiPresetTS = new LiPresetPage(*ActionManager);
    BatConfigPC->addTab(FineTuneTS, tr("Настройка зарядного устройства"));
    BatConfigPC->addTab(PbPresetTS, tr("Pb-Acid АКБ"));
    BatConfigPC->addTab(LiPresetTS, tr("LiPo, LFP АКБ"));
    TrainingTS = new TrainingPage(*ActionManager, bTrainSettingsEditing, TrainStartTime, TrainLastPointTime);
    // Entering the lithium cell count counts as entering the training settings.
    connect(LiPresetTS, &LiPresetPage::CellCountEntered, TrainingTS, &TrainingPage::TrainCycleCountEditEnter);
    PerifTS = EmptyPage("PerifTS");
    CalibrateTS = EmptyPage("CalibrateTS");
    ExpertTS = EmptyPage("ExpertTS");

    MainPC->addTab(ChargerMnemoTS, tr("Мнемосхема ЗУ"));
    MainPC->addTab(SupplyMnemoTS, tr("Мнемосхема ИП"));
    MainPC->addTab(BatConfigTS, tr("Конфигурирование ЗУ"));
    MainPC->addTab(TrainingTS, tr("Диагностика АКБ"));
    HistoryTS = AttachHistoryPage(MainPC, ServiceMenu, *ActionManager);
    MainPC->addTab(PerifTS, tr("Периферия"));
    MainPC->addTab(CalibrateTS, tr("Калибровка АЦП"));
    MainPC->addTab(ExpertTS, tr("Эксперт"));
    MainPC->setCurrentIndex(0);
    MainPC->hide();

    // The client area of the design, widened when the six tabs of charger and expert mode
    // would not fit side by side in the default font.
    SetTabShown(SupplyMnemoTS, false);
    const int tabs = MainPC->tabBar()->sizeHint().width();
    SetTabShown(SupplyMnemoTS, true);
    QSize client = ClientSize();
    client.setWidth(std::max(client.width(), tabs + 8));
    central->setFixedSize(client);
    // Fixed single border: the window keeps the size its contents give it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

// --- heartbeat -------------------------------------------------------------------------

void TMainForm::HandlerTimerTimer()
{
    if (bTimerBusy)
        return;
    bTimerBusy = true;
    if (TaskManager)
        TaskManager->Tick();
    RefreshWhileFilling();
    QCoreApplication::processEvents();
    bTimerBusy = false;
}

void TMainForm::LineReady()
{
    // A turn of the shell never blocks; it only takes a complete reply and sends the next
    // request, so it may run inside a blocking command's ticks too.
    if (ActionManager)
        ActionManager->ServeLine(0);
}

void TMainForm::UpdateLinkStatus()
{
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (!ActionManager)
        return;
    const ModbusShell::LinkStats now = ActionManager->Stats();
    const QString port = QString::fromStdString(ActionManager->DevicePath());
    const double seconds = statusBeforeMs_ > 0 ? (nowMs - statusBeforeMs_) / 1000.0 : 0;
    LinkStatusLabel->setText(LinkStatusText(now, statusBefore_, seconds, port));
    statusBefore_ = now;
    statusBeforeMs_ = nowMs;
}

void TMainForm::LinkStatsMenuItemClick()
{
    if (LinkStatsForm) {
        LinkStatsForm->show();
        LinkStatsForm->raise();
    }
}

// --- start, close, connection ----------------------------------------------------------

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    // Let the window paint once before the port search blocks it.
    QTimer::singleShot(0, this, &TMainForm::FormShow);
}

void TMainForm::FormShow()
{
    // The page in front asks for its values at once rather than at the next refresh.
    if (ConnectWithBusyCursor())
        GuiHandlerRun();
    emit startupConnectDone();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (searching_) {
        // The search runs below this event: it ends with the port it is trying (a device
        // found there is asked to save as the window closes), then the window closes.
        ActionManager->Connection.StopAfterPort = true;
        closeAfterSearch_ = true;
        event->ignore();
        return;
    }
    SavePlace();
    FormClose();
    AboutForm->close();
    DebugViewerForm->close();
    QMainWindow::closeEvent(event);
}

void TMainForm::FormClose()
{
    ClearTrees();
    if (ActionManager)
        ActionManager->Disconnect();
}

bool TMainForm::ConnectWithBusyCursor()
{
    return SearchWithBusyCursor([] { return ActionManager->Connect(); });
}

bool TMainForm::SearchWithBusyCursor(const std::function<bool()> &search)
{
    if (!ActionManager || searching_)
        return false;
    searching_ = true;
    // The window takes input during the search: no control of the connected view may reach
    // the port being probed, so that view goes now rather than at the next refresh.
    if (IsConnectedView())
        EnterDisconnectedView();
    ConnectMenuItem->setEnabled(false);
    // The window stays usable during the search: a busy cursor, not a wait cursor.
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    const QString title = windowTitle();
    // Each pause of the search serves the window (paint, input, timers) with the heartbeat
    // held off: the search ticks the scheduler itself, and a tick must not nest in it.
    auto serveWindow = [this] {
        const bool wasBusy = bTimerBusy;
        bTimerBusy = true;
        QCoreApplication::processEvents();
        bTimerBusy = wasBusy;
    };
    ConnectionController &connection = ActionManager->Connection;
    connection.OnTryPort = [this, title, serveWindow](const std::string &path) {
        setWindowTitle(tr("%1 — поиск устройства: %2").arg(title, QString::fromStdString(path)));
        serveWindow();
    };
    connection.OnSearchWait = serveWindow;
    const bool found = search();
    connection.OnTryPort = nullptr;
    connection.OnSearchWait = nullptr;
    setWindowTitle(title);
    QGuiApplication::restoreOverrideCursor();
    ConnectMenuItem->setEnabled(true);
    searching_ = false;
    if (ActionManager->Identified)
        connection.RememberOpenPort();  // tried first next time
    searchCancelled_ = closeAfterSearch_ || !portAfterSearch_.empty();
    if (closeAfterSearch_) {
        closeAfterSearch_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    } else if (!portAfterSearch_.empty()) {
        std::string path;
        path.swap(portAfterSearch_);
        QTimer::singleShot(0, this, [this, path] { ConnectToPort(path); });
    }
    return found;
}

void TMainForm::ConnectMenuItemClick()
{
    if (searching_)
        return;
    if (ActionManager->Identified) {
        ActionManager->Disconnect();
        return;
    }
    if (!ConnectWithBusyCursor() && !searchCancelled_)
        ReportConnectFailure();
}

void TMainForm::PortMenuItemClick()
{
    PortForm->Refresh(ActionManager ? QString::fromStdString(ActionManager->DevicePath()) : QString());
    PortForm->SelectConnectedPort();  // Enter keeps the connection as it is
    if (ActionManager)
        PortForm->SetAddress(ActionManager->UnitAddress());
    PortForm->open();
}

bool TMainForm::ConnectToPort(const std::string &path)
{
    if (!ActionManager || path.empty())
        return false;
    if (searching_) {
        portAfterSearch_ = path;
        ActionManager->Connection.CancelSearch = true;
        return false;
    }
    // The port in use, chosen again, stays as it is (no search, the view kept).
    if (ActionManager->Connection.OnPort(path))
        return true;
    ConnectionController::Choice choice;
    SearchWithBusyCursor([&choice, &path] {
        choice = ActionManager->Connection.ConnectToPort(path);
        return choice.Found;
    });
    if (choice.Found || choice.Cancelled)
        return choice.Found;
    ReportConnectFailure(PreviousPortText(choice));
    return false;
}

void TMainForm::ReportConnectFailure(const QString &after)
{
    const ConnectionController &connection = ActionManager->Connection;
    ShowMessageBox(
        ConnectFailureText(connection.TriedPorts, GroupRefusedPorts(connection.RefusedPorts), after).toStdU16String());
}

void TMainForm::AboutMenuItemClick()
{
    AboutForm->ShowCentredOn(this);
}

// --- refresh ---------------------------------------------------------------------------

bool TMainForm::IsConnectedView() const
{
    return !MainPC->isHidden();
}

bool TMainForm::IsTabShown(QWidget *page) const
{
    const int index = MainPC->indexOf(page);
    return index >= 0 && MainPC->isTabVisible(index) && MainPC->isTabEnabled(index);
}

void TMainForm::SetTabShown(QWidget *page, bool shown)
{
    const int index = MainPC->indexOf(page);
    if (index < 0 || (MainPC->isTabVisible(index) == shown && MainPC->isTabEnabled(index) == shown))
        return;
    const bool wasCurrent = MainPC->currentIndex() == index;
    // A hidden tab that stays enabled is still reached by the wheel, the arrow keys and
    // Ctrl+Tab: the pages behind the access codes would open without them.
    MainPC->setTabEnabled(index, shown);
    MainPC->setTabVisible(index, shown);
    if (shown || !wasCurrent)
        return;
    // The tab that takes the hidden one's place: the next shown, else the last shown before it.
    for (int i = index + 1; i < MainPC->count(); ++i)
        if (IsTabShown(MainPC->widget(i))) {
            MainPC->setCurrentIndex(i);
            return;
        }
    for (int i = index - 1; i >= 0; --i)
        if (IsTabShown(MainPC->widget(i))) {
            MainPC->setCurrentIndex(i);
            return;
        }
}

void TMainForm::GuiHandlerRun()
{
    if (!ActionManager->Identified) {
        if (IsConnectedView())
            EnterDisconnectedView();
        return;
    }
    if (!IsConnectedView()) {
        if (!EnterConnectedView())
            return;
        StartFilling();
    }
    RefreshPageInFront();
    MirrorExpertMode();
    QWidget *front = MainPC->currentWidget();
    ShowModeTabs();
    if (MainPC->currentWidget() != front)
        RefreshPageInFront();  // the mode's own page asks for its values now, not at the next refresh
    wasConnected_ = true;
    BringBackPage();
}

void TMainForm::RememberPlace(bool on)
{
    rememberPlace_ = on;
    pageToBringBack_.clear();
    subPageToBringBack_.clear();
    if (!on)
        return;
    const WindowMemory memory = LoadWindowMemory();
    pageToBringBack_ = memory.Page;
    subPageToBringBack_ = memory.SubPage;
}

void TMainForm::BringBackPage()
{
    // Once, after the mode and the access have set the tabs: a page they hide stays hidden.
    if (pageToBringBack_.isEmpty())
        return;
    for (int i = 0; i < MainPC->count(); ++i)
        if (MainPC->widget(i)->objectName() == pageToBringBack_ && IsTabShown(MainPC->widget(i)))
            MainPC->setCurrentIndex(i);
    for (int i = 0; i < BatConfigPC->count(); ++i)
        if (BatConfigPC->widget(i)->objectName() == subPageToBringBack_)
            BatConfigPC->setCurrentIndex(i);
    pageToBringBack_.clear();
    subPageToBringBack_.clear();
}

void TMainForm::SavePlace()
{
    if (!rememberPlace_)
        return;
    WindowMemory memory = LoadWindowMemory();
    memory.Position = pos();
    memory.Size = size();
    // A run that never showed the device's pages keeps the page of the last one that did.
    if (wasConnected_) {
        memory.Page = MainPC->currentWidget()->objectName();
        memory.SubPage = BatConfigPC->currentWidget()->objectName();
    }
    SaveWindowMemory(memory);
}

void TMainForm::EnterDisconnectedView()
{
    MainPC->hide();
    ServiceMenuItem->setVisible(false);
    ConnectMenuItem->setText(tr("Под&ключить"));
    ClearTrees();
    SupplyMnemoTS->ForgetSetpoints();  // the next device's set-points are not these
}

bool TMainForm::EnterConnectedView()
{
    ActionManager->RequestRead(MString(u"Reg.bForceLoadOff,Reg.TrainingCycleCount"));
    if (ActionManager->GetValue(MString(u"Reg.bModeCharger")).Equals(u"--"))
        return false;
    ConnectMenuItem->setText(tr("От&ключить"));
    MainPC->show();
    ServiceMenuItem->setVisible(true);
    BuildTrees();
    return true;
}

void TMainForm::StartFilling()
{
    fillWindow_.start();
}

void TMainForm::RefreshWhileFilling()
{
    constexpr qint64 kFillWindowMs = 1500, kFillRefreshMs = 20;
    if (!exchangeEnded_ || !fillWindow_.isValid() || fillWindow_.elapsed() > kFillWindowMs)
        return;
    const qint64 now = fillWindow_.elapsed();
    if (now - lastFillRefreshMs_ < kFillRefreshMs && lastFillRefreshMs_ <= now)
        return;
    exchangeEnded_ = false;
    lastFillRefreshMs_ = now;
    if (ActionManager && ActionManager->Identified && IsConnectedView())
        RefreshPageInFront();
}

void TMainForm::RefreshPageInFront()
{
    QWidget *front = MainPC->currentWidget();
    if (front == PerifTS)
        RefreshPerifTree();
    else if (front == ExpertTS)
        RefreshServiceTree();
    else if (front == CalibrateTS)
        RefreshCalibTree();
    else if (front == ChargerMnemoTS)
        UpdateChargerMnemo();
    else if (front == SupplyMnemoTS)
        UpdateSupplyMnemo();
    else if (front == BatConfigTS && BatConfigPC->currentWidget() == FineTuneTS)
        RefreshAccuTree();
}

void TMainForm::MirrorExpertMode()
{
    if (IsTabShown(ExpertTS) == bExpertMode)
        return;
    SetTabShown(ExpertTS, bExpertMode);
    SetTabShown(CalibrateTS, bExpertMode);
    LoadDebugMenuItem->setVisible(bExpertMode);
}

void TMainForm::ShowModeTabs()
{
    ModbusAction *mode = ActionManager->Variable(MString(u"Reg.bModeCharger"));
    if (mode == nullptr || mode->Value.Equals(u"--"))
        return;
    const bool charger = mode->Value.ToInt() != 0;
    if (charger) {
        ModbusAction *cycles = ActionManager->Variable(MString(u"Reg.TrainingCycleCount"));
        if (MainPC->currentWidget() == TrainingTS || (cycles != nullptr && cycles->Value.ToInt() != 0))
            UpdateTraining();
    }
    if (IsTabShown(ChargerMnemoTS) != charger) {
        SetTabShown(ChargerMnemoTS, charger);
        SetTabShown(BatConfigTS, charger);
        SetTabShown(TrainingTS, charger);
        if (charger)
            MainPC->setCurrentWidget(ChargerMnemoTS);
    }
    if (IsTabShown(SupplyMnemoTS) == charger) {
        SetTabShown(SupplyMnemoTS, !charger);
        if (!charger)
            MainPC->setCurrentWidget(SupplyMnemoTS);
    }
    (charger ? ChargerModeMenuItem : SupplyModeMenuItem)->setChecked(true);
}

void TMainForm::UpdateChargerMnemo()
{
    ChargerMnemoTS->Update();
}

void TMainForm::UpdateSupplyMnemo()
{
    SupplyMnemoTS->Update();
}

void TMainForm::UpdateTraining()
{
    TrainingTS->UpdateTraining();
}

// The parameter trees' refresh is in MainFormTrees.cpp.

// --- service menu ----------------------------------------------------------------------

void TMainForm::SupplyModeMenuItemClick()
{
    ModbusAction *mode = ActionManager->Variable(MString(u"Reg.bModeCharger"));
    if (mode == nullptr) {
        ShowMessageBox(u"Reg.bModeCharger");
        return;
    }
    const double value = ChargerModeMenuItem->isChecked() ? 1 : 0;
    // A read of the mode still under way would end as "done" on its reply and swallow the
    // queued write: let it finish first (bounded by the reply timeout).
    ActionManager->AwaitExchange(mode, kInFlightRounds);
    // Queued: the next polling turn writes it, the next refresh shows the new tab set.
    RequestWriteOrExplain(ActionManager->Shell, mode, MString::FromReal(value, 10, 5));
}

QFileDialog *TMainForm::CreateDebugSaveDialog()
{
    auto *dialog = new QFileDialog(this, tr("Сохранение отладочного дампа"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(QStringLiteral("Quintavolte debug file (*.debug)"));
    dialog->setDefaultSuffix(QStringLiteral("debug"));
    dialog->selectFile(QStringLiteral("Quintavolte.debug"));
    return dialog;
}

void TMainForm::DebugMenuItemClick()
{
    QString path;
    if (DebugSaveDialogHook) {
        path = DebugSaveDialogHook();
    } else {
        path = RunFileDialog(CreateDebugSaveDialog());
    }
    if (path.isEmpty())
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    DumpOutcome outcome;
    const auto entries = CollectDumpEntries(*ActionManager, &outcome);
    // A dump cut short by a lost link is not worth the file it would replace; a save that
    // failed or a dump with unread variables must not pass for a whole one.
    const bool saved = !outcome.ConnectionLost && SaveDebugDump(FromQString(path), entries);
    QGuiApplication::restoreOverrideCursor();
    if (outcome.ConnectionLost)
        ShowMessageBox(tr("Связь с устройством потеряна: дамп не сохранен.").toStdU16String());
    else if (!saved)
        ShowMessageBox(tr("Не удалось записать файл %1").arg(path).toStdU16String());
    else if (outcome.Unread > 0)
        ShowMessageBox(tr("Дамп сохранен, но %1 из %2 переменных прочитать не удалось.")
                           .arg(outcome.Unread)
                           .arg(entries.size())
                           .toStdU16String());
}

void TMainForm::LoadDebugMenuItemClick()
{
    DebugViewerForm->ShowCentredOn(this);
}

void TMainForm::ExpertMenuItemClick()
{
    if (ExpertPasswordForm->exec() != QDialog::Accepted)
        return;
    const QString code = ExpertPasswordForm->ExpertPassEdit->text();
    if (code == QLatin1String(TExpertPasswordForm::kExpertCode)) {
        ExpertMenuItem->setVisible(false);
        bExpertMode = true;
    } else if (code == QLatin1String(TExpertPasswordForm::kCalibrationCode)) {
        SetTabShown(CalibrateTS, true);
    } else {
        ShowMessageBox(tr("Неверный пароль эксперта. Доступ к сервисным функциям запрещен.").toStdU16String());
    }
}

// --- settings file ---------------------------------------------------------------------

QString TMainForm::AskSettingsFile(bool save)
{
    if (SettingsFileDialogHook)
        return SettingsFileDialogHook(save);
    const QString filter = tr("Настройки Quintavolte (*.txt);;Все файлы (*)");
    return save ? QFileDialog::getSaveFileName(this, tr("Сохранение настроек"),
                                               QStringLiteral("Quintavolte-settings.txt"), filter)
                : QFileDialog::getOpenFileName(this, tr("Загрузка настроек"), QString(), filter);
}

void TMainForm::SaveSettingsMenuItemClick()
{
    if (!ActionManager->Identified)
        return;
    const QString path = AskSettingsFile(true);
    if (!path.isEmpty())
        SaveSettingsToFile(this, *ActionManager, path);
}

void TMainForm::LoadSettingsMenuItemClick()
{
    if (!ActionManager->Identified)
        return;
    const QString path = AskSettingsFile(false);
    if (!path.isEmpty())
        LoadSettingsFromFile(this, *ActionManager, path);
}
