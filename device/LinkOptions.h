// The link options the window, the command line and the bridge share: how many registers
// one read may span (--max-read) and the rate the port is opened at (--baud).
#pragma once

#include <cstdint>
#include <string>

// 1..125 registers; false for anything else.
bool ParseMaxRead(const std::string &text, uint16_t *registers);
// One of the rates the device offers (1200 .. 115200); false for anything else.
bool ParseBaudRate(const std::string &text, uint32_t *baud);
