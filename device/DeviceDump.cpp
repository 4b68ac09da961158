#include "device/DeviceDump.h"

#include "core/MicroClock.h"

namespace {

bool Busy(uint32_t state)
{
    return state == mbsRequested || state == mbsSent;
}
bool Failed(uint32_t state)
{
    return state == mbsTimedOut || state == mbsBadReply;
}

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

// Runs the scheduler until each variable's exchange has ended, and notes how it ended in
// *ended (indexed like variables). An ending is latched when first seen: other tasks of
// the scheduler (a window's refresh) may ask for the variable again right after. False
// when it had to give up.
bool WaitForExchanges(cActionManager &manager, const std::vector<ModbusAction *> &variables, bool wasIdentified,
                      DumpOutcome &outcome, const std::atomic<bool> *stop, std::vector<uint32_t> *ended)
{
    ended->assign(variables.size(), mbsRequested);
    size_t done = 0;
    uint32_t lastProgress = GetTickCount32();
    for (;;) {
        for (size_t i = 0; i < variables.size(); ++i) {
            if (Busy((*ended)[i]) && !Busy(variables[i]->State)) {
                (*ended)[i] = variables[i]->State;
                ++done;
                lastProgress = GetTickCount32();
            }
        }
        if (done == variables.size())
            return true;
        if (stop != nullptr && stop->load()) {
            outcome.Stopped = true;
            return false;
        }
        if ((wasIdentified && !manager.Identified) || !manager.Shell.Port.IsOpen()) {
            outcome.ConnectionLost = wasIdentified;
            return false;
        }
        if (TickDiff(GetTickCount32(), lastProgress) > static_cast<int32_t>(kDumpNoProgressMs))
            return false;
        manager.TickScheduler();
        manager.ServeLineOrRest();
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
    std::vector<uint32_t> ended;
    if (WaitForExchanges(manager, all, wasIdentified, out, stop, &ended)) {
        // A second chance for what failed on the line (a lost or damaged reply); a refusal
        // by the device stands.
        std::vector<ModbusAction *> again;
        std::vector<size_t> where;
        for (size_t i = 0; i < all.size(); ++i)
            if (Failed(ended[i])) {
                again.push_back(all[i]);
                where.push_back(i);
            }
        for (ModbusAction *v : again)
            v->State = mbsRequested;
        std::vector<uint32_t> endedAgain;
        WaitForExchanges(manager, again, wasIdentified, out, stop, &endedAgain);
        for (size_t k = 0; k < where.size(); ++k)
            ended[where[k]] = endedAgain[k];
    }
    std::vector<std::pair<MString, MString>> entries;
    entries.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        out.Unread += ended[i] == mbsDone ? 0 : 1;
        entries.emplace_back(all[i]->Name, all[i]->Value);
    }
    return entries;
}
