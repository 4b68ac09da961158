// TMainForm: the main window. Menus, the disconnected view (splash) and the connected
// view (the page control), the 10 ms heartbeat, connection control and the refresh that
// GuiHandler runs every 300 ms. The pages own their controls; the window wires them.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <functional>

#include "device/ModbusShell.h"
#include "ui/pages/PresetPages.h"
#include "ui/training/TrainingPage.h"

class QAction;
class QActionGroup;
class QFileDialog;
class QLineEdit;
class QMenu;
class QTabWidget;
class QTimer;
class QLabel;
class QSocketNotifier;
class ChargerMnemoPage;
class TLinkStatsForm;
class TLinkWatch;
class cTreeView;
class SupplyMnemoPage;
class TAboutForm;
class TExpertPasswordForm;
class TDebugViewerForm;
class TPortForm;
class HistoryPage;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // GuiHandler's run: view switch, page refresh, expert mirroring, mode tab sets.
    void GuiHandlerRun();
    void UpdateChargerMnemo();
    void UpdateSupplyMnemo();
    void UpdateTraining();  // filled by the training page
    void RefreshPerifTree();
    void RefreshServiceTree();
    void RefreshCalibTree();
    void RefreshAccuTree();

    void HandlerTimerTimer();
    void ConnectMenuItemClick();
    // Opens the port choice; a port chosen there is connected to at once.
    void PortMenuItemClick();
    // The usual search over this one port (disconnecting first); remembered and tried first
    // from then on when the device answers. The port already connected is left as it is; when
    // the chosen port fails, the previous one is connected again and the operator told. While a search runs, it is cancelled and this
    // port searched after it. False when the device did not answer (the operator is told).
    bool ConnectToPort(const std::string &path);
    // Whether a port search is running (the window keeps working meanwhile).
    bool IsSearching() const { return searching_; }
    void SupplyModeMenuItemClick();
    void DebugMenuItemClick();
    void ExpertMenuItemClick();
    void LoadDebugMenuItemClick();
    void AboutMenuItemClick();
    void SaveSettingsMenuItemClick();
    void LoadSettingsMenuItemClick();
    void LinkStatsMenuItemClick();
    // The port has something for the connection: the shell's turn now, not at the next
    // heartbeat, so a complete reply is taken and the next request sent without delay.
    void LineReady();
    void UpdateLinkStatus();

    // Shows or hides a tab of MainPC, the only way its tabs are shown or hidden: a hidden tab
    // is also disabled; a hidden current tab hands over to the next shown one.
    void SetTabShown(QWidget *page, bool shown);
    bool IsTabShown(QWidget *page) const;
    // Whether the connected view is up (the page control shown).
    bool IsConnectedView() const;

    // Keeps the window's place and the page in front in the settings folder when it closes,
    // and brings that page to front when the connected view first shows it, if the mode and
    // access show it. Off until the program turns it on, so tests leave the settings alone.
    void RememberPlace(bool on);

    // The debug dump's save dialog, configured; shown by DebugMenuItemClick.
    QFileDialog *CreateDebugSaveDialog();
    // Tests answer the save dialog with a path (empty = cancelled) instead of showing it.
    std::function<QString()> DebugSaveDialogHook;
    // Tests answer the settings file dialogs (save: true for saving) with a path.
    std::function<QString(bool save)> SettingsFileDialogHook;

    // Menu
    QAction *ConnectMenuItem = nullptr;
    QAction *PortMenuItem = nullptr;
    QMenu *ServiceMenu = nullptr;
    QAction *ServiceMenuItem = nullptr;  // the menu's own item in the menu bar
    QActionGroup *ModeGroup = nullptr;
    QAction *ChargerModeMenuItem = nullptr;
    QAction *SupplyModeMenuItem = nullptr;
    QAction *DebugMenuItem = nullptr;
    QAction *ExpertMenuItem = nullptr;
    QAction *LoadDebugMenuItem = nullptr;
    QAction *SaveSettingsMenuItem = nullptr;
    QAction *LoadSettingsMenuItem = nullptr;
    QAction *LinkStatsMenuItem = nullptr;
    QAction *QuitMenuItem = nullptr;  // Ctrl+Q
    QAction *AboutMenuItem = nullptr;

    // Views and pages
    QWidget *SplashImage = nullptr;
    QTabWidget *MainPC = nullptr;
    ChargerMnemoPage *ChargerMnemoTS = nullptr;
    SupplyMnemoPage *SupplyMnemoTS = nullptr;
    QWidget *BatConfigTS = nullptr;
    QTabWidget *BatConfigPC = nullptr;
    QWidget *FineTuneTS = nullptr;
    PbPresetPage *PbPresetTS = nullptr;
    LiPresetPage *LiPresetTS = nullptr;
    TrainingPage *TrainingTS = nullptr;
    HistoryPage *HistoryTS = nullptr;
    QWidget *PerifTS = nullptr;
    QWidget *CalibrateTS = nullptr;
    QWidget *ExpertTS = nullptr;

    // The parameter trees on their pages, and the expert's name filter over the service tree.
    cTreeView *AccuTreeView = nullptr;
    cTreeView *CalibTreeView = nullptr;
    cTreeView *PerifTreeView = nullptr;
    cTreeView *ServiceTreeView = nullptr;
    QLineEdit *ServiceFilterEdit = nullptr;

    QTimer *HandlerTimer = nullptr;
    QSocketNotifier *LineNotifier = nullptr;
    QLabel *LinkStatusLabel = nullptr;  // in the status bar
    QTimer *LinkStatusTimer = nullptr;
    TLinkStatsForm *LinkStatsForm = nullptr;
    TLinkWatch *LinkWatch = nullptr;  // the way back to a lost device

    TAboutForm *AboutForm = nullptr;
    TExpertPasswordForm *ExpertPasswordForm = nullptr;
    TDebugViewerForm *DebugViewerForm = nullptr;
    TPortForm *PortForm = nullptr;

    // The client area of the design, scaled to the default font.
    static QSize ClientSize();

signals:
    // After the start-up connect attempt has run (found or not).
    void startupConnectDone();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateMenus();
    void CreatePages();
    void CreateTreeViews();  // the views on their pages, bound to the tree controllers
    void BuildTrees();
    void ClearTrees();
    void FormShow();
    void FormClose();
    void EnterDisconnectedView();
    bool EnterConnectedView();
    void RefreshPageInFront();
    void MirrorExpertMode();
    void ShowModeTabs();
    bool ConnectWithBusyCursor();
    // Runs a search (the window served at its pauses, its progress in the caption).
    bool SearchWithBusyCursor(const std::function<bool()> &search);
    void ReportConnectFailure(const QString &after = QString());
    QString AskSettingsFile(bool save);
    void BringBackPage();
    void SavePlace();

    bool shownOnce_ = false;
    bool rememberPlace_ = false;
    bool wasConnected_ = false;  // the connected view came up in this run
    // For a while after the connected view comes up or another page comes to the front,
    // the page is refreshed as its first values come in rather than at the 300 ms refresh,
    // so that it fills at once.
    QElapsedTimer fillWindow_;
    qint64 lastFillRefreshMs_ = 0;
    bool exchangeEnded_ = false;
    void StartFilling();
    void RefreshWhileFilling();
    QString pageToBringBack_, subPageToBringBack_;
    bool searching_ = false;
    bool closeAfterSearch_ = false;  // the window was closed during a search
    std::string portAfterSearch_;    // chosen during a search: searched when it ends
    bool searchCancelled_ = false;   // the last search ended for one of those two
    ModbusShell::LinkStats statusBefore_;
    qint64 statusBeforeMs_ = 0;
};
