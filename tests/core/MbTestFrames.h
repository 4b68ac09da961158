// Helpers for hand-written frames in the engine tests.
#pragma once
#include <cstdint>
#include <vector>

#include "core/MicroModbus.h"

using Bytes = std::vector<uint8_t>;

// The RTU frame of unit, function code and data: the CRC appended low byte first.
inline Bytes Rtu(Bytes body)
{
    uint16_t crc = MbCrc16(body.data(), body.size());
    body.push_back(static_cast<uint8_t>(crc));
    body.push_back(static_cast<uint8_t>(crc >> 8));
    return body;
}

inline Bytes TxBytes(const MicroModbus &engine, const uint8_t *buffer)
{
    return Bytes(buffer, buffer + engine.TxLength());
}
