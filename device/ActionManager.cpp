#include "device/ActionManager.h"

#include <poll.h>

#include <cmath>
#include <limits>

#include "core/MicroClock.h"
#include "core/Notify.h"
#include "device/RegisterMap.h"

namespace {

constexpr int kReplyRounds = 1000;  // 1 ms each: the reply time, its silence and a quiet line
constexpr int kWriteSendTurns = 100;

// Points the poll's rotation just before the variable, so that its exchange is the next one
// sent instead of waiting behind every variable the screen has marked for reading.
void ServeNext(ModbusShell &shell, const ModbusAction *variable)
{
    for (int i = 0; i < shell.Actions.Count(); ++i) {
        if (shell.Actions.At(i) == variable) {
            shell.PollCursor = i - 1;
            return;
        }
    }
}

// Hears of the end of one variable's exchange through the shell's hook while it lives.
// Chained: a caller of the hook keeps hearing of every exchange meanwhile.
class EndWatch {
public:
    EndWatch(ModbusShell &shell, const ModbusAction *variable) : shell_(shell), previous_(shell.ExchangeEnded)
    {
        shell.ExchangeEnded = [this, variable](ModbusAction &v) {
            ended_ = ended_ || &v == variable;
            if (previous_)
                previous_(v);
        };
    }
    ~EndWatch() { shell_.ExchangeEnded = std::move(previous_); }
    EndWatch(const EndWatch &) = delete;
    EndWatch &operator=(const EndWatch &) = delete;
    bool Ended() const { return ended_; }

private:
    ModbusShell &shell_;
    std::function<void(ModbusAction &)> previous_;
    bool ended_ = false;
};

}  // namespace

cActionManager::cActionManager()
{
    // A lost device is not asked to save: Identified goes first.
    Shell.ConnectionLost = [this] {
        Identified = false;
        Disconnect();
    };
}

void cActionManager::TickScheduler()
{
    Scheduler.Tick();
}

bool cActionManager::ServeLine(int waitMs)
{
    const int fd = Shell.Port.ReadyFd();
    if (fd >= 0 && waitMs > 0) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, waitMs);
    }
    if (!Shell.Port.TakeReady())
        return false;
    Shell.Run();
    return true;
}

void cActionManager::ServeLineOrRest()
{
    if (!ServeLine(0))
        SleepMs(1);
}

void cActionManager::RestOnLine(int waitMs)
{
    if (Shell.Port.ReadyFd() >= 0)
        ServeLine(waitMs);
    else
        SleepMs(static_cast<uint32_t>(waitMs));
}

bool cActionManager::AwaitExchange(ModbusAction *variable, int rounds)
{
    if (variable == nullptr || variable->State != mbsSent)
        return true;
    EndWatch end(Shell, variable);
    for (int i = 0; i < rounds && !end.Ended() && variable->State == mbsSent; ++i) {
        TickScheduler();
        if (!end.Ended())
            RestOnLine(1);
    }
    return end.Ended() || variable->State != mbsSent;
}

int cActionManager::AwaitWrite(ModbusAction *variable, int rounds)
{
    if (variable == nullptr)
        return 0;
    EndWatch end(Shell, variable);
    int turns = 0;
    while (turns < rounds && !WriteOver(*variable)) {
        TickScheduler();
        ++turns;
        // A write acknowledged while a newer one waits ends no exchange: that one is
        // waited for in turn.
        if (!WriteOver(*variable))
            RestOnLine(1);
    }
    return turns;
}

bool cActionManager::WriteOver(const ModbusAction &variable)
{
    return !variable.WritePending && variable.State != mbsRequested && variable.State != mbsSent;
}

bool cActionManager::WriteAccepted(const ModbusAction &variable)
{
    return !variable.WritePending && variable.State == mbsDone;
}

int32_t cActionManager::ParseVersionX100(const MString &typeText)
{
    const double version = typeText.Between(0, true, MString(u"Quintavolte "), MString()).ToReal();
    // 1.13 × 100 is 112.99999999999999 in binary; a tiny nudge keeps the truncation
    // from losing a whole version step to representation error.
    const double scaled = version * 100.0 + (version < 0 ? -1e-7 : 1e-7);
    if (!std::isfinite(scaled) || scaled >= 2147483648.0 || scaled <= -2147483649.0)
        return 0;
    return static_cast<int32_t>(scaled);
}

bool cActionManager::Connect()
{
    return Connection.Connect();
}

void cActionManager::Disconnect()
{
    SaveToRom();
    Identified = false;
    Shell.PollingEnabled = false;
    Shell.Port.Close();
    Shell.DropExchange();
}

void cActionManager::SaveToRom()
{
    if (Identified && !HoldSave)
        WriteNumber(MString(u"SaveConfigToRomNow"), 1);
}

bool cActionManager::RequestRead(const MString &names)
{
    const std::u16string_view text = names.View();
    size_t pos = 0;
    while (pos < text.size()) {
        std::u16string_view part;
        const size_t comma = text.find(u',', pos);
        if (comma == pos) {
            // A list that starts with a comma, or two commas in a row: the rest is one name.
            part = text.substr(pos);
            pos = text.size();
        } else if (comma == std::u16string_view::npos) {
            part = text.substr(pos);
            pos = text.size();
        } else {
            part = text.substr(pos, comma - pos);
            pos = comma + 1;
        }
        const MString name(std::u16string(part).c_str());
        ModbusAction *variable = Shell.FindVariable(name);
        if (variable == nullptr) {
            ShowMessageBox(name.View());
            return false;
        }
        variable->State = mbsRequested;
    }
    return true;
}

void cActionManager::SetUnitAddress(uint8_t address)
{
    if (address == unitAddress_)
        return;
    if (Identified)
        Disconnect();
    unitAddress_ = address;
    for (int i = 0; i < Shell.Actions.Count(); ++i)
        if (ModbusAction *v = Shell.Actions.At(i))
            v->SlaveAddress = address;
}

void cActionManager::RequestAllReads()
{
    for (int i = 0; i < Shell.Actions.Count(); ++i) {
        ModbusAction *v = Shell.Actions.At(i);
        if (v != nullptr && v->State != mbsRequested && v->State != mbsSent)
            v->State = mbsRequested;
    }
}

MString cActionManager::GetValue(const MString &name)
{
    ModbusAction *variable = Shell.FindVariable(name);
    if (variable == nullptr) {
        ShowMessageBox(name.View());
        return MString();
    }
    variable->State = mbsRequested;
    return variable->Value;
}

bool cActionManager::WriteNumber(const MString &name, float value, WriteCheck *refusal)
{
    ModbusAction *variable = Shell.FindVariable(name);
    if (variable == nullptr) {
        ShowMessageBox(name.View());
        return false;
    }
    const WriteCheck check = CheckWrite(*variable, MString::FromReal(value, 10, 5));
    if (!check.Ok()) {
        ModbusShell::JournalRefusal(*variable, MString::FromReal(value, 10, 5), check);
        if (refusal != nullptr)
            *refusal = check;
        return false;
    }
    const MString text = WrittenText(check, MString::FromReal(value, 10, 5));
    // Let an exchange already under way finish first; one that ended in a failure (a
    // refusal, no reply, a damaged one) is over and no reason to wait.
    if (variable->State != mbsRequested && variable->State != mbsSent)
        variable->State = mbsDone;
    for (int i = 0; i < kReplyRounds && variable->State != mbsDone; ++i) {
        if (variable->State == mbsRequested)
            ServeNext(Shell, variable);
        TickScheduler();
        if (variable->State != mbsDone)
            RestOnLine(1);
    }
    if (variable->State != mbsDone) {
        ModbusShell::JournalUnsent(*variable, text, "not sent: the exchange before it did not end");
        variable->State = mbsDone;
        return false;
    }
    // Through the table's one way in, so that the write is journalled like every other.
    if (!Shell.RequestWrite(variable, text, refusal))
        return false;
    // Only the shell's turn runs from here on: no engine expiry, no screen refresh.
    for (int i = 0; i < kWriteSendTurns && variable->State == mbsRequested; ++i) {
        ServeNext(Shell, variable);
        Shell.Run();
    }
    // Rests on the line and ends with the exchange: acknowledged, or failed (refused, a
    // damaged reply, the port dropped), which no later turn here would make good. A write
    // acknowledged while a newer one waits sends that one.
    EndWatch end(Shell, variable);
    for (int i = 0; i < kReplyRounds && variable->State != mbsDone; ++i) {
        if (variable->State == mbsRequested)
            ServeNext(Shell, variable);
        else if (end.Ended() && variable->State != mbsSent)
            break;
        Shell.Run();
        if (variable->State != mbsDone)
            RestOnLine(1);
    }
    return variable->State == mbsDone;
}

MString cActionManager::RoundValue(const MString &text, float scale)
{
    if (!text.IsNumber())
        return text;
    const double x = text.ToReal();
    const double s = scale;
    // Truncation in double: a 32-bit integer would overflow for large values, and a
    // division in single precision would show float noise through 10 digits.
    const double k = std::trunc(x * s + (x < 0 ? -0.5 : 0.5));
    return MString::FromReal(k / s, 10, 5);
}

ModbusAction *cActionManager::AddVariable(const MString &name, uint16_t address, uint16_t count, uint32_t access,
                                          uint32_t type)
{
    ModbusAction *variable = Shell.FindVariable(name);
    if (variable == nullptr)
        variable = Shell.NewVariable();
    if (variable == nullptr)
        return nullptr;
    variable->Name = name;
    variable->SlaveAddress = unitAddress_;
    variable->RegAddress = address;
    variable->RegCount = count;
    variable->Value = MString(u"--");
    variable->TimeoutMs = 500;
    variable->PeriodMs = 100;
    variable->LastPoll = 10;
    variable->Area = MbHoldingRegisters;
    variable->Type = type;
    variable->Access = access;
    variable->State = mbsDone;
    return variable;
}

void cActionManager::BuildRegisterMap()
{
    Shell.ClearVariables();
    for (const MbVariableRow &row : DeviceRegisterMap())
        AddVariable(MString(row.Name), row.Register, row.Count, row.Access, row.Type);
    Identified = false;
}
