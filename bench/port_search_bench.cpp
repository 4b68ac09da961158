// What the search's progress report costs: a search over 40 ports that are all refused
// (so no reply time hides it), with and without a progress line per port, written to
// /dev/null as a terminal would be written to.
#include <benchmark/benchmark.h>

#include <cerrno>
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
        manager.OnTryPort = [sink](const std::string &path) {
            std::fprintf(sink, "\rsearching for the device: %s\033[K", path.c_str());
            std::fflush(sink);
        };
    for (auto _ : state)
        benchmark::DoNotOptimize(manager.Connect());
    state.counters["refused"] = static_cast<double>(manager.RefusedPorts.size());
    std::fclose(sink);
    SetPortOpenFunction(nullptr);
    SetExplicitPorts({});
}
BENCHMARK(BM_RefusedSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
