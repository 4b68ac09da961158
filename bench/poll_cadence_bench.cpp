// How fast the polling refreshes against the stand-in device over a pseudo-terminal paced
// like a real line at the rate given as the benchmark's argument, with the scheduler driven
// like the main window: one tick per 10 ms heartbeat, and the shell's turn whenever the port
// says the line has something for it.
//
// BM_PollCadence: every variable asked for all the time, one variable per request; reported
// next to the physical bound of the line at that rate (request and reply characters plus
// the frame gap after each, averaged over the table).
// BM_FullRound: every readable variable asked for once, as the bridge and the dump read
// them, with block reads; the time of a round next to the bound of its block plan.
// BM_WriteLatency: every variable polled as on a busy page while a one-register write is
// asked for every so often; the median time from asking to the device taking the request
// (its acknowledgement less the silence before the echo and the echo's 8 characters).
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

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/MicroClock.h"
#include "device/ActionManager.h"
#include "device/WriteJournal.h"
#include "port/PortList.h"

extern char **environ;

namespace {

constexpr int kHeartbeatMs = 10;
constexpr int kMeasureSeconds = 5;
constexpr int kRounds = 5;
constexpr int kWrites = 60;

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
    bool Start(uint32_t lineRate)
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string path = SimPath();
        std::string rate = std::to_string(lineRate);
        char lineRateOption[] = "--line-rate";
        char *argv[] = {const_cast<char *>(path.c_str()), lineRateOption, rate.data(), nullptr};
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

// Milliseconds of one character and of the gap after a frame at a rate (10 bits a
// character; 3.5 characters, at least 1.75 ms above 19200 baud).
double CharMs(double baud)
{
    return 10 * 1000.0 / baud;
}
double GapMs(double baud)
{
    return baud > 19200 ? 1.75 : 3.5 * CharMs(baud);
}

// Line time of one read of `registers`: an 8-byte request, a 5 + 2n byte reply, and the
// gap after each.
double ExchangeLineMs(int registers, double baud)
{
    return (8 + 5 + 2.0 * registers) * CharMs(baud) + 2 * GapMs(baud);
}

// Connected to a stand-in paced at the rate, or a skip reason.
struct Rig {
    Sim sim;
    cActionManager manager;
    std::string Start(uint32_t baud, uint16_t maxRead)
    {
        if (!sim.Start(baud))
            return "cannot start the stand-in at " + SimPath() + " (set QV_SIM)";
        SetExplicitPorts({sim.Tty()});
        manager.LineBaud = baud;
        manager.Shell.MaxReadRegisters = maxRead;
        if (!manager.Connect())
            return "the stand-in was not identified";
        return {};
    }
    ~Rig()
    {
        manager.Disconnect();
        SetExplicitPorts({});
    }
    // Serves the line until the next heartbeat, then ticks, as the window does.
    void Heartbeat(std::chrono::steady_clock::time_point &next)
    {
        next += std::chrono::milliseconds(kHeartbeatMs);
        for (auto now = std::chrono::steady_clock::now(); now < next; now = std::chrono::steady_clock::now()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
            manager.ServeLine(static_cast<int>(left) + 1);
        }
        manager.TickScheduler();
    }
};

void BM_PollCadence(benchmark::State &state)
{
    const auto baud = static_cast<uint32_t>(state.range(0));
    Rig rig;
    if (const std::string error = rig.Start(baud, 1); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    TMbActions &actions = rig.manager.Shell.Actions;
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
            rig.Heartbeat(next);
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
        lineMs += ExchangeLineMs(actions.At(i)->RegCount, baud);
    const double perSecond = static_cast<double>(reads) / seconds;
    const double physical = 1000.0 * count / lineMs;
    state.counters["variables_per_s"] = perSecond;
    state.counters["physical_bound_per_s"] = physical;
    state.counters["ratio_to_physical"] = perSecond / physical;
    state.counters["failed_exchanges"] = static_cast<double>(failures);
}

void BM_FullRound(benchmark::State &state)
{
    const auto baud = static_cast<uint32_t>(state.range(0));
    Rig rig;
    if (const std::string error = rig.Start(baud, ModbusShell::kDefaultMaxRead); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<ModbusAction *> readable;
    TMbActions &actions = rig.manager.Shell.Actions;
    for (int i = 0; ModbusAction *v = actions.At(i); ++i)
        if (v->Access != mbaWrite)
            readable.push_back(v);
    // The bound: the line time of the plan of blocks the shell makes of them.
    double boundMs = 0;
    int blocks = 0;
    for (size_t i = 0; i < readable.size();) {
        int registers = readable[i]->RegCount;
        size_t j = i + 1;
        while (j < readable.size() &&
               readable[j]->RegAddress == readable[j - 1]->RegAddress + readable[j - 1]->RegCount &&
               registers + readable[j]->RegCount <= ModbusShell::kDefaultMaxRead)
            registers += readable[j++]->RegCount;
        boundMs += ExchangeLineMs(registers, baud);
        ++blocks;
        i = j;
    }
    double seconds = 0;
    int64_t rounds = 0, unread = 0;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            // The period of every variable is over: a round starts on a rested table.
            for (ModbusAction *v : readable) {
                v->State = mbsRequested;
                v->LastPoll = GetTickCount32() - 1000;
            }
            const auto start = std::chrono::steady_clock::now();
            auto next = start;
            const auto giveUp = start + std::chrono::seconds(30);
            auto busy = [&] {
                for (ModbusAction *v : readable)
                    if (v->State == mbsRequested || v->State == mbsSent)
                        return true;
                return false;
            };
            while (busy() && next < giveUp)
                rig.Heartbeat(next);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            for (ModbusAction *v : readable)
                unread += v->State == mbsDone ? 0 : 1;
            ++rounds;
        }
    }
    const double perRound = seconds / static_cast<double>(rounds);
    state.counters["variables"] = static_cast<double>(readable.size());
    state.counters["block_reads_planned"] = blocks;
    state.counters["round_s"] = perRound;
    state.counters["block_bound_s"] = boundMs / 1000.0;
    state.counters["ratio_to_bound"] = boundMs / 1000.0 / perRound;
    state.counters["unread"] = static_cast<double>(unread);
}

void BM_WriteLatency(benchmark::State &state)
{
    const auto baud = static_cast<uint32_t>(state.range(0));
    char journal[] = "/tmp/qv-bench-journal-XXXXXX";
    const int fd = mkstemp(journal);
    if (fd >= 0)
        close(fd);
    SetJournalPath(journal);
    Rig rig;
    if (const std::string error = rig.Start(baud, ModbusShell::kDefaultMaxRead); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    TMbActions &actions = rig.manager.Shell.Actions;
    ModbusAction *loadOff = rig.manager.Shell.FindVariable(MString(u"Reg.bForceLoadOff"));
    std::vector<double> latencies;
    int failed = 0;
    for (auto _ : state) {
        auto next = std::chrono::steady_clock::now();
        for (int write = 0; write < kWrites; ++write) {
            // Polling goes on between writes, for an uneven while so that the writes meet the
            // line at every point of its exchanges.
            const int idleBeats = 5 + write % 7;
            for (int beat = 0; beat < idleBeats; ++beat) {
                for (int i = 0; ModbusAction *v = actions.At(i); ++i)
                    if (v->State != mbsSent && !v->WritePending && v->Access != mbaWrite)
                        v->State = mbsRequested;
                rig.Heartbeat(next);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(1000 * (write % 10)));
            const auto asked = std::chrono::steady_clock::now();
            if (!rig.manager.Shell.RequestWrite(loadOff, MString(write % 2 ? u"1" : u"0"))) {
                ++failed;
                continue;
            }
            // The window's pace, looked at after every turn of the shell.
            next = asked + std::chrono::milliseconds(kHeartbeatMs);
            while (!(loadOff->State == mbsDone && !loadOff->WritePending) && loadOff->State != mbsTimedOut &&
                   loadOff->State != mbsException && loadOff->State != mbsBadReply) {
                rig.manager.ServeLine(1);
                if (std::chrono::steady_clock::now() >= next) {
                    rig.manager.TickScheduler();
                    next += std::chrono::milliseconds(kHeartbeatMs);
                }
            }
            if (loadOff->State != mbsDone) {
                ++failed;
                continue;
            }
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count();
            // The stand-in stores the write as it frames the request, then keeps the
            // 3.5-character silence and sends its 8-character echo.
            latencies.push_back(ms - 8 * CharMs(baud) - GapMs(baud));
        }
    }
    SetJournalPath({});
    unlink(journal);
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        state.SkipWithError("no write was acknowledged");
        return;
    }
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10];
    state.counters["max_ms"] = latencies.back();
    state.counters["failed"] = failed;
}

}  // namespace

BENCHMARK(BM_WriteLatency)->Arg(9600)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PollCadence)->Arg(9600)->Arg(19200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullRound)->Arg(9600)->Arg(1200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
