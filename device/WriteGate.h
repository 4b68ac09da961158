// The one check every write to the device passes, whatever asked for it: the window's
// editors and trees, presets, training, restore, the command line and the MQTT bridge.
// It knows the limits each writable variable really has, so a value the device would
// misread (a text without digits, a flag of 2, a set-point of 1000 V) never goes out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "device/ModbusAction.h"

// What a writable variable accepts. Numbers outside [Min, Max] are refused; with
// Options, only those values are accepted; Integer refuses fractions.
struct WriteLimits {
    uint32_t Type = mbtFloat;
    bool Integer = false;
    double Min = 0;
    double Max = 0;
    double Step = 0;                  // a sensible editor step (0: none suggested)
    std::span<const double> Options;  // the only values allowed, when not empty
    const char *Unit = "";            // physical unit of the value, "" when it has none
    bool Command = false;             // writing 1 makes the device do something once
};

enum class WriteFault {
    None,
    UnknownVariable,   // no such variable in the table
    ReadOnly,          // the device does not take writes to it
    NotANumber,        // empty, "abc", "1e", "14,4abc", "-"
    NotAnInteger,      // "1.5" for an integer variable
    OutOfRange,        // beyond Min..Max
    NotAnOption,       // not one of Options
    NotRepresentable,  // a non-zero number below the smallest normal float (or double)
};

struct WriteCheck {
    WriteFault Fault = WriteFault::None;
    std::string Name;    // the variable
    std::string Value;   // the refused text, trimmed and cut for messages
    WriteLimits Limits;  // what is allowed (for the message)
    // The text to send when it is not the one given: "0" for a negative zero, which a
    // float would otherwise carry to the device as its sign bit. Empty: send the text as is.
    std::string Normalized;

    bool Ok() const { return Fault == WriteFault::None; }
};

// The limits of a variable by name; nullptr for an unknown or read-only variable.
// Writable variables of the register map that need no tighter rule get their type's range.
const WriteLimits *WriteLimitsOf(std::u16string_view name, uint32_t type, uint32_t access);
inline const WriteLimits *WriteLimitsOf(const ModbusAction &v)
{
    return WriteLimitsOf(v.Name.View(), v.Type, v.Access);
}

// Whether `text` may be written to the variable. Numbers are accepted with a point or a
// comma and must be complete ("1e", "-" and "" are not).
WriteCheck CheckWrite(const ModbusAction &variable, const MString &text);
// The text a write that passed the check sends: `text`, or the check's normalised form.
MString WrittenText(const WriteCheck &check, const MString &text);

// The allowed values in a plain form: "0 or 1", "0..5", "1200, 2400, ...", "a finite
// 32-bit float". Numbers in the C locale.
std::string AllowedText(const WriteLimits &limits);

// The reason after the value, in English: "is out of range (allowed: 0..5)".
std::string RefusalReason(const WriteCheck &check);
// An English sentence for the command line and logs: "Do1.Mode: \"7\" is out of range (allowed: 0..5)".
std::string DescribeRefusal(const WriteCheck &check);

// The variables whose new value changes how the device is reached: after a new baud rate
// the program, which talks at 9600, no longer hears the device, and a new address may cut
// off other masters on the bus. Every front end asks before writing them, and a restore
// writes them last.
inline constexpr std::string_view kLinkChangingVariables[] = {"485.Init.BaudRate", "Mb.MyModbusAddr"};
inline bool ChangesDeviceLink(std::string_view name)
{
    for (std::string_view v : kLinkChangingVariables)
        if (v == name)
            return true;
    return false;
}
inline bool ChangesDeviceLink(std::u16string_view name)
{
    for (std::string_view v : kLinkChangingVariables)
        if (std::equal(v.begin(), v.end(), name.begin(), name.end(),
                       [](char a, char16_t b) { return char16_t(a) == b; }))
            return true;
    return false;
}
