// The termios form of the port's line settings (Windows codes for parity and stop bits).
#pragma once
#include <cstdint>
#include <termios.h>

// Turns t into a raw line with these settings, reads returning at once. False for a
// baud rate, data size, parity code (0 none, 1 odd, 2 even, 3 mark, 4 space) or
// stop-bit code (0 one, 2 two) this platform cannot have; t is then unchanged.
bool BuildLineSettings(termios &t, uint32_t baud, uint8_t byteSize, uint8_t stopBits, uint8_t parity);
// Whether the line has what BuildLineSettings asked for (a driver may drop some of it).
bool LineSettingsHeld(const termios &wanted, const termios &got);
