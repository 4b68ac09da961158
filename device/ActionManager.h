// cActionManager: the one device object of the process. Searches the ports for the
// device and identifies it, reads and writes variables by name, and builds the table
// of variables from the device's register map.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/ModbusShell.h"

class cActionManager {
public:
    // Installs the default lost-connection hook (Shell.ConnectionLost): clear Identified,
    // then Disconnect, so a lost device is not asked to save. The application may replace it.
    cActionManager();
    ~cActionManager() = default;
    cActionManager(const cActionManager &) = delete;
    cActionManager &operator=(const cActionManager &) = delete;

    bool Connect();     // blocks; searches COM1..COM99
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
    // A write queued with RequestWrite whose exchange is over: acknowledged, refused, or
    // failed. A command that depends on the write waits for this.
    static bool WriteOver(const ModbusAction &variable);
    // The write was acknowledged by the device (state done, nothing left to send): only
    // then may a command that acts on the written value follow.
    static bool WriteAccepted(const ModbusAction &variable);
    // VersionX100 from a type text "Quintavolte 1.11" (0 when no version follows).
    static int32_t ParseVersionX100(const MString &typeText);

    // Called with each port's path before the search tries it (progress for the operator).
    std::function<void(const std::string &path)> OnTryPort;
    // Called at every pause of the search (about each millisecond while it waits for the
    // line), so that a window can keep painting and taking input meanwhile.
    std::function<void()> OnSearchWait;
    // Set (from OnTryPort or OnSearchWait) to end the search at its next pause: Connect
    // then closes the port and returns false. Connect clears it as it starts and ends.
    bool CancelSearch = false;
    // Set to end the search with the port it is trying: no further port is tried, but a
    // device that answers there is still connected. Connect clears it as it starts and ends.
    bool StopAfterPort = false;
    // The ports the last Connect could not open for lack of permission, in search order.
    std::vector<std::string> RefusedPorts;
    // What the last Connect found on each port it tried, in search order (refused ports
    // are in RefusedPorts instead).
    struct PortOutcome {
        std::string Path;
        std::string OpenError;    // the system's reason when the port could not be opened
        bool BadReplies = false;  // replies came but failed their check
        bool Answered = false;    // a device answered (not ours, or ours)
    };
    std::vector<PortOutcome> TriedPorts;

    MicroTaskManager Scheduler;  // this object's handle on the scheduler
    ModbusShell Shell;
    bool Identified = false;
    // Set when the device holds settings that must not be made permanent (a restore that
    // failed and could not put everything back): SaveToRom then asks nothing, so the
    // device's saved configuration stays what it was. Kept across a lost link and a new
    // connection: the device may still hold those settings until it restarts.
    bool HoldSave = false;
    int32_t VersionX100 = 0;
    // The rate the ports are opened at to search for the device.
    uint32_t LineBaud = 9600;

    static constexpr int kMaxPortNumber = 99;

private:
    bool connectedBefore_ = false;
};
