// What the search's progress report costs: a search over 40 ports that are all refused
// (so no reply time hides it), with and without a progress line per port, written to
// /dev/null as a terminal would be written to. And what one silent port costs: the whole
// search over it, and the longest stretch the search keeps its caller (the window's event
// loop) waiting between two pauses.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "device/ActionManager.h"
#include "port/PortList.h"

namespace {

constexpr int kPorts = 40;

int RefuseAll(const char *, int)
{
    errno = EACCES;
    return -1;
}

std::vector<std::string> Ports()
{
    std::vector<std::string> ports;
    for (int i = 0; i < kPorts; ++i)
        ports.push_back("/dev/null");
    return ports;
}

void BM_RefusedSearch(benchmark::State &state)
{
    const bool progress = state.range(0) != 0;
    SetExplicitPorts(Ports());
    SetPortOpenFunction(&RefuseAll);
    FILE *sink = std::fopen("/dev/null", "w");
    cActionManager manager;
    if (progress)
        manager.Connection.OnTryPort = [sink](const std::string &path) {
            std::fprintf(sink, "\rsearching for the device: %s\033[K", path.c_str());
            std::fflush(sink);
        };
    for (auto _ : state)
        benchmark::DoNotOptimize(manager.Connect());
    state.counters["refused"] = static_cast<double>(manager.Connection.RefusedPorts.size());
    std::fclose(sink);
    SetPortOpenFunction(nullptr);
    SetExplicitPorts({});
}
BENCHMARK(BM_RefusedSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SilentPortSearch(benchmark::State &state)
{
    // A pseudo-terminal whose other end is held open and never answers, as a port with
    // nothing on its cable.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname(master) == nullptr) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);  // the drain below must not wait
    SetExplicitPorts({ptsname(master)});
    cActionManager manager;
    using Clock = std::chrono::steady_clock;
    Clock::time_point last;
    double longestMs = 0;
    manager.Connection.OnSearchWait = [&] {
        const Clock::time_point now = Clock::now();
        longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    };
    for (auto _ : state) {
        last = Clock::now();
        const Clock::time_point start = last;
        benchmark::DoNotOptimize(manager.Connect());
        const Clock::time_point end = Clock::now();
        longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(end - last).count());
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        char drain[256];
        while (read(master, drain, sizeof drain) > 0) {
        }
    }
    state.counters["longest_wait_ms"] = longestMs;
    SetExplicitPorts({});
    close(master);
}
BENCHMARK(BM_SilentPortSearch)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
