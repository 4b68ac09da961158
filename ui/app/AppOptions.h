// Command line of the window program: parsed before any window exists, so that --help
// and --version work without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/LinkOptions.h"
#include "ui/app/Language.h"
#include "ui/app/Theme.h"

struct AppOptions {
    std::vector<std::string> Ports;      // explicit --port paths, in order (COM1 is the first)
    std::vector<std::string> QtArgs;     // everything else, for the toolkit (argv[0] first)
    std::optional<UiLanguage> Language;  // --lang ru|en; otherwise the system locale decides
    std::string Journal;                 // --journal FILE: the journal of writes (default: the user's)
    uint16_t MaxRead = 32;               // --max-read N: registers one read may span
    uint32_t Baud = 0;                   // --baud RATE: the only rate tried; 0: every offered rate
    uint8_t Address = kAnyUnitAddress;   // --address N: the unit the requests go to
    bool RtsDirection = false;           // --rts-direction: RTS high while sending
    std::string HistoryDb;               // --history-db FILE (default: the user's)
    int HistoryIntervalS = 10;           // --history-interval S
    UiTheme Theme = UiTheme::System;     // --theme dark|light|system
    bool Help = false;
    bool Version = false;
};

// False with a message in *error for an unknown --option, a --port without a path, a
// --lang other than ru or en or a --theme other than dark, light or system.
bool ParseAppOptions(const std::vector<std::string> &argv, AppOptions *options, std::string *error);
const char *AppUsage();
const char *AppVersion();
