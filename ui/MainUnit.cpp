#include "ui/MainUnit.h"

#include "device/ModbusShell.h"
#include "ui/MainForm.h"
#include "ui/trees/AccuTree.h"
#include "ui/trees/CalibrateTree.h"
#include "ui/trees/PerifTree.h"
#include "ui/trees/ServiceTree.h"

std::unique_ptr<MicroTaskManager> TaskManager;
std::unique_ptr<cActionManager> ActionManager;
std::unique_ptr<TGuiHandler> GuiHandler;
std::unique_ptr<cServiceTree> ServiceTree;
std::unique_ptr<cCalibrateTree> CalibrateTree;
std::unique_ptr<cPerifTree> PerifTree;
std::unique_ptr<cAccuTree> AccuTree;

bool bTimerBusy = false;
bool bExpertMode = false;
bool bUsetEditing = false;
bool bIsetEditing = false;
bool bTrainSettingsEditing = false;
uint32_t TrainStartTime = 0;
uint32_t TrainLastPointTime = 0;

TGuiHandler::TGuiHandler()
{
    TaskManager.Register(this, 0, kGuiHandlerPeriodMs);
}

TGuiHandler::~TGuiHandler()
{
    TaskManager.Unregister(this);
}

void TGuiHandler::Run()
{
    ++Runs;
    if (Form != nullptr)
        Form->GuiHandlerRun();
}

namespace MainUnit {

namespace {
// A lost device is not asked to save its configuration: the flag goes first.
void ConnectionLost()
{
    ActionManager->Identified = false;
    ActionManager->Disconnect();
}
}  // namespace

void Initialize()
{
    bTimerBusy = bExpertMode = bUsetEditing = bIsetEditing = bTrainSettingsEditing = false;
    TrainStartTime = TrainLastPointTime = 0;
    ConsecutiveTimeouts = 0;
    TaskManager = std::make_unique<MicroTaskManager>();
    ActionManager = std::make_unique<cActionManager>();
    ActionManager->Shell.ConnectionLost = &ConnectionLost;
    ActionManager->BuildRegisterMap();
    // No view, no rows until the window binds them.
    ServiceTree = std::make_unique<cServiceTree>(ActionManager.get());
    CalibrateTree = std::make_unique<cCalibrateTree>(ActionManager.get());
    PerifTree = std::make_unique<cPerifTree>(ActionManager.get());
    AccuTree = std::make_unique<cAccuTree>(ActionManager.get());
    GuiHandler = std::make_unique<TGuiHandler>();
}

void Finalize()
{
    GuiHandler.reset();
    // Rows first, in this order, while the variables they refer to still exist.
    if (AccuTree)
        AccuTree->Rows.Clear();
    if (PerifTree)
        PerifTree->Rows.Clear();
    if (CalibrateTree)
        CalibrateTree->Rows.Clear();
    if (ServiceTree)
        ServiceTree->Rows.Clear();
    AccuTree.reset();
    PerifTree.reset();
    CalibrateTree.reset();
    ServiceTree.reset();
    ActionManager.reset();
    TaskManager.reset();
}

}  // namespace MainUnit
