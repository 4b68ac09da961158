// One named device variable: where it lives on the device, how its value is encoded,
// and where its last exchange stands. Values always travel as text.
#pragma once

#include <cstdint>

#include "values/MString.h"

class ModbusShell;

// Value type codes (the Type field).
enum MbValueType : uint32_t {
    mbtBool = 0,
    mbtUShort = 1,
    mbtShort = 2,
    mbtUInt = 3,
    mbtInt = 4,
    mbtFloat = 5,
    mbtInt64 = 6,
    mbtDouble = 7,
    mbtAscii = 8,
    mbtBinary = 9,
};

// Exchange states (the State field).
enum MbActionState : uint32_t {
    mbsRequested = 0,
    mbsSent = 1,
    mbsDone = 2,
    mbsException = 3,
    mbsTimedOut = 4,
    mbsBadReply = 5,  // a reply came but was damaged or did not fit the request
};

// Access codes; only mbaRead changes behaviour (no editor in the service tree).
enum MbAccess : uint32_t {
    mbaRead = 1,
    mbaWrite = 2,
    mbaReadWrite = 3,
};

struct ModbusAction {
    MString Name;          // unique, exact and case-sensitive lookup key
    MString Spare;         // unused second text
    MString Value{u"--"};  // "--" until the first successful read
    uint32_t TimeoutMs = 500;
    int32_t PeriodMs = 100;  // least time between two requests; negative = no limit
    uint32_t Area = 2;       // holding registers
    uint32_t Type = mbtBool;
    uint32_t Access = mbaReadWrite;
    uint8_t SlaveAddress = 254;
    uint16_t RegAddress = 0;
    uint16_t RegCount = 0;
    uint32_t State = mbsDone;
    uint32_t LastPoll = 0;
    bool WritePending = false;

    // The register bytes of the last successful read (host order, least significant word
    // first), up to the 8 bytes of the widest number; RawCount 0 when a write has set
    // Value since. The value text cuts floats to 5 decimals; these keep every bit.
    uint8_t Raw[8] = {};
    uint8_t RawCount = 0;

    // Block reads: a read that failed as part of a block makes the variable's next read a
    // single one (ReadAloneNext), to tell a device that refuses blocks from a line fault;
    // BlockMisses counts such failures in a row. ReadAlone: never read in a block again
    // while the table lives (the device refused a block holding it, or did not answer
    // twice while it answered single reads).
    bool ReadAlone = false;
    bool ReadAloneNext = false;
    uint8_t BlockMisses = 0;

    // The shell whose table holds this variable; the reply callback gets only the
    // variable, and needs the shell for the received frame and the lost-link hook.
    ModbusShell *Owner = nullptr;
};
