#include "device/DeviceDump.h"

#include "core/MicroClock.h"

namespace {

bool Busy(const ModbusAction *v) { return v->State == mbsRequested || v->State == mbsSent; }
bool Failed(const ModbusAction *v) { return v->State == mbsTimedOut || v->State == mbsBadReply; }

std::vector<ModbusAction *> AllVariables(TMbActions &actions)
{
    std::vector<ModbusAction *> all;
    for (int i = 0;; ++i) {
        ModbusAction *variable = actions.At(i);  // the table's lock is held only for the fetch
        if (variable == nullptr)
            return all;
        all.push_back(variable);
    }
}

// Runs the scheduler until none of the variables waits; false when it had to give up.
bool WaitForExchanges(cActionManager &manager, const std::vector<ModbusAction *> &variables, bool wasIdentified,
                      DumpOutcome &outcome, const std::atomic<bool> *stop)
{
    int lastBusy = -1;
    uint32_t lastProgress = GetTickCount32();
    for (;;) {
        int busy = 0;
        for (const ModbusAction *v : variables)
            busy += Busy(v) ? 1 : 0;
        if (busy == 0)
            return true;
        if (stop != nullptr && stop->load()) {
            outcome.Stopped = true;
            return false;
        }
        if ((wasIdentified && !manager.Identified) || !manager.Shell.Port.IsOpen()) {
            outcome.ConnectionLost = wasIdentified;
            return false;
        }
        const uint32_t now = GetTickCount32();
        if (busy != lastBusy) {
            lastBusy = busy;
            lastProgress = now;
        } else if (TickDiff(now, lastProgress) > static_cast<int32_t>(kDumpNoProgressMs)) {
            return false;
        }
        manager.TickScheduler();
        SleepMs(1);
    }
}

}  // namespace

std::vector<std::pair<MString, MString>> CollectDumpEntries(cActionManager &manager, DumpOutcome *outcome,
                                                            const std::atomic<bool> *stop)
{
    DumpOutcome local;
    DumpOutcome &out = outcome != nullptr ? *outcome : local;
    out = DumpOutcome{};
    const std::vector<ModbusAction *> all = AllVariables(manager.Shell.Actions);
    const bool wasIdentified = manager.Identified;
    for (ModbusAction *v : all)
        v->State = mbsRequested;
    if (WaitForExchanges(manager, all, wasIdentified, out, stop)) {
        // A second chance for what failed on the line (a lost or damaged reply); a refusal
        // by the device stands.
        std::vector<ModbusAction *> again;
        for (ModbusAction *v : all)
            if (Failed(v))
                again.push_back(v);
        for (ModbusAction *v : again)
            v->State = mbsRequested;
        WaitForExchanges(manager, again, wasIdentified, out, stop);
    }
    std::vector<std::pair<MString, MString>> entries;
    entries.reserve(all.size());
    for (const ModbusAction *v : all) {
        out.Unread += v->State == mbsDone ? 0 : 1;
        entries.emplace_back(v->Name, v->Value);
    }
    return entries;
}
