#include "device/SettingsTransfer.h"

#include "core/MicroClock.h"

namespace {

// Per exchange: the 500 ms reply timeout plus the silence and a scheduler turn or two.
constexpr uint32_t kPerVariableMs = 700;

bool Busy(const ModbusAction *v) { return v->State == mbsRequested || v->State == mbsSent; }

// Ticks the scheduler until none of the variables waits for its exchange; false when the
// link went or the bound passed first.
bool WaitSettled(cActionManager &manager, const std::vector<ModbusAction *> &variables, uint32_t timeoutMs)
{
    const uint32_t start = GetTickCount32();
    for (;;) {
        bool busy = false;
        for (const ModbusAction *v : variables)
            busy = busy || Busy(v);
        if (!busy)
            return true;
        if (!manager.Identified || TickDiff(GetTickCount32(), start) > int32_t(timeoutMs))
            return false;
        manager.TickScheduler();
        SleepMs(1);
    }
}

std::string Why(const ModbusAction *v)
{
    switch (v->State) {
    case mbsException: return "refused by the device (exception reply)";
    case mbsTimedOut: return "no reply";
    default: return "no answer (connection lost)";
    }
}

ModbusAction *Find(cActionManager &manager, const std::string &name)
{
    return manager.Shell.FindVariable(MString::FromUtf8(name));
}

}  // namespace

std::string ConnectedDeviceType(cActionManager &manager)
{
    ModbusAction *type = manager.Shell.FindVariable(MString(u"DeviceType"));
    return type != nullptr ? type->Value.ToUtf8() : std::string();
}

bool ReadDeviceSettings(cActionManager &manager, std::vector<std::pair<std::string, std::string>> *values,
                        std::vector<std::string> *unread)
{
    std::vector<ModbusAction *> vars;
    for (const MbVariableRow *row : DeviceSettings(manager.VersionX100))
        if (ModbusAction *v = manager.Shell.FindVariable(MString(row->Name)))
            vars.push_back(v);
    for (ModbusAction *v : vars)
        v->State = mbsRequested;
    WaitSettled(manager, vars, kPerVariableMs * static_cast<uint32_t>(vars.size()) + 1000);
    for (const ModbusAction *v : vars) {
        if (v->State == mbsDone && !v->Value.Equals(u"--"))
            values->emplace_back(v->Name.ToUtf8(), SettingFileText(v->Type, v->Value.ToUtf8()));
        else
            unread->push_back(v->Name.ToUtf8());
    }
    return unread->empty();
}

RestoreOutcome ApplySettingChanges(cActionManager &manager, const std::vector<SettingChange> &changes)
{
    RestoreOutcome out;
    std::vector<std::pair<const SettingChange *, ModbusAction *>> written;
    for (const SettingChange &c : changes) {
        ModbusAction *v = Find(manager, c.Name);
        if (v == nullptr || !manager.Identified) {
            out.Failed.push_back(c.Name + ": not written (connection lost)");
            continue;
        }
        WaitSettled(manager, {v}, kPerVariableMs);  // let a poll of it finish first
        manager.Shell.RequestWrite(v, MString::FromUtf8(c.FileValue));
        WaitSettled(manager, {v}, 2 * kPerVariableMs);
        if (v->WritePending) {
            v->WritePending = false;  // the encoder refused it; do not retry it in the poll
            out.Failed.push_back(c.Name + ": the value " + c.FileValue + " cannot be encoded");
        } else if (v->State != mbsDone) {
            out.Failed.push_back(c.Name + ": " + Why(v));
        } else {
            written.emplace_back(&c, v);
        }
    }
    // Read back what was acknowledged: a device may take a write and keep another value.
    std::vector<ModbusAction *> readBack;
    for (auto &[c, v] : written) {
        v->State = mbsRequested;
        readBack.push_back(v);
    }
    WaitSettled(manager, readBack, kPerVariableMs * static_cast<uint32_t>(readBack.size()) + 1000);
    for (auto &[c, v] : written) {
        if (v->State != mbsDone) {
            out.Failed.push_back(c->Name + ": written, but the read-back failed: " + Why(v));
            continue;
        }
        const std::string now = SettingFileText(v->Type, v->Value.ToUtf8());
        if (!SameSettingValue(v->Type, now, c->FileValue))
            out.Failed.push_back(c->Name + ": written " + c->FileValue + ", but the device holds " + now);
    }
    if (out.Failed.empty() && !changes.empty())
        out.Saved = manager.Identified && manager.WriteNumber(MString(u"SaveConfigToRomNow"), 1);
    return out;
}
