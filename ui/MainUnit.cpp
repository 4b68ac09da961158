#include "ui/MainUnit.h"

#include "device/ModbusShell.h"
#include "ui/MainForm.h"

std::unique_ptr<MicroTaskManager> TaskManager;
std::unique_ptr<cActionManager> ActionManager;
std::unique_ptr<TGuiHandler> GuiHandler;

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
    // trees: reset the four tree controllers here
    GuiHandler = std::make_unique<TGuiHandler>();
}

void Finalize()
{
    GuiHandler.reset();
    // trees: empty the row pools here (charger settings, peripherals, calibration, service)
    ActionManager.reset();
    TaskManager.reset();
}

}  // namespace MainUnit
