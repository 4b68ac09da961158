// Arbitrary bytes into the engine's receive path, under both framings, with register
// blocks of every kind and requests pending: nothing may be read or written out of bounds.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/MicroModbus.h"

namespace {

std::array<uint8_t, 64> g_routineStore;

void Routine(uint8_t *buffer, uint32_t offset, uint32_t length, int direction)
{
    // Offsets arrive with the block's base (32) added; the block is 16 bytes.
    if (offset < 32 || offset - 32 + length > 16) {
        __builtin_trap();
    }
    if (direction == 0)
        std::memcpy(buffer, g_routineStore.data() + offset, length);
    else
        std::memcpy(g_routineStore.data() + offset, buffer, length);
}

void OnReply(MicroModbus *engine, void *, int, uint16_t, uint8_t, uint8_t, uint32_t)
{
    const uint8_t *data = nullptr;
    int n = engine->ParseReadResponse(&data);
    // Decoders may read a fixed width past n; all of it must be addressable.
    uint32_t sum = 0;
    for (int i = 0; i < 256; ++i)
        sum += data[i];
    if (n < 0 || n > 255 || (n == 0 && sum != 0))
        __builtin_trap();
}

void RunOne(const uint8_t *data, size_t size);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > 1024)
        return 0;
    static MicroTaskManager manager;
    RunOne(data, size);
    // The engine's scheduler entry is only marked on destruction; sweep it out so that
    // the list does not grow from one input to the next.
    while (manager.Tick()) {
    }
    return 0;
}

namespace {
void RunOne(const uint8_t *data, size_t size)
{
    static std::array<uint8_t, 10> holding{};
    static std::array<uint8_t, 5> odd{};
    static std::array<uint8_t, 4> constant{1, 2, 3, 4};

    const uint32_t framing = data[0] & 1;
    MicroModbus engine(static_cast<uint8_t>(data[0] >> 1), 5);
    // The transmit buffer's size varies with the input too, down to the minimum; the bytes
    // beyond it keep a marker so that a write past the capacity is caught.
    constexpr uint8_t kMarker = 0xA5;
    std::array<uint8_t, 300> tx;
    tx.fill(kMarker);
    const uint16_t capacity = static_cast<uint16_t>(10 + (size > 1 ? data[1] % 200 : 0));
    engine.SetTxBuffer(tx.data(), capacity, framing);
    engine.AddBlock(0, MbVarMapRecord::Memory(holding.data(), holding.size()));
    engine.AddBlock(4, MbVarMapRecord::Memory(odd.data(), odd.size()));
    engine.AddBlock(20, MbVarMapRecord::Memory(constant.data(), constant.size(), true));
    engine.AddBlock(22, MbVarMapRecord::Memory(constant.data(), 0));  // a block without bytes
    engine.AddBlock(100, MbVarMapRecord::Routined(Routine, 16, 32));
    engine.BuildReadRequest(MbHoldingRegisters, 254, 0, 2, 500, OnReply, nullptr);
    engine.BuildReadRequest(MbCoils, 1, 0, 8, 500, OnReply, nullptr);
    const uint8_t word[4] = {1, 2, 3, 4};
    engine.BuildWriteRequest(word, 4, MbHoldingRegisters, 254, 0, 500, OnReply, nullptr);

    const uint8_t *frame = data + 1;
    const uint16_t length = static_cast<uint16_t>(size - 1);
    // An exact-size copy so that a read past the frame is caught.
    uint8_t *copy = new uint8_t[length ? length : 1];
    std::memcpy(copy, frame, length);
    int result = engine.ProcessFrame(copy, length, framing);
    if (result < -1 || result > 2 || engine.TxLength() > capacity || engine.AcceptedLength() > length)
        __builtin_trap();
    const uint8_t *reply = nullptr;
    engine.ParseReadResponse(&reply);
    delete[] copy;
    for (size_t i = capacity; i < tx.size(); ++i)
        if (tx[i] != kMarker)
            __builtin_trap();
}
}  // namespace
