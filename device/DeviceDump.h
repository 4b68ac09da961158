// Gathers every device variable's name and value for the debug dump, reading the
// whole table from the device first (bounded wait).
#pragma once

#include <utility>
#include <vector>

#include "device/ActionManager.h"

constexpr int kDumpMaxPasses = 5000;

// Marks every variable for reading, runs up to kDumpMaxPasses scheduler passes (a 1 ms
// sleep after each pass while some value is still "--"), then returns (Name, Value) of
// each variable in table order. Unread variables keep "--".
std::vector<std::pair<MString, MString>> CollectDumpEntries(cActionManager &manager);
