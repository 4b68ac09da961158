// What the history page asks of a file that holds a year of one unit: 31 days of 10 s
// samples with their minute aggregates, and hour aggregates for the whole year. Times the
// curves of the year, month and day views (two variables each, as the page shows at first)
// and the 30 daily totals; reports the file's size.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "history/HistoryDemo.h"
#include "history/HistoryStore.h"

namespace {

constexpr int64_t kNow = 1'780'000'000;

struct YearFile {
    YearFile()
    {
        path = "/tmp/qv-history-bench-" + std::to_string(getpid()) + ".sqlite";
        std::remove(path.c_str());
        HistoryStore store;
        if (!store.Open(path, false))
            return;
        device = store.DeviceId("00000001 00000002 00000003", "Quintavolte 1.11");
        // The older eleven months leave only their hour aggregates: one sample an hour,
        // then the samples and minutes pruned as the recorder does.
        FillDemoHistory(store, device, kNow - 365 * 86400, kNow - 31 * 86400 - 3600, 3600);
        while (store.PruneStep(kNow, 5000) > 0) {
        }
        FillDemoHistory(store, device, kNow - 31 * 86400, kNow, 10);
        store.Close();
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            bytes = static_cast<double>(st.st_size);
        ready = reader.Open(path, true);
    }
    ~YearFile()
    {
        reader.Close();
        for (const char *suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
    std::string path;
    int64_t device = 0;
    double bytes = 0;
    bool ready = false;
    HistoryStore reader;
};

YearFile &File()
{
    static YearFile file;
    return file;
}

void BM_HistoryView(benchmark::State &state)
{
    YearFile &f = File();
    if (!f.ready) {
        state.SkipWithError("the year file could not be made");
        return;
    }
    const int64_t span = state.range(0);
    const HistoryLevel level = HistoryStore::LevelFor(kNow - span, kNow, kNow);
    size_t points = 0;
    for (auto _ : state) {
        points = 0;
        for (int var : {0, 4})
            points += f.reader.Series(f.device, var, kNow - span, kNow, level).size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["file_MB"] = f.bytes / 1e6;
}
BENCHMARK(BM_HistoryView)->Arg(365 * 86400)->Arg(31 * 86400)->Arg(86400)->Arg(3600)->Unit(benchmark::kMillisecond);

void BM_HistoryDaily30(benchmark::State &state)
{
    YearFile &f = File();
    if (!f.ready) {
        state.SkipWithError("the year file could not be made");
        return;
    }
    for (auto _ : state) {
        auto days = f.reader.Daily(f.device, LocalDayOf(kNow - 29 * 86400), LocalDayOf(kNow));
        benchmark::DoNotOptimize(days);
    }
}
BENCHMARK(BM_HistoryDaily30)->Unit(benchmark::kMillisecond);

}  // namespace
