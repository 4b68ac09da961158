#include "device/BlockReads.h"

#include <algorithm>

#include "device/ValueCodec.h"

namespace {

void CountMiss(ModbusAction &v)
{
    v.ReadAloneNext = true;
    v.BlockMisses = static_cast<uint8_t>(std::min(v.BlockMisses + 1, 255));
}

}  // namespace

BlockReads::Run BlockReads::Plan(int at, uint32_t cap, const std::function<bool(const ModbusAction &)> &due) const
{
    const ModbusAction *variable = actions_.At(at);
    Run run{at, at, variable->RegCount};
    auto joins = [&](const ModbusAction *v) {
        return v != nullptr && !v->ReadAlone && !v->ReadAloneNext && IsRegisterArea(v->Area) && v->RegCount > 0 &&
               v->Area == variable->Area && v->SlaveAddress == variable->SlaveAddress && due(*v);
    };
    if (cap <= 1 || !joins(variable))
        return run;
    for (const ModbusAction *next = actions_.At(run.Last + 1);
         joins(next) && next->RegAddress == actions_.At(run.Last)->RegAddress + actions_.At(run.Last)->RegCount &&
         run.Registers + next->RegCount <= cap;
         next = actions_.At(run.Last + 1)) {
        run.Registers += next->RegCount;
        ++run.Last;
    }
    for (const ModbusAction *previous = run.First > 0 ? actions_.At(run.First - 1) : nullptr;
         joins(previous) && previous->RegAddress + previous->RegCount == actions_.At(run.First)->RegAddress &&
         run.Registers + previous->RegCount <= cap;
         previous = run.First > 0 ? actions_.At(run.First - 1) : nullptr) {
        run.Registers += previous->RegCount;
        --run.First;
    }
    return run;
}

void BlockReads::Start(const Run &run)
{
    line_ = {run.First, run.Last - run.First + 1, actions_.At(run.First)->RegAddress};
}

BlockReads::Block BlockReads::Take()
{
    const Block block = line_;
    line_ = {};
    return block;
}

void BlockReads::ForEach(const Block &block, const Each &step)
{
    for (int i = block.First; i < block.First + block.Count; ++i)
        if (ModbusAction *v = actions_.At(i))
            step(*v);
}

void BlockReads::Answered(const Block &block, const uint8_t *data, int n, const Each &ended)
{
    ForEach(block, [&](ModbusAction &v) {
        v.BlockMisses = 0;
        if (v.WritePending) {
            // Asked to write meanwhile: this value is stale and the write must go out.
            v.State = mbsRequested;
            return;
        }
        const int offset = 2 * (v.RegAddress - block.Address);
        const int bytes = 2 * v.RegCount;
        const bool decoded = data != nullptr && offset + bytes <= n && DecodeRegisters(data + offset, bytes, &v);
        v.State = decoded ? mbsDone : mbsBadReply;
        ended(v);
    });
}

void BlockReads::Refused(const Block &block, uint8_t exceptionCode, const Each &again)
{
    ForEach(block, [&](ModbusAction &v) {
        if (exceptionCode == MbIllegalDataAddress || exceptionCode == MbIllegalDataValue)
            v.ReadAlone = true;
        else
            CountMiss(v);
        again(v);
    });
}

void BlockReads::Failed(const Block &block, const Each &again)
{
    ForEach(block, [&](ModbusAction &v) {
        CountMiss(v);
        again(v);
    });
}

void BlockReads::AnsweredAlone(ModbusAction &variable)
{
    if (variable.ReadAloneNext) {
        variable.ReadAloneNext = false;
        variable.ReadAlone = variable.ReadAlone || variable.BlockMisses >= 2;
    }
}
