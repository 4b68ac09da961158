// The window program's start and idle cost, against the stand-in on the first port:
// process start to the window shown, to the connected view, from there to every value of
// the charger page shown, and the processor time of the whole program per second while it
// sits connected on the charger page.
//
// Each measurement runs the real program code in a child process (this same binary with
// --probe), which reports monotonic clock readings on stdout.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QLabel>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device/ChildProcess.h"
#include "ui/app/AppMain.h"
#include "ui/pages/ChargerMnemoPage.h"
#include "ui/MainForm.h"

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// --- the child: the program with a few readings ------------------------------------------

class ShownWatch : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            std::printf("shown %lld\n", static_cast<long long>(NowNs()));
            std::fflush(stdout);
            watched->removeEventFilter(this);  // no cost of ours in the idle figure
        }
        return false;
    }
};

int Probe(const std::string &port, int idleSeconds)
{
    AppOptions options;
    options.Ports = {port};
    char name[] = "quintavolte";
    char *argv[] = {name, nullptr};
    int argc = 1;
    return RunQuintavolte(argc, argv, options, [idleSeconds](TMainForm &form) {
        form.installEventFilter(new ShownWatch);
        QObject::connect(&form, &TMainForm::startupConnectDone, &form, [] {
            std::printf("linked %lld\n", static_cast<long long>(NowNs()));
            std::fflush(stdout);
        });
        auto *poll = new QTimer(&form);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, idleSeconds] {
            if (!form.IsConnectedView())
                return;
            poll->stop();
            std::printf("connected %lld\n", static_cast<long long>(NowNs()));
            std::fflush(stdout);
            // Then the charger page until every one of its 16 values has come.
            auto *fill = new QTimer(&form);
            QObject::connect(fill, &QTimer::timeout, &form, [&form, fill, idleSeconds] {
                const ChargerMnemoPage *p = form.ChargerMnemoTS;
                for (const QLabel *l :
                     {p->PhotoCurrentLabel, p->PhotoVoltageLabel, p->PhotoPowerLabel, p->PhotoEnergyLabel,
                      p->BatCurrentLabel, p->BatVoltageLabel, p->BatPowerLabel, p->BatEnergyChargeLabel,
                      p->BatEnergyDischargeLabel, p->LoadCurrentLabel, p->LoadVoltageLabel, p->LoadPowerLabel,
                      p->LoadEnergyLabel, p->ChargerAvddLabel, p->ChargerTempLabel, p->ChargerUptimeLabel})
                    if (l->text().isEmpty() || l->text().contains(QStringLiteral("--")))
                        return;
                fill->stop();
                std::printf("filled %lld\n", static_cast<long long>(NowNs()));
                std::fflush(stdout);
                if (idleSeconds <= 0)
                    form.close();
            });
            fill->start(2);
            if (idleSeconds <= 0)
                return;
            // Values settle first; then the program's own processor time over the window.
            QTimer::singleShot(2000, &form, [&form, idleSeconds] {
                const double cpu0 = CpuSeconds();
                const int64_t t0 = NowNs();
                QTimer::singleShot(idleSeconds * 1000, &form, [&form, cpu0, t0] {
                    const double wall = (NowNs() - t0) / 1e9;
                    std::printf("cpu %.4f\n", 100.0 * (CpuSeconds() - cpu0) / wall);
                    std::fflush(stdout);
                    form.close();
                });
            });
        });
        poll->start(2);
    });
}

// --- the parent: the benchmarks ----------------------------------------------------------

std::string g_self;

struct StandIn {
    testutil::ChildProcess sim;
    std::string path;
    bool Start()
    {
        std::vector<std::string> argv{QUINTAVOLTE_SIM_PATH};
        if (const char *rate = std::getenv("QV_SIM_LINE_RATE"))
            argv.insert(argv.end(), {"--line-rate", rate});
        if (!sim.Start(argv))
            return false;
        path = sim.FirstLine();
        return !path.empty();
    }
};

// Runs the probe; the readings it printed, as ns after the spawn (cpu as printed).
std::vector<std::pair<std::string, double>> RunProbe(const std::string &port, int idleSeconds)
{
    testutil::ChildProcess probe;
    const int64_t start = NowNs();
    std::vector<std::pair<std::string, double>> out;
    if (!probe.Start({g_self, "--probe", port, std::to_string(idleSeconds)}))
        return out;
    for (;;) {
        const std::string line = probe.FirstLine(20000);
        if (line.empty())
            break;
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const double value = std::strtod(line.c_str() + space + 1, nullptr);
        out.emplace_back(key, key == "cpu" ? value : value - start);
    }
    probe.WaitExit(20000);
    return out;
}

double Reading(const std::vector<std::pair<std::string, double>> &readings, const char *key)
{
    for (const auto &[k, v] : readings)
        if (k == key)
            return v;
    return -1;
}

void BM_StartToShown(benchmark::State &state)
{
    StandIn sim;
    if (!sim.Start()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    double connectedSum = 0, filledSum = 0;
    for (auto _ : state) {
        const auto readings = RunProbe(sim.path, 0);
        const double shown = Reading(readings, "shown");
        const double connected = Reading(readings, "connected");
        // From the end of the start-up connect to all 16 values of the charger page shown.
        const double linked = Reading(readings, "linked"), filled = Reading(readings, "filled");
        if (shown < 0 || connected < 0 || linked < 0 || filled < 0) {
            state.SkipWithError("the window did not report");
            return;
        }
        state.SetIterationTime(shown / 1e9);
        connectedSum += connected / 1e9;
        filledSum += (filled - linked) / 1e9;
    }
    // Sums over the iterations, which the counters divide by their number.
    state.counters["connected_s"] = benchmark::Counter(connectedSum, benchmark::Counter::kAvgIterations);
    state.counters["charger_filled_after_connect_s"] =
        benchmark::Counter(filledSum, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartToShown)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_IdleCpuOnChargerPage(benchmark::State &state)
{
    StandIn sim;
    if (!sim.Start()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    for (auto _ : state) {
        const auto readings = RunProbe(sim.path, 5);
        const double cpu = Reading(readings, "cpu");
        if (cpu < 0) {
            state.SkipWithError("the window did not report");
            return;
        }
        state.counters["cpu_percent_of_one_core"] = cpu;
    }
}
BENCHMARK(BM_IdleCpuOnChargerPage)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--probe") == 0)
        return Probe(argv[2], std::atoi(argv[3]));
    g_self = "/proc/self/exe";
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0)
        g_self.assign(buf, static_cast<size_t>(n));
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
