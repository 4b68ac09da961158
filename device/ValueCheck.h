// Checks a value text against a variable's type before it is written: the encoder parses
// numbers leniently (a text without digits writes 0), so a front end that takes values from
// outside refuses what would not be written as the user meant.
#pragma once

#include <string>

#include "device/ModbusAction.h"

// True when the text is a value of the variable's type within its range; otherwise false
// with the reason in *why ("is not a number", "is out of range 0..65535", ...).
bool ValueFits(const ModbusAction &variable, const MString &text, std::string *why);
