// The device's register map: every variable the program knows, in table order (which is
// also the poll rotation and the service tree's order).
#pragma once

#include <cstdint>
#include <span>

struct MbVariableRow {
    const char16_t *Name;
    uint16_t Register;
    uint16_t Count;
    uint32_t Access;  // MbAccess
    uint32_t Type;    // MbValueType
};

std::span<const MbVariableRow> DeviceRegisterMap();
