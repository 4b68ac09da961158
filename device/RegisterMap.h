// The device's register map: every variable the program knows, in table order (which is
// also the poll rotation and the service tree's order).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct MbVariableRow {
    const char16_t *Name;
    uint16_t Register;
    uint16_t Count;
    uint32_t Access;  // MbAccess
    uint32_t Type;    // MbValueType
};

std::span<const MbVariableRow> DeviceRegisterMap();

// Whether firmware of the version (times 100) has the variable: the output modes
// Do1.Mode..Do4.Mode came with 1.11; every other variable of the map is in every version.
bool InFirmware(std::u16string_view name, int32_t versionX100);
