// The bridge's log lines: each begins with the local time in ISO 8601, so that a log kept
// in a file or read from another machine says when something happened.
#pragma once

#include <ctime>
#include <string>

// "2026-12-11T09:30:05.123+01:00" for the given moment (seconds and milliseconds).
std::string IsoTime(std::time_t seconds, int milliseconds);

// "<ISO time> quintavolte-cli: mqtt: <text>\n" at the present moment.
std::string BridgeLogLine(const std::string &text);
