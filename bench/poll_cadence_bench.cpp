// How many variables per second the polling refreshes against the stand-in device over a
// pseudo-terminal paced like a 9600-baud line, with every variable asked for all the time
// and the scheduler driven like the main window: one tick per 10 ms heartbeat, and the
// shell's turn whenever the port says the line has something for it. Reported next to the
// physical bound of the line (request and reply characters plus a 3.5-character silence
// after each, averaged over the table).
//
// The stand-in is found next to this program's build (../sim/quintavolte-sim) or through
// the environment variable QV_SIM.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "device/ActionManager.h"
#include "port/PortList.h"

extern char **environ;

namespace {

constexpr int kHeartbeatMs = 10;
constexpr int kMeasureSeconds = 5;

std::string SimPath()
{
    if (const char *env = std::getenv("QV_SIM"))
        return env;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    std::string dir(self, static_cast<size_t>(n));
    dir = dir.substr(0, dir.find_last_of('/'));
    return dir + "/../sim/quintavolte-sim";
}

// The stand-in, stopped when this goes.
class Sim {
public:
    bool Start()
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string path = SimPath();
        char *argv[] = {const_cast<char *>(path.c_str()), nullptr};
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        for (int waited = 0; waited < 5000; waited += 50) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            if (read(out_, &c, 1) != 1)
                return false;
            if (c == '\n')
                return true;
            tty_.push_back(c);
        }
        return false;
    }
    ~Sim()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
    }
    const std::string &Tty() const { return tty_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string tty_;
};

constexpr double kLineBaud = 9600;  // the stand-in's default pacing
constexpr double kCharMs = 10 * 1000.0 / kLineBaud;

// Line time of one read of `registers`: an 8-byte request, a 5 + 2n byte reply, and the
// 3.5-character silence after each.
double ExchangeLineMs(int registers)
{
    return (8 + 5 + 2.0 * registers + 7) * kCharMs;
}

void BM_PollCadence(benchmark::State &state)
{
    Sim sim;
    if (!sim.Start()) {
        state.SkipWithError(("cannot start the stand-in at " + SimPath() + " (set QV_SIM)").c_str());
        return;
    }
    SetExplicitPorts({sim.Tty()});
    cActionManager manager;
    if (!manager.Connect()) {
        state.SkipWithError("the stand-in was not identified");
        return;
    }
    TMbActions &actions = manager.Shell.Actions;
    const int count = actions.Count();

    int64_t reads = 0, failures = 0;
    double seconds = 0;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i)
            actions.At(i)->State = mbsRequested;
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        const auto end = start + std::chrono::seconds(kMeasureSeconds);
        while (next < end) {
            next += std::chrono::milliseconds(kHeartbeatMs);
            // Between two heartbeats the window waits on the line's ready signal and gives
            // the shell its turn as soon as a reply is complete or a frame's silence is over.
            for (auto now = std::chrono::steady_clock::now(); now < next; now = std::chrono::steady_clock::now()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
                manager.ServeLine(static_cast<int>(left) + 1);
            }
            manager.TickScheduler();
            // Everything stays asked for: a finished variable is counted and asked again.
            for (int i = 0; i < count; ++i) {
                ModbusAction *v = actions.At(i);
                if (v->State == mbsRequested || v->State == mbsSent)
                    continue;
                (v->State == mbsDone ? reads : failures) += 1;
                v->State = mbsRequested;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    double lineMs = 0;
    for (int i = 0; i < count; ++i)
        lineMs += ExchangeLineMs(actions.At(i)->RegCount);
    manager.Disconnect();
    SetExplicitPorts({});
    const double perSecond = static_cast<double>(reads) / seconds;
    const double physical = 1000.0 * count / lineMs;
    state.counters["variables_per_s"] = perSecond;
    state.counters["physical_bound_per_s"] = physical;
    state.counters["ratio_to_physical"] = perSecond / physical;
    state.counters["failed_exchanges"] = static_cast<double>(failures);
}

}  // namespace

BENCHMARK(BM_PollCadence)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
