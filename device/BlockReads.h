// Block reads: a variable due for reading goes out with its neighbours in the register map
// that are due too, in one request whose reply hands each variable its own registers; and
// what is learnt when a device will not answer a block (read the variable alone once, to
// tell a refusing device from a fault of the line, or from then on).
#pragma once

#include <cstdint>
#include <functional>

#include "core/MicroModbus.h"
#include "core/ObjectFactory.h"
#include "device/ModbusAction.h"

using TMbActions = uObjectFactoryT<ModbusAction>;

// Registers, not bits: only these are read in blocks and decoded by type.
inline bool IsRegisterArea(uint32_t area)
{
    return area == MbHoldingRegisters || area == MbInputRegisters;
}

class BlockReads {
public:
    // Table indexes [First, Last] and the registers they span.
    struct Run {
        int First = -1;
        int Last = -1;
        uint32_t Registers = 0;
    };
    // The block read on the line: table indexes [First, First + Count) from Address on.
    struct Block {
        int First = -1;
        int Count = 0;
        uint16_t Address = 0;
        explicit operator bool() const { return First >= 0; }
    };
    using Each = std::function<void(ModbusAction &)>;

    explicit BlockReads(TMbActions &actions) : actions_(actions) {}

    // The run read together with the variable at index `at`: its neighbours `due` for
    // reading with the same unit and area, no register between them, none kept out of
    // blocks, the whole within `cap` registers. The variable alone when it is kept out
    // itself, is no register variable, or cap is 1.
    Run Plan(int at, uint32_t cap, const std::function<bool(const ModbusAction &)> &due) const;

    // The run is on the line as one block read from now on.
    void Start(const Run &run);
    // The block on the line, forgotten as it is taken (none: false).
    Block Take();
    // Forgets the block on the line (its exchange was dropped).
    void Clear() { line_ = {}; }

    // The block was answered: each variable takes its own registers (a write asked for
    // meanwhile still goes out); `ended` hears of each whose exchange ended.
    void Answered(const Block &block, const uint8_t *data, int n, const Each &ended);
    // The device refused the block. An illegal address or quantity: it does not read these
    // registers as one block, so they are read alone from now on. Any other refusal may
    // belong to one of them: reading them alone tells which. Each goes to `again`.
    void Refused(const Block &block, uint8_t exceptionCode, const Each &again);
    // No reply, or a damaged one: each is read alone next (`again`), to tell the line from
    // a device that does not answer blocks.
    void Failed(const Block &block, const Each &again);
    // A read alone after a failed block was answered: a second failure of blocks while single
    // reads are answered keeps the variable out of blocks from now on.
    static void AnsweredAlone(ModbusAction &variable);

private:
    void ForEach(const Block &block, const Each &step);
    TMbActions &actions_;
    Block line_;
};
