// The shell's reply path: one pending request of each kind the shell sends (reads of 1, 2,
// 4 and more registers for every value type, bit reads, single and multiple writes), then
// arbitrary received bytes. A reply that does not fit its request must never be taken as
// a value: the variable may only end done with a new text when the reply carried exactly
// its register bytes, and a write only when the echo matched the request.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/MicroModbus.h"
#include "device/BlockReads.h"
#include "device/ModbusAction.h"
#include "device/ModbusShell.h"

namespace {

struct Kind {
    uint32_t area;
    uint32_t type;
    uint16_t count;
    bool write;
    const char16_t *text;  // value to write
};

constexpr Kind kKinds[] = {
    {MbHoldingRegisters, mbtBool, 1, false, nullptr},
    {MbHoldingRegisters, mbtUShort, 1, false, nullptr},
    {MbInputRegisters, mbtShort, 1, false, nullptr},
    {MbHoldingRegisters, mbtUInt, 2, false, nullptr},
    {MbHoldingRegisters, mbtInt, 2, false, nullptr},
    {MbInputRegisters, mbtFloat, 2, false, nullptr},
    {MbHoldingRegisters, mbtInt64, 4, false, nullptr},
    {MbHoldingRegisters, mbtDouble, 4, false, nullptr},
    {MbHoldingRegisters, mbtAscii, 10, false, nullptr},
    {MbHoldingRegisters, mbtBinary, 3, false, nullptr},
    {MbCoils, mbtBool, 1, false, nullptr},
    {MbDiscreteInputs, mbtBool, 1, false, nullptr},
    {MbHoldingRegisters, mbtUShort, 1, true, u"1234"},  // single register write
    {MbHoldingRegisters, mbtUInt, 2, true, u"70000"},   // multiple registers
    {MbHoldingRegisters, mbtDouble, 4, true, u"2.5"},
    {MbHoldingRegisters, mbtAscii, 4, true, u"AbCd"},
    {MbCoils, mbtBool, 1, true, u"true"},
};
constexpr std::size_t kKindCount = sizeof(kKinds) / sizeof(kKinds[0]);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Byte 0: request kind; byte 1: bit 0 appends a correct CRC so the bytes reach the
    // decoding rather than stopping at the checksum. The rest is the received frame.
    if (size < 2 || size > 300)
        return 0;
    static ModbusShell *shell = new ModbusShell();
    ConsecutiveTimeouts = 0;
    shell->Engine.Reset();
    shell->ClearVariables();

    const Kind &kind = kKinds[data[0] % kKindCount];
    const bool addCrc = (data[1] & 1) != 0;
    ModbusAction *v = shell->NewVariable();
    v->Name = MString(u"Fuzz.Var");
    v->Area = kind.area;
    v->Type = kind.type;
    v->RegAddress = 0x1234;
    v->RegCount = kind.count;
    v->Value = MString(u"--");

    if (kind.write) {
        v->Value = MString(kind.text);
        v->WritePending = true;
        if (!shell->EncodeWrite(v))
            __builtin_trap();  // every text above is representable
    } else if (!shell->Engine.BuildReadRequest(v->Area, 254, v->RegAddress, v->RegCount, 500, &ModbusShell::OnReply,
                                               v)) {
        __builtin_trap();
    }
    const uint16_t txLength = shell->Engine.TxLength();
    const std::vector<uint8_t> request(shell->TxFrame, shell->TxFrame + txLength);
    v->State = mbsSent;
    const MString before = v->Value;

    std::vector<uint8_t> frame(data + 2, data + size);
    if (addCrc) {
        const uint16_t crc = MbCrc16(frame.data(), frame.size());
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
    }
    shell->Engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbRtu);

    if (v->State != mbsDone)
        return 0;
    // Done: the frame must be a well-formed answer to exactly this request.
    if (frame.size() < 4 || frame[0] != request[0] || frame[1] != request[1])
        __builtin_trap();
    if (kind.write) {
        // Echo of unit, function, address and value/quantity: the first 6 bytes.
        if (frame.size() != 8 || std::memcmp(frame.data(), request.data(), 6) != 0)
            __builtin_trap();
        return 0;
    }
    const std::size_t expectedBytes = IsRegisterArea(kind.area) ? 2u * kind.count : (kind.count + 7u) / 8u;
    if (frame[2] != expectedBytes || frame.size() != 3 + expectedBytes + 2)
        __builtin_trap();
    (void)before;
    return 0;
}
