// The link options the window, the command line and the bridge share: how many registers
// one read may span (--max-read), the rate the port is opened at (--baud), the unit the
// requests go to (--address) and whether RTS marks the sending direction (--rts-direction).
#pragma once

#include <cstdint>
#include <string>

// 1..125 registers; false for anything else.
bool ParseMaxRead(const std::string &text, uint16_t *registers);
// One of the rates the device offers (1200 .. 115200); false for anything else.
bool ParseBaudRate(const std::string &text, uint32_t *baud);

// The unit every unit answers whatever its own address: for one device on the line.
constexpr uint8_t kAnyUnitAddress = 254;
// A unit address of one device on a shared bus, 1..247, or 254 for whichever device is
// on the line; false for anything else (0 would be a broadcast, which nobody answers).
bool ParseUnitAddress(const std::string &text, uint8_t *address);
// The message for a text ParseUnitAddress refused, the same from every program.
std::string UnitAddressError(const std::string &text);
