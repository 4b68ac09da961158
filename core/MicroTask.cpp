#include "core/MicroTask.h"

#include <algorithm>
#include <mutex>

#include "core/MicroClock.h"

namespace {
// The core and its 16-bit reference count. Handles are taken on the user-interface
// thread; the mutex only keeps a stray handle on another thread from racing.
std::mutex g_coreMutex;
MicroTmCore *g_core = nullptr;
uint16_t g_refs = 0;

constexpr uint32_t kFirstDueMs = 10;
constexpr int32_t kMaxBacklogMs = 1000;

void AddRef()
{
    std::lock_guard<std::mutex> guard(g_coreMutex);
    ++g_refs;
    if (!g_core)
        g_core = new MicroTmCore;
}

void Release()
{
    MicroTmCore *doomed = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_coreMutex);
        if (--g_refs == 0) {
            doomed = g_core;
            g_core = nullptr;
        }
    }
    // The remaining entries go with the core; the tasks themselves are not touched.
    delete doomed;
}
}  // namespace

void MicroTmCore::Register(MicroTaskBase *task, uint16_t divider, uint32_t periodMs)
{
    MicroTaskInfo *info = Tasks.Add();
    if (info) {
        info->Task = task;
        info->Divider = divider;
        info->PeriodMs = periodMs;
        info->Removed = false;
        if (periodMs != 0)
            info->NextDue = GetTickCount32() + kFirstDueMs;
    }
    Cursor = 0;
}

bool MicroTmCore::Unregister(MicroTaskBase *task)
{
    bool found = false;
    {
        CAutoLock guard(Tasks.Lock);
        for (int i = 0; i < Tasks.Count(); ++i) {
            MicroTaskInfo *info = Tasks.At(i);
            if (info && !info->Removed && info->Task == task) {
                info->Task = nullptr;
                info->Removed = true;
                found = true;
                break;
            }
        }
    }
    Cursor = 0;
    return found;
}

bool MicroTmCore::Tick()
{
    const int n = Tasks.Count();
    if (n == 0)
        return false;
    const uint32_t now = GetTickCount32();

    for (int visited = 0; visited < n; ++visited) {
        if (++Cursor >= static_cast<uint32_t>(n)) {
            Cursor = 0;
            ++CycleCount;
        }
        MicroTaskInfo *info = Tasks.At(static_cast<int>(Cursor));
        if (!info)
            continue;  // a nested tick shrank the list meanwhile
        if (info->Removed) {
            Tasks.RemoveAt(static_cast<int>(Cursor));
            return true;
        }
        MicroTaskBase *task = info->Task;
        if (!task)
            continue;
        if (info->PeriodMs != 0) {
            int32_t late = TickDiff(now, info->NextDue);
            if (late < 0)
                continue;
            // Keep the phase when on time; after a stall owe at most one second of turns.
            info->NextDue = now - static_cast<uint32_t>(std::min(late, kMaxBacklogMs)) + info->PeriodMs;
        } else if (info->Divider != 0 && CycleCount % info->Divider != 0) {
            continue;
        }
        // Run without the lock, and without touching the entry afterwards: the task may
        // unregister itself or nest ticks that reshape the list.
        task->Run();
        return true;
    }
    return false;
}

MicroTaskManager::MicroTaskManager()
{
    AddRef();
}
MicroTaskManager::MicroTaskManager(const MicroTaskManager &)
{
    AddRef();
}
MicroTaskManager::~MicroTaskManager()
{
    Release();
}

void MicroTaskManager::Register(MicroTaskBase *task, uint16_t divider, uint32_t periodMs)
{
    if (MicroTmCore *core = Core())
        core->Register(task, divider, periodMs);
}

void MicroTaskManager::Unregister(MicroTaskBase *task)
{
    if (MicroTmCore *core = Core())
        core->Unregister(task);
}

bool MicroTaskManager::Tick()
{
    MicroTmCore *core = Core();
    return core ? core->Tick() : false;
}

MicroTmCore *MicroTaskManager::Core()
{
    std::lock_guard<std::mutex> guard(g_coreMutex);
    return g_core;
}

uint16_t MicroTaskManager::RefCount()
{
    std::lock_guard<std::mutex> guard(g_coreMutex);
    return g_refs;
}

MicroTaskBase::~MicroTaskBase()
{
    // A task registered twice must leave no entry behind that still points at it.
    if (MicroTmCore *core = MicroTaskManager::Core())
        while (core->Unregister(this)) {
        }
}
