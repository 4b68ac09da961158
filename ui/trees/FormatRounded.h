// Value texts of the trees, rounded for display.
#pragma once
#include "values/MString.h"

// A number rounded half away from zero to 2 or 3 decimals; any other text, and a number
// whose scaled magnitude does not fit a signed 32-bit count, comes back unchanged.
MString FormatRounded(const MString &text, int decimals);
