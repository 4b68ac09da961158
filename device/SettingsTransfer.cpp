#include "device/SettingsTransfer.h"

#include <charconv>
#include <cstdint>

#include "core/MicroClock.h"

namespace {

// Per exchange: the 500 ms reply timeout, the silence, the quiet line after a failure and
// a scheduler turn or two.
constexpr uint32_t kPerVariableMs = 1000;

bool Busy(const ModbusAction *v)
{
    return v->State == mbsRequested || v->State == mbsSent;
}

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
        manager.ServeLineOrRest();
    }
}

std::string Why(const cActionManager &manager, const ModbusAction *v)
{
    if (!manager.Identified)
        return "no answer (connection lost)";
    switch (v->State) {
    case mbsException:
        return "refused by the device (exception reply)";
    case mbsTimedOut:
        return "no reply";
    case mbsBadReply:
        return "a damaged reply";
    default:
        return "no answer";
    }
}

// The setting's exact value when its last read succeeded, else empty.
std::string ReadText(const ModbusAction *v)
{
    if (v->State != mbsDone || v->WritePending || v->Value.Equals(u"--"))
        return {};
    return ExactSettingText(v->Type, v->Raw, v->RawCount, v->Value.ToUtf8());
}

// Reads the variables; each that fails gets one more try while the link lasts.
void ReadWithRetry(cActionManager &manager, const std::vector<ModbusAction *> &vars)
{
    for (int attempt = 0; attempt < 2 && manager.Identified; ++attempt) {
        std::vector<ModbusAction *> asked;
        for (ModbusAction *v : vars) {
            if (attempt == 0 || ReadText(v).empty()) {
                v->State = mbsRequested;
                asked.push_back(v);
            }
        }
        if (asked.empty())
            return;
        WaitSettled(manager, asked, kPerVariableMs * static_cast<uint32_t>(asked.size()) + 1000);
    }
}

enum class StepResult {
    Done,       // the device holds the value
    NotTaken,   // nothing was sent, or the device refused it: it still holds its old value
    Uncertain,  // sent, but the device may hold it, another value or the old one
};

struct Step {
    StepResult Result = StepResult::NotTaken;
    std::string Why;
    bool NoAnswer = false;  // neither the write nor its read-back was answered
};

// Writes one setting and reads it back.
Step WriteAndCheck(cActionManager &manager, ModbusAction *v, const std::string &value)
{
    Step step;
    WaitSettled(manager, {v}, kPerVariableMs);  // let a poll of it finish first
    if (!manager.Identified) {
        step.Why = "not written (connection lost)";
        return step;
    }
    WriteCheck refusal;
    if (!manager.Shell.RequestWrite(v, MString::FromUtf8(value), &refusal)) {
        step.Why = "not written: '" + value + "' " + RefusalReason(refusal);
        return step;
    }
    WaitSettled(manager, {v}, 2 * kPerVariableMs);
    if (v->WritePending) {
        // Not sent: the encoder refused it, or the link went first. Never let the poll
        // send it later.
        v->WritePending = false;
        v->State = mbsDone;
        step.Why = manager.Identified ? "the value " + value + " cannot be encoded" : "not written (connection lost)";
        return step;
    }
    if (v->State == mbsException) {
        step.Why = Why(manager, v);
        return step;
    }
    const bool acknowledged = v->State == mbsDone;
    const std::string writeWhy = Why(manager, v);
    step.Result = StepResult::Uncertain;
    // The read-back decides: a lost acknowledgement of a write the device took is done.
    ReadWithRetry(manager, {v});
    const std::string now = ReadText(v);
    if (now.empty()) {
        step.NoAnswer = !acknowledged && v->State == mbsTimedOut;
        step.Why = acknowledged ? "written, but the read-back failed: " + Why(manager, v)
                                : writeWhy + " to the write, and the read-back failed: " + Why(manager, v);
        return step;
    }
    if (!SameSettingValue(v->Type, now, value)) {
        step.Why = (acknowledged ? "written " : writeWhy + " to writing ") + value + ", but the device holds " + now;
        return step;
    }
    step.Result = StepResult::Done;
    return step;
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
                        std::vector<std::string> *unread, std::string *chip)
{
    std::vector<ModbusAction *> vars;
    for (const MbVariableRow *row : DeviceSettings(manager.VersionX100))
        if (ModbusAction *v = manager.Shell.FindVariable(MString(row->Name)))
            vars.push_back(v);
    std::vector<ModbusAction *> chipVars;
    if (chip != nullptr) {
        for (const char16_t *name : {u"ChipUID.H1", u"ChipUID.H2", u"ChipUID.L"}) {
            ModbusAction *v = manager.Shell.FindVariable(MString(name));
            if (v == nullptr) {
                unread->push_back(MString(name).ToUtf8());
                continue;
            }
            chipVars.push_back(v);
            vars.push_back(v);
        }
    }
    ReadWithRetry(manager, vars);
    uint32_t words[3] = {};
    size_t word = 0;
    for (const ModbusAction *v : chipVars) {
        const std::string text = manager.Identified ? ReadText(v) : std::string();
        uint64_t n = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n > UINT32_MAX)
            unread->push_back(v->Name.ToUtf8());
        else if (word < 3)
            words[word++] = static_cast<uint32_t>(n);
    }
    if (chip != nullptr)
        *chip = word == 3 ? ChipIdentityText(words[0], words[1], words[2]) : std::string();
    vars.resize(vars.size() - chipVars.size());
    for (const ModbusAction *v : vars) {
        const std::string text = manager.Identified ? ReadText(v) : std::string();
        if (!text.empty())
            values->emplace_back(v->Name.ToUtf8(), text);
        else
            unread->push_back(v->Name.ToUtf8());
    }
    return unread->empty();
}

RestoreOutcome ApplySettingChanges(cActionManager &manager, const std::vector<SettingChange> &changes)
{
    RestoreOutcome out;
    // The changes the device may hold, in the order they were written.
    std::vector<std::pair<const SettingChange *, ModbusAction *>> changed;
    for (const SettingChange &c : changes) {
        ModbusAction *v = Find(manager, c.Name);
        if (v == nullptr) {
            out.Failed.push_back(c.Name + ": not a variable of the device");
            break;
        }
        const Step step = WriteAndCheck(manager, v, c.FileValue);
        if (step.Result != StepResult::NotTaken)
            changed.emplace_back(&c, v);
        if (step.Result != StepResult::Done) {
            out.Failed.push_back(c.Name + ": " + step.Why);
            break;
        }
        ++out.Written;
    }
    if (out.Failed.empty()) {
        if (manager.HoldSave)
            out.SaveHeld = true;
        else if (!changes.empty())
            out.Saved = manager.Identified && manager.WriteNumber(MString(u"SaveConfigToRomNow"), 1);
        out.ConnectionLost = !manager.Identified;
        return out;
    }
    // Put back what was changed, last first, so the device holds its old configuration.
    bool noAnswer = false;
    for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
        const auto [c, v] = *it;
        // A device that answered nothing to a write and two reads is gone; trying each
        // further setting would only add seconds of waiting.
        if (!manager.Identified || noAnswer) {
            out.NotPutBack.push_back(c->Name + ": " + (manager.Identified ? "no answer" : "connection lost"));
            continue;
        }
        const Step step = WriteAndCheck(manager, v, c->DeviceValue);
        if (step.Result == StepResult::Done) {
            out.PutBack.push_back(c->Name);
        } else {
            out.NotPutBack.push_back(c->Name + ": " + step.Why);
            noAnswer = step.NoAnswer;
        }
    }
    out.ConnectionLost = !manager.Identified;
    if (!out.NotPutBack.empty())
        manager.HoldSave = true;
    out.SaveHeld = manager.HoldSave;
    return out;
}
