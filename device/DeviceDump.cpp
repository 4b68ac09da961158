#include "device/DeviceDump.h"

#include "core/MicroClock.h"

namespace {

bool SomeValueUnread(TMbActions &actions)
{
    for (int i = 0;; ++i) {
        ModbusAction *variable = actions.At(i);
        if (variable == nullptr)
            return false;
        if (variable->Value.Equals(u"--"))
            return true;
    }
}

}  // namespace

std::vector<std::pair<MString, MString>> CollectDumpEntries(cActionManager &manager)
{
    TMbActions &actions = manager.Shell.Actions;
    for (int i = 0;; ++i) {
        ModbusAction *variable = actions.At(i);
        if (variable == nullptr)
            break;
        variable->State = mbsRequested;
    }
    for (int pass = 0; pass < kDumpMaxPasses; ++pass) {
        manager.TickScheduler();
        if (!SomeValueUnread(actions))
            break;
        SleepMs(1);
    }
    std::vector<std::pair<MString, MString>> entries;
    for (int i = 0;; ++i) {
        ModbusAction *variable = actions.At(i);  // the table's lock is held only for the fetch
        if (variable == nullptr)
            break;
        entries.emplace_back(variable->Name, variable->Value);
    }
    return entries;
}
