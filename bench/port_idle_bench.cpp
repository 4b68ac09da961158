// CPU the transfer thread costs while nothing happens on the line. The main thread sleeps
// through each wall second, so the process CPU time of that second is the thread's.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "port/PortList.h"
#include "port/SerialPort.h"

namespace {

double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

enum class Line { Closed, IdleOpen, HungUp };

void MeasureIdle(benchmark::State &state, Line line)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SetExplicitPorts({ptsname(master)});
    CSerialPort port;
    if (line != Line::Closed && !port.Open(1)) {
        state.SkipWithError("cannot open the pseudo-terminal");
        close(master);
        return;
    }
    if (line == Line::HungUp) {
        close(master);  // the far end is gone: the port reports a hang-up at once, forever
        master = -1;
    }

    double cpuMs = 0, wallMs = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        double c0 = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpuMs += ProcessCpuMs() - c0;
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    state.counters["cpu_ms_per_s"] = wallMs > 0 ? cpuMs * 1000.0 / wallMs : 0;
    state.counters["cpu_percent"] = wallMs > 0 ? cpuMs * 100.0 / wallMs : 0;
    port.Close();
    SetExplicitPorts({});
    if (master >= 0)
        close(master);
}

void BM_ClosedPort(benchmark::State &state)
{
    MeasureIdle(state, Line::Closed);
}
void BM_IdleOpenPort(benchmark::State &state)
{
    MeasureIdle(state, Line::IdleOpen);
}
void BM_HungUpPort(benchmark::State &state)
{
    MeasureIdle(state, Line::HungUp);
}

BENCHMARK(BM_ClosedPort)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleOpenPort)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HungUpPort)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
