// The history commands of quintavolte-cli: log (record the device into the history
// database until stopped) and history (print its samples or daily totals).
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliBackup.h"

struct CliHistoryOptions {
    std::string Db;  // empty: the user's history file
    int IntervalS = 10;
    std::string From, To;  // YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], local time
    bool Daily = false;
    bool Csv = false;
    std::vector<std::string> Names;
};

int CmdLog(CliDeviceLink &link, const CliHistoryOptions &options, std::ostream &out, std::ostream &err);
int CmdHistory(const CliHistoryOptions &options, std::ostream &out, std::ostream &err);
// A local date or date and time as UTC seconds; endOfDay takes a bare date's last second.
bool ParseHistoryTime(const std::string &text, bool endOfDay, int64_t *utcSeconds);
