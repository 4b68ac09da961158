#include "device/LinkOptions.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "device/ModbusShell.h"

namespace {

constexpr uint32_t kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

bool ParseWhole(const std::string &text, uint32_t *value)
{
    const auto res = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && res.ec == std::errc() && res.ptr == text.data() + text.size();
}

}  // namespace

bool ParseMaxRead(const std::string &text, uint16_t *registers)
{
    uint32_t n = 0;
    if (!ParseWhole(text, &n) || n < 1 || n > ModbusShell::kMaxReadLimit)
        return false;
    *registers = static_cast<uint16_t>(n);
    return true;
}

bool ParseBaudRate(const std::string &text, uint32_t *baud)
{
    uint32_t n = 0;
    if (!ParseWhole(text, &n) || std::find(std::begin(kBaudRates), std::end(kBaudRates), n) == std::end(kBaudRates))
        return false;
    *baud = n;
    return true;
}

bool ParseUnitAddress(const std::string &text, uint8_t *address)
{
    uint32_t n = 0;
    if (!ParseWhole(text, &n) || ((n < 1 || n > 247) && n != kAnyUnitAddress))
        return false;
    *address = static_cast<uint8_t>(n);
    return true;
}

std::string UnitAddressError(const std::string &text)
{
    return "--address wants a unit address from 1 to 247 (or 254, whichever device is on the line), not '" + text + "'";
}
