#include "history/HistoryDemo.h"

#include <cmath>
#include <ctime>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979;

double LocalHour(int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm.tm_hour + tm.tm_min / 60.0 + tm.tm_sec / 3600.0;
}

}  // namespace

HistorySample DemoSample(int64_t t, double counters[kHistoryCounterCount])
{
    const double hour = LocalHour(t);
    const int64_t day = t / 86400;
    // Every third day is cloudy, with passing clouds on the others.
    const double sky = day % 3 == 1 ? 0.35 : 0.9 + 0.1 * std::sin(t / 900.0);
    const double sun = std::max(0.0, std::sin(kPi * (hour - 6.0) / 13.0));
    const double solarPower = 320.0 * sun * sky;
    const double loadPower = hour >= 18.0 && hour < 23.0 ? 85.0 : 22.0;
    const double uSolar = solarPower > 1 ? 17.5 + 1.5 * sun : 2.0 * sun;
    const double net = solarPower * 0.95 - loadPower;
    const double uAccu = 12.5 + (net > 0 ? 1.2 * std::min(1.0, net / 200.0) : -0.4 * std::min(1.0, -net / 100.0));
    HistorySample s;
    s.Time = t;
    s.Values[0] = uAccu;
    s.Values[1] = net / uAccu;
    s.Values[2] = uSolar;
    s.Values[3] = uSolar > 1 ? solarPower / uSolar : 0.0;
    s.Values[4] = solarPower;
    s.Values[5] = loadPower;
    s.Values[6] = 12.0 + 9.0 * std::max(0.0, std::sin(kPi * (hour - 8.0) / 14.0));
    for (int k = 0; k < kHistoryCounterCount; ++k)
        s.Values[kHistoryVarCount - kHistoryCounterCount + k] = counters[k];
    return s;
}

bool FillDemoHistory(HistoryStore &store, int64_t device, int64_t from, int64_t to, int intervalS)
{
    double counters[kHistoryCounterCount] = {1520.0, 1310.0, 2480.0, 1190.0};
    std::vector<HistorySample> batch;
    for (int64_t t = from; t <= to; t += intervalS) {
        HistorySample s = DemoSample(t, counters);
        batch.push_back(s);
        // Energy of the interval that follows, in watt-hours.
        const double h = intervalS / 3600.0;
        const double net = *s.Values[4] * 0.95 - *s.Values[5];
        counters[0] += std::max(0.0, net) * h;
        counters[1] += std::max(0.0, -net) * h;
        counters[2] += *s.Values[4] * h;
        counters[3] += *s.Values[5] * h;
        if (batch.size() >= 5000) {
            if (!store.AddSamples(device, batch, 3 * intervalS + HistoryStore::kDefaultMaxGapS))
                return false;
            batch.clear();
        }
    }
    return batch.empty() || store.AddSamples(device, batch, 3 * intervalS + HistoryStore::kDefaultMaxGapS);
}
