// Slave side of the engine: the standard function-code handlers and the walk over
// this node's register blocks.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/MicroModbus.h"

namespace {
uint16_t Be16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
void PutBe16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void SwapPairs(uint8_t *p, uint32_t n)
{
    for (uint32_t i = 0; i + 1 < n; i += 2)
        std::swap(p[i], p[i + 1]);
}

constexpr int kDirRead = 0;
constexpr int kDirWrite = 1;
constexpr uint32_t kLastRegister = 0xFFFF;

void ReadBlock(const MbVarMapRecord &block, uint8_t *out, uint32_t offset, uint32_t length)
{
    if (block.IsRoutine) {
        if (block.Routine)
            block.Routine(out, block.RoutineBase + offset, length, kDirRead);
        else
            std::memset(out, 0, length);
    } else if (block.Target) {
        std::memcpy(out, static_cast<const uint8_t *>(block.Target) + offset, length);
    } else {
        std::memset(out, 0, length);
    }
}

void WriteBlock(const MbVarMapRecord &block, const uint8_t *in, uint32_t offset, uint32_t length)
{
    if (block.Access == 1)
        return;  // read-only: acknowledged, nothing changes
    if (block.IsRoutine) {
        if (block.Routine)
            block.Routine(const_cast<uint8_t *>(in), block.RoutineBase + offset, length, kDirWrite);
    } else if (block.Target) {
        std::memcpy(static_cast<uint8_t *>(block.Target) + offset, in, length);
    }
}

// The block keyed at a register, or -1. A block without bytes counts as none: it would
// give nothing and keep the walk on the same register for ever.
int FindBlock(const MicroMap<uint16_t, MbVarMapRecord> &map, uint32_t reg)
{
    if (reg > kLastRegister)
        return -1;
    int index = map.Find(static_cast<uint16_t>(reg));
    return index >= 0 && map.ValueAt(index).Size > 0 ? index : -1;
}

// Locates the block holding the start register: the block keyed there, or the
// nearest one below it when it reaches that far. Returns its index and byte offset.
int LocateStart(const MicroMap<uint16_t, MbVarMapRecord> &map, uint16_t start, uint32_t &offset)
{
    offset = 0;
    if (map.Find(start) >= 0)
        return FindBlock(map, start);
    int index = map.FindInsertPos(start) - 1;
    if (index < 0)
        return -1;
    offset = 2u * (start - map.KeyAt(index));
    if (map.ValueAt(index).Size <= offset)
        return -1;
    return index;
}

// Starts a reply: unit, function code, and the transaction and protocol id where the
// framing carries them.
uint8_t *StartReply(MicroModbus *e)
{
    e->TxPutUnit(e->RxUnit());
    e->TxPutFunction(e->RxFunction());
    e->TxPutTransaction(e->RxTransaction());
    e->TxPutProtocol(e->RxProtocol());
    return e->TxData();
}

// A reply of byteCount data bytes (after its byte count) must fit the transmit buffer.
bool ReplyFits(MicroModbus *e, uint32_t byteCount)
{
    if (!e->TxData())
        return false;
    return byteCount + e->TxRules().Overhead() < e->TxCapacity();
}
}  // namespace

uint32_t MicroModbus::ReadRegisters(uint16_t start, uint8_t *buffer, uint32_t length)
{
    if (!buffer || length == 0)
        return 0;
    uint32_t offset;
    int index = LocateStart(RegisterMap, start, offset);
    if (index < 0)
        return 0;
    uint32_t done = 0;
    uint32_t reg = start;
    for (;;) {
        if (index >= 0) {
            const MbVarMapRecord &block = RegisterMap.ValueAt(index);
            uint32_t take = std::min<uint32_t>(length - done, block.Size - offset);
            ReadBlock(block, buffer + done, offset, take);
            done += take;
            // An odd block ends in half a register: pad it, but never past the caller's buffer.
            if ((take & 1) && done < length) {
                buffer[done++] = 0;
                ++take;
            }
            reg += (take + 1) / 2;
        } else {
            // A register without a block reads as zero.
            uint32_t take = std::min<uint32_t>(2, length - done);
            std::memset(buffer + done, 0, take);
            done += take;
            ++reg;
        }
        if (done >= length)
            break;
        offset = 0;
        index = FindBlock(RegisterMap, reg);
    }
    return done;
}

uint32_t MicroModbus::WriteRegisters(uint16_t start, const uint8_t *buffer, uint32_t length, uint32_t *storedBytes)
{
    if (storedBytes)
        *storedBytes = 0;
    if (!buffer || length == 0)
        return 0;
    uint32_t offset;
    int index = LocateStart(RegisterMap, start, offset);
    if (index < 0)
        return 0;
    uint32_t done = 0;
    uint32_t stored = 0;  // what reached a block: a skipped pad byte was not written
    uint32_t reg = start;
    for (;;) {
        const MbVarMapRecord &block = RegisterMap.ValueAt(index);
        uint32_t take = std::min<uint32_t>(length - done, block.Size - offset);
        WriteBlock(block, buffer + done, offset, take);
        done += take;
        stored += take;
        // Skip the half register an odd block lacks, so the next block gets its own bytes.
        if ((take & 1) && done < length) {
            ++done;
            ++take;
        }
        reg += (take + 1) / 2;
        if (done >= length)
            break;
        index = FindBlock(RegisterMap, reg);
        if (index < 0)
            break;  // a write stops at the first register without a block
        offset = 0;
    }
    if (storedBytes)
        *storedBytes = stored;
    return done;
}

// Function codes 1 and 2: one bit per register, set when the register is not 0.
ModbusError MbHandleReadBits(MicroModbus *e)
{
    if (e->RxDataLength() < 4)
        return MbIllegalDataValue;
    const uint8_t *rx = e->RxData();
    const uint16_t start = Be16(rx);
    const uint32_t quantity = Be16(rx + 2);
    uint8_t *d = StartReply(e);
    const uint32_t byteCount = (quantity + 7) / 8;
    if (!d || !ReplyFits(e, byteCount))
        return MbIllegalDataValue;
    if (quantity == 0 || quantity > 255)
        return MbIllegalDataAddress;
    std::vector<uint8_t> words;
    try {
        words.resize(2 * quantity);
    } catch (const std::bad_alloc &) {
        return MbOutOfMemory;
    }
    if (e->ReadRegisters(start, words.data(), 2 * quantity) < 2 * quantity)
        return MbIllegalDataAddress;
    d[0] = static_cast<uint8_t>(byteCount);
    std::memset(d + 1, 0, byteCount);
    for (uint32_t i = 0; i < quantity; ++i)
        if (words[2 * i] != 0 || words[2 * i + 1] != 0)
            d[1 + i / 8] = static_cast<uint8_t>(d[1 + i / 8] | (1u << (i % 8)));
    return e->TxFinish(static_cast<uint16_t>(1 + byteCount)) ? MbOk : MbIllegalDataValue;
}

// Function codes 3 and 4.
ModbusError MbHandleReadRegisters(MicroModbus *e)
{
    if (e->RxDataLength() < 4)
        return MbIllegalDataValue;
    const uint8_t *rx = e->RxData();
    const uint16_t start = Be16(rx);
    const uint32_t quantity = Be16(rx + 2);
    if (quantity == 0)
        return MbIllegalDataAddress;
    // The byte count is one byte: a larger quantity cannot be answered truthfully.
    if (2 * quantity > 255)
        return MbIllegalDataValue;
    const uint32_t byteCount = 2 * quantity;
    uint8_t *d = StartReply(e);
    if (!d || !ReplyFits(e, byteCount))
        return MbIllegalDataValue;
    if (e->ReadRegisters(start, d + 1, byteCount) < byteCount)
        return MbIllegalDataAddress;
    d[0] = static_cast<uint8_t>(byteCount);
    if (e->NoSwap != 1)
        SwapPairs(d + 1, byteCount);
    return e->TxFinish(static_cast<uint16_t>(1 + byteCount)) ? MbOk : MbIllegalDataValue;
}

// Function codes 5 and 6: the request data are echoed.
ModbusError MbHandleWriteSingle(MicroModbus *e)
{
    if (e->RxDataLength() < 4)
        return MbIllegalDataValue;
    const uint8_t *rx = e->RxData();
    const uint16_t address = Be16(rx);
    uint16_t value = Be16(rx + 2);
    if (e->RxFunction() == 5 && value != 0)
        value = 0xFFFF;
    uint8_t *d = StartReply(e);
    // Refused before anything is stored when the 4-byte echo cannot be built.
    if (!d || e->TxDataCapacity() < 4)
        return MbIllegalDataValue;
    const uint8_t host[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    if (e->WriteRegisters(address, host, 2) == 0)
        return MbIllegalDataAddress;
    std::memcpy(d, rx, 4);
    return e->TxFinish(4) ? MbOk : MbIllegalDataValue;
}

// Function codes 15 and 16: 15 carries one word per coil, like 16.
ModbusError MbHandleWriteMultiple(MicroModbus *e)
{
    const uint16_t present = e->RxDataLength();
    if (present < 5)
        return MbIllegalDataValue;
    const uint8_t *rx = e->RxData();
    const uint16_t start = Be16(rx);
    const uint32_t quantity = Be16(rx + 2);
    const uint32_t byteCount = rx[4];
    // The data must be in the frame and must cover the quantity.
    if (byteCount > present - 5u || 2 * quantity > byteCount)
        return MbIllegalDataValue;
    const uint32_t b = 2 * quantity;  // at most 254 here
    uint8_t host[256];
    std::memcpy(host, rx + 5, b);
    if (e->NoSwap != 1)
        SwapPairs(host, b);
    if (e->RxFunction() == 15)
        for (uint32_t i = 0; i + 1 < b; i += 2)
            if ((host[i] | host[i + 1]) != 0 && (host[i] & host[i + 1]) != 0xFF)
                host[i] = host[i + 1] = 0xFF;
    uint8_t *d = StartReply(e);
    if (!d || e->TxDataCapacity() < 4)
        return MbIllegalDataValue;
    uint32_t stored = 0;
    const uint32_t written = e->WriteRegisters(start, host, b, &stored);
    if (written == 0)
        return MbIllegalDataAddress;
    PutBe16(d, start);
    // Only what reached a block counts: the pad byte of an odd block's half register was
    // skipped, not written.
    PutBe16(d + 2, static_cast<uint16_t>((stored & 0x1FF) / 2));
    return e->TxFinish(4) ? MbOk : MbIllegalDataValue;
}
