#include "core/MbFraming.h"

#include <array>

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

// One table step per byte instead of eight shifts.
constexpr std::array<uint16_t, 256> MakeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        table[i] = crc;
    }
    return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();
}  // namespace

uint16_t MbCrc16(const uint8_t *data, size_t length)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

namespace mbframe {

// ---- RTU ----

uint16_t NoId(const uint8_t *)
{
    return 0;
}
void PutNoId(uint8_t *, uint16_t)
{
}
uint16_t NoTransaction(uint16_t &)
{
    return 0;
}

void RtuFinish(uint8_t *frame, uint16_t total)
{
    const uint16_t crc = MbCrc16(frame, total - 2u);
    frame[total - 2] = static_cast<uint8_t>(crc);
    frame[total - 1] = static_cast<uint8_t>(crc >> 8);
}

uint16_t RtuAccept(const uint8_t *frame, uint16_t length)
{
    // Unit, function code and CRC at the least.
    if (length < 4)
        return 0;
    const uint16_t crc = MbCrc16(frame, length - 2u);
    const uint16_t sent = static_cast<uint16_t>(frame[length - 2] | (frame[length - 1] << 8));
    return crc == sent ? length : 0;
}

uint32_t RtuReplyLength(const uint8_t *head, uint16_t n)
{
    if (n < 2)
        return 0;
    const uint8_t function = head[1];
    if (function & 0x80)
        return 5;  // unit, function, exception code, CRC
    switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
        return n < 3 ? 0 : 5u + head[2];  // unit, function, byte count, data, CRC
    case 5:
    case 6:
    case 15:
    case 16:
        return 8;  // unit, function, address, value or quantity, CRC
    default:
        return 0;  // not ours to frame: the silence decides
    }
}

// ---- MBAP ----

uint16_t MbapTransaction(const uint8_t *frame)
{
    return Be16(frame);
}
uint16_t MbapProtocol(const uint8_t *frame)
{
    return Be16(frame + 2);
}
void MbapPutTransaction(uint8_t *frame, uint16_t id)
{
    PutBe16(frame, id);
}
void MbapPutProtocol(uint8_t *frame, uint16_t id)
{
    PutBe16(frame + 2, id);
}
uint16_t MbapNextTransaction(uint16_t &counter)
{
    return counter++;
}

void MbapFinish(uint8_t *frame, uint16_t total)
{
    PutBe16(frame + 4, static_cast<uint16_t>(total - 6));
}

uint16_t MbapAccept(const uint8_t *frame, uint16_t length)
{
    // The length field must at least cover the unit and the function code.
    if (length < 8)
        return 0;
    const uint32_t declared = Be16(frame + 4);
    if (declared < 2 || length < declared + 6)
        return 0;
    return static_cast<uint16_t>(declared + 6);
}

uint32_t MbapReplyLength(const uint8_t *head, uint16_t n)
{
    // The length field tells, whatever the function code.
    if (n < 6)
        return 0;
    const uint32_t declared = Be16(head + 4);
    return declared < 2 ? 0 : declared + 6;  // a length without unit and function never frames
}

}  // namespace mbframe
