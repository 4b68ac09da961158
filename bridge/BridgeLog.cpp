#include "bridge/BridgeLog.h"

#include <chrono>
#include <cstdio>

std::string IsoTime(std::time_t seconds, int milliseconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    // strftime's %z has no colon in the offset; ISO 8601's extended form wants one.
    const long offset = local.tm_gmtoff / 60;
    const long a = offset < 0 ? -offset : offset;
    char out[96];
    std::snprintf(out, sizeof out, "%s.%03d%c%02ld:%02ld", date, milliseconds, offset < 0 ? '-' : '+', a / 60, a % 60);
    return out;
}

std::string BridgeLogLine(const std::string &text)
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return IsoTime(std::time_t(ms / 1000), int(ms % 1000)) + " quintavolte-cli: mqtt: " + text + "\n";
}
