// The window program's process-wide objects and flags: created before the main window,
// destroyed after the event loop, in a fixed order (the scheduler outlives every task).
#pragma once

#include <cstdint>
#include <memory>

#include "core/MicroTask.h"
#include "device/ActionManager.h"

class TMainForm;
class cAccuTree;
class cCalibrateTree;
class cPerifTree;
class cServiceTree;

// The periodic refresh of the main window (every 300 ms). Does nothing while no main
// window is attached.
class TGuiHandler : public MicroTaskBase {
public:
    TGuiHandler();
    ~TGuiHandler() override;
    void Run() override;
    TMainForm *Form = nullptr;
    // Runs so far: tests wait for a number of refreshes instead of a time.
    uint32_t Runs = 0;
};

namespace MainUnit {
// Scheduler handle, device connection with its table, the lost-link hook, GuiHandler.
void Initialize();
// GuiHandler off the scheduler, the device connection, then the scheduler handle.
void Finalize();
}  // namespace MainUnit

extern std::unique_ptr<MicroTaskManager> TaskManager;
extern std::unique_ptr<cActionManager> ActionManager;
extern std::unique_ptr<TGuiHandler> GuiHandler;
// The four tree controllers; the window binds them to its views.
extern std::unique_ptr<cServiceTree> ServiceTree;
extern std::unique_ptr<cCalibrateTree> CalibrateTree;
extern std::unique_ptr<cPerifTree> PerifTree;
extern std::unique_ptr<cAccuTree> AccuTree;

// Window state shared by several pages.
extern bool bTimerBusy;
extern bool bExpertMode;
extern bool bUsetEditing;
extern bool bIsetEditing;
extern bool bTrainSettingsEditing;
extern uint32_t TrainStartTime;
extern uint32_t TrainLastPointTime;

constexpr uint32_t kGuiHandlerPeriodMs = 300;
