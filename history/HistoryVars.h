// The device variables the history keeps, in the order of the database's columns.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HistoryVar {
    const char *Name;    // the device variable
    const char *Column;  // its column in the database
    bool Counter;        // an energy counter: daily totals come from its differences
};

constexpr int kHistoryVarCount = 11;
constexpr int kHistoryCounterCount = 4;
// The variables; the four counters come last, in the order of HistoryDaily::Energy.
const std::array<HistoryVar, kHistoryVarCount> &HistoryVars();
// Index in HistoryVars, or -1.
int FindHistoryVar(std::string_view name);

// One reading of every variable at one time (UTC seconds); a value the device did not give
// is empty.
struct HistorySample {
    int64_t Time = 0;
    std::array<std::optional<double>, kHistoryVarCount> Values{};
};
