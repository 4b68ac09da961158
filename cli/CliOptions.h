// Command line of quintavolte-cli: parsed into a plain record before anything connects.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "device/LinkOptions.h"

struct CliOptions {
    std::vector<std::string> Ports;  // explicit --port paths, in order
    std::string Command;             // ports, info, get, set, watch, stats, dump, show, backup, restore, diff, journal
    std::vector<std::string> Args;   // the command's own arguments
    int IntervalMs = 1000;           // watch, stats
    bool Csv = false;                // watch, stats
    bool Stats = false;              // watch: the link's counters at the end
    bool DryRun = false;             // restore
    std::string Journal;             // --journal FILE: the journal of writes (default: the user's)
    bool Yes = false;                // set, restore: write what may cut the link without asking
    bool WithCalibration = false;    // restore, diff: another unit's calibration too
    uint16_t MaxRead = 32;           // --max-read N: registers one read may span
    uint32_t Baud = 0;               // --baud RATE: the only rate tried; 0: every offered rate
    uint8_t Address = kAnyUnitAddress;  // --address N: the unit the requests go to
    bool AddressGiven = false;          // the bridge's file gives way to it only when given
    bool RtsDirection = false;          // --rts-direction: RTS high while sending
    std::string HistoryDb;              // log, history: --history-db FILE
    int HistoryIntervalS = 10;          // log: --history-interval S
    std::string From, To;               // history
    bool Daily = false;                 // history
    bool Help = false;
    bool Version = false;
};

// False with a message in *error for an unknown option or command, or a wrong argument count.
bool ParseCliOptions(const std::vector<std::string> &args, CliOptions *options, std::string *error);
const char *CliUsage();
