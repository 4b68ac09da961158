// The link counters as named fields, in one order for every front end (command-line
// table and CSV, the bridge's stats topic).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "device/ModbusShell.h"

using LinkStatsField = std::pair<const char *, uint64_t>;

// ("requests", n), ("good_replies", n), ("timeouts", n), ("bad_replies", n),
// ("exceptions", n), ("late_bytes_dropped", n), ("noise_bytes", n), ("reconnections", n).
std::array<LinkStatsField, 8> LinkStatsFields(const ModbusShell::LinkStats &stats);

// "12 requests, 11 good replies, 1 timeouts, ..." for a log or a closing line.
std::string LinkStatsSummary(const ModbusShell::LinkStats &stats);
