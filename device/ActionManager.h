// cActionManager: the one device object of the process. Searches the ports for the
// device and identifies it, reads and writes variables by name, and builds the table
// of variables from the device's register map.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/ConnectionController.h"
#include "device/LinkOptions.h"
#include "device/ModbusShell.h"

class cActionManager {
public:
    // Installs the default lost-connection hook (Shell.ConnectionLost): clear Identified,
    // then Disconnect, so a lost device is not asked to save. The application may replace it.
    cActionManager();
    ~cActionManager() = default;
    cActionManager(const cActionManager &) = delete;
    cActionManager &operator=(const cActionManager &) = delete;

    bool Connect();     // blocks; searches the candidate ports (see Connection)
    void Disconnect();  // asks an identified device to save its configuration first
    void SaveToRom();
    bool RequestRead(const MString &names);  // comma-separated list; does not wait
    MString GetValue(const MString &name);   // current text; marks the variable for reading
    // Blocks until acknowledged. A value the write gate refuses is not written: false, with
    // the reason in *refusal when given.
    bool WriteNumber(const MString &name, float value, WriteCheck *refusal = nullptr);
    // Numbers rounded half away from zero to a multiple of 1/scale; other texts unchanged.
    static MString RoundValue(const MString &text, float scale);
    ModbusAction *AddVariable(const MString &name, uint16_t address, uint16_t count, uint32_t access, uint32_t type);
    void BuildRegisterMap();

    // Runs one scheduler turn (used by the blocking waits and the dump).
    void TickScheduler();
    // Waits up to waitMs for the line to have something for the connection (a reply that
    // may be complete, the end of a frame's silence), then gives the shell a turn at once
    // instead of at its next scheduler turn. True when the shell ran. waitMs 0 only looks.
    bool ServeLine(int waitMs);
    // The pace of a blocking wait: serves the line when it has something, else rests a
    // millisecond.
    void ServeLineOrRest();
    // Rests up to waitMs on the line's ready descriptor, serving the line as soon as it has
    // something; a millisecond's sleep when no port is open.
    void RestOnLine(int waitMs);
    // Waits for the exchange of a variable on the line (state sent) to end, running
    // scheduler turns at most `rounds` times; wakes on the shell's end-of-exchange call
    // rather than watching the state. True when it ended.
    bool AwaitExchange(ModbusAction *variable, int rounds);
    // Waits for a write asked for with RequestWrite to be over (see WriteOver), running
    // scheduler turns at most `rounds` times and resting on the line between them; wakes on
    // the shell's end-of-exchange call. Returns the turns it took (`rounds`: not over).
    int AwaitWrite(ModbusAction *variable, int rounds);
    // A write queued with RequestWrite whose exchange is over: acknowledged, refused, or
    // failed. A command that depends on the write waits for this.
    static bool WriteOver(const ModbusAction &variable);
    // The write was acknowledged by the device (state done, nothing left to send): only
    // then may a command that acts on the written value follow.
    static bool WriteAccepted(const ModbusAction &variable);
    // VersionX100 from a type text "Quintavolte 1.11" (0 when no version follows).
    static int32_t ParseVersionX100(const MString &typeText);

    MicroTaskManager Scheduler;  // this object's handle on the scheduler
    ModbusShell Shell;
    bool Identified = false;
    // Set when the device holds settings that must not be made permanent (a restore that
    // failed and could not put everything back): SaveToRom then asks nothing, so the
    // device's saved configuration stays what it was. Kept across a lost link and a new
    // connection: the device may still hold those settings until it restarts.
    bool HoldSave = false;
    int32_t VersionX100 = 0;
    // The only rate the search tries (--baud); 0: 9600 first, then the other offered rates.
    uint32_t LineBaud = 0;

    // What the front ends ask of the link, so that they need not reach into the shell.
    // The variable of that name, null when the table has none.
    ModbusAction *Variable(const MString &name) { return Shell.FindVariable(name); }
    const ModbusShell::LinkStats &Stats() const { return Shell.Stats; }
    // The path of the port the device is connected through, empty when it is not.
    std::string DevicePath() const { return Connection.DevicePath(); }
    // Marks for reading every variable whose exchange is not already under way.
    void RequestAllReads();
    // Whether an exchange is waiting for its reply.
    bool ExchangePending() { return Shell.Engine.PendingCount() != 0; }
    // Registers one block read may span (1 reads every variable alone).
    void SetMaxRead(uint16_t registers) { Shell.MaxReadRegisters = registers; }
    // The unit every request goes to (254, which every unit answers, by default): every
    // variable's, the identification's too, and those of a table built again later. A
    // device connected at another address is left first (asked to save, at its address).
    void SetUnitAddress(uint8_t address);
    uint8_t UnitAddress() const { return unitAddress_; }
    // RTS high while sending, for adapters without automatic direction; from the next
    // port opened (see CSerialPort::SetRtsDirection).
    void SetRtsDirection(bool on) { Shell.Port.SetRtsDirection(on); }
    // The descriptor that becomes readable when the line has something (see CSerialPort).
    int LineReadyFd() const { return Shell.Port.ReadyFd(); }

    // Finds the device and keeps the link to it; declared after Shell, which it uses.
    ConnectionController Connection{*this};

private:
    uint8_t unitAddress_ = kAnyUnitAddress;
};
