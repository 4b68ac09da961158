// Cooperative scheduler: every periodic job is a MicroTaskBase; each Tick() of the
// process-wide core runs at most one task that is due, in rotation.
#pragma once
#include <cstdint>

#include "core/ObjectFactory.h"

class MicroTaskBase;

// One registration.
struct MicroTaskInfo {
    MicroTaskBase *Task = nullptr;  // null once unregistered
    uint16_t Divider = 0;           // divider task: run on passes that are multiples (0, 1: every pass)
    uint32_t PeriodMs = 0;          // 0 = divider task
    uint32_t NextDue = 0;           // tick count at which a period task is next due
    bool Removed = false;           // the next tick that reaches the entry removes it
};

// The single scheduler core, shared by all handles.
class MicroTmCore {
public:
    void Register(MicroTaskBase *task, uint16_t divider, uint32_t periodMs);
    // Marks the first entry of the task; returns whether one was found.
    bool Unregister(MicroTaskBase *task);
    bool Tick();

    uObjectFactoryT<MicroTaskInfo> Tasks;
    uint32_t CycleCount = 0;  // times the cursor has wrapped
    uint32_t Cursor = 0;      // index of the entry looked at last
};

// A handle on the process-wide core: the first handle creates it, the last one frees it.
class MicroTaskManager {
public:
    MicroTaskManager();
    MicroTaskManager(const MicroTaskManager &);
    MicroTaskManager &operator=(const MicroTaskManager &) { return *this; }
    ~MicroTaskManager();

    // periodMs 0 makes a divider task; a period task is first due 10 ms from now.
    void Register(MicroTaskBase *task, uint16_t divider, uint32_t periodMs);
    // Marks the first entry of the task as removed; the tick that reaches it frees it.
    void Unregister(MicroTaskBase *task);
    // Runs at most one due task; true when a task ran or an entry was removed.
    bool Tick();

    // For inspection (tests, diagnostics): the core while any handle exists, else null.
    static MicroTmCore *Core();
    static uint16_t RefCount();
};

// Base of every scheduled task. A task registers itself, as a rule from its
// constructor; destroying it unregisters every entry it still has.
class MicroTaskBase {
public:
    virtual void Run() = 0;

protected:
    MicroTaskBase() = default;
    MicroTaskBase(const MicroTaskBase &) = delete;
    MicroTaskBase &operator=(const MicroTaskBase &) = delete;
    virtual ~MicroTaskBase();

    MicroTaskManager TaskManager;
};
