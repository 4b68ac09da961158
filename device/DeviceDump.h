// Gathers every device variable's name and value for the debug dump, reading the
// whole table from the device first.
#pragma once

#include <atomic>
#include <utility>
#include <vector>

#include "device/ActionManager.h"

// How a collection ended.
struct DumpOutcome {
    int Unread = 0;               // variables whose read did not succeed in this dump
    bool ConnectionLost = false;  // the link was dropped while the dump ran
    bool Stopped = false;         // the caller asked it to stop
};

// No exchange ending for this long means the link does not work (no port, no polling):
// every exchange ends within its reply time, the silence and the quiet line after a failure.
constexpr uint32_t kDumpNoProgressMs = 3000;

// Marks every variable for reading and runs the scheduler until none waits for its
// exchange (answered, refused or timed out); a variable whose exchange failed gets one
// more try. Stops early when the connection is lost, when *stop becomes true, or when no
// exchange ends for kDumpNoProgressMs. Returns (Name, Value) of each variable in table
// order; unread variables keep their previous text ("--" when never read).
std::vector<std::pair<MString, MString>> CollectDumpEntries(cActionManager &manager, DumpOutcome *outcome = nullptr,
                                                            const std::atomic<bool> *stop = nullptr);
